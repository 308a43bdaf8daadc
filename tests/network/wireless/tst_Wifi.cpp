#include "AP.h"
#include "APConnector.h"
#include "APMonitor.h"
#include "ConnectAPDlg.h"
#include "ExternalProgram.h"
#include "ModalAnswer.h"
#include "NetworkManager.h"
#include "Resources.h"
#include "SelectNetworkDialog.h"
#include "TestRoot.h"
#include "WLANMonitor.h"
#include "WiFiOptionsDialog.h"
#include "WiFiTimeouts.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

namespace {
const QString Cancel = QStringLiteral("<cancel>");       // as a key: CANCEL instead
const QString Silent = QStringLiteral("<nobody answers>");
const QString Folder = QStringLiteral("/root/.AppData/Network/Settings/AP/");
const QString LabNet = QStringLiteral("00:1A:2B:3C:4D:01");
const QString Guest = QStringLiteral("00:1A:2B:3C:4D:03");

// Timeouts short enough for tests, changed by change; the counts of checks stay.
void setTimeouts(void (*change)(WiFiTimeouts &t) = nullptr)
{
    WiFiTimeouts t;
    t.commandMs = t.dhcpMs = t.pingMs = 3000;
    t.devicePollMs = 50;
    t.failedScanPauseMs = 100;
    t.keyWaitMs = 10000;
    t.keyCheckIntervalMs = t.associationIntervalMs = 10;
    if (change)
        change(t);
    WiFiTimeouts::set(t);
}

// A test root with the project's Wi-Fi stand-ins first on PATH playing the default world
// of standins/wifi.sh (device wlan0, five networks), scanning without delay. The Wi-Fi
// manager, if a test made one, goes with it.
struct World
{
    World()
    {
        for (const char *program : {"_record", "_wifiworld", "wpa_cli", "wpa_supplicant", "iwlist",
                                    "ifconfig", "route", "dhclient", "ping", "pkill"})
            root.installStandin(QString::fromLatin1(program));
        wifiSh({"init"});
        root.writeFile("/wifi/settings", "scan_delay=0\nchunk_delay=0\n");
        setTimeouts();
    }
    ~World() { NetworkManager::release(); }

    static void wifiSh(const QStringList &arguments)
    {
        const ProgramResult r = ExternalProgram::run("bash", QStringList{ORBELIN_STANDINS_DIR "/wifi.sh"} + arguments);
        if (!r.ok())
            qWarning("wifi.sh: %s", qPrintable(r.describe()));
    }
    // "fail", "hang", "partial", "refuse", "noreply" or "ok"; for wpa_cli optionally only
    // for the named commands.
    void setMode(const QString &program, const QString &mode, const QStringList &commands = {})
    {
        wifiSh(QStringList{"mode", program, mode} + commands);
    }
    void removeDevice() { wifiSh({"device", "remove"}); }
    // Brings wlan0 up and starts the simulated supplicant, as the device monitor does.
    void startSupplicant()
    {
        ExternalProgram::run("ifconfig", {"wlan0", "up"});
        ExternalProgram::run("wpa_supplicant", {"-B", "-Dwext,nl80211", "-iwlan0",
                                                "-c/etc/wpa_supplicant.conf", "-f/tmp/wpa_supplicant.log"});
        root.clearCalls("ifconfig");
        root.clearCalls("wpa_supplicant");
    }
    // The wpa_cli calls whose first argument is command.
    QList<QStringList> wpaCalls(const QString &command) const
    {
        QList<QStringList> result;
        for (const QStringList &call : root.calls("wpa_cli")) {
            if (call.value(0) == command)
                result << call;
        }
        return result;
    }
    // The manager, once it has seen the device.
    NetworkManager *manager()
    {
        NetworkManager *m = NetworkManager::instance();
        if (!QTest::qWaitFor([m] { return m->property().devicePresent; }, 5000))
            qWarning("the Wi-Fi device was not detected");
        return m;
    }

