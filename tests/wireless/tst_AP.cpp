#include "AP.h"
#include "TestRoot.h"
#include "WiFiTimeouts.h"
#include "WifiWorld.h"

#include <QElapsedTimer>
#include <QtTest>

// The wpa_cli commands against canned wpa_cli replies and against the Wi-Fi world.
class APTest : public QObject
{
    Q_OBJECT

private:
    static QByteArray reply(const QByteArray &body)
    {
        return "Selected interface 'wlan0'\n" + body;
    }

private Q_SLOTS:
    void initTestCase()
    {
        WiFiTimeouts::set(WifiWorld::fastTimeouts());
    }

    void okRule_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("OK after the interface line") << reply("OK\n") << true << true;
        QTest::newRow("FAIL") << reply("FAIL\n") << false << false;
        QTest::newRow("OK on the first line only") << QByteArray("OK\n") << false << true;
        QTest::newRow("OK with blanks") << reply(" OK\n") << false << false;
        QTest::newRow("OK inside a word") << reply("NOT OK\n") << false << false;
        QTest::newRow("nothing") << QByteArray() << false << false;
    }
    void okRule()
    {
        QFETCH(QByteArray, output);
        QFETCH(bool, selected);
        QFETCH(bool, enabled);
        TestRoot root;
        root.fakeProgram("wpa_cli", output);
        AP ap;
        QCOMPARE(ap.select(4), selected);
        QCOMPARE(ap.setInsecure(4), selected);
        QCOMPARE(ap.enable(4), enabled);
        const QList<QStringList> calls = root.calls("wpa_cli");
        QCOMPARE(calls.size(), 3);
        QCOMPARE(calls.at(0), QStringList({"select_network", "4"}));
        QCOMPARE(calls.at(1), QStringList({"set_network", "4", "key_mgmt", "NONE"}));
        QCOMPARE(calls.at(2), QStringList({"select_network", "4"}));
    }

    void idBySSID_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("ssid");
        QTest::addColumn<QString>("bssid");
        QTest::addColumn<int>("id");
        const QByteArray twoLabs = reply("network id / ssid / bssid / flags\n"
                                         "0\tLab\t00:11:22:33:44:55\t[DISABLED]\n"
                                         "1\tLab\t66:77:88:99:AA:BB\t[DISABLED]\n"
                                         "2\tOffice\tany\t\n");
        QTest::newRow("BSSID decides, letter case ignored")
            << twoLabs << "Lab" << "00:11:22:33:44:55" << 0;
        QTest::newRow("lower-case BSSID") << twoLabs << "Lab" << "66:77:88:99:aa:bb" << 1;
        QTest::newRow("no BSSID: the later row") << twoLabs << "Lab" << "" << 1;
        QTest::newRow("unknown BSSID: by name") << twoLabs << "Office" << "00:00:00:00:00:01" << 2;
        QTest::newRow("name is case-sensitive") << twoLabs << "lab" << "" << -1;
        QTest::newRow("header only") << reply("network id / ssid / bssid / flags\n") << "Lab" << ""
                                     << -1;
        QTest::newRow("short rows skipped")
            << reply("network id / ssid / bssid / flags\n3\tLab\n") << "Lab" << "" << -1;
        QTest::newRow("escaped name")
            << reply("network id / ssid / bssid / flags\n7\tCaf\\xc3\\xa9\tany\t\n") << "Café" << ""
            << 7;
    }
    void idBySSID()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, ssid);
        QFETCH(QString, bssid);
        QFETCH(int, id);
        TestRoot root;
        root.fakeProgram("wpa_cli", table);
        QCOMPARE(AP().getIdBySSID(ssid, bssid), id);
        QCOMPARE(root.calls("wpa_cli").value(0), QStringList({"list_network"}));
    }

    void addNew_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("id");
        QTest::newRow("id") << reply("3\n") << 3;
        QTest::newRow("FAIL") << reply("FAIL\n") << -1;
        QTest::newRow("id on the first line only") << QByteArray("5\n") << -1;
        QTest::newRow("not only digits") << reply("12a\n") << -1;
        QTest::newRow("nothing") << QByteArray() << -1;
    }
    void addNew()
    {
        QFETCH(QByteArray, output);
        QFETCH(int, id);
        TestRoot root;
        root.fakeProgram("wpa_cli", output);
        QCOMPARE(AP().add_new(), id);
    }

    void status_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("connected");
        QTest::newRow("completed") << reply("ssid=Lab\nwpa_state=COMPLETED\n") << true;
        QTest::newRow("scanning") << reply("wpa_state=SCANNING\n") << false;
        QTest::newRow("4-way handshake") << reply("wpa_state=4WAY_HANDSHAKE\n") << false;
        QTest::newRow("COMPLETED elsewhere") << reply("ssid=COMPLETED\nwpa_state=SCANNING\n") << false;
    }
    void status()
    {
        QFETCH(QByteArray, output);
        QFETCH(bool, connected);
        TestRoot root;
        root.fakeProgram("wpa_cli", output);
        QCOMPARE(AP().isConnected(), connected);
    }

    void keyCheck_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<int>("state");
        QTest::newRow("connected") << QByteArray("wlan0: CTRL-EVENT-CONNECTED - Connection to x\n") << 2;
        QTest::newRow("wrong key") << QByteArray("wlan0: CTRL-EVENT-SSID-TEMP-DISABLED id=0 "
                                                 "auth_failures=1 reason=WRONG_KEY\n") << 1;
        QTest::newRow("both: connected") << QByteArray("reason=WRONG_KEY\nCTRL-EVENT-CONNECTED\n") << 2;
        QTest::newRow("neither") << QByteArray("wlan0: CTRL-EVENT-SCAN-STARTED\n") << 0;
        QTest::newRow("empty") << QByteArray("") << 0;
        QTest::newRow("no log") << QByteArray() << 0;
    }
    void keyCheck()
    {
        QFETCH(QByteArray, log);
        QFETCH(int, state);
        TestRoot root;
        if (!log.isNull())
            root.writeFile("/tmp/wpa_supplicant.log", log);
        QCOMPARE(AP().validatePassword(), state);
    }

    // The key is set after the log of the earlier attempt was emptied.
    void setPasswordEmptiesTheLog()
    {
        TestRoot root;
        root.writeFile("/tmp/wpa_supplicant.log", "wlan0: CTRL-EVENT-CONNECTED\n");
        root.fakeProgramScript("wpa_cli", "echo \"Selected interface 'wlan0'\"\n"
                                          "[ -s \"$ORBELIN_ROOT/tmp/wpa_supplicant.log\" ] "
                                          "&& echo FAIL || echo OK");
        QVERIFY(AP().setPassword(2, "secret-key"));
        QCOMPARE(root.readFile("/tmp/wpa_supplicant.log"), QByteArray());
        QCOMPARE(root.calls("wpa_cli").value(0),
                 QStringList({"set_network", "2", "psk", "\"secret-key\""}));
    }

    void bssidOnlyForAddresses_data()
    {
        QTest::addColumn<QString>("bssid");
        QTest::addColumn<bool>("nameTaken");
        QTest::addColumn<bool>("set");
        QTest::newRow("address") << "00:11:22:AA:BB:CC" << true << true;
        QTest::newRow("16 characters") << "00:11:22:AA:BB:C" << true << false;
        QTest::newRow("18 characters") << "00:11:22:AA:BB:CCD" << true << false;
        QTest::newRow("empty") << "" << true << false;
        QTest::newRow("name refused") << "00:11:22:AA:BB:CC" << false << false;
    }
    void bssidOnlyForAddresses()
    {
        QFETCH(QString, bssid);
        QFETCH(bool, nameTaken);
        QFETCH(bool, set);
        TestRoot root;
        root.fakeProgram("wpa_cli", reply(nameTaken ? "OK\n" : "FAIL\n"));
        QCOMPARE(AP().setSSID(1, "Lab", bssid), nameTaken);
        const QList<QStringList> calls = root.calls("wpa_cli");
        QCOMPARE(calls.value(0), QStringList({"set_network", "1", "ssid", "\"Lab\""}));
        QCOMPARE(calls.size(), set ? 2 : 1);
        if (set)
            QCOMPARE(calls.at(1), QStringList({"bssid", "1", bssid}));
    }

    void removeAllRemovesTheListedIds()
    {
        TestRoot root;
        root.fakeProgramScript("wpa_cli",
                               "echo \"Selected interface 'wlan0'\"\n"
                               "if [ \"$1\" = list_networks ]; then\n"
                               "  printf 'network id / ssid / bssid / flags\\n"
                               "4\\tA\\tany\\t\\n\\n1\\tB\\tany\\t[CURRENT]\\n'\n"
                               "else echo OK; fi");
        AP ap;
        ap.remove(-1);
        QVERIFY(root.calls("wpa_cli").isEmpty());
        ap.removeAll();
        QCOMPARE(root.calls("wpa_cli"),
                 QList<QStringList>({{"list_networks"}, {"remove_network", "4"},
                                     {"remove_network", "1"}}));
    }

    // A wpa_cli that never answers costs one bounded wait and reads as a refusal.
    void hangingClientIsBounded()
    {
        TestRoot root;
        root.fakeProgramScript("wpa_cli", "echo \"Selected interface 'wlan0'\"; exec sleep 30");
        ScopedTimeouts timeouts([](WiFiTimeouts &t) { t.commandMs = 300; });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!AP().select(1));
        QCOMPARE(AP().add_new(), -1);
        QVERIFY(clock.elapsed() < 5000);
    }

    // Names and keys are data: each reaches wpa_cli as one argument, unchanged, and the
    // simulated supplicant stores exactly that text.
    void hostileTextIsOneArgument_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("blanks") << "Lab  net 2";
        QTest::newRow("shell") << "$(reboot);`halt` && rm -rf / #";
        QTest::newRow("quotes") << "it's \"quoted\"";
        QTest::newRow("option-like") << "-i eth0 --help";
        QTest::newRow("backslashes") << "a\\b\\x41\\";
        QTest::newRow("non-ASCII") << "Caf\u00e9 \u00b5-Lab";
        QTest::newRow("glob") << "* ? [a-z]";
        QTest::newRow("tab and line feed") << "a\tb\nc";
    }
    void hostileTextIsOneArgument()
    {
        QFETCH(QString, text);
        TestRoot root;
        WifiWorld world(root);
        world.startSupplicant();
        AP ap;
        const int id = ap.add_new();
        QCOMPARE(id, 0);
        QVERIFY(ap.setSSID(id, text, QString()));
        const QString key = text + QStringLiteral(" key");
        QVERIFY(ap.setPassword(id, key));
        QCOMPARE(world.wpaCalls("set_network").value(0),
                 QStringList({"set_network", "0", "ssid", "\"" + text + "\""}));
        QCOMPARE(world.wpaCalls("set_network").value(1),
                 QStringList({"set_network", "0", "psk", "\"" + key + "\""}));
        QCOMPARE(QString::fromUtf8(root.readFile("/wifi/state/wpa/0/ssid")), text);
        QCOMPARE(QString::fromUtf8(root.readFile("/wifi/state/wpa/0/psk")), key);
        QCOMPARE(ap.getIdBySSID(text, QString()), 0);
    }
};

QTEST_MAIN(APTest)
#include "tst_AP.moc"
