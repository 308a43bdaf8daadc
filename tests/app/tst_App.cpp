#include "BoardStandin.h"
#include "Dialog.h"
#include "ExternalProgram.h"
#include "MessageDlg.h"
#include "ModalAnswer.h"
#include "MouseCursorSelector.h"
#include "NetworkManager.h"
#include "ProgramExit.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "SettingsFrame.h"
#include "TagParser.h"
#include "TestRoot.h"
#include "Touch.h"

#include <QLabel>
#include <QSettings>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string read(const std::string &section, const std::string &key, const std::string &path,
                 int *found = nullptr)
{
    std::string value;
    const int result = ReadPrivateProfileString(section, key, "dflt", value, path);
    if (found)
        *found = result;
    return value;
}

bool enabled(Dialog &dialog, const char *name)
{
    return dialog.findChild<QWidget *>(name)->isEnabled();
}

// Starts the window; without a board, answers the serial message.
void start(Dialog &dialog, bool board)
{
    if (!board)
        ModalAnswer::clickNext("BUTTON_OK", nullptr, 10000);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 10000);
    QCOMPARE(dialog.boardFound(), board);
}

Qt::CursorShape cursor()
{
    const QCursor *c = QApplication::overrideCursor();
    return c ? c->shape() : Qt::CustomCursor;
}

} // namespace

