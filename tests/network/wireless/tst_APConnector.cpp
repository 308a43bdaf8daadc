#include "AP.h"
#include "APConnector.h"
#include "ExternalProgram.h"
#include "TestRoot.h"
#include "WifiWorld.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

namespace {
const QString Cancel = QStringLiteral("<cancel>");       // as a key: CANCEL instead
const QString Silent = QStringLiteral("<nobody answers>");
const QString Folder = QStringLiteral("/root/.AppData/Network/Settings/AP/");

QByteArray reply(const QByteArray &body)
{
    return "Selected interface 'wlan0'\n" + body;
}

QString bssidOf(const QString &ssid)
{
    if (ssid == "Guest")
        return "00:1A:2B:3C:4D:03";
    return ssid == "LabNet" ? "00:1A:2B:3C:4D:01" : "00:00:00:00:00:99";
}
} // namespace

// The connection run and its wpa_cli commands, against the Wi-Fi world and canned replies.
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

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<APConnectionError>("APConnectionError");
    }

    // Success needs every step; a network joined with a key is saved, readable by its
    // owner only; a failed run leaves no address and no saved key.
    void runs_data()
    {
        QTest::addColumn<QString>("ssid");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("setUp");     // "PROGRAM MODE [COMMAND]" or "saved KEY"
        QTest::addColumn<QList<int>>("errors");
        QTest::addColumn<int>("removed");       // networks removed from the supplicant
        QTest::addColumn<QString>("address");   // empty: the run fails
        const QList<int> none;
        const QList<int> wrongKey{AP_ERROR_KEY_REFUSED};
        const QString lab = "192.168.10.57";
        QTest::newRow("open") << "Guest" << QStringList() << "" << none << 0 << "192.168.30.57";
        QTest::newRow("wrong key, then the right one")
            << "LabNet" << QStringList{"not-the-key", "cellcount"} << "" << wrongKey << 0 << lab;
        QTest::newRow("key refused by wpa_cli, then the right one")
            << "LabNet" << QStringList{"short", "cellcount"} << "" << wrongKey << 0 << lab;
        QTest::newRow("saved key") << "LabNet" << QStringList() << "saved cellcount" << none << 0
                                   << lab;
        // A rejected saved key loses its file before the key is asked for.
        QTest::newRow("saved key rejected, then cancel")
            << "LabNet" << QStringList{Cancel} << "saved old-key-123" << wrongKey << 1 << "";
        QTest::newRow("cancel") << "LabNet" << QStringList{Cancel} << "" << none << 1 << "";
        // Before, the run waited for the key without limit.
        QTest::newRow("key never given") << "LabNet" << QStringList{Silent} << "" << none << 1 << "";
        // The log shows neither event: no key is asked again.
        QTest::newRow("out of range") << "Far away" << QStringList{"whatever-key"} << "" << none
                                      << 0 << "";
        QTest::newRow("add_network refused") << "Guest" << QStringList() << "wpa_cli refuse add_network"
                                             << QList<int>{AP_ERROR_NO_NETWORK_ID} << 0 << "";
        QTest::newRow("set_network refused") << "Guest" << QStringList() << "wpa_cli refuse set_network"
                                             << QList<int>{AP_ERROR_NETWORK_REFUSED} << 1 << "";
        QTest::newRow("select_network refused")
            << "Guest" << QStringList() << "wpa_cli refuse select_network"
            << QList<int>{AP_ERROR_SELECT_REFUSED} << 0 << "";
        QTest::newRow("never associated") << "Guest" << QStringList() << "wpa_cli refuse status"
                                          << QList<int>{AP_ERROR_NOT_ASSOCIATED} << 0 << "";
        // Before, dhclient's failure, a silent gateway or another device's default route
        // still counted as connected.
        QTest::newRow("dhclient fails after the lease") << "Guest" << QStringList() << "lease" << none << 0 << "";
        QTest::newRow("dhclient hangs") << "Guest" << QStringList() << "dhclient hang" << none << 0 << "";
        QTest::newRow("gateway silent") << "Guest" << QStringList() << "ping noreply" << none << 0 << "";
        QTest::newRow("ping hangs after its first line")
            << "Guest" << QStringList() << "ping partial" << none << 0 << "";
        QTest::newRow("no route table") << "Guest" << QStringList() << "route fail" << none << 0 << "";
        QTest::newRow("no address on the device")
            << "Guest" << QStringList() << "ifconfig fail" << none << 0 << "";
    }
    void runs()
    {
        QFETCH(QString, ssid);
        QFETCH(QStringList, keys);
        QFETCH(QString, setUp);
        QFETCH(QList<int>, errors);
        QFETCH(int, removed);
        QFETCH(QString, address);
        Bench b;
        const QStringList how = setUp.split(' ', Qt::SkipEmptyParts);
        if (how.value(0) == "saved") {
            saveAPInfo(bssidOf(ssid), ssid, how.at(1));
            b.connector.initialize();
            b.root.clearCalls("wpa_cli");
        } else if (how.value(0) == "lease") {
            b.root.fakeProgramScript("dhclient", "\"" ORBELIN_STANDINS_DIR "/bin/dhclient\" \"$@\"; exit 1");
        } else if (!how.isEmpty()) {
            b.world.setMode(how.at(0), how.at(1), how.mid(2));
        }
        b.root.writeFile("/wifi/routes", "0.0.0.0         10.0.0.1        0.0.0.0         UG    100    0        0 eth0\n");
        if (keys.contains(Silent) || setUp.contains("hang") || setUp.contains("partial")) {
            WiFiTimeouts t = WifiWorld::fastTimeouts();
            t.keyWaitMs = t.dhcpMs = t.pingMs = 500;
            WiFiTimeouts::set(t);
        }
        // A fake user answers each key request with the next key (or nobody answers).
        int requests = 0;
        QStringList answers = keys;
        QObject user;       // goes first, and with it any answer still queued
        connect(&b.connector, &APConnector::signalInputPassword, &user, [&] {
            ++requests;
            const QString key = answers.isEmpty() ? Silent : answers.takeFirst();
            if (key == Cancel)
                b.connector.slotCancel();
            else if (key != Silent)
                b.connector.slotSetPassword(key);
        });
        QSignalSpy errorSpy(&b.connector, &APConnector::signalAPConnectionError);
        QSignalSpy connected(&b.connector, &APConnector::signalConnectedToAP);
        QSignalSpy failed(&b.connector, &APConnector::signalNoConnectedToAP);
        QVERIFY(b.connector.connectTo(ssid, bssidOf(ssid), ssid != "Guest"));
        QVERIFY(QTest::qWaitFor([&] { return connected.count() + failed.count() > 0; }, 15000));
        QVERIFY(b.connector.wait(5000));
        QCOMPARE(connected.count() + failed.count(), 1);
        QCOMPARE(connected.count(), address.isEmpty() ? 0 : 1);
        QList<int> reported;
        for (const QList<QVariant> &args : errorSpy)
            reported << int(args.at(0).value<APConnectionError>());
        QCOMPARE(reported, errors);
        QCOMPARE(requests, keys.size());
        QCOMPARE(b.world.wpaCalls("remove_network").size(), removed);
        QCOMPARE(b.connector.address(), address);
        const QString file = b.root.path(Folder + APConnector::fileNameOf(bssidOf(ssid)));
        QCOMPARE(QFileInfo::exists(file), !address.isEmpty() && ssid != "Guest");
        if (address.isEmpty())
            return;
        QCOMPARE(b.root.calls("dhclient"), QList<QStringList>({{"wlan0"}}));
        QCOMPARE(b.root.calls("pkill"), QList<QStringList>({{"--full", "dhclient.+wlan0"}}));
        const QString gateway = address.section('.', 0, 2) + ".1";
        QCOMPARE(b.root.calls("ping").value(0).mid(4), QStringList({"-I", "wlan0", gateway}));
        if (ssid == "Guest")
            return;
        QSettings saved(file, QSettings::IniFormat);
        QCOMPARE(saved.value("SSID/BSSID").toString(), bssidOf(ssid));
        QCOMPARE(saved.value("SSID/Name").toString(), ssid);
        QCOMPARE(saved.value("SSID/PSK").toString(), keys.isEmpty() ? how.at(1) : keys.last());
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        QCOMPARE(::stat(QFile::encodeName(QFileInfo(file).path()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0077, mode_t(0));
    }

    // Networks configured earlier are dropped; incomplete files are skipped and a refused
    // key is reported without stopping the others.
    void initializeLoadsTheSavedNetworks()
    {
        Bench b;
        b.root.writeFile(Folder + "00-00-00-00-00-01.ini", "[SSID]\nBSSID=00:00:00:00:00:01\nName=A\n");
        b.root.writeFile(Folder + "00-00-00-00-00-02.ini", "[SSID]\nBSSID=00:00:00:00:00:02\nPSK=abcdefgh\n");
        b.root.writeFile(Folder + "notes.txt", "[SSID]\nName=D\nPSK=abcdefgh\n");
        saveAPInfo("00:00:00:00:00:03", "B", "short");
        saveAPInfo("00:00:00:00:00:04", "C", "abcdefgh");
        ExternalProgram::run("wpa_cli", {"add_network"});
        QSignalSpy errors(&b.connector, &APConnector::signalAPConnectionError);
        b.connector.initialize();
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).value<APConnectionError>(), AP_ERROR_NETWORK_REFUSED);
        QCOMPARE(b.world.wpaCalls("add_network").size(), 3);
        QCOMPARE(b.world.wpaCalls("remove_network").size(), 2);
        const QStringList loaded = QDir(b.root.path("/wifi/state/wpa")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(b.root.readFile("/wifi/state/wpa/" + loaded.at(0) + "/ssid"), QByteArray("C"));
    }

    void savedFileNames_data()
    {
        QTest::addColumn<QString>("bssid");
        QTest::addColumn<QString>("file");
        QTest::newRow("upper case") << "00:11:22:AA:BB:CC" << "00-11-22-aa-bb-cc.ini";
        QTest::newRow("path") << "../../../x" << "";
        QTest::newRow("empty") << "" << "";
    }
    void savedFileNames()
    {
        QFETCH(QString, bssid);
        QFETCH(QString, file);
        TestRoot root;
        saveAPInfo(bssid, "Lab", "abcdefgh");
        QStringList written;
        QDirIterator it(root.root(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            written << it.next();
        QCOMPARE(written, file.isEmpty() ? QStringList() : QStringList{root.path(Folder + file)});
    }

    // What each command makes of wpa_cli's answer (wpa_cli exits 0 when the supplicant
    // refuses; the answer follows the interface line), and of the supplicant's log.
    void replies_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("result");
        const QByteArray twoLabs = reply("network id / ssid / bssid / flags\n"
                                         "0\tLab\t00:11:22:33:44:55\t[DISABLED]\n"
                                         "1\tLab\t66:77:88:99:AA:BB\t[DISABLED]\n"
                                         "2\tOffice\tany\t\n"
                                         "7\tCaf\\xc3\\xa9\tany\t\n");
        QTest::newRow("select: OK") << "select" << reply("OK\n") << 1;
        QTest::newRow("select: FAIL") << "select" << reply("FAIL\n") << 0;
        QTest::newRow("select: nothing") << "select" << QByteArray() << 0;
        QTest::newRow("add: id") << "add" << reply("3\n") << 3;
        QTest::newRow("add: FAIL") << "add" << reply("FAIL\n") << -1;
        QTest::newRow("status: completed") << "status" << reply("ssid=Lab\nwpa_state=COMPLETED\n") << 1;
        QTest::newRow("id: BSSID decides") << "id Lab 00:11:22:33:44:55" << twoLabs << 0;
        QTest::newRow("id: lower-case BSSID") << "id Lab 66:77:88:99:aa:bb" << twoLabs << 1;
        QTest::newRow("id: no BSSID, the later row") << "id Lab" << twoLabs << 1;
        QTest::newRow("id: unknown BSSID, by name") << "id Office 00:00:00:00:00:01" << twoLabs << 2;
        QTest::newRow("id: escaped name") << "id Caf\u00e9" << twoLabs << 7;
        QTest::newRow("log: connected") << "log" << QByteArray("wlan0: CTRL-EVENT-CONNECTED - x\n") << 2;
        QTest::newRow("log: wrong key") << "log" << QByteArray("id=0 auth_failures=1 reason=WRONG_KEY\n") << 1;
        QTest::newRow("log: both") << "log" << QByteArray("reason=WRONG_KEY\nCTRL-EVENT-CONNECTED\n") << 2;
        QTest::newRow("log: neither") << "log" << QByteArray("wlan0: CTRL-EVENT-SCAN-STARTED\n") << 0;
    }
    void replies()
    {
        QFETCH(QString, call);
        QFETCH(QByteArray, output);
        QFETCH(int, result);
        TestRoot root;
        root.fakeProgram("wpa_cli", output);
        if (!output.isEmpty())
            root.writeFile("/tmp/wpa_supplicant.log", output);
        const QStringList id = call.split(' ');
        AP ap;
        if (call == "select")
            QCOMPARE(int(ap.select(4)), result);
        else if (call == "add")
            QCOMPARE(ap.add_new(), result);
        else if (call == "status")
            QCOMPARE(int(ap.isConnected()), result);
        else if (call == "log")
            QCOMPARE(ap.validatePassword(), result);
        else
            QCOMPARE(ap.getIdBySSID(id.at(1), id.value(2)), result);
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
    }

    // Names and keys are data: each reaches wpa_cli as one argument, unchanged, and the
    // simulated supplicant stores exactly that text.
    void hostileTextIsOneArgument_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("shell") << "$(reboot);`halt` && rm -rf / #";
        QTest::newRow("quotes") << "it's \"quoted\"";
        QTest::newRow("backslashes") << "a\\b\\x41\\";
        QTest::newRow("non-ASCII") << "Caf\u00e9 \u00b5-Lab";
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
        QCOMPARE(world.wpaCalls("set_network"),
                 QList<QStringList>({{"set_network", "0", "ssid", "\"" + text + "\""},
                                     {"set_network", "0", "psk", "\"" + key + "\""}}));
        QCOMPARE(QString::fromUtf8(root.readFile("/wifi/state/wpa/0/ssid")), text);
        QCOMPARE(QString::fromUtf8(root.readFile("/wifi/state/wpa/0/psk")), key);
        QCOMPARE(ap.getIdBySSID(text, QString()), 0);
    }
};

QTEST_MAIN(APConnectorTest)
#include "tst_APConnector.moc"
