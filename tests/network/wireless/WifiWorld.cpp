#include "WifiWorld.h"

#include "ExternalProgram.h"
#include "NetworkManager.h"
#include "TestRoot.h"

#include <QDir>
#include <QtTest>

WifiWorld::WifiWorld(const TestRoot &root)
    : m_Root(root)
{
    for (const char *program : {"_record", "_wifiworld", "wpa_cli", "wpa_supplicant", "iwlist",
                                "ifconfig", "route", "dhclient", "ping", "pkill"})
        root.installStandin(QString::fromLatin1(program));
    const ProgramResult init = ExternalProgram::run(
        QStringLiteral("bash"), {QStringLiteral(ORBELIN_STANDINS_DIR "/wifi.sh"), QStringLiteral("init")});
    if (!init.ok())
        qWarning("wifi.sh init: %s", qPrintable(init.describe()));
    root.writeFile("/wifi/settings", "scan_delay=0\nchunk_delay=0\n");
    WiFiTimeouts::set(fastTimeouts());
}

WiFiTimeouts WifiWorld::fastTimeouts()
{
    WiFiTimeouts t;
    t.commandMs = 3000;
    t.devicePollMs = 50;
    t.failedScanPauseMs = 100;
    t.keyWaitMs = 10000;
    t.keyCheckIntervalMs = 10;
    t.associationIntervalMs = 10;
    t.dhcpMs = 3000;
    t.pingMs = 3000;
    return t;
}

void WifiWorld::setNetworks(const QList<Network> &networks) const
{
    QByteArray text;
    for (const Network &n : networks) {
        const QStringList fields{n.bssid, n.frequency, QStringLiteral("6"), QStringLiteral("60/70"),
                                 n.signal, n.hidden ? QStringLiteral("1") : QStringLiteral("0"),
                                 n.key, n.address, n.gateway, n.ssid};
        text += fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    m_Root.writeFile("/wifi/networks", text);
}

void WifiWorld::setChunkDelay(const QString &seconds) const
{
    m_Root.writeFile("/wifi/settings", "scan_delay=0\nchunk_delay=" + seconds.toLatin1() + '\n');
}

void WifiWorld::setMode(const QString &program, const QString &mode,
                        const QStringList &commands) const
{
    const QString file = QStringLiteral("/run/") + program + QStringLiteral(".mode");
    if (mode == QLatin1String("ok"))
        QFile::remove(m_Root.path(file));
    else
        m_Root.writeFile(file, (QStringList{mode} + commands).join(QLatin1Char(' ')).toUtf8() + '\n');
}

void WifiWorld::addDevice(const QString &device) const
{
    m_Root.mkdir(QStringLiteral("/sys/class/net/") + device);
}

void WifiWorld::removeDevice(const QString &device) const
{
    QDir(m_Root.path(QStringLiteral("/sys/class/net/") + device)).removeRecursively();
}

void WifiWorld::startSupplicant() const
{
    ExternalProgram::run(QStringLiteral("ifconfig"), {QStringLiteral("wlan0"), QStringLiteral("up")});
    const ProgramResult result = ExternalProgram::run(
        QStringLiteral("wpa_supplicant"),
        {QStringLiteral("-B"), QStringLiteral("-Dwext,nl80211"), QStringLiteral("-iwlan0"),
         QStringLiteral("-c/etc/wpa_supplicant.conf"), QStringLiteral("-f/tmp/wpa_supplicant.log")});
    if (!result.ok())
        qWarning("wpa_supplicant stand-in: %s", qPrintable(result.describe()));
    m_Root.clearCalls(QStringLiteral("ifconfig"));
    m_Root.clearCalls(QStringLiteral("wpa_supplicant"));
}

QList<QStringList> WifiWorld::wpaCalls(const QString &command) const
{
    QList<QStringList> result;
    for (const QStringList &call : m_Root.calls(QStringLiteral("wpa_cli"))) {
        if (call.value(0) == command)
            result << call;
    }
    return result;
}

ManagerBench::~ManagerBench()
{
    NetworkManager::release();
}

NetworkManager *ManagerBench::start()
{
    NetworkManager *manager = NetworkManager::instance();
    if (!QTest::qWaitFor([manager] { return manager->property().devicePresent; }, 5000))
        qWarning("the Wi-Fi device was not detected");
    return manager;
}
