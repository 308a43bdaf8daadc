#include "Calibrater.h"

#include "PrivateProfile.h"
#include "QtSerialPort.h"
#include "SystemPaths.h"

#include <QDateTime>
#include <QDebug>
#include <QLocale>

namespace {

// Plausible answers of the board; anything else is a fault, not a calibration.
const int MaxReference = 100000;
const int MaxSlope = 1000;

void writeDefaultBack(const char *section, const char *key, const char *fallback,
                      const std::string &ini)
{
    std::string value;
    if (!ReadPrivateProfileString(section, key, fallback, value, ini))
        WritePrivateProfileString(section, key, value, ini);
}

} // namespace

Calibrater::Calibrater(QObject *parent)
    : QThread(parent)
{
}

Calibrater::~Calibrater()
{
    requestInterruption();
    wait();
}

QString Calibrater::describe(int error)
{
    switch (error) {
    case CALIBRATION_OK: return tr("The calibration is complete.");
    case CALIBRATION_NO_BOARD: return tr("The controller board does not answer.");
    case CALIBRATION_FOCUS_HOME: return tr("The focus stage did not reach its home position.");
    case CALIBRATION_FOCUS_REFERENCE: return tr("The focus reference could not be measured.");
    case CALIBRATION_FOCUS_SLOPE: return tr("The stage tilt could not be measured.");
    case CALIBRATION_LIGHT: return tr("The light level could not be set.");
    case CALIBRATION_OUT_OF_RANGE: return tr("The instrument reported implausible values.");
    case CALIBRATION_CANCELED: return tr("The calibration was cancelled.");
    }
    return tr("Unknown error.");
}

void Calibrater::run()
{
    // This thread's own link: the one of the GUI thread was released before the run.
    const int error = calibrate();
    QtSerialPort::release();
    qDebug() << Q_FUNC_INFO << "calibration ended with" << error << describe(error);
    emit signalCalibrationCompleted(error);
}

int Calibrater::calibrate()
{
    QtSerialPort *link = QtSerialPort::instance();
    if (!link->open())
        return CALIBRATION_NO_BOARD;

    struct Step { const char *command; const char *text; int error; int *value; };
    int reference = 0;
    int slope = 0;
    int light = 0;
    const Step steps[Steps] = {
        {BoardCommand::FocusInit, QT_TR_NOOP("Moving the focus stage home"),
         CALIBRATION_FOCUS_HOME, nullptr},
        {BoardCommand::FocusReference, QT_TR_NOOP("Measuring the focus reference"),
         CALIBRATION_FOCUS_REFERENCE, &reference},
        {BoardCommand::FocusSlope, QT_TR_NOOP("Measuring the stage tilt"),
         CALIBRATION_FOCUS_SLOPE, &slope},
        {BoardCommand::LightCalibration, QT_TR_NOOP("Setting the light level"),
         CALIBRATION_LIGHT, &light},
        {BoardCommand::LedOff, QT_TR_NOOP("Switching the light off"), CALIBRATION_LIGHT, nullptr},
    };
    for (int i = 0; i < Steps; ++i) {
        if (isInterruptionRequested())
            return CALIBRATION_CANCELED;
        emit signalProgress(i, Steps, tr(steps[i].text));
        if (!link->sendCommand(QString::fromLatin1(steps[i].command), BoardCommand::MoveTimeoutMs,
                               steps[i].value))
            return link->isOpen() ? steps[i].error : CALIBRATION_NO_BOARD;
    }
    if (reference <= 0 || reference > MaxReference || slope < -MaxSlope || slope > MaxSlope
        || light < 1 || light > 100)
        return CALIBRATION_OUT_OF_RANGE;
    if (isInterruptionRequested())
        return CALIBRATION_CANCELED;

    const std::string ini = SystemPaths::settings();
    WritePrivateProfileString("Calibration", "Value", std::to_string(light), ini);
    WritePrivateProfileString("Reference position", "Value", std::to_string(reference), ini);
    WritePrivateProfileString("Reference position", "Slope", std::to_string(slope), ini);
    // The exposures belong to the lens and stay as they are.
    writeDefaultBack("Calibration", "Exposure Meiji", "100", ini);
    writeDefaultBack("Calibration", "Exposure Olympus", "155", ini);
    const QString when = QLocale::c().toString(QDateTime::currentDateTime(),
                                               QStringLiteral("dd MMM yyyy hh:mm")).toUpper();
    WritePrivateProfileString("Calibration", "Last Update", when.toStdString(), ini);
    emit signalProgress(Steps, Steps, describe(CALIBRATION_OK));
    return CALIBRATION_OK;
}
