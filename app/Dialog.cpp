#include "Dialog.h"
#include "ui_Dialog.h"

#include "ExternalProgram.h"
#include "MessageDlg.h"
#include "MouseCursorSelector.h"
#include "NetworkManager.h"
#include "ORBELIN_Server.h"
#include "PrivateProfile.h"
#include "ProgramExit.h"
#include "QtSerialPort.h"
#include "SystemPaths.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>

namespace {
const char UpdateScript[] = "/root/ORBELIN_Vn/Addtional_Update.sh";
}

Dialog::Dialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Window)
    , m_Server(new ORBELIN_Server)      // no parent, never set listening
    , ui(new Ui_Dialog)
{
    qRegisterMetaType<std::string>("std::string");
    ui->setupUi(this);
    setFixedSize(1280, 800);
    ui->WIFI_ENABLED->hide();
    ui->WIFI_DISABLED->show();
    setTitleButtonsEnabled(false, false);
    m_CursorSelector = new MouseCursorSelector(this);
    connect(&m_DateTimer, &DateTimer::updateCurrentDateTime, this,
            &Dialog::slotUpdateCurrentDateTime);
    QTimer::singleShot(100, this, &Dialog::slotInitialize);
}

Dialog::~Dialog()
{
    delete ui;
    delete m_Server;
}

void Dialog::runUpdateScript()
{
    const QString script = SystemPaths::map(QString::fromLatin1(UpdateScript));
    if (!QFile::exists(script))
        return;
    const ProgramResult result = ExternalProgram::run(QStringLiteral("sh"), {script});
    qDebug() << Q_FUNC_INFO << "update script" << result.describe();
    QFile::remove(script);
}

void Dialog::slotInitialize()
{
    if (m_Initialized)
        return;
    const std::string ini = SystemPaths::settings();
    runUpdateScript();
    setUIMenu(MENU_COUNT);

    SettingsFrame::SetSlideEjection(false);
    WritePrivateProfileString("Debug Mode", "Autofocus", "0", ini);
    WritePrivateProfileString("Debug Mode", "Calibration", "0", ini);

    std::string value;
    if (!ReadPrivateProfileString("Security", "Enable", "False", value, ini))
        WritePrivateProfileString("Security", "Enable", value, ini);
    const bool security = value == "True";
    if (!ReadPrivateProfileString("Security", "Password", "mavek", value, ini))
        WritePrivateProfileString("Security", "Password", value, ini);
    ReadPrivateProfileString("Current Protocol", "Name", "DEFAULT", value, ini);
    slotSetCurrentProtocol(QString::fromStdString(value));

    // The run always counts ten fields.
    WritePrivateProfileString("Counting options", "Counting field", "10", ini);

    m_Board = QtSerialPort::instance()->open() && setUpStages();
    qDebug() << Q_FUNC_INFO << "controller board" << (m_Board ? "found" : "not found");

    m_MediaMonitor.mountAll();
    NetworkManager *network = NetworkManager::instance();
    connect(network, &NetworkManager::signalNetworkDeviceChanged, this,
            &Dialog::slotNetworkDeviceChanged);
    connect(network, &NetworkManager::signalConnectedAP, this, &Dialog::slotConnectedAccessPoint);
    connect(network, &NetworkManager::signalNoConnectedAP, this,
            &Dialog::slotDisconnectedAccessPoint);
    slotNetworkDeviceChanged();
    m_DateTimer.start();

    // Security mode reaches the screens whether or not the board answered.
    SettingsFrame *settings = ui->FRAME_SETTINGS;
    connect(settings, &SettingsFrame::signalEnableSecurityMode, ui->FRAME_REVIEW,
            &ReviewFrame::slotEnableSecurityMode);
    connect(settings, &SettingsFrame::signalEnableSecurityMode, ui->FRAME_PROTOCOL,
            &ProtocolFrame::slotEnableSecurityMode);
    connect(settings, &SettingsFrame::signalEnableSecurityMode, settings,
            &SettingsFrame::slotEnableSecurityMode);

    if (!m_Board) {
        ui->FRAME_REVIEW->initialize();
        emit settings->signalEnableSecurityMode(security);
        setUIMenu(MENU_REVIEW);
        setTitleButtonsEnabled(true, false);
        m_Initialized = true;
        emit signalInitialized();
        MessageDlg message(MSG_SERIAL_COMMUNICATION);
        message.exec();
        return;
    }

    CountFrame *count = ui->FRAME_COUNT;
    ReviewFrame *review = ui->FRAME_REVIEW;
    count->initialize();
    review->initialize();

    connect(ui->FRAME_PROTOCOL, &ProtocolFrame::signalSetCurrentProtocol, this,
            &Dialog::slotSetCurrentProtocol);
    connect(review, &ReviewFrame::signalAnalysis, this, &Dialog::on_BUTTON_COUNT_clicked);
    connect(review, &ReviewFrame::signalAnalysis, count, &CountFrame::slotAnalysis);
    connect(review, &ReviewFrame::signalCSVRemoved, count, &CountFrame::slotCSVRemoved);
    connect(count, &CountFrame::signalWidgetEnabled, this, &Dialog::slotWidgetEnabled);
    connect(count, &CountFrame::signalAppendCSVData, review, &ReviewFrame::slotAppendCSVData);
    connect(count, &CountFrame::signalFilenameReplaced, review, &ReviewFrame::slotFilenameReplaced);
    connect(settings, &SettingsFrame::signalCalibrationCompleted, count,
            &CountFrame::slotCreateLightTable);
    connect(settings, &SettingsFrame::signalSaveOptionChanged, count,
            &CountFrame::slotSaveOptionChanged);
    connect(settings, &SettingsFrame::signalTerminate, this, &Dialog::slotTerminate);
    connect(settings, &SettingsFrame::signalForceUpdateDateTime, &m_DateTimer,
            &DateTimer::updateDateTime);
    connect(settings, &SettingsFrame::signalEnableScaleBarDisplay, review,
            &ReviewFrame::slotEnableScaleBarDisplay);
    connect(settings, &SettingsFrame::signalEnableScaleBarDisplay, count,
            &CountFrame::slotEnableScaleBarDisplay);
    emit settings->signalEnableSecurityMode(security);

    setTitleButtonsEnabled(true, true);
    m_Initialized = true;
    emit signalInitialized();
}

