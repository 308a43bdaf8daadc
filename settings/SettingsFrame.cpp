#include "SettingsFrame.h"
#include "ui_SettingsFrame.h"

#include "CalibrateDialog.h"
#include "CountingOptionsDialog.h"
#include "DemoSoftware.h"
#include "DiskAccess.h"
#include "ExternalProgram.h"
#include "FolderWalk.h"
#include "MediaMonitor.h"
#include "MessageDlg.h"
#include "PrivateProfile.h"
#include "ProgramExit.h"
#include "QtSerialPort.h"
#include "ReviewOptionsDialog.h"
#include "SaveOptionsDialog.h"
#include "SecurityOptionsDialog.h"
#include "SoftwareUpdateDialog.h"
#include "SoftwareUpdater.h"
#include "SystemInformationDialog.h"
#include "SystemPaths.h"
#include "WiFiOptionsDialog.h"

#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QRegularExpression>

#include <sys/stat.h>

namespace {

const char DemoProgram[] = "/root/ORBELIN_Vn/ORBELIN_Vn-demo";
const char DemoPackageName[] = "ORBELIN_Vn-Demo.ovn";
const char CalibrationDebugFolder[] = "/ORBELIN/Calibration";
const char AutofocusDebugFolder[] = "/ORBELIN/Counting";

std::string readSetting(const char *section, const char *key, const char *defaultValue)
{
    std::string value;
    ReadPrivateProfileString(section, key, defaultValue, value, SystemPaths::settings());
    return value;
}

int number(const QLineEdit *edit)
{
    return edit->text().toInt();   // not a number: 0
}

// Shows a numbered message with no parent and waits for it.
int showMessage(int type)
{
    MessageDlg message(static_cast<MessageType>(type));
    return message.exec();
}

void showError(const QString &text)
{
    MessageDlg message;
    message.setMessage(text);
    message.setMessageButtonVisibility(MSG_BUTTON_OK);
    message.exec();
}

bool demoProgramExists()
{
    return QFileInfo::exists(SystemPaths::map(QString::fromLatin1(DemoProgram)));
}

// The demo package in the top folder of the first mounted volume holding one; the
// instrument's own disk is never searched.
QString findDemoPackage()
{
    static const QRegularExpression internalDisk(QStringLiteral("^/dev/sda(\\d+)$"));
    const QList<storage_t> volumes = MediaMonitor::devices();
    for (const storage_t &volume : volumes) {
        if (internalDisk.match(volume.device).hasMatch() || !volume.mounted
            || volume.mountPoint.isEmpty())
            continue;
        const QString package = QDir::cleanPath(volume.mountPoint + QLatin1Char('/')
                                                + QLatin1String(DemoPackageName));
        // A plain file: a link on a stick could point anywhere on the instrument.
        const QFileInfo file(SystemPaths::map(package));
        if (file.isFile() && !file.isSymLink())
            return package;
    }
    return QString();
}

// Removes a debug image folder without leaving the disk of the folder holding it: a link
// inside is removed itself, never followed, and a volume mounted inside keeps its data.
bool removeDebugFolder(const QString &folder)
{
    return FolderWalk::remove(folder, MediaMonitor::mountPoints());
}

} // namespace

