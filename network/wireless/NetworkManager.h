#pragma once

#include "APConnector.h"
#include "APMonitor.h"
#include "AccessPoint.h"
#include "ConnectAPDlg.h"
#include "WLANMonitor.h"

#include <QMap>
#include <QObject>
#include <QString>

// The Wi-Fi state the title bar and the dialogs read.
struct wireless_network_property
{
    QString device;             // such as "wlan0"
    QString ssid;               // the network last connected
    bool devicePresent = false;
    bool connected = false;
    QString ip;                 // the device's IPv4 address
};

// The process-wide Wi-Fi manager: sequences the device monitor, the scanner, the
// connection run and the key dialog, and turns their reports into state and signals.
// Everything here runs on the GUI thread.
class NetworkManager : public QObject
{
    Q_OBJECT

public:
    static NetworkManager *instance();
    static void release();

    wireless_network_property property() const;
    QString device() const;
    QMap<QString, AccessPoint> &accessPoints();
    void setEnabled(bool enabled);
    void setScanAccessPoint(bool on);
    // Starts a connection run; false when one is already active (that run goes on).
    bool connectToAP(const QString &ssid, const QString &bssid, bool secured);
    void setDisconnectAccessPoint();

    ConnectAPDlg *keyDialog() { return &m_KeyDialog; }

public Q_SLOTS:
    void slotWLANDeviceChanged(int state, const QString &name);
    void slotNetworkStateChanged(const AccessPoint &ap);
    void slotConnectedAP(const QString &ssid);
    void slotNoConnectedAP();
    void slotAPConnectionError(APConnectionError code);
    void slotShowConnectingMessage();
    void slotAccessPointConnectingCancel();
    void slotShowConnectApDlg();
    void slotShowKeyboard();

Q_SIGNALS:
    void signalNetworkDeviceChanged();
    void signalConnectedAP(const QString &ssid);
    void signalNoConnectedAP();
    void signalShowConnectingMessage();
    void signalAPUpdateList(QMap<QString, AccessPoint> &accessPoints);

private:
    explicit NetworkManager(QObject *parent = nullptr);
    ~NetworkManager() override;

    static NetworkManager *object;

    WLANMonitor m_DeviceMonitor;
    APMonitor m_Scanner;
    APConnector m_Connector;
    ConnectAPDlg m_KeyDialog;
    wireless_network_property m_Property;
    QMap<QString, AccessPoint> m_AccessPoints;
    bool m_Enabled = false;
    bool m_Cancelling = false;
};