    TestRoot root;
};

// One record for every cell, as a caller may hand it; the parser must empty it.
QList<AccessPoint> parseAll(const QString &text)
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

QString cell(const QString &address, const QString &body)
{
    return "          Cell 01 - Address: " + address + "\n" + body;
}

// Answers the network list: runs meanwhile with the list open, then, unless the list has
// closed, picks the row labelled name once it shows (an empty name: the unnamed row) and
// OK, or CANCEL for a null name; then runs then.
void pick(const QString &name, std::function<void()> then, std::function<void()> meanwhile)
{
    ModalAnswer::next([=](QWidget *list) {
        meanwhile();
        auto *view = list->findChild<QTableView *>("LV_NETWORKS");
        int row = -1;
        const bool listed = QTest::qWaitFor([&] {
            for (int r = 0; r < view->model()->rowCount(); ++r) {
                if (view->model()->index(r, 2).data().toString() == name)
                    row = r;
            }
            return row >= 0 || name.isNull();
        }, 8000);
        if (!listed)
            qWarning("no row %s", qPrintable(name));
        view->selectRow(row);
        if (list->isVisible())
            QTest::mouseClick(list->findChild<QPushButton *>(name.isNull() ? "BUTTON_CANCEL" : "BUTTON_OK"),
                              Qt::LeftButton);
        then();
    });
}

// Clicks OK on the message box whose text holds part, once it shows; notes its text.
void confirmMessage(const QString &part, QString *text)
{
    ModalAnswer::next([=](QWidget *modal) {
        if (!ModalAnswer::messageOf(modal).contains(part))
            return confirmMessage(part, text);      // another one first: wait for the next
        *text = ModalAnswer::messageOf(modal);
        QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
    }, 10000);
}
} // namespace