bool checkLeapMonth(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool SettingsFrame::s_SlideEjected = false;

SettingsFrame::SettingsFrame(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui_SettingsFrame)
{
    ui->setupUi(this);
    fillStatusLabels();
    const QFont font(QStringLiteral("OpenSymbol"), 18, 57);
    for (QLabel *label : {ui->LABEL_LAST_CALIBRATION_DATETIME, ui->LABEL_CALIBRATED_VALUES,
                          ui->LABEL_LAST_SOFTWARE_UPDATE_DATETIME, ui->LABEL_SOFTWARE_VERSION})
        label->setFont(font);
}

SettingsFrame::~SettingsFrame()
{
    delete ui;
}

void SettingsFrame::fillStatusLabels()
{
    ui->LABEL_LAST_CALIBRATION_DATETIME->setText(
        QString::fromStdString(readSetting("Calibration", "Last Update", "")));
    ui->LABEL_CALIBRATED_VALUES->setText(calibratedValuesText());
    ui->LABEL_LAST_SOFTWARE_UPDATE_DATETIME->setText(
        QString::fromStdString(readSetting("Software Update", "Last Update", "")));
    ui->LABEL_SOFTWARE_VERSION->setText(
        softwareVersionText(QCoreApplication::applicationFilePath()));
}

QString SettingsFrame::softwareVersionText(const QString &programPath)
{
    const QString name = SoftwareUpdater::programFileName(programPath);
    QString version = SoftwareUpdater::StringToSoftwareVersion(
        name, QStringLiteral("ORBELIN_Vn_"), QString());
    if (name.right(4).toUpper() == QLatin1String("IQOQ"))
        version += QLatin1String("-IQOQ");
    return version;
}

QString SettingsFrame::calibratedValuesText()
{
    QString text = QString::fromStdString(readSetting("Reference position", "Value", ""));
    QStringList more;
    more << QString::fromStdString(readSetting("Reference position", "Slope", ""))
         << QString::fromStdString(readSetting("Calibration", "Value", ""));
    const std::string lens = readSetting("Lens type", "Value", "Meiji");
    if (lens == "Meiji")
        more << QString::fromStdString(readSetting("Calibration", "Exposure Meiji", "100"));
    else if (lens == "Olympus")
        more << QString::fromStdString(readSetting("Calibration", "Exposure Olympus", "155"));
    for (const QString &value : qAsConst(more)) {
        if (!value.isEmpty())
            text += QLatin1String(", ") + value;
    }
    return text;
}

QList<QLineEdit *> SettingsFrame::dateTimeEdits() const
{
    return {ui->EDIT_DAY, ui->EDIT_MONTH, ui->EDIT_YEAR, ui->EDIT_HOUR, ui->EDIT_MINUTE};
}

QList<QWidget *> SettingsFrame::securityLockedWidgets() const
{
    return {ui->EDIT_YEAR, ui->EDIT_MONTH, ui->EDIT_DAY, ui->EDIT_HOUR, ui->EDIT_MINUTE,
            ui->BUTTON_SET_DATE_TIME, ui->BUTTON_KEY_0, ui->BUTTON_KEY_1, ui->BUTTON_KEY_2,
            ui->BUTTON_KEY_3, ui->BUTTON_KEY_4, ui->BUTTON_KEY_5, ui->BUTTON_KEY_6,
            ui->BUTTON_KEY_7, ui->BUTTON_KEY_8, ui->BUTTON_KEY_9, ui->BUTTON_KEY_BACKSPACE};
}

void SettingsFrame::initialize()
{
    m_AutoDisplay = true;
    slotUpdateCurrentDateTime();
    for (QLineEdit *edit : dateTimeEdits()) {
        edit->installEventFilter(this);
        edit->clearFocus();
    }
    s_SlideEjected = false;
}

void SettingsFrame::SetSlideEjection(bool ejected)
{
    s_SlideEjected = ejected;
}

bool SettingsFrame::slideEjection()
{
    return s_SlideEjected;
}

void SettingsFrame::slotUpdateCurrentDateTime()
{
    if (m_AutoDisplay)
        restoreDateTimeUI();
}

void SettingsFrame::restoreDateTimeUI()
{
    const QDateTime now = QDateTime::currentDateTime();
    ui->EDIT_DAY->setText(now.toString(QStringLiteral("dd")));
    ui->EDIT_MONTH->setText(now.toString(QStringLiteral("MM")));
    ui->EDIT_YEAR->setText(now.toString(QStringLiteral("yyyy")));
    ui->EDIT_HOUR->setText(now.toString(QStringLiteral("hh")));
    ui->EDIT_MINUTE->setText(now.toString(QStringLiteral("mm")));
}

void SettingsFrame::slotEnableSecurityMode(bool on)
{
    m_SecurityMode = on;
    for (QWidget *widget : securityLockedWidgets())
        widget->setEnabled(!on);
}

bool SettingsFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_SecurityMode) {
        auto *edit = qobject_cast<QLineEdit *>(watched);
        if (edit && dateTimeEdits().contains(edit)) {
            switch (event->type()) {
            case QEvent::MouseButtonPress:
                edit->clear();
                edit->activateWindow();
                m_AutoDisplay = false;
                break;
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
                m_AutoDisplay = false;
                break;
            default:
                break;
            }
        }
    }
    return QFrame::eventFilter(watched, event);
}

void SettingsFrame::inputKey(int key)
{
    QWidget *target = focusWidget();
    if (!target)
        return;
    const QString text = key == Qt::Key_Backspace ? QString() : QString(QChar(key));
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text, false, 1);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text, false, 1);
    QCoreApplication::sendEvent(target, &release);
}

