#include "CountingManager.h"

#include "FolderWalk.h"
#include "ImReaderWriter.h"
#include "PrivateProfile.h"
#include "SystemPaths.h"
#include "TagParser.h"

#include <QDebug>
#include <QMutexLocker>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

const char DefaultProtocol[] = "DEFAULT";

// The number at the start of a text, 0 when there is none ("12abc" is 12), read the same
// whatever the locale.
int leadingInteger(const std::string &text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?\\d+"));
    const QRegularExpressionMatch match = number.match(QString::fromStdString(text));
    return match.hasMatch() ? match.captured().trimmed().toInt() : 0;
}

float leadingDecimal(const std::string &text)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    const QRegularExpressionMatch match = number.match(QString::fromStdString(text));
    return match.hasMatch() ? match.captured().trimmed().toFloat() : 0.0f;
}

std::string readValue(const char *section, const char *key, const char *builtIn,
                      const std::string &path)
{
    std::string value;
    ReadPrivateProfileString(section, key, builtIn, value, path);
    return value;
}

QString fieldName(int number)
{
    return QStringLiteral("%1_RAW.tif").arg(number, 2, 10, QLatin1Char('0'));
}

} // namespace

CountingManager::CountingManager(QObject *parent)
    : QThread(parent)
{
    // The run's end reaches the GUI thread after everything it reported.
    connect(this, &QThread::finished, this, &CountingManager::slotRunFinished);
}

CountingManager::~CountingManager()
{
    requestInterruption();
    wait();
    // Analyses still running hold places; they give them back once they have reported.
    m_Places.free.acquire(MaxAnalysisThreads);
    m_Places.free.release(MaxAnalysisThreads);
}

void CountingManager::setCounters(ORBELIN_Vn *counters, int count)
{
    if (m_Counting) {
        qDebug() << Q_FUNC_INFO << "not while counting";
        return;
    }
    m_Counters = counters;
    m_CounterCount = counters ? std::max(0, count) : 0;
}

protocol_param_t CountingManager::protocol_param() const
{
    QMutexLocker lock(&m_ProtocolMutex);
    return m_Protocol;
}

protocol_param_t CountingManager::readCurrentProtocol()
{
    protocol_param_t protocol;
    std::string name;
    ReadPrivateProfileString("Current Protocol", "Name", DefaultProtocol, name,
                             SystemPaths::settings());
    protocol.name = QString::fromStdString(name);
    if (name == DefaultProtocol)
        return protocol;
    const std::string path =
        (SystemPaths::protocolFolder() + QLatin1Char('/') + protocol.name + QStringLiteral(".ini"))
            .toStdString();
    // Each value within the protocol screen's limits, whatever the file holds: a maximum
    // size of 1e38 made the counter ask for an image of petabytes.
    protocol.dilutionFactor =
        std::clamp(leadingInteger(readValue("Dilution Factor", "Value", "2", path)), 1, 20000);
    const protocol_param_t builtIn;
    auto size = [&builtIn](float value) {
        return value >= builtIn.minCellSize ? std::min(value, builtIn.maxCellSize)
                                            : builtIn.minCellSize;
    };
    protocol.minCellSize = size(leadingDecimal(readValue("Min Cell Size", "Size", "0.3", path)));
    protocol.maxCellSize = size(leadingDecimal(readValue("Max Cell Size", "Size", "50", path)));
    if (protocol.minCellSize >= protocol.maxCellSize) {
        qDebug() << Q_FUNC_INFO << protocol.name << "sizes out of order; built-in sizes taken";
        protocol.minCellSize = builtIn.minCellSize;
        protocol.maxCellSize = builtIn.maxCellSize;
    }
    protocol.roundness =
        std::clamp(leadingInteger(readValue("Roundness", "Value", "30", path)), 0, 100);
    protocol.declusteringLevel =
        std::clamp(leadingInteger(readValue("Declustering Level", "Level", "7", path)), 0, 10);
    protocol.detectionSensitivity =
        std::clamp(leadingInteger(readValue("Detection Sensitivity", "Value", "4", path)), 0, 9);
    return protocol;
}