// The Wi-Fi parts against the Wi-Fi world: scanner, device monitor, connection run and
// its wpa_cli commands, the manager with its key dialog, and the Wi-Fi options page.
class WifiTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<AccessPoint>("AccessPoint");
        qRegisterMetaType<APConnectionError>("APConnectionError");
        Resources::init();
    }

    void scanLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("channel");
        QTest::addColumn<float>("frequency");
        QTest::addColumn<QString>("quality");
        QTest::addColumn<int>("level");
        const auto row = [](const char *line, const char *channel, float frequency,
                            const char *quality, int level) {
            QTest::newRow(line) << QString("                    ") + line << QString(channel)
                                << frequency << QString(quality) << level;
        };
        row("Frequency:2.437 GHz (Channel 6)", "6", 2.437f, "", 0);
        row("Quality=70/70  Signal level=-40 dBm  ", "", 0, "70/70", 88);
        row("Signal level=45/70", "", 0, "", 64);
        row("Signal level=-80 dBm", "", 0, "", 30);
        row("Signal level=-110 dBm", "", 0, "", 0);
        row("Signal level=45/0", "", 0, "", 0);
        row("Signal level=150/100", "", 0, "", 100);
        // These overflowed an int and stopped the scanner with a division trap.
        row("Signal level=536870912/-1", "", 0, "", 0);
        row("Signal level=536870912/-1 dBm", "", 0, "", 0);
    }
    void scanLines()
    {
        QFETCH(QString, line);
        const QList<AccessPoint> cells =
            parseAll(cell("00:11:22:33:44:55", "                    ESSID:\"Lab\"\n" + line));
        QCOMPARE(cells.size(), 1);
        QTEST(cells.at(0).channel, "channel");
        QTEST(cells.at(0).frequency, "frequency");
        QTEST(cells.at(0).quality, "quality");
        QTEST(cells.at(0).level, "level");
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

    // Before, only the text iwlist had written at one moment was read.
    void scanReadsEveryChunk()
    {
        World w;
        w.startSupplicant();
        QByteArray networks;
        QStringList expected;
        for (int i = 0; i < 12; ++i) {
            const QString bssid = QString("00:1A:2B:3C:4D:%1").arg(i, 2, 10, QChar('0'));
            networks += QString("%1\t2.437\t6\t60/70\t-50 dBm\t0\t%2\t1.2.3.4\t1.2.3.1\tNet %3\n")
                            .arg(bssid, i % 2 ? "secretkey" : "-").arg(i).toUtf8();
            expected << bssid + " Net " + QString::number(i) + (i % 2 ? " secured" : "");
        }
        w.root.writeFile("/wifi/networks", networks);
        w.root.writeFile("/wifi/settings", "scan_delay=0\nchunk_delay=0.02\n");

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
        QCOMPARE(w.root.calls("iwlist").value(0), QStringList({"wlan0", "scan"}));
    }

    // A scan that is cut off gives no half-read cells, and a failing iwlist does not make
    // the loop spin.
    void brokenScans_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("hangs after half the cells") << "partial";
        QTest::newRow("fails at once") << "fail";
    }
    void brokenScans()
    {
        QFETCH(QString, mode);
        World w;
        w.startSupplicant();
        w.setMode("iwlist", mode);
        setTimeouts([](WiFiTimeouts &t) { t.commandMs = 300; });
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
        QVERIFY2(w.root.calls("iwlist").size() <= 8,
                 qPrintable(QString::number(w.root.calls("iwlist").size())));
    }

    // Before, the loop flag was set inside the thread, so a stop that came first was lost
    // and the scanner ran for ever.
    void stopRightAfterStart()
    {
        World w;
        w.startSupplicant();
        for (int i = 0; i < 20; ++i) {
            APMonitor monitor;
            monitor.setEnabled(true);
            monitor.start();
            monitor.stop();
            QVERIFY(!monitor.isRunning());
            QVERIFY(!monitor.isEnabled());
        }
    }

    // Only "wlan*" names count. A device already up with its supplicant is only asked for;
    // a gone one loses its supplicant.
    void deviceComesAndGoes()
    {
        World w;
        w.startSupplicant();
        World::wifiSh({"device", "add", "eth0"});
        WLANMonitor monitor;
        QSignalSpy spy(&monitor, &WLANMonitor::signalDetectDevice);
        monitor.start();
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0), QList<QVariant>({1, QString("wlan0")}));
        QCOMPARE(w.root.calls("ifconfig"), QList<QStringList>({{"wlan0"}}));
        QCOMPARE(w.root.calls("wpa_cli"), QList<QStringList>({{"wlan0"}}));

        w.removeDevice();
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1), QList<QVariant>({0, QString()}));
        QTRY_COMPARE(w.root.calls("pkill"), QList<QStringList>({{"wpa_supplicant"}}));
        QVERIFY(w.root.calls("wpa_supplicant").isEmpty());
        monitor.stop();
    }

    // Success needs every step; a network joined with a key is saved, readable by its
    // owner only; a failed run leaves no address and no saved key.
    void runs_data()
    {
        QTest::addColumn<QString>("ssid");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("setUp");     // "PROGRAM MODE [COMMAND]", "saved KEY", ...
        QTest::addColumn<QList<int>>("errors");
        QTest::addColumn<int>("removed");       // networks removed from the supplicant
        QTest::addColumn<QString>("address");   // empty: the run fails
        const QList<int> none;
        const QList<int> wrongKey{AP_ERROR_KEY_REFUSED};
        const QString lab = "192.168.10.57";
        const QStringList wrongThenRight{"not-the-key", "cellcount"};
        QTest::newRow("open") << "Guest" << QStringList() << "" << none << 0 << "192.168.30.57";
        QTest::newRow("wrong key, then the right one") << "LabNet" << wrongThenRight << "" << wrongKey << 0 << lab;
        // The log of an earlier connection is emptied before a key is tried.
        QTest::newRow("wrong key after an earlier connection")
            << "LabNet" << wrongThenRight << "stale log" << wrongKey << 0 << lab;
        // A name holding an event's text used to pass a wrong key as accepted.
        QTest::newRow("network named like an event, wrong key, then the right one")
            << "CTRL-EVENT-CONNECTED" << QStringList{"not-the-key", "secretkey1"}
            << "in range secretkey1" << wrongKey << 0 << "192.168.60.57";
        // The supplicant stand-in used to join whatever name it was given.
        QTest::newRow("a name changed on its way does not connect")
            << "Labnet" << QStringList{"cellcount"} << "" << none << 0 << "";
        QTest::newRow("key refused by wpa_cli, then the right one")
            << "LabNet" << QStringList{"short", "cellcount"} << "" << wrongKey << 0 << lab;
        QTest::newRow("saved key") << "LabNet" << QStringList() << "saved cellcount" << none << 0 << lab;
        // A rejected saved key loses its file before the key is asked for.
        QTest::newRow("saved key rejected, then cancel")
            << "LabNet" << QStringList{Cancel} << "saved old-key-123" << wrongKey << 1 << "";
        QTest::newRow("cancel") << "LabNet" << QStringList{Cancel} << "" << none << 1 << "";
        // Before, the run waited for the key without limit.
        QTest::newRow("key never given") << "LabNet" << QStringList{Silent} << "" << none << 1 << "";
        // The log shows neither event: no key is asked again.
        QTest::newRow("out of range") << "Far away" << QStringList{"whatever-key"} << "" << none << 0 << "";
        QTest::newRow("add_network refused") << "Guest" << QStringList() << "wpa_cli refuse add_network"
                                             << QList<int>{AP_ERROR_NO_NETWORK_ID} << 0 << "";
        QTest::newRow("set_network refused") << "Guest" << QStringList() << "wpa_cli refuse set_network"
                                             << QList<int>{AP_ERROR_NETWORK_REFUSED} << 1 << "";
        QTest::newRow("select_network refused") << "Guest" << QStringList() << "wpa_cli refuse select_network"
                                                << QList<int>{AP_ERROR_SELECT_REFUSED} << 0 << "";
        QTest::newRow("never associated") << "Guest" << QStringList() << "wpa_cli refuse status"
                                          << QList<int>{AP_ERROR_NOT_ASSOCIATED} << 0 << "";
        // Before, dhclient's failure, a silent gateway or another device's default route
        // still counted as connected.
        QTest::newRow("dhclient fails after the lease") << "Guest" << QStringList() << "lease" << none << 0 << "";
        QTest::newRow("dhclient hangs") << "Guest" << QStringList() << "dhclient hang" << none << 0 << "";
        QTest::newRow("gateway silent") << "Guest" << QStringList() << "ping noreply" << none << 0 << "";
        QTest::newRow("ping hangs after its first line") << "Guest" << QStringList() << "ping partial" << none << 0 << "";
        QTest::newRow("no route table") << "Guest" << QStringList() << "route fail" << none << 0 << "";
        QTest::newRow("no address on the device") << "Guest" << QStringList() << "ifconfig fail" << none << 0 << "";
    }
    void runs()
    {
        QFETCH(QString, ssid);
        QFETCH(QStringList, keys);
        QFETCH(QString, setUp);
        QFETCH(QString, address);
        World w;
        w.startSupplicant();
        APConnector connector;
        connector.setDevice("wlan0");
        // Networks not in the world get an access point of their own, in range or not.
        const QMap<QString, QString> bssids{
            {"Guest", Guest}, {"LabNet", LabNet}, {"Labnet", LabNet}};
        const QString bssid = bssids.value(ssid, "00:00:00:00:00:99");
        const QStringList how = setUp.split(' ', Qt::SkipEmptyParts);
        if (how.value(0) == "in") {
            w.root.writeFile("/wifi/networks", w.root.readFile("/wifi/networks")
                + QString("%1\t2.437\t6\t70/70\t-40 dBm\t0\t%2\t192.168.60.57\t192.168.60.1\t%3\n")
                      .arg(bssid, how.at(2), ssid).toUtf8());
        } else if (how.value(0) == "saved") {
            saveAPInfo(bssid, ssid, how.at(1));
            connector.initialize();
            w.root.clearCalls("wpa_cli");
        } else if (how.value(0) == "lease") {
            w.root.fakeProgramScript("dhclient", "\"" ORBELIN_STANDINS_DIR "/bin/dhclient\" \"$@\"; exit 1");
        } else if (how.value(0) == "stale") {
            w.root.writeFile("/tmp/wpa_supplicant.log", "wlan0: CTRL-EVENT-CONNECTED\n");
        } else if (!how.isEmpty()) {
            w.setMode(how.at(0), how.at(1), how.mid(2));
        }
        w.root.writeFile("/wifi/routes", "0.0.0.0         10.0.0.1        0.0.0.0         UG    100    0        0 eth0\n");
        if (keys.contains(Silent) || setUp.contains("hang") || setUp.contains("partial"))
            setTimeouts([](WiFiTimeouts &t) { t.keyWaitMs = t.dhcpMs = t.pingMs = 500; });
        // A fake user answers each key request with the next key (or nobody answers).
        int requests = 0;
        QStringList answers = keys;
        QObject user;       // goes first, and with it any answer still queued
        connect(&connector, &APConnector::signalInputPassword, &user, [&] {
            ++requests;
            const QString key = answers.isEmpty() ? Silent : answers.takeFirst();
            if (key == Cancel)
                connector.slotCancel();
            else if (key != Silent)
                connector.slotSetPassword(key);
        });
        QSignalSpy errorSpy(&connector, &APConnector::signalAPConnectionError);
        QSignalSpy connected(&connector, &APConnector::signalConnectedToAP);
        QSignalSpy failed(&connector, &APConnector::signalNoConnectedToAP);
        QVERIFY(connector.connectTo(ssid, bssid, ssid != "Guest"));
        QVERIFY(QTest::qWaitFor([&] { return connected.count() + failed.count() > 0; }, 15000));
        QVERIFY(connector.wait(5000));
        QCOMPARE(connected.count() + failed.count(), 1);
        QCOMPARE(connected.count(), address.isEmpty() ? 0 : 1);
        QList<int> reported;
        for (const QList<QVariant> &args : errorSpy)
            reported << int(args.at(0).value<APConnectionError>());
        QTEST(reported, "errors");
        QCOMPARE(requests, keys.size());
        QTEST(w.wpaCalls("remove_network").size(), "removed");
        QCOMPARE(connector.address(), address);
        const QString file = w.root.path(Folder + APConnector::fileNameOf(bssid));
        QCOMPARE(QFileInfo::exists(file), !address.isEmpty() && ssid != "Guest");
        if (address.isEmpty())
            return;
        QCOMPARE(w.root.calls("dhclient"), QList<QStringList>({{"wlan0"}}));
        const QString gateway = address.section('.', 0, 2) + ".1";
        QCOMPARE(w.root.calls("ping").value(0).mid(4), QStringList({"-I", "wlan0", gateway}));
        if (ssid == "Guest")
            return;
        QSettings saved(file, QSettings::IniFormat);
        QCOMPARE(saved.value("SSID/BSSID").toString(), bssid);
        QCOMPARE(saved.value("SSID/Name").toString(), ssid);
        QCOMPARE(saved.value("SSID/PSK").toString(), keys.isEmpty() ? how.at(1) : keys.last());
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                            | QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFile::permissions(file) & (others | QFile::ExeOwner), QFile::Permissions());
        QCOMPARE(QFile::permissions(QFileInfo(file).path()) & others, QFile::Permissions());
    }

    // The key check reads events only where the supplicant writes them; a network name,
    // quoted or not, used to count as an event wherever it stood.
    void keyCheck_data()
    {
        QTest::addColumn<QString>("log");
        QTest::addColumn<int>("state");
        const QString trying =
            "wlan0: Trying to associate with 00:1a:2b:3c:4d:01 (SSID='%1' freq=2437 MHz)\n";
        const QString disabled = "wlan0: CTRL-EVENT-SSID-TEMP-DISABLED id=0 ssid=\"%1\" "
                                 "auth_failures=1 duration=10 reason=%2\n";
        const QString connected = "wlan0: CTRL-EVENT-CONNECTED - Connection to 00:1a:2b:3c:4d:01 "
                                  "completed [id=0 id_str=]\n";
        QTest::newRow("nothing yet") << trying.arg("LabNet") << 0;
        QTest::newRow("connected") << trying.arg("LabNet") + connected << 2;
        QTest::newRow("connected, with time stamps") << "1700000000.123456: " + connected << 2;
        const QString wrongKey = disabled.arg("LabNet", "WRONG_KEY");
        QTest::newRow("wrong key") << trying.arg("LabNet") + wrongKey << 1;
        QTest::newRow("wrong key, then connected") << wrongKey + connected << 2;
        const QString event = "CTRL-EVENT-CONNECTED";
        QTest::newRow("wrong key for a network named like the connected event")
            << trying.arg(event) + disabled.arg(event, "WRONG_KEY") << 1;
        QTest::newRow("a name holding a line break and an event")
            << trying.arg("\\nwlan0: CTRL-EVENT-CONNECTED") << 0;
        QTest::newRow("a name holding the wrong-key reason")
            << trying.arg("x reason=WRONG_KEY") << 0;
        QTest::newRow("a quoted name holding a quote and the wrong-key reason")
            << disabled.arg("x\\\" reason=WRONG_KEY", "CONN_FAILED") << 0;
    }
    void keyCheck()
    {
        QFETCH(QString, log);
        TestRoot root;
        QVERIFY(root.writeFile(AP::logFile(), log.toLatin1()));
        QTEST(AP().validatePassword(), "state");
    }

    // A saved network's file is named after its BSSID, and only a BSSID names a file.
    void savedFileNames()
    {
        for (const QString &bssid : {"00:11:22:AA:BB:CC", "../../../x", ""}) {
            TestRoot root;
            saveAPInfo(bssid, "Lab", "abcdefgh");
            QStringList written;
            QDirIterator it(root.root(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext())
                written << it.next();
            QCOMPARE(written, bssid.startsWith("00") ? QStringList{root.path(Folder + "00-11-22-aa-bb-cc.ini")}
                                                     : QStringList());
        }
    }

    // Names and keys are data: each reaches wpa_cli as one argument, unchanged, and the
    // simulated supplicant stores exactly that text.
    void hostileTextIsOneArgument()
    {
        World w;
        w.startSupplicant();
        // A network name holds at most 32 bytes.
        const QString text = "$(halt);`x` '\"\\x41 Caf\u00e9\tb\nc";
        const QString key = text + " key";
        AP ap;
        QCOMPARE(ap.add_new(), 0);
        QVERIFY(ap.setSSID(0, text, QString()));
        QVERIFY(ap.setPassword(0, key));
        QCOMPARE(w.wpaCalls("set_network"),
                 QList<QStringList>({{"set_network", "0", "ssid", "\"" + text + "\""},
                                     {"set_network", "0", "psk", "\"" + key + "\""}}));
        QCOMPARE(QString::fromUtf8(w.root.readFile("/wifi/state/wpa/0/ssid")), text);
        QCOMPARE(QString::fromUtf8(w.root.readFile("/wifi/state/wpa/0/psk")), key);
        QCOMPARE(ap.getIdBySSID(text, QString()), 0);
    }

    // Every way of closing the key dialog other than OK, and pulling the device meanwhile,
    // ends the run and empties the dialog; a second request meanwhile is refused. Before,
    // Escape left the run waiting.
    void keyDialogClosed_data()
    {
        QTest::addColumn<QString>("how");
        for (const char *how : {"escape", "cancel", "pull"})
            QTest::newRow(how) << how;
    }
    void keyDialogClosed()
    {
        QFETCH(QString, how);
        World w;
        NetworkManager *manager = w.manager();
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        bool secondRefused = false;
        ModalAnswer::next([&](QWidget *modal) {
            secondRefused = !manager->connectToAP("Guest", Guest, false);
            auto *edit = modal->findChild<QLineEdit *>("EDIT_PASSWORD");
            QTest::keyClicks(edit, "typed");
            if (how == "escape") {
                QTest::keyClick(modal, Qt::Key_Escape);
            } else if (how == "cancel") {
                QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_CANCEL"), Qt::LeftButton);
            } else {
                w.removeDevice();
            }
        });
        QVERIFY(manager->connectToAP("LabNet", LabNet, true));
        QVERIFY(failed.wait(30000));
        QVERIFY(secondRefused);
        QVERIFY(!manager->property().connected);
        QCOMPARE(manager->property().devicePresent, how != "pull");
        QCOMPARE(w.wpaCalls("set_network").size(), 1);
        QCOMPARE(w.wpaCalls("remove_network").size(), 1);
        ConnectAPDlg *dialog = manager->keyDialog();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->password(), QString());
    }

    // The key dialog used to open for the next network holding the key of the last one,
    // masked, so that OK sent it there. A key asked again within a run keeps what was typed.
    void keyDialogFreshForEachRun()
    {
        World w;
        NetworkManager *manager = w.manager();
        ConnectAPDlg *dialog = manager->keyDialog();
        QLabel *message = dialog->findChild<QLabel *>("LABEL_MESSAGE");
        QStringList seen;     // key field and mismatch text at each request
        // Types key into the field as found, notes what it held, and presses the button.
        const auto answer = [&](const QString &key, const char *button,
                                std::function<void()> then) {
            ModalAnswer::next([=, &seen](QWidget *modal) {
                auto *edit = modal->findChild<QLineEdit *>("EDIT_PASSWORD");
                seen << edit->text() + (message->isVisible() ? " | " + message->text() : QString());
                edit->clear();
                QTest::keyClicks(edit, key);
                QTest::mouseClick(modal->findChild<QPushButton *>(button), Qt::LeftButton);
                then();
            });
        };
        answer("not-the-key", "BUTTON_OK", [&] { answer("cellcount", "BUTTON_OK", [] {}); });
        QSignalSpy connected(manager, &NetworkManager::signalConnectedAP);
        manager->setScanAccessPoint(true);
        QVERIFY(manager->connectToAP("LabNet", LabNet, true));
        QVERIFY(connected.wait(30000));
        QCOMPARE(dialog->password(), QString("cellcount"));

        // A key rejected, then the run ends without a cancel: the next run starts clean too.
        w.setMode("wpa_cli", "refuse", {"status"});
        answer("wrong-key-2", "BUTTON_OK", [&] { answer("office2fl", "BUTTON_OK", [] {}); });
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        QVERIFY(manager->connectToAP("Office 2nd floor", "00:1A:2B:3C:4D:05", true));
        QVERIFY(failed.wait(30000));

        answer("", "BUTTON_CANCEL", [] {});
        QVERIFY(manager->connectToAP("Lab", "00:1A:2B:3C:4D:02", true));
        QVERIFY(failed.wait(30000));
        QCOMPARE(seen, QStringList({"", "not-the-key | Password incorrect", "",
                                    "wrong-key-2 | Password incorrect", ""}));
    }

    // The user cancelled the connecting notice while the run was getting its address:
    // the run's success report that follows is taken as a failure.
    void cancelledNoticeTurnsSuccessIntoFailure()
    {
        World w;
        NetworkManager *manager = w.manager();
        setTimeouts([](WiFiTimeouts &t) { t.dhcpMs = 30000; });
        // dhclient waits for the cancel, then answers as the world's own does.
        w.root.fakeProgramScript("dhclient", "for i in $(seq 300); do\n"
                                             "  [ -e \"$ORBELIN_ROOT/go\" ] && break; sleep 0.1\n"
                                             "done\n"
                                             "exec \"" ORBELIN_STANDINS_DIR "/bin/dhclient\" \"$@\"");
        QSignalSpy connected(manager, &NetworkManager::signalConnectedAP);
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        manager->setScanAccessPoint(true);
        QVERIFY(manager->connectToAP("Guest", Guest, false));
        QTRY_VERIFY_WITH_TIMEOUT(!w.root.calls("dhclient").isEmpty(), 20000);
        manager->slotAccessPointConnectingCancel();
        w.root.writeFile("/go", "");
        QVERIFY(failed.wait(30000));
        QCOMPARE(w.root.calls("ping").size(), 1);     // the run itself went on to the end
        QCOMPARE(connected.count(), 0);
        QVERIFY(!manager->property().connected);
    }

    // Before, a cancelled list or a network without a name left the page disabled for
    // ever. With no connection started, or once the run has ended, the page follows the
    // manager again; a failed run says so.
    void pageFollowsTheManager_data()
    {
        QTest::addColumn<QString>("meanwhile");     // done while the list is open
        QTest::addColumn<QString>("choice");        // null: CANCEL
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("device");
        QTest::newRow("list cancelled") << "" << QString() << false << true;
        QTest::newRow("hidden network") << "" << QString("") << false << true;
        QTest::newRow("connected meanwhile") << "connect" << QString() << true << true;
        QTest::newRow("device pulled meanwhile") << "pull" << QString() << false << false;
        QTest::newRow("connection failed") << "dhclient fail" << QString("Guest") << false << true;
    }
    void pageFollowsTheManager()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, choice);
        QFETCH(bool, on);
        QFETCH(bool, device);
        World w;
        NetworkManager *manager = w.manager();
        WiFiOptionsDialog page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const auto button = [&page] { return page.findChild<QPushButton *>("BUTTON_WIFI_ENABLE"); };
        QLabel *address = page.findChild<QLabel *>("LABEL_IP_ADDRESS");
        QString failure;
        pick(choice, [&] {
            if (!choice.isEmpty())
                confirmMessage("Network connection failure", &failure);
        }, [&] {
            if (meanwhile == "dhclient fail") {
                w.setMode("dhclient", "fail");
            } else if (meanwhile == "connect") {
                QSignalSpy connected(manager, &NetworkManager::signalConnectedAP);
                QVERIFY(manager->connectToAP("Guest", Guest, false));
                QVERIFY(connected.wait(8000));
            } else if (meanwhile == "pull") {
                w.removeDevice();
                QTRY_VERIFY(!QApplication::activeModalWidget());
            }
        });
        QTest::mouseClick(button(), Qt::LeftButton);
        if (!choice.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(!failure.isEmpty(), 10000);
            QVERIFY(failure.contains("Please check your wireless network connection."));
        }
        QTRY_VERIFY(page.isEnabled());
        QCOMPARE(button()->isChecked(), on);
        QCOMPARE(button()->isEnabled(), device);
        QCOMPARE(manager->property().connected, on);
        QVERIFY(manager->accessPoints().isEmpty());
        // Only a network with a name is joined.
        QCOMPARE(w.wpaCalls("add_network").isEmpty(), meanwhile != "connect" && choice != "Guest");
        QCOMPARE(address->isVisible(), on);
        if (on) {
            QCOMPARE(address->text(), QString("192.168.30.57"));
            // Touching the switch while connected turns Wi-Fi off.
            QTest::mouseClick(button(), Qt::LeftButton);
            QVERIFY(!manager->property().connected);
            QVERIFY(!address->isVisible());
        }
        if (!device)
            return;
        const int scans = w.root.calls("iwlist").size();
        QTest::qWait(150);
        QCOMPARE(w.root.calls("iwlist").size(), scans);
    }

    // Levels outside 0..100 used to pick no image, or a wrong one.
    void signalImages()
    {
        QCOMPARE(SelectNetworkDialog::signalImageOf(-50), -1);
        QCOMPARE(SelectNetworkDialog::signalImageOf(16), 0);
        QCOMPARE(SelectNetworkDialog::signalImageOf(17), 1);
        QCOMPARE(SelectNetworkDialog::signalImageOf(250), 5);
    }
};

QTEST_MAIN(WifiTest)
#include "tst_Wifi.moc"
