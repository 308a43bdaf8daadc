#include "APMonitor.h"
#include "TestRoot.h"
#include "WiFiTimeouts.h"
#include "WifiWorld.h"

#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>

// The scan parser, and scans against the Wi-Fi world's iwlist.
class APMonitorTest : public QObject
{
    Q_OBJECT

private:
    // One record for every cell, as a caller may hand it; the parser must empty it.
    static QList<AccessPoint> parseAll(const QString &text)
    {
        QStringList lines = text.split('\n');
        QList<AccessPoint> cells;
        AccessPoint ap;
        for (int i = 0; i < 20 && !lines.isEmpty(); ++i) {     // a stuck parser ends too
            if (APMonitor::parse_iwlist_output(lines, ap))
                cells << ap;
        }
        return cells;
    }

    static QString cell(const QString &address, const QString &body)
    {
        return "          Cell 01 - Address: " + address + "\n" + body;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<AccessPoint>("AccessPoint");
        WiFiTimeouts::set(WifiWorld::fastTimeouts());
    }

    void lines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("channel");
        QTest::addColumn<float>("frequency");
        QTest::addColumn<QString>("quality");
        QTest::addColumn<int>("level");
        QTest::newRow("frequency and channel")
            << "                    Frequency:2.437 GHz (Channel 6)" << "6" << 2.437f << "" << 0;
        QTest::newRow("5 GHz") << "                    Frequency:5.18 GHz (Channel 36)" << "36"
                               << 5.18f << "" << 0;
        QTest::newRow("frequency without leading blanks")
            << "Frequency:2.437 GHz (Channel 6)" << "" << 0.0f << "" << 0;
        QTest::newRow("quality and dBm")
            << "                    Quality=70/70  Signal level=-40 dBm  " << "" << 0.0f << "70/70"
            << 88;
        QTest::newRow("level as a fraction")
            << "                    Quality:45/100  Signal level:45/100" << "" << 0.0f << "45/100"
            << 45;
        QTest::newRow("fraction 45/70") << "                    Signal level=45/70" << "" << 0.0f
                                        << "" << 64;
        QTest::newRow("zero denominator") << "                    Signal level=45/0" << "" << 0.0f
                                          << "" << 0;
        QTest::newRow("above the scale") << "                    Signal level=150/100" << "" << 0.0f
                                         << "" << 100;
        QTest::newRow("negative without dBm") << "                    Signal level=-40" << ""
                                              << 0.0f << "" << 0;
        // These overflowed an int and stopped the scanner with a division trap.
        QTest::newRow("overflowing fraction") << "                    Signal level=536870912/-1"
                                              << "" << 0.0f << "" << 0;
        QTest::newRow("overflowing fraction, dBm")
            << "                    Signal level=536870912/-1 dBm" << "" << 0.0f << "" << 0;
    }
    void lines()
    {
        QFETCH(QString, line);
        QFETCH(QString, channel);
        QFETCH(float, frequency);
        QFETCH(QString, quality);
        QFETCH(int, level);
        const QList<AccessPoint> cells =
            parseAll(cell("00:11:22:33:44:55", "                    ESSID:\"Lab\"\n" + line));
        QCOMPARE(cells.size(), 1);
        QCOMPARE(cells.at(0).channel, channel);
        QCOMPARE(cells.at(0).frequency, frequency);
        QCOMPARE(cells.at(0).quality, quality);
        QCOMPARE(cells.at(0).level, level);
    }

    void dBm_data()
    {
        QTest::addColumn<int>("dBm");
        QTest::addColumn<int>("level");
        const QList<QPair<int, int>> table{{-10, 100}, {-30, 95}, {-40, 88}, {-45, 84}, {-50, 78},
                                           {-60, 65},  {-70, 49}, {-80, 30}, {-95, 0},  {-110, 0}};
        for (const auto &row : table)
            QTest::newRow(qPrintable(QString::number(row.first))) << row.first << row.second;
    }
    void dBm()
    {
        QFETCH(int, dBm);
        QFETCH(int, level);
        QCOMPARE(APMonitor::levelOf(QString::number(dBm), " dBm  "), level);
    }

    // Before, a cell without a name, frequency or key line took those of the cell before.
    void cellsDoNotInherit()
    {
        const QString text =
            "wlan0     Scan completed :\n"
            + cell("00:11:22:33:44:01", "                    Frequency:5.18 GHz (Channel 36)\n"
                                        "                    Encryption key:on\n"
                                        "                    ESSID:\"First\"\n"
                                        "                    Quality=70/70  Signal level=-40 dBm\n")
            + cell("00:11:22:33:44:02", "                    ESSID:\"\"\n")
            + cell("00:11:22:33:44:03", "                    Encryption key:off\n"
                                        "                    ESSID:\"Caf\\xC3\\xA9 \\x5Cx41\"\n");
        const QList<AccessPoint> cells = parseAll(text);
        QCOMPARE(cells.size(), 3);
        QCOMPARE(cells.at(0).essid, QString("First"));
        QVERIFY(cells.at(0).encrypted);
        QCOMPARE(cells.at(1).bssid, QString("00:11:22:33:44:02"));
        QCOMPARE(cells.at(1).essid, QString());
        QVERIFY(!cells.at(1).encrypted);
        QCOMPARE(cells.at(1).frequency, 0.0f);
        QCOMPARE(cells.at(1).level, 0);
        QCOMPARE(cells.at(1).channel, QString());
        QCOMPARE(cells.at(2).essid, QString("Caf\u00e9 \\x41"));
        QVERIFY(!cells.at(2).encrypted);
    }

    void textWithoutCellsGivesNothing()
    {
        QVERIFY(parseAll("wlan0     No scan results\n\n").isEmpty());
        QVERIFY(parseAll("                    ESSID:\"Lonely\"\n").isEmpty());
    }

    // Before, only the text iwlist had written at one moment was read.
    void scanReadsEveryChunk()
    {
        TestRoot root;
        WifiWorld world(root);
        world.startSupplicant();
        QList<WifiWorld::Network> networks;
        QStringList expected;
        for (int i = 0; i < 12; ++i) {
            WifiWorld::Network n;
            n.bssid = QString("00:1A:2B:3C:4D:%1").arg(i, 2, 10, QChar('0'));
            n.ssid = QString("Net %1").arg(i);
            n.key = i % 2 ? "secretkey" : "-";
            networks << n;
            expected << n.bssid + ' ' + n.ssid + (i % 2 ? " secured" : "");
        }
        world.setNetworks(networks);
        world.setChunkDelay("0.02");

        APMonitor monitor;
        QSignalSpy spy(&monitor, &APMonitor::signalNetworkStateChanged);
        monitor.setDevice("wlan0");
        monitor.setEnabled(true);
        monitor.start();
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 12, 5000);
        monitor.stop();
        QStringList seen;
        for (int i = 0; i < 12; ++i) {
            const AccessPoint ap = spy.at(i).at(0).value<AccessPoint>();
            seen << ap.bssid + ' ' + ap.essid + (ap.encrypted ? " secured" : "");
        }
        QCOMPARE(seen, expected);
        QCOMPARE(root.calls("iwlist").value(0), QStringList({"wlan0", "scan"}));
    }

    // A scan that is cut off gives no half-read cells, and a failing iwlist does not make
    // the loop spin.
    void brokenScans_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("hangs after half the cells") << "partial";
        QTest::newRow("fails at once") << "fail";
        QTest::newRow("device down") << "down";
    }
    void brokenScans()
    {
        QFETCH(QString, mode);
        TestRoot root;
        WifiWorld world(root);
        if (mode != "down")
            world.startSupplicant();
        if (mode != "down")
            world.setMode("iwlist", mode);
        ScopedTimeouts timeouts([](WiFiTimeouts &t) { t.commandMs = 300; });

        APMonitor monitor;
        QSignalSpy spy(&monitor, &APMonitor::signalNetworkStateChanged);
        monitor.setEnabled(true);
        monitor.start();
        QTest::qWait(700);
        QElapsedTimer clock;
        clock.start();
        monitor.stop();
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(spy.count(), 0);
        QVERIFY2(root.calls("iwlist").size() <= 8,
                 qPrintable(QString::number(root.calls("iwlist").size())));
    }

    // Before, the loop flag was set inside the thread, so a stop that came first was lost
    // and the scanner ran for ever.
    void stopRightAfterStart()
    {
        TestRoot root;
        WifiWorld world(root);
        world.startSupplicant();
        for (int i = 0; i < 20; ++i) {
            APMonitor monitor;
            monitor.setEnabled(true);
            monitor.start();
            monitor.stop();
            QVERIFY(!monitor.isRunning());
            QVERIFY(!monitor.isEnabled());
        }
    }
};

QTEST_MAIN(APMonitorTest)
#include "tst_APMonitor.moc"