void SettingsFrame::on_BUTTON_KEY_0_clicked() { inputKey(Qt::Key_0); }
void SettingsFrame::on_BUTTON_KEY_1_clicked() { inputKey(Qt::Key_1); }
void SettingsFrame::on_BUTTON_KEY_2_clicked() { inputKey(Qt::Key_2); }
void SettingsFrame::on_BUTTON_KEY_3_clicked() { inputKey(Qt::Key_3); }
void SettingsFrame::on_BUTTON_KEY_4_clicked() { inputKey(Qt::Key_4); }
void SettingsFrame::on_BUTTON_KEY_5_clicked() { inputKey(Qt::Key_5); }
void SettingsFrame::on_BUTTON_KEY_6_clicked() { inputKey(Qt::Key_6); }
void SettingsFrame::on_BUTTON_KEY_7_clicked() { inputKey(Qt::Key_7); }
void SettingsFrame::on_BUTTON_KEY_8_clicked() { inputKey(Qt::Key_8); }
void SettingsFrame::on_BUTTON_KEY_9_clicked() { inputKey(Qt::Key_9); }
void SettingsFrame::on_BUTTON_KEY_BACKSPACE_clicked() { inputKey(Qt::Key_Backspace); }

void SettingsFrame::on_BUTTON_COUNITNG_OPTIONS_clicked()
{
    CountingOptionsDialog dialog;
    dialog.exec();
}

void SettingsFrame::on_BUTTON_SAVE_OPTIONS_clicked()
{
    SaveOptionsDialog dialog;
    dialog.exec();
    emit signalSaveOptionChanged();
}

void SettingsFrame::on_BUTTON_REVIEW_OPTIONS_clicked()
{
    ReviewOptionsDialog dialog;
    const int result = dialog.exec();
    emit signalEnableScaleBarDisplay(result == QDialog::Accepted);
}

void SettingsFrame::on_BUTTON_WIFI_OPTIONS_clicked()
{
    WiFiOptionsDialog dialog(nullptr);
    dialog.exec();
}

void SettingsFrame::on_BUTTON_SECURITY_OPTIONS_clicked()
{
    SecurityOptionsDialog dialog;
    const int result = dialog.exec();
    emit signalEnableSecurityMode(result == QDialog::Accepted);
}

void SettingsFrame::on_BUTTON_SYSTEM_INFORMATION_clicked()
{
    SystemInformationDialog dialog;
    dialog.setSoftwareVersion(ui->LABEL_SOFTWARE_VERSION->text());
    dialog.exec();
}

void SettingsFrame::on_BUTTON_UPDATE_SOFTWARE_clicked()
{
    SoftwareUpdateDialog dialog;
    if (dialog.exec() == QDialog::Accepted)
        terminate(ExitRestart);
}

bool SettingsFrame::sendToController(const QString &command, unsigned int timeoutMs)
{
    if (!m_Serial) {
        qDebug() << Q_FUNC_INFO << "no serial link";
        return false;
    }
    return m_Serial->sendCommand(command, timeoutMs);
}

bool SettingsFrame::sendToController(const QString &command, int &value, unsigned int timeoutMs)
{
    if (!m_Serial) {
        qDebug() << Q_FUNC_INFO << "no serial link";
        return false;
    }
    return m_Serial->sendCommand(command, timeoutMs, &value);
}

bool SettingsFrame::ejectSlide()
{
    m_Serial = QtSerialPort::instance();
    m_Serial->open();
    const bool ejected = sendToController(QString::fromLatin1(BoardCommand::SlideEject),
                                          BoardCommand::EjectTimeoutMs);
    QtSerialPort::release();
    m_Serial = nullptr;
    return ejected;
}

void SettingsFrame::on_BUTTON_CALIBRATE_clicked()
{
    QtSerialPort::release();
    if (!ejectSlide()) {
        qDebug() << Q_FUNC_INFO << "slide eject refused; no calibration";
        return;
    }
    // The calibration thread builds its own serial link; the singleton is gone by now.
    CalibrateDialog dialog;
    if (dialog.exec() == QDialog::Accepted) {
        ui->LABEL_LAST_CALIBRATION_DATETIME->setText(QString::fromStdString(
            readSetting("Calibration", "Last Update", "09 SEP 2016 12:57")));
        ui->LABEL_CALIBRATED_VALUES->setText(calibratedValuesText());
        emit signalCalibrationCompleted();
    }
    if (ejectSlide())
        s_SlideEjected = true;
}

void SettingsFrame::terminate(int status)
{
    emit signalTerminate();
    ProgramExit::exit(status);
}

void SettingsFrame::dateTimeRejected(int messageType, QLineEdit *edit)
{
    showMessage(messageType);
    m_AutoDisplay = true;
    restoreDateTimeUI();
    setEnabled(true);
    edit->activateWindow();
}

