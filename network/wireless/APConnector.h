#pragma once

#include "AP.h"

#include <QMetaType>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

// Why a connection run (or the loading of saved networks) went wrong.
enum APConnectionError {
    AP_ERROR_NO_NETWORK_ID = 1,     // wpa_supplicant gave no id for a new network
    AP_ERROR_NETWORK_REFUSED = 2,   // the name, or enabling the network, was refused
    AP_ERROR_KEY_REFUSED = 3,       // wpa_cli refused the key or the access point rejected it
    AP_ERROR_SELECT_REFUSED = 4,
    AP_ERROR_NOT_ASSOCIATED = 5,    // no association within the status checks
};
Q_DECLARE_METATYPE(APConnectionError)

// Saved access points: one INI file per network joined with a key, named after its BSSID.
// The files hold the key, so only their owner may read them.
void saveAPInfo(const QString &bssid, const QString &name, const QString &psk);
void removeAPInfo(const QString &bssid);

// Joins one Wi-Fi network on its own thread: registers it with wpa_supplicant, asks the
// user for the key (through signalInputPassword and slotSetPassword/slotCancel), checks the
// key in the supplicant's log, waits for association, gets an address by DHCP, pings the
// gateway and checks the device's address. One run at a time.
class APConnector : public QThread
{
    Q_OBJECT

public:
    static QString settingsFolder() { return QStringLiteral("/root/.AppData/Network/Settings/AP"); }
    // "00:11:22:AA:BB:CC" -> "00-11-22-aa-bb-cc.ini"; empty for text that is no BSSID.
    static QString fileNameOf(const QString &bssid);

    explicit APConnector(QObject *parent = nullptr);
    ~APConnector() override;

    void setDevice(const QString &device);
    QString device() const;
    // Starts a run for the network. While a run is active the request is refused (false)
    // and the active run is left as it is.
    bool connectTo(const QString &ssid, const QString &bssid, bool secured);
    bool isActive() const { return m_Active; }
    // The device's address as checked by the last successful run.
    QString address() const;

    // Reloads wpa_supplicant's network list from the saved access points (GUI thread).
    void initialize();
    // The default gateway on the device, or empty.
    QString gateway() const;
    // Same as slotCancel().
    void cancel();

public Q_SLOTS:
    void slotSetPassword(const QString &key);
    void slotCancel();

Q_SIGNALS:
    void signalInputPassword();
    void signalAPConnectionError(APConnectionError code);
    void signalShowConnectingMessage();
    void signalConnectedToAP(const QString &ssid);
    void signalNoConnectedToAP();

protected:
    void run() override;

private:
    struct Request
    {
        QString device;
        QString ssid;
        QString bssid;
        bool secured = false;
    };

    bool connectRun(const Request &request);
    bool joinNetwork(const Request &request, QString *typedKey);
    bool askKey(QString *key);
    bool obtainAddress(const Request &request);
    bool cancelled() const;
    // Sleeps; false when the connector is being destroyed.
    bool pause(int ms);

    AP m_Ap;
    mutable QMutex m_Mutex;
    QWaitCondition m_Wait;
    Request m_Request;
    QString m_Key;
    QString m_Address;
    bool m_KeyGiven = false;
    bool m_Cancel = false;
    bool m_Abort = false;
    std::atomic<bool> m_Active{false};
};
