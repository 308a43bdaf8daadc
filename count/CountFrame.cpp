#include "CountFrame.h"
#include "ui_CountFrame.h"

#include "FolderWalk.h"
#include "MessageDlg.h"
#include "PrivateProfile.h"
#include "QtSerialPort.h"
#include "ReviewOptionsDialog.h"
#include "SystemPaths.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QMap>

namespace {

// Without a calibration the LED runs at half power at the middle step.
const int DefaultLightLevel = 50;

QtSerialPort *openLink()
{
    QtSerialPort *link = QtSerialPort::instance();
    link->open();
    return link;
}

void showMessage(const QString &richText)
{
    MessageDlg message;
    message.setMessage(richText);
    message.setMessageButtonVisibility(MSG_BUTTON_OK);
    message.exec();
}

// A value that must stay one field of a results-log row.
QString oneField(QString text)
{
    text.replace(QLatin1Char(','), QLatin1Char('_'));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

} // namespace

CountFrame::CountFrame(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui_CountFrame)
    , m_ResultsLog(1001, "%s", CSVReaderWriter::resultsLogHeader().c_str())
{
    ui->setupUi(this);
    ui->IMAGE->createScaleBar(3.75f, 10.0f, 100.0f, 255, 255, 255);
    ui->RESULTS->hide();
    setCounting(false);
    slotCreateLightTable();
    m_CountingManager.setCounters(m_Counters, CountingManager::MaxFields);
    connect(&m_CountingManager, &CountingManager::signalProgress, this,
            &CountFrame::slotCountingProgress);
    connect(&m_CountingManager, &CountingManager::signalCountingCompleted, this,
            &CountFrame::slotCountingCompleted);
}

CountFrame::~CountFrame()
{
    delete ui;
}

void CountFrame::initialize()
{
    const bool inserted = openLink()->sendCommand(
        QString::fromLatin1(BoardCommand::SlideInsert), BoardCommand::MoveTimeoutMs);
    ui->LABEL_SLIDE->setText(inserted ? tr("Ready") : tr("Slide stage not ready"));
    loadResultsLog();
    slotCreateLightTable();
    slotSaveOptionChanged();
    slotEnableScaleBarDisplay(ReviewOptionsDialog::readScaleBarEnabled());
}

void CountFrame::terminate()
{
    QtSerialPort::release();
}

bool CountFrame::isLiveView() const
{
    return false;
}

void CountFrame::on_BUTTON_EJECT_clicked()
{
    slideEject();
}

void CountFrame::slideEject()
{
    if (openLink()->sendCommand(QString::fromLatin1(BoardCommand::SlideEject),
                                BoardCommand::EjectTimeoutMs)) {
        ui->LABEL_SLIDE->setText(tr("Slide ejected"));
        return;
    }
    ui->LABEL_SLIDE->setText(tr("Slide stage not ready"));
    MessageDlg message(MSG_EJECT_FAILED);
    message.exec();
}

void CountFrame::loadResultsLog()
{
    m_ResultsLog.clear();
    const std::string path = SystemPaths::resultsLogFile().toStdString();
    if (!m_ResultsLog.read(path.c_str()))
        qDebug() << Q_FUNC_INFO << "no results log yet";
}

bool CountFrame::appendResultsLog(const std::string &row)
{
    // A line break would split the row in two.
    std::string line = row;
    for (char &c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    m_ResultsLog.append(line);
    const std::string path = SystemPaths::resultsLogFile().toStdString();
    const bool written = m_ResultsLog.write(path.c_str());
    emit signalAppendCSVData(line);
    return written;
}

bool CountFrame::setSavedName(const QString &saveFolder)
{
    const size_t newest = m_ResultsLog.size() - 1;
    if (newest == 0)
        return false;
    // The name is one field of the row: no separators in it.
    const QString name = oneField(QFileInfo(saveFolder).fileName());
    std::vector<std::string> fields;
    CSVReaderWriter::parse(m_ResultsLog.csv().at(newest), fields);
    if (fields.empty())
        fields.emplace_back();
    fields[0] = name.toStdString();
    std::string row;
    for (size_t i = 0; i < fields.size(); ++i)
        row += (i ? "," : "") + fields[i];
    m_ResultsLog.replace(newest, row);
    const std::string path = SystemPaths::resultsLogFile().toStdString();
    const bool written = m_ResultsLog.write(path.c_str());
    emit signalFilenameReplaced(name);
    return written;
}

void CountFrame::slotAnalysis(const QString &folder)
{
    qDebug() << Q_FUNC_INFO << "re-analysis asked for" << folder;
    m_AnalysisFolder = folder;
    QString error;
    if (!m_CountingManager.startReAnalysis(folder, &error)) {
        showMessage(QStringLiteral("<p><b>Error!</b><br/><br/>%1</p>").arg(error.toHtmlEscaped()));
        return;
    }
    emit signalWidgetEnabled(false);
    setCounting(true);
    slotCountingProgress(0, m_CountingManager.countingField());
}

void CountFrame::slotCountingProgress(int done, int total)
{
    ui->PROGRESS_ANALYSIS->setRange(0, qMax(1, total));
    ui->PROGRESS_ANALYSIS->setValue(done);
    ui->LABEL_PROGRESS->setText(tr("Counting field %1 of %2").arg(qMin(done + 1, total)).arg(total));
}

void CountFrame::slotCountingCompleted()
{
    setCounting(false);
    const counting_results_t results = m_CountingManager.results();
    const QString protocol = m_CountingManager.protocol_param().name;
    // The fields left out, grouped by what was wrong with them.
    QStringList problems;
    QMap<QString, QStringList> files;
    for (const field_result_t &field : results.fields) {
        if (field.analysed)
            continue;
        if (!files.contains(field.problem))
            problems << field.problem;
        files[field.problem] << FolderWalk::displayName(field.fileName);
    }
    QStringList leftOut;
    for (const QString &problem : problems) {
        leftOut << (files.value(problem).join(QStringLiteral(", ")) + QStringLiteral(": ")
                    + problem).toHtmlEscaped();
    }
    if (results.analysedFields == 0) {
        // Nothing was counted, so the results log gets no row.
        emit signalWidgetEnabled(true);
        showMessage(QStringLiteral("<p><b>Error!</b><br/><br/>No raw image of this folder could "
                                   "be read. Nothing was counted.<br/><br/>%1</p>")
                        .arg(leftOut.join(QStringLiteral("<br/>"))));
        return;
    }
    showTotals(results, protocol);
    appendResultsLog(resultsLogRow(results, protocol, QDateTime::currentDateTime()));
    emit signalWidgetEnabled(true);
    if (!leftOut.isEmpty()) {
        showMessage(QStringLiteral("<p><b>Warning!</b><br/><br/>Left out of the count:<br/>%1"
                                   "</p>")
                        .arg(leftOut.join(QStringLiteral("<br/>"))));
    }
}

void CountFrame::setCounting(bool counting)
{
    ui->LABEL_PROGRESS->setVisible(counting);
    ui->PROGRESS_ANALYSIS->setVisible(counting);
    ui->BUTTON_EJECT->setEnabled(!counting);
}

void CountFrame::showTotals(const counting_results_t &results, const QString &protocol)
{
    ui->LABEL_TOTAL_CELLS_CONCENTRATION->setText(
        Tesmora::Core::concentrationText(results.mantissa, results.exponent));
    ui->LABEL_AVERAGE_SIZE->setText(
        QStringLiteral("%1 \u00b5m").arg(double(results.meanSize), 0, 'f', 1));
    ui->LABEL_TOTAL_CELLS->setText(QString::number(results.count));
    ui->LABEL_RESULT_SOURCE->setText(
        tr("Re-analysis of %1, protocol %2")
            .arg(FolderWalk::displayName(QFileInfo(results.folder).fileName()), protocol));
    ui->RESULTS->show();
    // The first counted field's annotated image.
    for (size_t i = 0; i < results.fields.size() && i < size_t(CountingManager::MaxFields); ++i) {
        if (!results.fields[i].analysed)
            continue;
        const cv::Mat tag = m_Counters[i].image(Tesmora::TAG);
        if (!tag.empty() && tag.isContinuous() && tag.type() == CV_8UC3) {
            ui->IMAGE->slotSetImageData(tag.data, tag.cols, tag.rows, 24);
            ui->IMAGE->setPosition(tag.cols / 2, tag.rows / 2);
        }
        break;
    }
}

std::string CountFrame::resultsLogRow(const counting_results_t &results, const QString &protocol,
                                      const QDateTime &when)
{
    QStringList fields{QString(), when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                       QString::number(results.count),
                       Tesmora::Core::concentrationLogText(results.mantissa, results.exponent),
                       QString::asprintf("%.2f", double(results.meanSize)), oneField(protocol)};
    // The log has columns for the twenty fields a count holds.
    for (size_t i = 0; i < results.fields.size() && i < size_t(CountingManager::MaxFields); ++i) {
        const field_result_t &field = results.fields[i];
        if (field.analysed)
            fields << QString::number(field.count)
                   << Tesmora::Core::concentrationLogText(field.mantissa, field.exponent);
        else
            fields << QString() << QString();
    }
    return fields.join(QLatin1Char(',')).toStdString();
}

void CountFrame::slotCSVRemoved()
{
    m_ResultsLog.clear();
}

void CountFrame::slotCreateLightTable()
{
    std::string value;
    ReadPrivateProfileString("Calibration", "Value", std::to_string(DefaultLightLevel), value,
                             SystemPaths::settings());
    bool ok = false;
    int calibrated = QString::fromStdString(value).trimmed().toInt(&ok);
    if (!ok || calibrated < 1 || calibrated > 100) {
        qDebug() << Q_FUNC_INFO << "calibration value" << value.c_str() << "not usable";
        calibrated = DefaultLightLevel;
    }
    // Step n gives n / (LightSteps / 2) of the calibrated level, within the LED's range.
    m_LightTable.resize(LightSteps);
    for (int step = 1; step <= LightSteps; ++step) {
        const int level = (calibrated * step * 2 + LightSteps / 2) / LightSteps;
        m_LightTable[step - 1] = qBound(1, level, 100);
    }
}

int CountFrame::lightLevel(int step) const
{
    return m_LightTable.value(qBound(1, step, LightSteps) - 1);
}

void CountFrame::slotSaveOptionChanged()
{
    m_SaveOptions = SaveOptions::read();
}

void CountFrame::slotEnableScaleBarDisplay(bool enable)
{
    ui->IMAGE->setScaleBarEnable(enable);
}