bool SettingsFrame::setClocks(int year, int month, int day, int hour, int minute)
{
    const QString when = QStringLiteral("--set=%1/%2/%3 %4:%5:00")
                             .arg(year).arg(month).arg(day).arg(hour).arg(minute);
    const ProgramResult date = ExternalProgram::run(QStringLiteral("date"), {when},
                                                    ClockProgramTimeoutMs);
    if (!date.ok()) {
        qDebug() << Q_FUNC_INFO << "date" << when << date.describe();
        showError(tr("<p><b>Error!</b><br/><br/>The date and time could not be set.<br/>"
                     "Please try again.</p>"));
        return false;
    }
    const ProgramResult hwclock = ExternalProgram::run(QStringLiteral("hwclock"),
                                                       {QStringLiteral("--systohc")},
                                                       ClockProgramTimeoutMs);
    if (!hwclock.ok()) {
        qDebug() << Q_FUNC_INFO << "hwclock" << hwclock.describe();
        showError(tr("<p><b>Error!</b><br/><br/>The date and time were set, but the "
                     "instrument's battery clock could not keep them.<br/>They will be lost "
                     "when the instrument is switched off.</p>"));
        return false;
    }
    return true;
}

void SettingsFrame::on_BUTTON_SET_DATE_TIME_clicked()
{
    setEnabled(false);
    QApplication::processEvents();

    const int year = number(ui->EDIT_YEAR);
    const int month = number(ui->EDIT_MONTH);
    const int day = number(ui->EDIT_DAY);
    const int hour = number(ui->EDIT_HOUR);
    const int minute = number(ui->EDIT_MINUTE);

    switch (day) {
    case ServiceDayExit:
        terminate(ExitStop);
        return;
    case ServiceDayDemo:
        // Without a demo program the day fails the ordinary check below.
        if (runDemoProgram())
            return;
        break;
    case ServiceDayDebugCalibration:
        switchDebugMode("Calibration", QString::fromLatin1(CalibrationDebugFolder),
                        MSG_DEBUG_CALIBRATION_ENABLED, MSG_DEBUG_CALIBRATION_DISABLED);
        return;
    case ServiceDayDebugAutofocus:
        switchDebugMode("Autofocus", QString::fromLatin1(AutofocusDebugFolder),
                        MSG_DEBUG_AUTOFOCUS_ENABLED, MSG_DEBUG_AUTOFOCUS_DISABLED);
        return;
    default:
        break;
    }

    if (year < 1970 || year > 9999) {
        dateTimeRejected(MSG_INVALID_DATE, ui->EDIT_YEAR);
        return;
    }
    if (month < 1 || month > 12) {
        dateTimeRejected(MSG_INVALID_DATE, ui->EDIT_MONTH);
        return;
    }
    int days = 31;
    if (month == 4 || month == 6 || month == 9 || month == 11)
        days = 30;
    else if (month == 2)
        days = checkLeapMonth(year) ? 29 : 28;
    if (day < 1 || day > days) {
        dateTimeRejected(MSG_INVALID_DATE, ui->EDIT_DAY);
        return;
    }
    if (hour < 0 || hour > 23) {
        dateTimeRejected(MSG_INVALID_TIME, ui->EDIT_HOUR);
        return;
    }
    if (minute < 0 || minute > 59) {
        dateTimeRejected(MSG_INVALID_TIME, ui->EDIT_MINUTE);
        return;
    }

    setClocks(year, month, day, hour, minute);
    m_AutoDisplay = true;
    setEnabled(true);
}

bool SettingsFrame::runDemoProgram()
{
    const bool installed = demoProgramExists();
    const QString package = findDemoPackage();
    if (!package.isEmpty()) {
        MessageDlg question(installed ? MSG_DEMO_INSTALLED : MSG_DEMO_FOUND);
        question.exec();
        if (question.pressedType() == MSG_PRESSED_CANCEL) {
            setEnabled(true);
            return true;
        }
        if (question.pressedType() == MSG_PRESSED_OK && !installDemoSoftware(package))
            qDebug() << Q_FUNC_INFO << "demo package not installed:" << package;
    }
    if (!demoProgramExists())
        return false;
    terminate(ExitDemo);
    return true;
}

void SettingsFrame::switchDebugMode(const char *key, const QString &folder, int enabledMessage,
                                    int disabledMessage)
{
    const std::string ini = SystemPaths::settings();
    const bool on = QString::fromStdString(readSetting("Debug Mode", key, "0")).toInt() != 0;
    if (!on) {
        WritePrivateProfileString("Debug Mode", key, "1", ini);
        if (!DiskAccess::isRealFolder(folder) && !QDir().mkdir(SystemPaths::map(folder)))
            qDebug() << Q_FUNC_INFO << "cannot create" << folder;
        showMessage(enabledMessage);
    } else {
        WritePrivateProfileString("Debug Mode", key, "0", ini);
        if (!removeDebugFolder(folder))
            qDebug() << Q_FUNC_INFO << "cannot remove" << folder;
        showMessage(disabledMessage);
    }
    restoreDateTimeUI();
    setEnabled(true);
    ui->EDIT_DAY->activateWindow();
}
