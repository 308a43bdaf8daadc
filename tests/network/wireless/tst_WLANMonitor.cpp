#include "TestRoot.h"
#include "WLANMonitor.h"
#include "WiFiTimeouts.h"
#include "WifiWorld.h"

#include <QSignalSpy>
#include <QtTest>

// The device monitor against the Wi-Fi world: what it runs when the device comes and goes.
class WLANMonitorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Only "wlan*" names count; each change is reported once and runs its programs once.
    // A device already up with its supplicant is only asked for.
    void deviceComesAndGoes()
    {
        TestRoot root;
        WifiWorld world(root);
        world.startSupplicant();
        world.addDevice("eth0");
        WLANMonitor monitor;
        QSignalSpy spy(&monitor, &WLANMonitor::signalDetectDevice);
        monitor.start();
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0), QList<QVariant>({1, QString("wlan0")}));
        QCOMPARE(root.calls("ifconfig"), QList<QStringList>({{"wlan0"}}));
        QCOMPARE(root.calls("wpa_cli"), QList<QStringList>({{"wlan0"}}));

        world.removeDevice();
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1), QList<QVariant>({0, QString()}));
        QTRY_COMPARE(root.calls("pkill"), QList<QStringList>({{"wpa_supplicant"}}));
        QTest::qWait(200);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(root.calls("pkill").size(), 1);
        QCOMPARE(root.calls("ifconfig").size(), 1);
        QVERIFY(root.calls("wpa_supplicant").isEmpty());

        root.clearCalls("ifconfig");
        root.clearCalls("wpa_cli");
        world.addDevice("wlan1");
        QTRY_COMPARE(spy.count(), 3);
        QCOMPARE(spy.at(2), QList<QVariant>({1, QString("wlan1")}));
        QCOMPARE(root.calls("ifconfig"), QList<QStringList>({{"wlan1"}, {"wlan1", "up"}}));
        // The probe runs with the arguments left from bringing the device up.
        QCOMPARE(root.calls("wpa_cli"), QList<QStringList>({{"wlan1", "up"}}));
        QTRY_COMPARE(root.calls("wpa_supplicant"),
                     QList<QStringList>({{"-B", "-Dwext,nl80211", "-iwlan1",
                                          "-c" + root.path("/etc/wpa_supplicant.conf"),
                                          "-f" + root.path("/tmp/wpa_supplicant.log")}}));
        monitor.stop();
    }

    void stoppedMonitorPollsNoMore()
    {
        TestRoot root;
        WifiWorld world(root);
        world.removeDevice();
        WLANMonitor monitor;
        QSignalSpy spy(&monitor, &WLANMonitor::signalDetectDevice);
        monitor.stop();
        world.addDevice();
        QTest::qWait(300);
        QCOMPARE(spy.count(), 0);
        QVERIFY(root.calls("ifconfig").isEmpty());
    }
};

QTEST_MAIN(WLANMonitorTest)
#include "tst_WLANMonitor.moc"
