#include "WiFiOptionsDialog.h"
#include "ui_WiFiOptionsDialog.h"

#include "NetworkManager.h"
#include "SelectNetworkDialog.h"

WiFiOptionsDialog::WiFiOptionsDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , m_Manager(NetworkManager::instance())
    , m_Connecting(nullptr)
    , ui(new Ui_WiFiOptionsDialog)
{
    ui->setupUi(this);
    ui->BUTTON_WIFI_ENABLE->setEnabled(false);
    m_UpdateTimer.setInterval(1000);
    connect(m_Manager, &NetworkManager::signalNetworkDeviceChanged, this,
            &WiFiOptionsDialog::slotNetworkDeviceChanged);
    connect(m_Manager, &NetworkManager::signalConnectedAP, this,
            &WiFiOptionsDialog::slotConnectToAccessPointCompleted);
    connect(m_Manager, &NetworkManager::signalNoConnectedAP, this,
            &WiFiOptionsDialog::slotConnectToAccessPointFailed);
    connect(m_Manager, &NetworkManager::signalShowConnectingMessage, this,
            &WiFiOptionsDialog::slotShowConnectingMessage);
    connect(&m_UpdateTimer, &QTimer::timeout, this, &WiFiOptionsDialog::slotAccessPointUpdateTimer);
    setUIWiFiState();
    ui->LABEL_IP_ADDRESS->setText(m_Manager->property().ip);
    m_Connecting.setMessageType(MSG_CONNECTING);
    connect(this, &WiFiOptionsDialog::signalAccessPointConnectingCancel, m_Manager,
            &NetworkManager::slotAccessPointConnectingCancel);
}

WiFiOptionsDialog::~WiFiOptionsDialog()
{
    delete ui;
    m_UpdateTimer.stop();
}

bool WiFiOptionsDialog::eventFilter(QObject *watched, QEvent *event)
{
    return QDialog::eventFilter(watched, event);
}

void WiFiOptionsDialog::showConnectedLabels(bool connected)
{
    ui->LABEL_WIFI_ON->setVisible(connected);
    ui->LABEL_IP_ADDRESS_TITLE->setVisible(connected);
    ui->LABEL_IP_ADDRESS->setVisible(connected);
    ui->LABEL_NOTICE->setVisible(connected);
    ui->LABEL_WIFI_OFF->setVisible(!connected);
}

void WiFiOptionsDialog::setUIWiFiState()
{
    const wireless_network_property state = m_Manager->property();
    if (state.devicePresent) {
        ui->BUTTON_WIFI_ENABLE->setEnabled(true);
        ui->BUTTON_WIFI_ENABLE->setChecked(state.connected);
        showConnectedLabels(state.connected);
    } else {
        ui->BUTTON_WIFI_ENABLE->setChecked(false);
        ui->BUTTON_WIFI_ENABLE->setEnabled(false);
        showConnectedLabels(false);
    }
}

void WiFiOptionsDialog::on_BUTTON_WIFI_ENABLE_clicked()
{
    if (!ui->BUTTON_WIFI_ENABLE->isChecked())
        return;     // switched off: handled through toggled(false)

    setEnabled(false);
    m_Manager->setScanAccessPoint(true);
    if (!m_UpdateTimer.isActive())
        m_UpdateTimer.start();

    bool started = false;
    {
        SelectNetworkDialog list(nullptr);
        connect(this, &WiFiOptionsDialog::signalUpdateAccessPoint, &list,
                &SelectNetworkDialog::slotUpdateAccessPoint);
        connect(this, &WiFiOptionsDialog::signalNetworkDeviceRemoved, &list,
                &SelectNetworkDialog::reject);
        if (list.exec() == QDialog::Accepted) {
            const QString bssid = list.bssid();
            const ssid_info_t *info = list.info(bssid);
            if (info && !info->name.isEmpty())
                started = m_Manager->connectToAP(info->name, bssid, info->encrypted);
        }
        m_UpdateTimer.stop();
        m_Manager->setScanAccessPoint(false);
    }
    // With no connection started (list cancelled, a network without a name, or a run
    // already under way), the switch follows the manager again and the page is usable.
    if (!started)
        returnToManagerState();
}

void WiFiOptionsDialog::returnToManagerState()
{
    const wireless_network_property state = m_Manager->property();
    ui->BUTTON_WIFI_ENABLE->setChecked(state.devicePresent && state.connected);
    setUIWiFiState();
    setEnabled(true);
}

void WiFiOptionsDialog::on_BUTTON_WIFI_ENABLE_toggled(bool checked)
{
    if (checked)
        return;
    m_Manager->setScanAccessPoint(false);
    m_Manager->setDisconnectAccessPoint();
    m_UpdateTimer.stop();
    showConnectedLabels(false);
}

void WiFiOptionsDialog::on_BUTTON_CLOSE_clicked()
{
    accept();
}

void WiFiOptionsDialog::slotAccessPointUpdateTimer()
{
    emit signalUpdateAccessPoint(m_Manager->accessPoints());
}

void WiFiOptionsDialog::slotNetworkDeviceChanged()
{
    setUIWiFiState();
    if (!m_Manager->property().devicePresent)
        emit signalNetworkDeviceRemoved();
}

void WiFiOptionsDialog::slotConnectToAccessPointCompleted(const QString &ssid)
{
    Q_UNUSED(ssid)
    setUIWiFiState();
    ui->LABEL_IP_ADDRESS->setText(m_Manager->property().ip);
    m_Connecting.accept();
    setEnabled(true);
}

void WiFiOptionsDialog::slotConnectToAccessPointFailed()
{
    setUIWiFiState();
    static_cast<QDialog &>(m_Connecting).reject();     // MessageDlg keeps its reject() protected
    setEnabled(true);
}

void WiFiOptionsDialog::slotShowConnectingMessage()
{
    if (m_Connecting.exec() == QDialog::Accepted)
        return;
    emit signalAccessPointConnectingCancel();
    ui->BUTTON_WIFI_ENABLE->setChecked(false);
    MessageDlg failure(nullptr);
    failure.setMessage(QStringLiteral(
        "<p><b>Network connection failure</b><br/><br/><br/>Please check your wireless network "
        "connection.<br/>Please try again.</p>"));
    failure.setMessageButtonVisibility(MSG_BUTTON_OK);
    failure.exec();
}
