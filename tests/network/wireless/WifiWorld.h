#pragma once

#include "TestRoot.h"
#include "WiFiTimeouts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class NetworkManager;

// The simulated Wi-Fi world in a test root: the project's Wi-Fi stand-ins first on PATH
// and the default world of standins/wifi.sh (device wlan0, five networks), scanning
// without delay. Sets the fast timeouts.
class WifiWorld
{
public:
    explicit WifiWorld(const TestRoot &root);

    // Timeouts short enough for tests; the counts of checks stay as on the instrument.
    static WiFiTimeouts fastTimeouts();

    // One network in range: "-" as key for an open one.
    struct Network
    {
        QString bssid;
        QString ssid;
        QString key = QStringLiteral("-");
        QString frequency = QStringLiteral("2.437");
        QString signal = QStringLiteral("-50 dBm");
        bool hidden = false;
        QString address = QStringLiteral("192.168.10.57");
        QString gateway = QStringLiteral("192.168.10.1");
    };
    void setNetworks(const QList<Network> &networks) const;
    void setChunkDelay(const QString &seconds) const;

    // "fail", "hang", "partial", "refuse", "noreply" or "ok"; for wpa_cli optionally only
    // for the named commands.
    void setMode(const QString &program, const QString &mode,
                 const QStringList &commands = QStringList()) const;
    void addDevice(const QString &device = QStringLiteral("wlan0")) const;
    void removeDevice(const QString &device = QStringLiteral("wlan0")) const;
    // Brings wlan0 up and starts the simulated supplicant, as the device monitor does.
    void startSupplicant() const;

    // The wpa_cli calls whose first argument is command.
    QList<QStringList> wpaCalls(const QString &command) const;

private:
    const TestRoot &m_Root;
};

// Changes the Wi-Fi timeouts for one test and puts the fast ones back at its end.
class ScopedTimeouts
{
public:
    explicit ScopedTimeouts(void (*change)(WiFiTimeouts &t))
    {
        WiFiTimeouts t = WifiWorld::fastTimeouts();
        change(t);
        WiFiTimeouts::set(t);
    }
    ~ScopedTimeouts() { WiFiTimeouts::set(WifiWorld::fastTimeouts()); }
};

// A test root with the Wi-Fi world and the Wi-Fi manager, which goes with it.
struct ManagerBench
{
    ManagerBench()
        : world(root)
    {
    }
    ~ManagerBench();
    // The manager, once it has seen the device.
    NetworkManager *start();

    TestRoot root;
    WifiWorld world;
};