analysis_param_t CountingManager::analysisParameters(const protocol_param_t &protocol)
{
    analysis_param_t param;
    param.minSize = protocol.minCellSize;
    param.maxSize = protocol.maxCellSize;
    param.roundness = std::clamp(protocol.roundness, 0, 100);
    // Level 0 keeps clusters whole; each level up splits at shallower waists, level 7
    // (0.85) parts touching cells and keeps oval and rod-shaped cells whole.
    const int level = std::clamp(protocol.declusteringLevel, 0, 10);
    param.declustering = level == 0 ? 0.0f : 0.5f + 0.05f * float(level);
    // Sensitivity 4 keeps the threshold 6 noise deviations above the background; each step
    // up lowers it by 0.75 deviation and 10 % of the entropy threshold, each step down
    // raises it as much.
    const int steps = 4 - std::clamp(protocol.detectionSensitivity, 0, 9);
    param.thresholdScale = 1.0f + 0.1f * float(steps);
    param.noiseFloor = 6.0f + 0.75f * float(steps);
    return param;
}

float CountingManager::defaultVolumeFactor(int width, int height, float pixelSize)
{
    // um^3 to mL: 1 mL is 1e12 um^3.
    return float(double(width) * height * pixelSize * pixelSize * ChamberDepth * 1e-12);
}

bool CountingManager::startReAnalysis(const QString &folder, QString *error)
{
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (m_Counting)
        return fail(tr("A count is running."));
    // The last run may still be in its last instructions.
    wait();
    if (!m_Counters || m_CounterCount <= 0)
        return fail(tr("There are no cell counters."));

    static const QRegularExpression rawName(QStringLiteral("^(\\d+)_RAW\\.tif$"));
    QVector<FieldFile> files;
    // By raw names: a folder whose name is not UTF-8 is analysed like any other.
    const FolderWalk::Folder open(FolderWalk::open(folder));
    const bool gone = open.fd < 0 && errno == ENOENT;
    QList<FolderWalk::Entry> entries;
    if (!gone && (open.fd < 0 || !FolderWalk::list(open.fd, &entries)))
        return fail(tr("This folder cannot be read."));
    for (const FolderWalk::Entry &entry : qAsConst(entries)) {
        const QRegularExpressionMatch match = rawName.match(QString::fromLatin1(entry.name));
        if (S_ISREG(entry.st.st_mode) && match.hasMatch())
            files.append({match.captured(1).toInt(), QString::fromLatin1(entry.name)});
    }
    // By number, and a repeated number by name ("01_RAW.tif" before "1_RAW.tif").
    std::sort(files.begin(), files.end(), [](const FieldFile &a, const FieldFile &b) {
        return a.number != b.number ? a.number < b.number : a.name < b.name;
    });
    if (files.isEmpty())
        return fail(tr("This folder holds no raw images to analyse."));

    m_Folder = folder;
    m_Files = files;
    m_Results = counting_results_t();
    m_Results.folder = folder;
    for (const FieldFile &file : files) {
        field_result_t field;
        field.field = file.number;
        field.fileName = file.name;
        m_Results.fields.push_back(field);
    }
    m_Done = 0;
    m_RunDone = false;
    m_Places.peak = 0;
    m_Counting = true;
    start();
    return true;
}

void CountingManager::run()
{
    doReAnalysis();
}

void CountingManager::doReAnalysis()
{
    const protocol_param_t protocol = readCurrentProtocol();
    {
        QMutexLocker lock(&m_ProtocolMutex);
        m_Protocol = protocol;
    }
    const analysis_param_t param = analysisParameters(protocol);
    qDebug() << Q_FUNC_INFO << m_Folder << "protocol" << protocol.name << m_Files.size()
             << "fields";

    cv::Size frameSize;
    int frameDepth = -1;
    QVector<int> seen;
    for (int index = 0; index < m_Files.size(); ++index) {
        if (isInterruptionRequested())
            return;
        const FieldFile &file = m_Files.at(index);
        QString problem;
        if (index >= std::min(MaxFields, m_CounterCount)) {
            fieldUnusable(index, tr("a count holds %1 fields")
                                     .arg(std::min(MaxFields, m_CounterCount)));
            continue;
        }
        if (seen.contains(file.number)) {
            fieldUnusable(index, tr("a second image of field %1").arg(file.number));
            continue;
        }
        seen.append(file.number);
        m_Counters[index].clearImages();
        m_Counters[index].clearResult();
        if (!loadField(index, file, protocol, frameSize, frameDepth, &problem)) {
            fieldUnusable(index, problem);
            continue;
        }
        // Wait while four analyses run.
        while (!m_Places.free.tryAcquire(1, 100)) {
            if (isInterruptionRequested())
                return;
        }

        auto *thread = new CellCountingThread(index, &m_Counters[index], param, &m_Places);
        // Its signals and its deletion are handled where this object lives.
        thread->moveToThread(QObject::thread());
        connect(thread, &CellCountingThread::signalCellCountingCompleted, this,
                &CountingManager::slotCellCountingCompleted);
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
    }
}

