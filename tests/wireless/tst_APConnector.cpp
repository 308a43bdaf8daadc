#include "APConnector.h"
#include "TestRoot.h"
#include "WiFiTimeouts.h"
#include "WifiWorld.h"
#include "ExternalProgram.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

// The connection run against the Wi-Fi world. A fake user answers each key request
// with the next of a list of keys (an empty QString() answers with a cancel).
class APConnectorTest : public QObject
{
    Q_OBJECT

private:
    // A test root with the Wi-Fi world, its supplicant running, and a connector for wlan0.
    struct Bench
    {
        Bench()
            : world(root)
        {
            world.startSupplicant();
            connector.setDevice("wlan0");
        }
        TestRoot root;
        WifiWorld world;
        APConnector connector;
    };

    struct Run
    {
        explicit Run(APConnector &connector)
            : connected(&connector, &APConnector::signalConnectedToAP)
            , failed(&connector, &APConnector::signalNoConnectedToAP)
            , errors(&connector, &APConnector::signalAPConnectionError)
            , connecting(&connector, &APConnector::signalShowConnectingMessage)
        {
        }
        QList<int> errorCodes() const
        {
            QList<int> codes;
            for (const QList<QVariant> &args : errors)
                codes << int(args.at(0).value<APConnectionError>());
            return codes;
        }
        QSignalSpy connected;
        QSignalSpy failed;
        QSignalSpy errors;
        QSignalSpy connecting;
    };

    // Answers key requests from the list; counts the requests.
    static void answerKeys(APConnector &connector, QStringList keys, int *requests)
    {
        QObject::connect(&connector, &APConnector::signalInputPassword, &connector,
                         [&connector, keys, requests]() mutable {
                             ++*requests;
                             if (keys.isEmpty())
                                 return;        // nobody answers
                             const QString key = keys.takeFirst();
                             if (key.isNull())
                                 connector.slotCancel();
                             else
                                 connector.slotSetPassword(key);
                         });
    }

    static bool waitForEnd(APConnector &connector, Run &run)
    {
        QElapsedTimer clock;
        clock.start();
        while (run.connected.count() + run.failed.count() == 0 && clock.elapsed() < 10000)
            QTest::qWait(10);
        return run.connected.count() + run.failed.count() > 0 && connector.wait(5000);
    }

