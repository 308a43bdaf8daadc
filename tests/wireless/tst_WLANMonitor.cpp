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
    void deviceComesAndGoes()
    {
        TestRoot root;
        WifiWorld world(root);
        world.removeDevice();
        world.addDevice("eth0");
        WLANMonitor monitor;
        QSignalSpy spy(&monitor, &WLANMonitor::signalDetectDevice);
        monitor.start();
        QTest::qWait(300);
        QCOMPARE(spy.count(), 0);
        for (const char *program : {"ifconfig", "wpa_cli", "wpa_supplicant", "pkill"})
            QVERIFY2(root.calls(program).isEmpty(), program);

        world.addDevice("wlan1");
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0), QList<QVariant>({1, QString("wlan1")}));
        QCOMPARE(root.calls("ifconfig"), QList<QStringList>({{"wlan1"}, {"wlan1", "up"}}));
        // The probe runs with the arguments left from bringing the device up.
        QCOMPARE(root.calls("wpa_cli"), QList<QStringList>({{"wlan1", "up"}}));
        QTRY_COMPARE(root.calls("wpa_supplicant"),
                     QList<QStringList>({{"-B", "-Dwext,nl80211", "-iwlan1",
                                          "-c" + root.path("/etc/wpa_supplicant.conf"),
                                          "-f" + root.path("/tmp/wpa_supplicant.log")}}));
        QTest::qWait(200);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(root.calls("ifconfig").size(), 2);

        world.removeDevice("wlan1");
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1), QList<QVariant>({0, QString()}));
        QTRY_COMPARE(root.calls("pkill"), QList<QStringList>({{"wpa_supplicant"}}));
        QTest::qWait(200);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(root.calls("pkill").size(), 1);
        world.addDevice();
        QTRY_COMPARE(spy.count(), 3);
        monitor.stop();
    }

    void deviceAlreadyUpWithSupplicant()
    {
        TestRoot root;
        WifiWorld world(root);
        world.startSupplicant();
        WLANMonitor monitor;
        QSignalSpy spy(&monitor, &WLANMonitor::signalDetectDevice);
        monitor.start();
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(root.calls("ifconfig"), QList<QStringList>({{"wlan0"}}));
        QCOMPARE(root.calls("wpa_cli"), QList<QStringList>({{"wlan0"}}));
        QTest::qWait(100);
        QVERIFY(root.calls("wpa_supplicant").isEmpty());
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