bool CountingManager::loadField(int index, const FieldFile &file,
                                const protocol_param_t &protocol, cv::Size &frameSize,
                                int &frameDepth, QString *problem)
{
    std::string path = FolderWalk::encodeName(m_Folder + QLatin1Char('/') + file.name).toStdString();
    general::ImReaderWriter reader;
    if (!reader.read(path)) {
        *problem = tr("damaged or unreadable");
        return false;
    }
    if (reader.samplesPerPixel() != 1) {
        *problem = tr("not a grey image");
        return false;
    }
    const cv::Size size(reader.width(), reader.height());
    const int depth = reader.bitsPerSample() == 16 ? CV_16U : CV_8U;
    // The first usable field sets the frame for the whole count.
    if (frameDepth < 0) {
        frameSize = size;
        frameDepth = depth;
    } else if (size != frameSize) {
        *problem = tr("%1 x %2 pixels, the other fields %3 x %4")
                       .arg(size.width).arg(size.height)
                       .arg(frameSize.width).arg(frameSize.height);
        return false;
    } else if (depth != frameDepth) {
        *problem = tr("%1 bits a pixel, the other fields %2")
                       .arg(reader.bitsPerSample()).arg(frameDepth == CV_16U ? 16 : 8);
        return false;
    }
    // The reader keeps its pixels; the counter gets its own copy.
    const cv::Mat pixels(size, depth, reader.data(reader.bitsPerSample()));

    ORBELIN_Vn &counter = m_Counters[index];
    counter.setImage(Tesmora::GFL, pixels);

    // The volume and dilution the count was saved with, else the frame's volume and the
    // protocol's dilution.
    const std::map<std::string, std::string> tags = TagParser().parse(reader.description());
    float volume = 0.0f;
    int dilution = 0;
    auto tag = tags.find("Volume factor");
    if (tag != tags.end())
        volume = leadingDecimal(tag->second);
    tag = tags.find("Dilution factor");
    if (tag != tags.end())
        dilution = leadingInteger(tag->second);
    counter.setVolumeFactor(volume > 0.0f
                                ? volume
                                : defaultVolumeFactor(size.width, size.height,
                                                      counter.pixelSize()));
    counter.setDilutionFactor(dilution > 0 ? dilution : protocol.dilutionFactor);
    return true;
}

void CountingManager::fieldUnusable(int index, const QString &problem)
{
    qDebug() << Q_FUNC_INFO << m_Files.at(index).name << problem;
    QMetaObject::invokeMethod(this, [this, index, problem] {
        m_Results.fields[size_t(index)].problem = problem;
        fieldDone();
    }, Qt::QueuedConnection);
}

void CountingManager::slotCellCountingCompleted(int index, bool ok)
{
    if (!m_Counting || index < 0 || size_t(index) >= m_Results.fields.size())
        return;
    field_result_t &field = m_Results.fields[size_t(index)];
    if (ok) {
        const ORBELIN_Vn &counter = m_Counters[index];
        counter.result(field.count, field.mantissa, field.exponent, field.meanSize,
                       field.sizeSum);
        field.volumeFactor = counter.volumeFactor();
        field.dilutionFactor = counter.dilutionFactor();
        field.analysed = true;
    } else {
        field.problem = tr("not a grey image");
    }
    fieldDone();
}

void CountingManager::fieldDone()
{
    ++m_Done;
    emit signalProgress(m_Done, int(m_Results.fields.size()));
    complete();
}

void CountingManager::slotRunFinished()
{
    m_RunDone = true;
    complete();
}

void CountingManager::complete()
{
    if (!m_Counting || !m_RunDone || m_Done < int(m_Results.fields.size()))
        return;
    counting_results_t &r = m_Results;
    for (size_t i = 0; i < r.fields.size(); ++i) {
        const field_result_t &field = r.fields[i];
        if (!field.analysed)
            continue;
        ++r.analysedFields;
        r.count += field.count;
        r.sizeSum += field.sizeSum;
        r.volumeFactor += field.volumeFactor;
        r.dilutionFactor = field.dilutionFactor;
        for (const object_t &object : m_Counters[i].objects())
            ++r.histogram[size_t(counting_results_t::histogramBin(object.size))];
    }
    r.meanSize = r.count > 0 ? r.sizeSum / float(r.count) : 0.0f;
    Tesmora::Core::concentration(r.count, r.volumeFactor, float(r.dilutionFactor), r.mantissa,
                                 r.exponent);
    m_Counting = false;
    qDebug() << Q_FUNC_INFO << r.count << "cells in" << r.analysedFields << "of"
             << r.fields.size() << "fields";
    emit signalCountingCompleted();
}