    static QString savedFile(const TestRoot &root, const QString &name)
    {
        return root.path("/root/.AppData/Network/Settings/AP/" + name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<APConnectionError>("APConnectionError");
        WiFiTimeouts::set(WifiWorld::fastTimeouts());
    }

    void openNetwork()
    {
        Bench b;
        Run run(b.connector);
        int requests = 0;
        answerKeys(b.connector, {}, &requests);
        QVERIFY(b.connector.connectTo("Guest", "00:1A:2B:3C:4D:03", false));
        QVERIFY(waitForEnd(b.connector, run));
        QCOMPARE(run.connected.count(), 1);
        QCOMPARE(run.connected.at(0).at(0).toString(), QString("Guest"));
        QCOMPARE(requests, 0);
        QCOMPARE(run.connecting.count(), 1);
        QCOMPARE(b.connector.address(), QString("192.168.30.57"));
        QCOMPARE(b.world.wpaCalls("set_network").value(1),
                 QStringList({"set_network", "0", "key_mgmt", "NONE"}));
        QCOMPARE(b.root.calls("dhclient"), QList<QStringList>({{"wlan0"}}));
        QCOMPARE(b.root.calls("pkill"), QList<QStringList>({{"--full", "dhclient.+wlan0"}}));
        QCOMPARE(b.root.calls("ping").value(0).last(), QString("192.168.30.1"));
        QVERIFY(b.root.calls("ping").value(0).contains("wlan0"));
        // An open network is never saved.
        QVERIFY(!QFileInfo::exists(savedFile(b.root, "00-1a-2b-3c-4d-03.ini")));
    }

    // A wrong key is rejected by the access point: the key is asked for again, the right
    // one connects and the network is saved, readable by its owner only.
    void wrongKeyThenRightKey()
    {
        Bench b;
        Run run(b.connector);
        int requests = 0;
        answerKeys(b.connector, {"not-the-key", "cellcount"}, &requests);
        QVERIFY(b.connector.connectTo("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(waitForEnd(b.connector, run));
        QCOMPARE(run.connected.count(), 1);
        QCOMPARE(requests, 2);
        QCOMPARE(run.errorCodes(), QList<int>({AP_ERROR_KEY_REFUSED}));
        QCOMPARE(b.connector.address(), QString("192.168.10.57"));
        QCOMPARE(b.world.wpaCalls("bssid").value(0), QStringList({"bssid", "0", "00:1A:2B:3C:4D:01"}));

        const QString file = savedFile(b.root, "00-1a-2b-3c-4d-01.ini");
        QVERIFY(QFileInfo::exists(file));
        QSettings saved(file, QSettings::IniFormat);
        QCOMPARE(saved.value("SSID/BSSID").toString(), QString("00:1A:2B:3C:4D:01"));
        QCOMPARE(saved.value("SSID/Name").toString(), QString("LabNet"));
        QCOMPARE(saved.value("SSID/PSK").toString(), QString("cellcount"));
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        QCOMPARE(::stat(QFile::encodeName(QFileInfo(file).path()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0077, mode_t(0));
    }

    // wpa_cli refuses a key that cannot be one (too short): asked again before anything
    // is selected.
    void keyRefusedByWpaCli()
    {
        Bench b;
        Run run(b.connector);
        int requests = 0;
        answerKeys(b.connector, {"short", "", "cellcount"}, &requests);
        QVERIFY(b.connector.connectTo("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(waitForEnd(b.connector, run));
        QCOMPARE(run.connected.count(), 1);
        QCOMPARE(requests, 3);
        QCOMPARE(run.errorCodes(), QList<int>({AP_ERROR_KEY_REFUSED, AP_ERROR_KEY_REFUSED}));
        QCOMPARE(b.world.wpaCalls("select_network").size(), 2);
    }

    void cancelDuringKeyRequest()
    {
        Bench b;
        Run run(b.connector);
        int requests = 0;
        answerKeys(b.connector, {QString()}, &requests);
        QVERIFY(b.connector.connectTo("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(waitForEnd(b.connector, run));
        QCOMPARE(run.failed.count(), 1);
        QCOMPARE(run.connected.count(), 0);
        QVERIFY(run.errorCodes().isEmpty());
        QCOMPARE(b.world.wpaCalls("remove_network"), QList<QStringList>({{"remove_network", "0"}}));
        QVERIFY(b.world.wpaCalls("select_network").isEmpty());
        QVERIFY(!QFileInfo::exists(b.root.path("/wifi/state/wpa/0")));
    }

    // Before, the run waited for the key without limit.
    void unansweredKeyRequestEnds()
    {
        Bench b;
        ScopedTimeouts timeouts([](WiFiTimeouts &t) { t.keyWaitMs = 300; });
        Run run(b.connector);
        int requests = 0;
        answerKeys(b.connector, {}, &requests);
        QVERIFY(b.connector.connectTo("LabNet", "00:1A:2B:3C:4D:01", true));
        const bool ended = waitForEnd(b.connector, run);
        QVERIFY(ended);
        QCOMPARE(requests, 1);
        QCOMPARE(run.failed.count(), 1);
        QCOMPARE(b.world.wpaCalls("remove_network").size(), 1);
    }

    // Before, a second request overwrote the running run's network and was dropped.
    void secondRequestRefused()
    {
        Bench b;
        Run run(b.connector);
        bool refused = false;
        QObject::connect(&b.connector, &APConnector::signalInputPassword, &b.connector, [&] {
            refused = !b.connector.connectTo("Guest", "00:1A:2B:3C:4D:03", false);
            b.connector.slotSetPassword("cellcount");
        });
        QVERIFY(b.connector.connectTo("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(waitForEnd(b.connector, run));
        QVERIFY(refused);
        QCOMPARE(run.connected.count(), 1);
        QCOMPARE(run.connected.at(0).at(0).toString(), QString("LabNet"));
        QCOMPARE(b.connector.address(), QString("192.168.10.57"));
        // The next request, after the run ended, is taken.
        Run next(b.connector);
        QVERIFY(b.connector.connectTo("Guest", "00:1A:2B:3C:4D:03", false));
        QVERIFY(waitForEnd(b.connector, next));
        QCOMPARE(next.connected.count(), 1);
    }

    // Before, dhclient's failure, a silent gateway or another device's default route
    // still counted as connected.
    void addressFailures_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("routes");
        QTest::newRow("dhclient fails") << "dhclient" << "fail" << QByteArray();
        QTest::newRow("dhclient fails, eth0 has a default route")
            << "dhclient" << "fail"
            << QByteArray("0.0.0.0         10.0.0.1        0.0.0.0         UG    100    0        0 eth0\n");
        QTest::newRow("dhclient hangs") << "dhclient" << "hang" << QByteArray();
        QTest::newRow("gateway does not answer") << "ping" << "noreply" << QByteArray();
        QTest::newRow("ping prints its first line and hangs") << "ping" << "partial" << QByteArray();
        QTest::newRow("no route table") << "route" << "fail" << QByteArray();
    }
    void addressFailures()
    {
        QFETCH(QString, program);
        QFETCH(QString, mode);
        QFETCH(QByteArray, routes);
        Bench b;
        b.world.setMode(program, mode);
        b.world.setRoutes(routes);
        ScopedTimeouts timeouts([](WiFiTimeouts &t) { t.dhcpMs = t.pingMs = 500; });
        Run run(b.connector);
        QVERIFY(b.connector.connectTo("Guest", "00:1A:2B:3C:4D:03", false));
        const bool ended = waitForEnd(b.connector, run);
        QVERIFY(ended);
        QCOMPARE(run.connected.count(), 0);
        QCOMPARE(run.failed.count(), 1);
        QCOMPARE(b.connector.address(), QString());
    }

    void gateway_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("gateway");
        const QByteArray head = "Kernel IP routing table\n"
                                "Destination     Gateway         Genmask         Flags Metric Ref    Use Iface\n";
        QTest::newRow("wlan0") << head + "0.0.0.0         192.168.1.1     0.0.0.0         UG    600    0        0 wlan0\n"
                               << "192.168.1.1";
        QTest::newRow("eth0 only") << head + "0.0.0.0         10.0.0.1        0.0.0.0         UG    100    0        0 eth0\n"
                                   << "";
        QTest::newRow("eth0 first")
            << head + "0.0.0.0         10.0.0.1        0.0.0.0         UG    100    0        0 eth0\n"
                      "192.168.1.0     0.0.0.0         255.255.255.0   U     600    0        0 wlan0\n"
                      "0.0.0.0         192.168.1.1     0.0.0.0         UGH   600    0        0 wlan0\n"
            << "192.168.1.1";
        QTest::newRow("no gateway flag")
            << head + "192.168.1.0     0.0.0.0         255.255.255.0   U     600    0        0 wlan0\n" << "";
        QTest::newRow("headers only") << head << "";
        QTest::newRow("nothing") << QByteArray() << "";
    }
    void gateway()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, gateway);
        TestRoot root;
        root.fakeProgram("route", table);
        APConnector connector;
        connector.setDevice("wlan0");
        QCOMPARE(connector.gateway(), gateway);
        QCOMPARE(root.calls("route").value(0), QStringList({"-n"}));
    }

    void notAssociated()
    {
        Bench b;
        b.world.setMode("wpa_cli", "refuse", {"status"});
        Run run(b.connector);
        QVERIFY(b.connector.connectTo("Guest", "00:1A:2B:3C:4D:03", false));
        QVERIFY(waitForEnd(b.connector, run));
        QCOMPARE(run.failed.count(), 1);
        QCOMPARE(run.errorCodes(), QList<int>({AP_ERROR_NOT_ASSOCIATED}));
        QCOMPARE(b.world.wpaCalls("status").size(), WiFiTimeouts::current().associationChecks);
        QVERIFY(b.root.calls("dhclient").isEmpty());
    }

    // The log shows neither event (the network is out of range): no key is asked again.
    void keyCheckWithoutEvents()
    {
        Bench b;
        Run run(b.connector);
        int requests = 0;
        answerKeys(b.connector, {"whatever-key"}, &requests);
        QVERIFY(b.connector.connectTo("Far away", "00:00:00:00:00:99", true));
        QVERIFY(waitForEnd(b.connector, run));
        QCOMPARE(run.failed.count(), 1);
        QCOMPARE(requests, 1);
        QVERIFY(run.errorCodes().isEmpty());
        QCOMPARE(run.connecting.count(), 0);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("removed");
        QTest::newRow("add_network") << "add_network" << int(AP_ERROR_NO_NETWORK_ID) << 0;
        QTest::newRow("set_network") << "set_network" << int(AP_ERROR_NETWORK_REFUSED) << 1;
        QTest::newRow("select_network") << "select_network" << int(AP_ERROR_SELECT_REFUSED) << 0;
    }
    void refusals()
    {
        QFETCH(QString, command);
        QFETCH(int, error);
        QFETCH(int, removed);
        Bench b;
        b.world.setMode("wpa_cli", "refuse", {command});
        Run run(b.connector);
        QVERIFY(b.connector.connectTo("Guest", "00:1A:2B:3C:4D:03", false));
        QVERIFY(waitForEnd(b.connector, run));
        QCOMPARE(run.failed.count(), 1);
        QCOMPARE(run.errorCodes(), QList<int>({error}));
        QCOMPARE(b.world.wpaCalls("remove_network").size(), removed);
    }

    // Saved networks are loaded when scanning starts and then connect without the key.
    void savedNetworkConnectsWithoutKey()
    {
        Bench b;
        saveAPInfo("00:1A:2B:3C:4D:01", "LabNet", "cellcount");
        const QString file = savedFile(b.root, "00-1a-2b-3c-4d-01.ini");
        const QByteArray before = b.root.readFile("/root/.AppData/Network/Settings/AP/00-1a-2b-3c-4d-01.ini");
        QVERIFY(!before.isEmpty());

        Run run(b.connector);
        b.connector.initialize();
        QVERIFY(run.errors.isEmpty());
        QCOMPARE(b.world.wpaCalls("set_network").value(1),
                 QStringList({"set_network", "0", "psk", "\"cellcount\""}));
        QFile::setPermissions(file, QFile::ReadOwner);      // a rewrite would fail
        int requests = 0;
        answerKeys(b.connector, {}, &requests);
        QVERIFY(b.connector.connectTo("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(waitForEnd(b.connector, run));
        QCOMPARE(run.connected.count(), 1);
        QCOMPARE(requests, 0);
        QCOMPARE(b.world.wpaCalls("add_network").size(), 1);
        QCOMPARE(b.root.readFile("/root/.AppData/Network/Settings/AP/00-1a-2b-3c-4d-01.ini"), before);
    }

    // A saved key that the access point now rejects: its file goes, the key is asked for,
    // and the right one is saved again.
    void savedKeyRejected()
    {
        Bench b;
        saveAPInfo("00:1A:2B:3C:4D:01", "LabNet", "old-key-123");
        Run run(b.connector);
        b.connector.initialize();
        int requests = 0;
        bool fileGoneWhenAsked = false;
        QObject::connect(&b.connector, &APConnector::signalInputPassword, &b.connector, [&] {
            ++requests;
            fileGoneWhenAsked = !QFileInfo::exists(savedFile(b.root, "00-1a-2b-3c-4d-01.ini"));
            b.connector.slotSetPassword("cellcount");
        });
        QVERIFY(b.connector.connectTo("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(waitForEnd(b.connector, run));
        QCOMPARE(run.connected.count(), 1);
        QCOMPARE(requests, 1);
        QVERIFY(fileGoneWhenAsked);
        QCOMPARE(run.errorCodes(), QList<int>({AP_ERROR_KEY_REFUSED}));
        QSettings saved(savedFile(b.root, "00-1a-2b-3c-4d-01.ini"), QSettings::IniFormat);
        QCOMPARE(saved.value("SSID/PSK").toString(), QString("cellcount"));
    }

    void initializeSkipsIncompleteFiles()
    {
        Bench b;
        const QString folder = "/root/.AppData/Network/Settings/AP/";
        b.root.writeFile(folder + "00-00-00-00-00-01.ini", "[SSID]\nBSSID=00:00:00:00:00:01\nName=A\n");
        b.root.writeFile(folder + "00-00-00-00-00-02.ini", "[SSID]\nBSSID=00:00:00:00:00:02\nPSK=abcdefgh\n");
        b.root.writeFile(folder + "00-00-00-00-00-03.ini",
                       "[SSID]\nBSSID=00:00:00:00:00:03\nName=C\nPSK=abcdefgh\n");
        b.root.writeFile(folder + "notes.txt", "[SSID]\nName=D\nPSK=abcdefgh\n");
        // A network configured earlier is dropped first.
        ExternalProgram::run("wpa_cli", {"add_network"});
        Run run(b.connector);
        b.connector.initialize();
        QVERIFY(run.errors.isEmpty());
        QCOMPARE(b.world.wpaCalls("remove_network"), QList<QStringList>({{"remove_network", "0"}}));
        QCOMPARE(b.world.wpaCalls("add_network").size(), 2);
        QCOMPARE(b.world.wpaCalls("set_network").value(0),
                 QStringList({"set_network", "0", "ssid", "\"C\""}));
    }

    void initializeReportsAndGoesOn()
    {
        Bench b;
        saveAPInfo("00:00:00:00:00:01", "A", "abcdefgh");
        saveAPInfo("00:00:00:00:00:02", "B", "short");     // wpa_cli refuses the key
        saveAPInfo("00:00:00:00:00:03", "C", "abcdefgh");
        Run run(b.connector);
        b.connector.initialize();
        QCOMPARE(run.errorCodes(), QList<int>({AP_ERROR_NETWORK_REFUSED}));
        QCOMPARE(b.world.wpaCalls("add_network").size(), 3);
        QCOMPARE(b.world.wpaCalls("remove_network").size(), 1);
        const QStringList loaded = QDir(b.root.path("/wifi/state/wpa")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(loaded.size(), 2);
        for (const QString &id : loaded)
            QCOMPARE(b.root.readFile("/wifi/state/wpa/" + id + "/psk"), QByteArray("abcdefgh"));
    }

    void savedFileNames_data()
    {
        QTest::addColumn<QString>("bssid");
        QTest::addColumn<QString>("file");
        QTest::newRow("upper case") << "00:11:22:AA:BB:CC" << "00-11-22-aa-bb-cc.ini";
        QTest::newRow("lower case") << "00:11:22:aa:bb:cc" << "00-11-22-aa-bb-cc.ini";
        QTest::newRow("path") << "../../etc/passwd" << "";
        QTest::newRow("empty") << "" << "";
    }
    void savedFileNames()
    {
        QFETCH(QString, bssid);
        QFETCH(QString, file);
        QCOMPARE(APConnector::fileNameOf(bssid), file);
        TestRoot root;
        saveAPInfo(bssid, "Lab", "abcdefgh");
        const QStringList files =
            QDir(root.path("/root/.AppData/Network/Settings/AP")).entryList(QDir::Files);
        QCOMPARE(files, file.isEmpty() ? QStringList() : QStringList{file});
        QVERIFY(!QFileInfo::exists(root.path("/etc/passwd.ini")));
    }

    // Names and keys, however strange, reach wpa_cli as single arguments and join the
    // network that carries exactly that name and key.
    void hostileNameAndKey_data()
    {
        QTest::addColumn<QString>("ssid");
        QTest::addColumn<QString>("key");
        QTest::newRow("shell") << "$(reboot); `halt` #" << "k\"; rm -rf / ; echo \"";
        QTest::newRow("quotes and backslashes") << "Bob's \"lab\" \\x41" << "it's a \\key\\";
        QTest::newRow("option-like") << "--help" << "-i wlan1 -c x";
        QTest::newRow("non-ASCII") << "Caf\u00e9 \u00b5-Lab" << "cl\u00e9-s\u00fbre!";
    }
    void hostileNameAndKey()
    {
        QFETCH(QString, ssid);
        QFETCH(QString, key);
        Bench b;
        WifiWorld::Network n;
        n.bssid = "00:1A:2B:3C:4D:0A";
        n.ssid = ssid;
        n.key = key;
        b.world.setNetworks({n});
        Run run(b.connector);
        int requests = 0;
        answerKeys(b.connector, {key}, &requests);
        QVERIFY(b.connector.connectTo(ssid, n.bssid, true));
        QVERIFY(waitForEnd(b.connector, run));
        QCOMPARE(run.connected.count(), 1);
        QCOMPARE(b.world.wpaCalls("set_network").value(0),
                 QStringList({"set_network", "0", "ssid", "\"" + ssid + "\""}));
        QCOMPARE(b.world.wpaCalls("set_network").value(1),
                 QStringList({"set_network", "0", "psk", "\"" + key + "\""}));
        QSettings saved(savedFile(b.root, "00-1a-2b-3c-4d-0a.ini"), QSettings::IniFormat);
        QCOMPARE(saved.value("SSID/Name").toString(), ssid);
        QCOMPARE(saved.value("SSID/PSK").toString(), key);

        // Loaded again from the saved file, the same network is found without a key.
        b.connector.initialize();
        Run again(b.connector);
        QVERIFY(b.connector.connectTo(ssid, n.bssid, true));
        QVERIFY(waitForEnd(b.connector, again));
        QCOMPARE(again.connected.count(), 1);
        QCOMPARE(requests, 1);
    }
};

QTEST_MAIN(APConnectorTest)
#include "tst_APConnector.moc"