bool Dialog::setUpStages()
{
    QtSerialPort *link = QtSerialPort::instance();
    for (const char *command : {BoardCommand::SlideInit, BoardCommand::FocusInit}) {
        if (!link->sendCommand(QString::fromLatin1(command), BoardCommand::MoveTimeoutMs)) {
            qDebug() << Q_FUNC_INFO << "stage set-up failed:" << command;
            return false;
        }
    }
    return true;
}

void Dialog::setTitleButtonsEnabled(bool enabled, bool countEnabled)
{
    ui->BUTTON_COUNT->setEnabled(countEnabled);
    ui->BUTTON_REVIEW->setEnabled(enabled);
    ui->BUTTON_PROTOCOL->setEnabled(enabled);
    ui->BUTTON_SETTINGS->setEnabled(enabled);
}

void Dialog::setUIMenu(Menu menu)
{
    const bool wasCount = m_Menu == MENU_COUNT && ui->FRAME_COUNT->isVisible();
    m_Menu = menu;
    ui->FRAME_COUNT->setVisible(menu == MENU_COUNT);
    ui->FRAME_REVIEW->setVisible(menu == MENU_REVIEW);
    ui->FRAME_PROTOCOL->setVisible(menu == MENU_PROTOCOL);
    ui->FRAME_SETTINGS->setVisible(menu == MENU_SETTINGS);
    ui->BUTTON_COUNT->setChecked(menu == MENU_COUNT);
    ui->BUTTON_REVIEW->setChecked(menu == MENU_REVIEW);
    ui->BUTTON_PROTOCOL->setChecked(menu == MENU_PROTOCOL);
    ui->BUTTON_SETTINGS->setChecked(menu == MENU_SETTINGS);

    if (menu == MENU_COUNT && !wasCount && m_Board && ui->FRAME_COUNT->isLiveView()
        && SettingsFrame::slideEjection()) {
        SettingsFrame::SetSlideEjection(false);
        ui->FRAME_COUNT->slideEject();
    }
}

void Dialog::leaveSettingsMenu()
{
    if (m_SettingsClockConnected) {
        disconnect(&m_DateTimer, &DateTimer::updateCurrentDateTime, ui->FRAME_SETTINGS,
                   &SettingsFrame::slotUpdateCurrentDateTime);
        m_SettingsClockConnected = false;
    }
}

void Dialog::on_BUTTON_COUNT_clicked()
{
    leaveSettingsMenu();
    setUIMenu(MENU_COUNT);
}

void Dialog::on_BUTTON_REVIEW_clicked()
{
    leaveSettingsMenu();
    setUIMenu(MENU_REVIEW);
}

void Dialog::on_BUTTON_PROTOCOL_clicked()
{
    leaveSettingsMenu();
    setUIMenu(MENU_PROTOCOL);
}

void Dialog::on_BUTTON_SETTINGS_clicked()
{
    if (!m_SettingsClockConnected) {
        connect(&m_DateTimer, &DateTimer::updateCurrentDateTime, ui->FRAME_SETTINGS,
                &SettingsFrame::slotUpdateCurrentDateTime);
        m_SettingsClockConnected = true;
    }
    ui->FRAME_SETTINGS->initialize();
    setUIMenu(MENU_SETTINGS);
}

void Dialog::on_BUTTON_POWER_clicked()
{
    MessageDlg message(MSG_POWER_OFF);
    if (message.exec() != QDialog::Accepted)
        return;
    setTitleButtonsEnabled(false, false);
    ui->FRAME_COUNT->terminate();
    ExternalProgram::startDetached(QStringLiteral("shutdown"),
                                   {QStringLiteral("-P"), QStringLiteral("now")});
}

void Dialog::slotTerminate()
{
    setTitleButtonsEnabled(false, false);
    QApplication::processEvents();
    ui->FRAME_COUNT->terminate();
    m_MediaMonitor.release();
}

void Dialog::slotSetCurrentProtocol(const QString &name)
{
    ui->LABEL_PROTOCOL->setText(name);
}

void Dialog::slotWidgetEnabled(bool enabled)
{
    setTitleButtonsEnabled(enabled, enabled && m_Board);
}

void Dialog::slotNetworkDeviceChanged()
{
    const bool connected = NetworkManager::instance()->property().connected;
    ui->WIFI_ENABLED->setVisible(connected);
    ui->WIFI_DISABLED->setVisible(!connected);
}

void Dialog::slotConnectedAccessPoint()
{
    ui->WIFI_ENABLED->show();
    ui->WIFI_DISABLED->hide();
}

void Dialog::slotDisconnectedAccessPoint()
{
    ui->WIFI_DISABLED->show();
    ui->WIFI_ENABLED->hide();
}

void Dialog::slotUpdateCurrentDateTime(const QString &date, const QString &time)
{
    ui->LABEL_DATE->setText(date);
    ui->LABEL_TIME->setText(time);
}

void Dialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Q) {
        ProgramExit::exit(1);
        return;
    }
    // Escape must not close the main window.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

void Dialog::reject()
{
    // The main window closes only through ProgramExit.
}