// The application shell: INI store, paths, tag parser, message box, mouse cursor and the
// main window.
class AppTest : public QObject
{
    Q_OBJECT

private:
    int m_Status = -1;

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        ProgramExit::setHandler([this](int status) { m_Status = status; });
    }

    // The Wi-Fi manager and the serial link must not outlive the test's root.
    void cleanup()
    {
        NetworkManager::release();
        QtSerialPort::release();
        m_Status = -1;
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    // One table of awkward values, written here and read by Qt's own INI store, and written
    // by it and read here: the files in the field were written by that store.
    void iniRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("trailing zero kept") << "0.30";
        QTest::newRow("date with blanks") << "05 DEC 2026 14:31";
        QTest::newRow("commas") << "1, 2 ,3";
        QTest::newRow("quotes and backslashes") << "say \"hi\" C:\\dir\\";
        QTest::newRow("lone backslash") << "\\";
        QTest::newRow("blanks at both ends") << " x ";
        QTest::newRow("semicolon, equals sign, hash") << "a;b=c #x";
        QTest::newRow("percent-20 stays") << "a%20b";
        QTest::newRow("at sign") << "@ByteArray(x)";
        QTest::newRow("tab and line break") << "a\tb\n[Security]";
        QTest::newRow("utf-8, hex digit after") << QString::fromUtf8("Caf\xc3\xa9" "1 \xf0\x9f\x98\x80");
        QTest::newRow("empty") << "";
    }
    void iniRoundTrip()
    {
        QFETCH(QString, value);
        TestRoot root;
        const std::string path = "/root/ORBELIN_Vn/test.ini";
        int found = 1;
        QCOMPARE(read("S", "K", path, &found), std::string("dflt"));
        QCOMPARE(found, 0);
        QVERIFY(!QFileInfo::exists(root.path(QString::fromStdString(path))));   // read writes nothing

        const QString section = QString::fromUtf8("Caf\xc3\xa9 options;=");
        QVERIFY(WritePrivateProfileString(section.toStdString(), "Key name", value.toStdString(),
                                          path));
        // A value must not swallow the line after it.
        QVERIFY(WritePrivateProfileString(section.toStdString(), "Next", "1", path));
        const QString expected = value.isEmpty() ? "dflt" : value;
        QCOMPARE(QString::fromStdString(read(section.toStdString(), "Key name", path, &found)),
                 expected);
        QCOMPARE(found, value.isEmpty() ? 0 : 1);
        {
            QSettings qt(root.path(QString::fromStdString(path)), QSettings::IniFormat);
            QCOMPARE(qt.value(section + "/Key name").toString(), value);
            QCOMPARE(qt.value(section + "/Next").toString(), QString("1"));
            qt.setValue("Other section/Key name", value);
        }
        QCOMPARE(QString::fromStdString(read("Other section", "Key name", path)), expected);
        QCOMPARE(QString::fromStdString(read(section.toStdString(), "Key name", path)), expected);
    }

    // Files written by hand or by other tools, read as Qt's store reads them.
    void iniHandMadeFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("value");
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF[Security]\nEnable=True\n")
                                         << "True";
        QTest::newRow("CRLF") << QByteArray("[Security]\r\nEnable=True\r\nPassword=x\r\n") << "True";
        QTest::newRow("quoted") << QByteArray("[Security]\nEnable= \" a,b\" \n") << " a,b";
        QTest::newRow("escaped")
            << QByteArray("[Security]\nEnable=x\\\"y\\\\z\\x00e9\\t\\\n!\n")
            << QString::fromUtf8("x\"y\\z\xc3\xa9\t!");
        QTest::newRow("escaped names") << QByteArray("[Secur%69ty]\nEn%U0061ble=True\n") << "True";
        QTest::newRow("comments, blanks around =")
            << QByteArray("[Security]\n;Enable=False\n  Enable \t= \tTrue ;x\n") << "True";
        QTest::newRow("last one wins")
            << QByteArray("[Security]\nEnable=False\n[Other]\nx=1\n[Security]\nEnable=True\n")
            << "True";
    }
    void iniHandMadeFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, value);
        TestRoot root;
        QVERIFY(root.writeFile("/root/h.ini", file));
        QCOMPARE(QSettings(root.path("/root/h.ini"), QSettings::IniFormat)
                     .value("Security/Enable").toString(), value);
        QCOMPARE(QString::fromStdString(read("Security", "Enable", "/root/h.ini")), value);
    }

    // Before, a write dropped the carriage return of every other line, the byte-order mark
    // and the blank lines at the end.
    void iniWriteKeepsEverythingElse()
    {
        TestRoot root;
        const QByteArray head = "\xEF\xBB\xBF; notes\r\n[First]\r\n foo = 1 \r\n\r\n"
                                "[Counting%20options]\r\nCounting%20field=10\r\n";
        const QByteArray tail = "note=a\\\r\n b\r\n\r\n[Last]\r\nz=\"9,9\"";
        QVERIFY(root.writeFile("/root/k.ini", head + "Autofocus = 0 ;every field\r\n" + tail));
        QVERIFY(WritePrivateProfileString("Counting options", "Autofocus", "1", "/root/k.ini"));
        QVERIFY(WritePrivateProfileString("Counting options", "Eject on", "yes", "/root/k.ini"));
        QVERIFY(WritePrivateProfileString("Last", "k", "v", "/root/k.ini"));
        QVERIFY(WritePrivateProfileString("New section", "k", "a,b", "/root/k.ini"));
        QCOMPARE(root.readFile("/root/k.ini"),
                 head + "Autofocus = 1;every field\r\n" + tail.left(tail.indexOf("\r\n\r\n") + 2)
                     + "Eject on=yes\r\n\r\n[Last]\r\nz=\"9,9\"\r\nk=v\r\n\r\n"
                       "[New section]\r\nk=\"a,b\"\r\n");
        QCOMPARE(read("Counting options", "note", "/root/k.ini"), std::string("a b"));
    }

    // Before, such a file was replaced by one holding the written key alone.
    void iniDamagedFileIsLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("target");
        const QString path = "/root/d.ini";
        QTest::newRow("zeros after a power cut") << QByteArray(64, '\0') << path;
        QTest::newRow("cut inside a section name")
            << QByteArray("[Security]\nEnable=True\n[Cou") << path;
        QTest::newRow("line without =") << QByteArray("[Security]\nEnable=True\ngarbage\n") << path;
        QTest::newRow("folder is a file") << QByteArray("x") << path + "/f.ini";
    }
    void iniDamagedFileIsLeftAlone()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, target);
        TestRoot root;
        QVERIFY(root.writeFile("/root/d.ini", file));
        QVERIFY(!WritePrivateProfileString("Security", "Password", "x", target.toStdString()));
        QCOMPARE(root.readFile("/root/d.ini"), file);
    }

    // Many lines opening a section name that is never closed: before, each of them searched
    // the rest of the file for "]", so 80,000 took seconds to read and these would take
    // minutes (read and write alike).
    void iniDamagedFileIsReadInLinearTime()
    {
        TestRoot root;
        const QByteArray damaged = "[" + QByteArray(98, 'x') + "\n";
        QVERIFY(root.writeFile("/root/d.ini", "[Security]\nEnable=True\n" + damaged.repeated(60000)));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(read("Security", "Enable", "/root/d.ini"), std::string("True"));
        QVERIFY(!WritePrivateProfileString("Security", "Enable", "False", "/root/d.ini"));
        QVERIFY2(clock.elapsed() < 30000, qPrintable(QString("%1 ms").arg(clock.elapsed())));
    }

    // A write cut short (a full disk, here a file-size limit) leaves the old file whole.
    void iniCutShortWriteLeavesFileWhole()
    {
        TestRoot root;
        QVERIFY(WritePrivateProfileString("A", "k", "old", "/root/f.ini"));
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit before = limit;
        limit.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        const bool written = WritePrivateProfileString("A", "k", std::string(8192, 'x'),
                                                       "/root/f.ini");
        setrlimit(RLIMIT_FSIZE, &before);
        QVERIFY(!written);
        QCOMPARE(read("A", "k", "/root/f.ini"), std::string("old"));
    }

    // Lines are handed on as the program writes them, so an endless output can be stopped.
    void runByLine_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QStringList>("lines");     // handed on; "3" answers stop
        QTest::addColumn<QString>("outcome");
        QTest::newRow("last line without a line feed")
            << "printf 'a\\nb\\n\\nc'" << 10000 << QStringList{"a", "b", "", "c"} << "succeeded";
        QTest::newRow("stopped by the caller") << "seq 1 1000000000" << 10000
                                               << QStringList{"1", "2", "3"} << "was stopped";
        QTest::newRow("a line too long") << "echo a; head -c 100000 /dev/zero; sleep 60" << 10000
                                         << QStringList{"a"} << "was stopped";
        QTest::newRow("no end in time") << "echo a; sleep 60" << 300 << QStringList{"a"}
                                        << "did not finish in time";
        QTest::newRow("exit status") << "echo a; echo why >&2; exit 3" << 10000 << QStringList{"a"}
                                     << "exited with status 3: why";
    }
    void runByLine()
    {
        QFETCH(QString, script);
        QFETCH(int, timeoutMs);
        QStringList lines;
        QElapsedTimer clock;
        clock.start();
        const ProgramResult result = ExternalProgram::runByLine(
            "bash", {"-c", script}, timeoutMs, 65536, [&lines](const QByteArray &line) {
                lines << QString::fromLatin1(line);
                return line != "3";
            });
        QTEST(lines, "lines");
        QTEST(result.describe(), "outcome");
        QVERIFY(clock.elapsed() < 30000);
    }

    // Of a long error output the end is kept.
    void runByLineKeepsTheEndOfErrors()
    {
        const ProgramResult result = ExternalProgram::runByLine(
            "bash", {"-c", "for i in $(seq 2000); do echo \"error $i\" >&2; done; exit 1"}, 10000,
            65536, [](const QByteArray &) { return true; });
        QCOMPARE(result.errorOutput.size(), 4096);
        QVERIFY(result.errorOutput.endsWith("error 2000\n"));
    }

    // The standard input is fed a piece at a time while the output is read, whether the
    // program takes all of it, stops taking it early, or the input fails.
    void runByLineWithInput_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("failAt");        // the piece the input cannot give; -1 none
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("outcome");
        // 64 pieces of 64 KiB, far beyond what the pipes hold, echoed while being fed.
        QTest::newRow("all taken, output meanwhile") << "cat" << -1 << 65536 << "succeeded";
        QTest::newRow("all taken, no output") << "cat >/dev/null" << -1 << 0 << "succeeded";
        QTest::newRow("taken in part") << "head -n 3" << -1 << 3 << "succeeded";
        QTest::newRow("input fails") << "cat; sleep 60" << 5 << 5 * 1024 << "was stopped";
    }
    void runByLineWithInput()
    {
        QFETCH(QString, script);
        QFETCH(int, failAt);
        QByteArray text;
        for (int i = 0; i < 1024; ++i)
            text += QByteArray::number(i).rightJustified(63, '-') + '\n';
        int given = 0;
        QList<QByteArray> output;
        QElapsedTimer clock;
        clock.start();
        const ProgramResult result = ExternalProgram::runByLine(
            "bash", {"-c", script}, 20000, 65536,
            [&output](const QByteArray &line) {
                output << line;
                return true;
            },
            [&](QByteArray *piece) {
                if (given == failAt)
                    return false;
                *piece = given++ < 64 ? text : QByteArray();
                return true;
            });
        QFETCH(int, lines);
        // What the program wrote after the input failed is not read.
        if (failAt >= 0)
            QVERIFY(output.size() <= lines);
        else
            QCOMPARE(output.size(), lines);
        for (int i = 0; i < output.size(); ++i)
            QCOMPARE(output.at(i), text.mid((i % 1024) * 64, 63));
        QTEST(result.describe(), "outcome");
        QVERIFY(clock.elapsed() < 15000);
    }

    // A detached program gets its arguments as they are, runs in a session of its own and
    // is reaped when it ends; one that is not on the PATH is not started.
    void startDetached_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("started");
        QTest::newRow("plain") << "probe" << QStringList{"wlan0"} << true;
        QTest::newRow("spaces, quotes, empty") << "probe"
                                               << QStringList{"a b", "\"c\" 'd'", "", "$HOME"}
                                               << true;
        QTest::newRow("not on the PATH") << "absent-program" << QStringList{"x"} << false;
    }
    void startDetached()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        TestRoot root;
        root.fakeProgramScript("probe", "read -r _ _ _ _ _ session _ < /proc/$$/stat\n"
                                        "echo \"$$ $session\" > \"$ORBELIN_ROOT/probe.pid\"");
        QTEST(ExternalProgram::startDetached(program, arguments), "started");
        QFETCH(bool, started);
        if (!started)
            return;
        QTRY_COMPARE(root.calls("probe"), QList<QStringList>{arguments});
        QTRY_VERIFY(!root.readFile("/probe.pid").isEmpty());
        const QList<QByteArray> ids = root.readFile("/probe.pid").trimmed().split(' ');
        QCOMPARE(ids.size(), 2);
        QVERIFY(ids.at(1).toLong() != getsid(0));
        QTRY_VERIFY(!QFile::exists("/proc/" + QString::fromLatin1(ids.at(0))));
    }

    // Programs started from one thread while others allocate all start and the calls all
    // return; before, a child that allocated between fork and exec could wait for ever on
    // the allocator's lock, and the start with it.
    void startDetachedWhileOthersAllocate()
    {
        TestRoot root;
        QVERIFY(root.mkdir("/started"));
        root.fakeProgramScript("probe", ": > \"$ORBELIN_ROOT/started/$1\"");
        const int starts = 300;
        auto stop = std::make_shared<std::atomic<bool>>(false);
        auto returned = std::make_shared<std::atomic<int>>(0);
        std::vector<std::thread> allocators;
        for (int t = 0; t < 3; ++t) {
            allocators.emplace_back([stop] {
                while (!*stop) {
                    std::vector<std::unique_ptr<char[]>> blocks;
                    for (int i = 0; i < 1000; ++i)
                        blocks.emplace_back(new char[64 + i]);
                }
            });
        }
        std::thread starter([returned, starts] {
            for (int i = 0; i < starts; ++i) {
                if (ExternalProgram::startDetached("probe", {QString::number(i)}))
                    ++*returned;
            }
        });
        const bool allReturned = QTest::qWaitFor([&] { return *returned == starts; }, 60000);
        *stop = true;
        for (std::thread &allocator : allocators)
            allocator.join();
        if (!allReturned) {
            starter.detach();   // it hangs; the shared counters outlive this test
            QFAIL(qPrintable(QString("only %1 of %2 starts returned").arg(*returned).arg(starts)));
        }
        starter.join();
        const QDir started(root.path("/started"));
        QTRY_COMPARE_WITH_TIMEOUT(started.entryList(QDir::Files).size(), starts, 30000);
    }


    // No root, or "/", is the real system; a root goes in front of an absolute path once.
    void pathMapping()
    {
        const QString path = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
        for (const char *root : {"", "/"}) {
            qputenv("ORBELIN_ROOT", root);
            QCOMPARE(SystemPaths::map(path), path);
            QCOMPARE(SystemPaths::unmap(path), path);
        }
        qputenv("ORBELIN_ROOT", "/tmp/r/");
        QCOMPARE(SystemPaths::map(path), "/tmp/r" + path);
        QCOMPARE(SystemPaths::map(path.toStdString()), "/tmp/r" + path.toStdString());
        QCOMPARE(SystemPaths::unmap("/tmp/r" + path), path);
        QCOMPARE(SystemPaths::map("/tmp/r" + path), "/tmp/r" + path);
        QCOMPARE(SystemPaths::map(QString("/tmp/rx")), QString("/tmp/r/tmp/rx"));
        QCOMPARE(SystemPaths::map(QString("a/b")), QString("a/b"));
        qunsetenv("ORBELIN_ROOT");
    }

    // The first of keys named alike wins; a value keeps its equals signs; an item without
    // one is passed over.
    void tags()
    {
        QStringList got;
        for (const auto &kv : TagParser().parse("a=1,k=a=b,junk,e=,a=2,"))
            got << QString::fromStdString(kv.first + ":" + kv.second);
        QCOMPARE(got, (QStringList{"a:1", "e:", "k:a=b"}));
    }

    // One message of each button set and text kind.
    void messages_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "OK"
            << "The DEFAULT protocol cannot be edited or deleted.\nPlease select another protocol.";
        QTest::newRow("23") << 23 << ""
            << "<p><b>Connecting...</b><br/><br/><br/>Depending on your network speed, this may take from a few seconds to a couple of minutes.</p>";
        QTest::newRow("25") << 25 << "OK SKIP CANCEL"
            << "<p>Demo program is already installed.<br/>If you want to overwrite it, press OK.<br/>If you want to run it, press Skip.<br/>Otherwise, press Cancel.";
        QTest::newRow("26") << 26 << "OK CANCEL" << "A demo software has been found.<br/>Do you want to install it?";
    }
    void messages()
    {
        QFETCH(int, type);
        QFETCH(QString, buttons);
        QFETCH(QString, text);
        MessageDlg dialog(MessageType(type), nullptr);
        QCOMPARE(dialog.message(), text);
        QStringList shown;
        for (const char *name : {"BUTTON_OK", "BUTTON_SKIP", "BUTTON_CANCEL"}) {
            if (dialog.findChild<QWidget *>(name)->isVisibleTo(&dialog))
                shown << QString::fromLatin1(name).mid(7);
        }
        QCOMPARE(shown.join(' '), buttons);
        // Message 26 showed its "<br/>" as text.
        QCOMPARE(dialog.findChild<QLabel *>("LABEL_MESSAGE")->textFormat(),
                 text.contains("<br/>") ? Qt::RichText : Qt::PlainText);
    }

    // Escape answers a box with buttons as CANCEL does.
    void messageEscapeCancels()
    {
        MessageDlg dialog(MSG_DEMO_INSTALLED);
        ModalAnswer::next([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QCOMPARE(dialog.exec(), 0);
        QCOMPARE(dialog.pressedType(), 2);
    }

    void messageWithoutButtonsWaitsForOwner()
    {
        MessageDlg dialog(MSG_CONNECTING);
        // Escape closed it before.
        ModalAnswer::next([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QTimer::singleShot(700, &dialog, &QDialog::accept);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(dialog.exec(), 1);
        QVERIFY(clock.elapsed() >= 650);
        // The busy dots moved while it waited.
        QVERIFY(!dialog.findChild<QLabel *>("LABEL_BUSY")->text().isEmpty());
    }

    // The cursor shows while a mouse is plugged; udev removes by-id with the last input
    // device and makes it anew with the next one.
    void cursorFollowsMouse()
    {
        TestRoot root;
        QVERIFY(root.mkdir("/dev/input"));
        MouseCursorSelector selector;
        QCOMPARE(cursor(), Qt::BlankCursor);
        for (const bool wholeFolder : {true, false}) {
            QVERIFY(root.mkdir("/dev/input/by-id"));
            // Keyboards, touch screens and a mouse's legacy node are no mouse.
            for (const char *entry : {"usb-Dell-event-kbd", "usb-eGalax-event-if00",
                                      "usb-Logitech-mouse", "usb-Logitech-event-mouse"})
                QVERIFY(QFile::link("../event7", root.path("/dev/input/by-id/") + entry));
            QTRY_COMPARE_WITH_TIMEOUT(cursor(), Qt::ArrowCursor, 10000);
            QVERIFY(wholeFolder ? QDir(root.path("/dev/input/by-id")).removeRecursively()
                                : QFile::remove(root.path("/dev/input/by-id/usb-Logitech-event-mouse")));
            QTRY_COMPARE_WITH_TIMEOUT(cursor(), Qt::BlankCursor, 10000);
        }
        // One override cursor at a time, not a growing stack.
        QApplication::restoreOverrideCursor();
        QVERIFY(!QApplication::overrideCursor());
    }

    void startWithoutBoard()
    {
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini",
                       "[Debug Mode]\nAutofocus=1\nCalibration=1\n[Current Protocol]\nName=Yeast\n");
        root.writeFile("/root/ORBELIN_Vn/Addtional_Update.sh",
                       "echo ran >> \"$ORBELIN_ROOT/ran.txt\"\n");
        Dialog dialog;
        start(dialog, false);
        QCOMPARE(dialog.currentMenu(), Dialog::MENU_REVIEW);
        QCOMPARE(iniValue("Security", "Enable"), QString("False"));
        QCOMPARE(iniValue("Security", "Password"), QString("mavek"));
        QCOMPARE(iniValue("Debug Mode", "Autofocus"), QString("0"));
        QCOMPARE(iniValue("Debug Mode", "Calibration"), QString("0"));
        QCOMPARE(dialog.findChild<QLabel *>("LABEL_PROTOCOL")->text(), QString("Yeast"));
        // The one-shot update script ran once and is gone.
        QCOMPARE(root.readFile("/ran.txt"), QByteArray("ran\n"));
        QVERIFY(!QFile::exists(root.path("/root/ORBELIN_Vn/Addtional_Update.sh")));
        // Entering Settings clears the slide-ejected flag.
        SettingsFrame::SetSlideEjection(true);
        click(&dialog, "BUTTON_SETTINGS");
        QVERIFY(!SettingsFrame::slideEjection());
    }

    // Before, without a board the stored mode never reached the screens, so the review
    // screen kept DELETE and ERASE ALL unlocked while the setting said "True".
    void securityModeReachesTheScreens_data()
    {
        QTest::addColumn<bool>("board");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QByteArray>("head");   // of the settings file
        QTest::newRow("with a board, on") << true << true << QByteArray();
        QTest::newRow("without a board, on") << false << true << QByteArray();
        QTest::newRow("without a board, off") << false << false << QByteArray();
        // The mark hid the section, and start-up wrote "False" into a second one.
        QTest::newRow("byte-order mark, on") << true << true << QByteArray("\xEF\xBB\xBF");
    }
    void securityModeReachesTheScreens()
    {
        QFETCH(bool, board);
        QFETCH(bool, on);
        QFETCH(QByteArray, head);
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", head + "[Security]\nEnable="
                                                              + (on ? "True" : "False")
                                                              + "\nPassword=secret\n");
        BoardStandin standin;
        if (board)
            QVERIFY(standin.start());
        Dialog dialog;
        start(dialog, board);
        QCOMPARE(iniValue("Security", "Password"), QString("secret"));
        const char *locked[] = {"EDIT_DAY", "BUTTON_KEY_0", "BUTTON_SAVE_AS", "BUTTON_ERASE_ALL"};
        for (const char *name : locked)
            QVERIFY2(enabled(dialog, name) == !on, name);
        QVERIFY(enabled(dialog, "BUTTON_SECURITY_OPTIONS"));
        // A later change from the security options reaches them too.
        emit dialog.findChild<SettingsFrame *>()->signalEnableSecurityMode(!on);
        for (const char *name : locked)
            QVERIFY2(enabled(dialog, name) == on, name);
    }

    // Escape leaves the window up, Q asks for status 1; the window lets go of the stick
    // when it goes, as it does when main() returns.
    void escapeStaysKeyQEndsAndTheStickIsReleased()
    {
        TestRoot root;
        root.fakeProgram("umount");
        root.mkdir("/dev/disk/by-uuid");
        root.mkdir("/media/USB");
        QVERIFY(QFile::link("../../sdb1", root.path("/dev/disk/by-uuid/UUID-sdb1")));
        root.writeFile("/etc/mtab", "/dev/sdb1 /media/USB vfat rw 0 0\n");
        auto *dialog = new Dialog;
        start(*dialog, false);
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(dialog->isVisible());
        QCOMPARE(m_Status, -1);
        QTest::keyClick(dialog, Qt::Key_Q);
        QCOMPARE(m_Status, 1);
        QVERIFY(root.calls("umount").isEmpty());
        delete dialog;
        QCOMPARE(root.calls("umount").value(0), QStringList{"/dev/sdb1"});
    }

    // Without a handler the status ends the event loop, so main() returns it to the
    // launcher after the window is gone.
    void exitStatusEndsTheEventLoop()
    {
        ProgramExit::setHandler({});
        QTimer::singleShot(0, [] { ProgramExit::exit(11); });
        QObject bound;      // ends the loop should the status not, and goes with the test
        QTimer::singleShot(10000, &bound, [] { QCoreApplication::exit(-1); });
        const int status = QCoreApplication::exec();
        ProgramExit::setHandler([this](int status) { m_Status = status; });
        QCOMPARE(status, 11);
    }
};

QTEST_MAIN(AppTest)
#include "tst_App.moc"
