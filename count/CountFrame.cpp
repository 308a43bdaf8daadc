#include "CountFrame.h"
#include "ui_CountFrame.h"

#include "MessageDlg.h"
#include "PrivateProfile.h"
#include "QtSerialPort.h"
#include "ReviewOptionsDialog.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QFileInfo>

namespace {

// Without a calibration the LED runs at half power at the middle step.
const int DefaultLightLevel = 50;

QtSerialPort *openLink()
{
    QtSerialPort *link = QtSerialPort::instance();
    link->open();
    return link;
}

} // namespace

CountFrame::CountFrame(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui_CountFrame)
    , m_ResultsLog(1001, "%s", CSVReaderWriter::resultsLogHeader().c_str())
{
    ui->setupUi(this);
    ui->IMAGE->createScaleBar(3.75f, 10.0f, 100.0f, 255, 255, 255);
    slotCreateLightTable();
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
    QString name = QFileInfo(saveFolder).fileName();
    name.replace(QLatin1Char(','), QLatin1Char('_'));
    name.replace(QLatin1Char('\n'), QLatin1Char(' '));
    name.replace(QLatin1Char('\r'), QLatin1Char(' '));
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
    // The re-analysis run itself belongs to the counting run; the request is kept for it.
    qDebug() << Q_FUNC_INFO << "re-analysis asked for" << folder;
    m_AnalysisFolder = folder;
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
