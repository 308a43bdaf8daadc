#include "NetworkManager.h"

#include "KeyboardDialog.h"

#include <QDebug>
#include <QGuiApplication>
#include <QScreen>

NetworkManager *NetworkManager::object = nullptr;

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
{
    connect(&m_Connector, &APConnector::signalInputPassword, this,
            &NetworkManager::slotShowConnectApDlg);
    connect(&m_KeyDialog, &ConnectAPDlg::signalSetPassword, &m_Connector,
            &APConnector::slotSetPassword);
    connect(&m_KeyDialog, &ConnectAPDlg::signalCancel, &m_Connector, &APConnector::slotCancel);
    connect(&m_Connector, &APConnector::signalConnectedToAP, this,
            &NetworkManager::slotConnectedAP);
    connect(&m_Connector, &APConnector::signalNoConnectedToAP, this,
            &NetworkManager::slotNoConnectedAP);
    connect(&m_Connector, &APConnector::signalShowConnectingMessage, this,
            &NetworkManager::slotShowConnectingMessage);
    connect(&m_KeyDialog, &ConnectAPDlg::signalShowKeyboard, this,
            &NetworkManager::slotShowKeyboard);
    qRegisterMetaType<APConnectionError>("APConnectionError");
    connect(&m_Connector, &APConnector::signalAPConnectionError, this,
            &NetworkManager::slotAPConnectionError);
    connect(&m_DeviceMonitor, &WLANMonitor::signalDetectDevice, this,
            &NetworkManager::slotWLANDeviceChanged);
    qRegisterMetaType<AccessPoint>("AccessPoint");
    connect(&m_Scanner, &APMonitor::signalNetworkStateChanged, this,
            &NetworkManager::slotNetworkStateChanged);

    // The first poll runs while the main window is still starting.
    m_DeviceMonitor.start();

    const QScreen *screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : 1280;
    m_KeyDialog.move(screenWidth / 2 - m_KeyDialog.width() / 2, 150);
}

NetworkManager::~NetworkManager()
{
    m_DeviceMonitor.stop();
    m_Scanner.stop();
    // A run still active ends at its next step; its pending reports die with this object.
    m_Connector.cancel();
}

NetworkManager *NetworkManager::instance()
{
    if (!object)
        object = new NetworkManager;
    return object;
}

void NetworkManager::release()
{
    delete object;
    object = nullptr;
}

wireless_network_property NetworkManager::property() const
{
    return m_Property;
}

QString NetworkManager::device() const
{
    return m_Property.device;
}

QMap<QString, AccessPoint> &NetworkManager::accessPoints()
{
    return m_AccessPoints;
}

void NetworkManager::setEnabled(bool enabled)
{
    m_Enabled = enabled;
}

void NetworkManager::setScanAccessPoint(bool on)
{
    m_AccessPoints.clear();
    if (!m_Enabled)
        return;
    if (on) {
        m_Scanner.setEnabled(true);
        m_Scanner.setDevice(m_Property.device);
        if (!m_Scanner.isRunning())
            m_Scanner.start();
        m_Connector.initialize();
        m_Connector.setDevice(m_Property.device);
    } else {
        m_Scanner.stop();
    }
}

bool NetworkManager::connectToAP(const QString &ssid, const QString &bssid, bool secured)
{
    if (m_Connector.isActive()) {
        qDebug() << Q_FUNC_INFO << "a connection is being made; refused" << ssid;
        return false;
    }
    m_AccessPoints.clear();
    m_Cancelling = false;
    m_Scanner.stop();
    // The key and the mismatch text of an earlier run belong to another network.
    m_KeyDialog.clearKey();
    return m_Connector.connectTo(ssid, bssid, secured);
}

void NetworkManager::setDisconnectAccessPoint()
{
    slotNoConnectedAP();
}

void NetworkManager::slotWLANDeviceChanged(int state, const QString &name)
{
    if (state == 0) {
        m_Enabled = false;
        m_Property.device = name;
        m_Property.ip.clear();
        m_Property.ssid.clear();
        m_Property.devicePresent = false;
        m_Property.connected = false;
        // Releases a connection run that waits for a key.
        m_KeyDialog.cancel();
    } else if (state == 1) {
        m_Enabled = true;
        m_Property.device = name;
        m_Property.devicePresent = true;
    }
    emit signalNetworkDeviceChanged();
}

void NetworkManager::slotNetworkStateChanged(const AccessPoint &ap)
{
    m_AccessPoints.insert(ap.bssid, ap);
    emit signalAPUpdateList(m_AccessPoints);
}

void NetworkManager::slotConnectedAP(const QString &ssid)
{
    if (m_Cancelling) {
        emit signalNoConnectedAP();
        return;
    }
    m_Property.ssid = ssid;
    m_Property.connected = true;
    const QString address = m_Connector.address();
    if (!address.isEmpty())
        m_Property.ip = address;
    emit signalConnectedAP(ssid);
    m_AccessPoints.clear();
}

void NetworkManager::slotNoConnectedAP()
{
    // A run that gave up waiting for the key leaves no dialog behind.
    if (m_KeyDialog.isVisible())
        m_KeyDialog.cancel();
    m_Property.connected = false;
    emit signalNoConnectedAP();
    m_AccessPoints.clear();
}

void NetworkManager::slotAPConnectionError(APConnectionError code)
{
    if (code == AP_ERROR_KEY_REFUSED)
        m_KeyDialog.setMismatchPassword(true);
}

void NetworkManager::slotShowConnectingMessage()
{
    emit signalShowConnectingMessage();
}

void NetworkManager::slotAccessPointConnectingCancel()
{
    m_Cancelling = true;
    m_Connector.cancel();
}

void NetworkManager::slotShowConnectApDlg()
{
    m_KeyDialog.raise();
    m_KeyDialog.setFocusPwd();
    m_KeyDialog.exec();
}

void NetworkManager::slotShowKeyboard()
{
    KeyboardDialog *keyboard = new KeyboardDialog(nullptr);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : 1280;
    keyboard->move(screenWidth / 2 - keyboard->width() / 2,
                   m_KeyDialog.y() + m_KeyDialog.height() + 20);
    keyboard->setObject(m_KeyDialog.passwordObject());
    keyboard->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    keyboard->show();
    keyboard->exec();
    delete keyboard;
}
