#include "MessageDlg.h"
#include "PackageMaker.h"
#include "PrivateProfile.h"
#include "ProgramExit.h"
#include "Resources.h"
#include "SettingsFrame.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

namespace {

const QString Demo = QStringLiteral("/root/ORBELIN_Vn/ORBELIN_Vn-demo");

QString text(MessageType type)
{
    QString t;
    MessageButtonVisibility buttons;
    MessageDlg::lookup(type, &t, &buttons);
    return t;
}

QString read(const char *section, const char *key)
{
    std::string value;
    ReadPrivateProfileString(section, key, "<missing>", value, "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
    return QString::fromStdString(value);
}

// Answers every message box that opens while it lives, pressing the given buttons in
// turn (then OK), and keeps the texts shown.
class Messages : public QObject
{
public:
    explicit Messages(const QStringList &buttons = {})
        : m_Buttons(buttons)
    {
        connect(&m_Timer, &QTimer::timeout, this, &Messages::poll);
        m_Timer.start(10);
    }

    QStringList texts;

private:
    void poll()
    {
        auto *box = qobject_cast<MessageDlg *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == m_Last.data())
            return;
        m_Last = box;
        texts << box->message();
        const QString name = m_Buttons.isEmpty() ? QStringLiteral("BUTTON_OK")
                                                 : m_Buttons.takeFirst();
        QTest::mouseClick(box->findChild<QAbstractButton *>(name), Qt::LeftButton);
    }

    QStringList m_Buttons;
    QTimer m_Timer;
    QPointer<MessageDlg> m_Last;
};

} // namespace

// The date and time entry of the settings screen: validation, the clock programs and the
// service actions behind the reserved day values.
class DateTimeEntryTest : public QObject
{
    Q_OBJECT

private:
    int m_Status = -1;

    static QLineEdit *edit(SettingsFrame &frame, const char *name)
    {
        return frame.findChild<QLineEdit *>(name);
    }

    static void enter(SettingsFrame &frame)
    {
        frame.resize(1280, 720);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.initialize();
    }

    // The values as if typed: day, month, year, hour, minute.
    static void fill(SettingsFrame &frame, const QStringList &values)
    {
        const char *names[] = {"EDIT_DAY", "EDIT_MONTH", "EDIT_YEAR", "EDIT_HOUR", "EDIT_MINUTE"};
        for (int i = 0; i < 5; ++i) {
            QTest::mouseClick(edit(frame, names[i]), Qt::LeftButton);
            edit(frame, names[i])->setText(values.at(i));
        }
    }

    static void apply(SettingsFrame &frame)
    {
        QTest::mouseClick(frame.findChild<QPushButton *>("BUTTON_SET_DATE_TIME"), Qt::LeftButton);
    }

    static QString shownYear(SettingsFrame &frame)
    {
        return edit(frame, "EDIT_YEAR")->text();
    }

    static void clockPrograms(const TestRoot &root, int dateExit = 0, int hwclockExit = 0)
    {
        root.fakeProgram("date", QByteArray(), dateExit);
        root.fakeProgram("hwclock", QByteArray(), hwclockExit);
    }

    static void demoPackage(const TestRoot &root, const QString &path, const QByteArray &tag)
    {
        root.writeFile(path, PackageMaker::package(
                                 {TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf(tag), 0755),
                                  TarMember::folder("DemoData/"),
                                  TarMember::file("DemoData/one.tif", "1")}));
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        ProgramExit::setHandler([this](int status) { m_Status = status; });
    }

    void init()
    {
        m_Status = -1;
    }

    void validation_data()
    {
        QTest::addColumn<QStringList>("typed");     // day, month, year, hour, minute
        QTest::addColumn<QString>("message");       // empty: the clocks are set
        QTest::addColumn<QString>("dateArgument");
        const QString date = text(MSG_INVALID_DATE);
        const QString time = text(MSG_INVALID_TIME);
        QTest::newRow("29/02/2000") << QStringList{"29", "02", "2000", "12", "00"} << ""
                                    << "--set=2000/2/29 12:0:00";
        QTest::newRow("29/02/2016") << QStringList{"29", "02", "2016", "23", "59"} << ""
                                    << "--set=2016/2/29 23:59:00";
        QTest::newRow("31/12/9999 00:00") << QStringList{"31", "12", "9999", "00", "00"} << ""
                                          << "--set=9999/12/31 0:0:00";
        QTest::newRow("01/01/1970") << QStringList{"1", "1", "1970", "0", "0"} << ""
                                    << "--set=1970/1/1 0:0:00";
        QTest::newRow("29/02/1900") << QStringList{"29", "02", "1900", "12", "00"} << date << "";
        QTest::newRow("29/02/2100") << QStringList{"29", "02", "2100", "12", "00"} << date << "";
        QTest::newRow("29/02/2015") << QStringList{"29", "02", "2015", "12", "00"} << date << "";
        QTest::newRow("31/04") << QStringList{"31", "04", "2016", "12", "00"} << date << "";
        QTest::newRow("30/04") << QStringList{"30", "04", "2016", "12", "00"} << ""
                               << "--set=2016/4/30 12:0:00";
        QTest::newRow("1969") << QStringList{"31", "12", "1969", "12", "00"} << date << "";
        QTest::newRow("month 0") << QStringList{"01", "00", "2016", "12", "00"} << date << "";
        QTest::newRow("month 13") << QStringList{"01", "13", "2016", "12", "00"} << date << "";
        QTest::newRow("day 32") << QStringList{"32", "01", "2016", "12", "00"} << date << "";
        QTest::newRow("empty day") << QStringList{"", "01", "2016", "12", "00"} << date << "";
        QTest::newRow("negative day") << QStringList{"-1", "01", "2016", "12", "00"} << date << "";
        QTest::newRow("24:00") << QStringList{"01", "01", "2016", "24", "00"} << time << "";
        QTest::newRow("23:60") << QStringList{"01", "01", "2016", "23", "60"} << time << "";
        QTest::newRow("negative minute") << QStringList{"01", "01", "2016", "23", "-5"} << time
                                         << "";
        QTest::newRow("bad date and bad time: only the date message")
            << QStringList{"29", "02", "2015", "24", "60"} << date << "";
    }

    void validation()
    {
        QFETCH(QStringList, typed);
        QFETCH(QString, message);
        QFETCH(QString, dateArgument);
        TestRoot root;
        clockPrograms(root);
        SettingsFrame frame;
        enter(frame);
        fill(frame, typed);
        QVERIFY(!frame.autoDisplay());
        Messages messages;
        apply(frame);

        QCOMPARE(messages.texts, message.isEmpty() ? QStringList() : QStringList{message});
        if (message.isEmpty()) {
            QCOMPARE(root.calls("date"), (QList<QStringList>{{dateArgument}}));
            QCOMPARE(root.calls("hwclock"), (QList<QStringList>{{"--systohc"}}));
        } else {
            QVERIFY(root.calls("date").isEmpty());
            QVERIFY(root.calls("hwclock").isEmpty());
            // The edits show the clock again.
            QCOMPARE(shownYear(frame), QDateTime::currentDateTime().toString("yyyy"));
        }
        QVERIFY(frame.autoDisplay());
        QVERIFY(frame.isEnabled());
    }

    void clocksSetWithTheTypedValues()
    {
        TestRoot root;
        for (const char *standin : {"_record", "date", "hwclock"})
            root.installStandin(standin);
        SettingsFrame frame;
        enter(frame);
        const struct { const char *edit; const char *keys; } typing[] = {
            {"EDIT_DAY", "05"}, {"EDIT_MONTH", "9"}, {"EDIT_YEAR", "2016"},
            {"EDIT_HOUR", "07"}, {"EDIT_MINUTE", "3"}};
        for (const auto &t : typing) {
            QTest::mouseClick(edit(frame, t.edit), Qt::LeftButton);
            for (const char *k = t.keys; *k; ++k)
                QTest::mouseClick(frame.findChild<QPushButton *>(QStringLiteral("BUTTON_KEY_%1").arg(*k)),
                                  Qt::LeftButton);
        }
        Messages messages;
        apply(frame);
        QVERIFY(messages.texts.isEmpty());
        QCOMPARE(root.calls("date"), (QList<QStringList>{{"--set=2016/9/5 7:3:00"}}));
        QCOMPARE(root.calls("hwclock"), (QList<QStringList>{{"--systohc"}}));
    }

    // Before, a failing date or hwclock went unreported and the user believed the clock set.
    void clockProgramFailuresAreReported_data()
    {
        QTest::addColumn<int>("dateExit");
        QTest::addColumn<int>("hwclockExit");
        QTest::addColumn<int>("hwclockRuns");
        QTest::addColumn<QString>("shown");
        QTest::newRow("date refused") << 1 << 0 << 0 << "date and time could not be set";
        QTest::newRow("hwclock refused") << 0 << 1 << 1 << "battery clock";
    }

    void clockProgramFailuresAreReported()
    {
        QFETCH(int, dateExit);
        QFETCH(int, hwclockExit);
        QFETCH(int, hwclockRuns);
        QFETCH(QString, shown);
        TestRoot root;
        clockPrograms(root, dateExit, hwclockExit);
        SettingsFrame frame;
        enter(frame);
        fill(frame, {"05", "09", "2016", "07", "03"});
        Messages messages;
        apply(frame);
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts.first().contains(shown), qPrintable(messages.texts.first()));
        QCOMPARE(root.calls("date").size(), 1);
        QCOMPARE(root.calls("hwclock").size(), hwclockRuns);
        QVERIFY(frame.isEnabled());
        QVERIFY(frame.autoDisplay());
    }

    void exitAction()
    {
        TestRoot root;
        clockPrograms(root);
        SettingsFrame frame;
        enter(frame);
        QSignalSpy terminate(&frame, &SettingsFrame::signalTerminate);
        fill(frame, {QString::number(SettingsFrame::ServiceDayExit), "01", "2016", "12", "00"});
        Messages messages;
        apply(frame);
        QCOMPARE(terminate.count(), 1);
        QCOMPARE(m_Status, 1);
        QVERIFY(messages.texts.isEmpty());
        QVERIFY(!frame.isEnabled());
        QVERIFY(root.calls("date").isEmpty());
    }

    void debugSwitches_data()
    {
        QTest::addColumn<int>("day");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<QString>("disabled");
        QTest::newRow("calibration") << int(SettingsFrame::ServiceDayDebugCalibration)
                                     << "Calibration" << "/ORBELIN/Calibration"
                                     << text(MSG_DEBUG_CALIBRATION_ENABLED)
                                     << text(MSG_DEBUG_CALIBRATION_DISABLED);
        QTest::newRow("autofocus") << int(SettingsFrame::ServiceDayDebugAutofocus)
                                   << "Autofocus" << "/ORBELIN/Counting"
                                   << text(MSG_DEBUG_AUTOFOCUS_ENABLED)
                                   << text(MSG_DEBUG_AUTOFOCUS_DISABLED);
    }

    // Before, switching off ran the shell line "rm -rf <folder>".
    void debugSwitches()
    {
        QFETCH(int, day);
        QFETCH(QString, key);
        QFETCH(QString, folder);
        QFETCH(QString, enabled);
        QFETCH(QString, disabled);
        TestRoot root;
        clockPrograms(root);
        for (const char *program : {"rm"})
            root.fakeProgram(program);
        root.mkdir("/ORBELIN");
        root.writeFile("/root/keep/kept.tif", "kept");
        SettingsFrame frame;
        enter(frame);
        const QString typedDay = QString::number(day);

        Messages messages;
        fill(frame, {typedDay, "01", "2016", "12", "00"});
        apply(frame);
        QCOMPARE(messages.texts, QStringList{enabled});
        QCOMPARE(read("Debug Mode", key.toLatin1()), QString("1"));
        QVERIFY(QFileInfo(root.path(folder)).isDir());
        QCOMPARE(edit(frame, "EDIT_DAY")->text(), QDateTime::currentDateTime().toString("dd"));
        QVERIFY(frame.isEnabled());

        // Debug images, and a link out of the data folder that must not be followed.
        root.writeFile(folder + "/field_01.tif", "x");
        root.writeFile(folder + "/sweep/.hidden", "x");
        QVERIFY(QFile::link(root.path("/root/keep"), root.path(folder + "/keep")));

        fill(frame, {typedDay, "01", "2016", "12", "00"});
        apply(frame);
        QCOMPARE(messages.texts, (QStringList{enabled, disabled}));
        QCOMPARE(read("Debug Mode", key.toLatin1()), QString("0"));
        QVERIFY(!QFileInfo::exists(root.path(folder)));
        QCOMPARE(root.readFile("/root/keep/kept.tif"), QByteArray("kept"));
        QVERIFY(QFileInfo::exists(root.path("/ORBELIN")));
        for (const char *program : {"rm"})
            QVERIFY2(root.calls(program).isEmpty(), program);
        QVERIFY(root.calls("date").isEmpty());
        QVERIFY(m_Status == -1);
    }

    void debugFolderThatIsALinkLosesOnlyTheLink()
    {
        TestRoot root;
        clockPrograms(root);
        root.mkdir("/ORBELIN");
        root.writeFile("/root/ORBELIN_Vn/Protocol/Yeast.ini", "[Protocol]\n");
        QVERIFY(QFile::link(root.path("/root/ORBELIN_Vn"), root.path("/ORBELIN/Calibration")));
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", "[Debug Mode]\nCalibration=7\n");
        SettingsFrame frame;
        enter(frame);
        Messages messages;
        fill(frame, {QString::number(SettingsFrame::ServiceDayDebugCalibration), "01", "2016",
                     "12", "00"});
        apply(frame);
        QCOMPARE(messages.texts, QStringList{text(MSG_DEBUG_CALIBRATION_DISABLED)});
        QVERIFY(!QFileInfo(root.path("/ORBELIN/Calibration")).isSymLink());
        QCOMPARE(root.readFile("/root/ORBELIN_Vn/Protocol/Yeast.ini"), QByteArray("[Protocol]\n"));
        QCOMPARE(read("Debug Mode", "Calibration"), QString("0"));
    }

    void demoAction_data()
    {
        QTest::addColumn<QString>("package");       // where the package lies, or empty
        QTest::addColumn<QByteArray>("kind");       // "package", "link" to one, or "garbage"
        QTest::addColumn<bool>("installed");        // a demo program is there before
        QTest::addColumn<QString>("answer");        // button pressed in the question
        QTest::addColumn<QString>("question");      // text of the question, or empty
        QTest::addColumn<int>("status");            // exit status, -1 for none
        QTest::addColumn<QByteArray>("demoAfter");  // demo program tag afterwards
        QTest::addColumn<bool>("dateMessage");
        const QString stick = "/media/DEMO/ORBELIN_Vn-Demo.ovn";
        const QString found = text(MSG_DEMO_FOUND);
        const QString already = text(MSG_DEMO_INSTALLED);
        const QByteArray pkg = "package";
        QTest::newRow("nothing anywhere: date message")
            << "" << pkg << false << "" << "" << -1 << QByteArray() << true;
        QTest::newRow("no package, demo installed: runs at once")
            << "" << pkg << true << "" << "" << 11 << QByteArray("old") << false;
        QTest::newRow("package found, installed")
            << stick << pkg << false << "BUTTON_OK" << found << 11 << QByteArray("new") << false;
        QTest::newRow("package found, cancelled")
            << stick << pkg << false << "BUTTON_CANCEL" << found << -1 << QByteArray() << false;
        QTest::newRow("already installed, overwritten")
            << stick << pkg << true << "BUTTON_OK" << already << 11 << QByteArray("new") << false;
        QTest::newRow("already installed, run")
            << stick << pkg << true << "BUTTON_SKIP" << already << 11 << QByteArray("old") << false;
        QTest::newRow("already installed, cancelled")
            << stick << pkg << true << "BUTTON_CANCEL" << already << -1 << QByteArray("old")
            << false;
        QTest::newRow("package on the internal disk is never offered")
            << "/ORBELIN_Vn-Demo.ovn" << pkg << false << "" << "" << -1 << QByteArray() << true;
        QTest::newRow("link on the stick to a package elsewhere is not offered")
            << stick << QByteArray("link") << false << "" << "" << -1 << QByteArray() << true;
        QTest::newRow("package that installs nothing ends in the date message")
            << stick << QByteArray("garbage") << false << "BUTTON_OK" << found << -1
            << QByteArray() << true;
    }

    void demoAction()
    {
        QFETCH(QString, package);
        QFETCH(QByteArray, kind);
        QFETCH(bool, installed);
        QFETCH(QString, answer);
        QFETCH(QString, question);
        QFETCH(int, status);
        QFETCH(QByteArray, demoAfter);
        QFETCH(bool, dateMessage);
        TestRoot root;
        clockPrograms(root);
        Volumes volumes(root, {"DEMO"});
        root.mkdir("/root/ORBELIN_Vn");
        if (kind == "link") {
            demoPackage(root, "/root/elsewhere.ovn", "new");
            QVERIFY(QFile::link(root.path("/root/elsewhere.ovn"), root.path(package)));
        } else if (kind == "garbage") {
            root.writeFile(package, "not a package");
        } else if (!package.isEmpty()) {
            demoPackage(root, package, "new");
        }
        if (installed)
            root.writeFile(Demo, PackageMaker::elf("old"));
        SettingsFrame frame;
        enter(frame);
        QSignalSpy terminate(&frame, &SettingsFrame::signalTerminate);
        const QStringList typed{QString::number(SettingsFrame::ServiceDayDemo), "07", "2016",
                                "12", "34"};
        fill(frame, typed);
        Messages messages(answer.isEmpty() ? QStringList() : QStringList{answer});
        apply(frame);

        QStringList expected;
        if (!question.isEmpty())
            expected << question;
        if (dateMessage)
            expected << text(MSG_INVALID_DATE);
        QCOMPARE(messages.texts, expected);
        QCOMPARE(m_Status, status);
        QCOMPARE(terminate.count(), status == 11 ? 1 : 0);
        QCOMPARE(frame.isEnabled(), status != 11);
        QCOMPARE(root.readFile(Demo),
                 demoAfter.isEmpty() ? QByteArray() : PackageMaker::elf(demoAfter));
        if (answer == "BUTTON_CANCEL") {
            // The typed values stay for another try.
            QCOMPARE(edit(frame, "EDIT_DAY")->text(), typed.at(0));
            QCOMPARE(edit(frame, "EDIT_MINUTE")->text(), typed.at(4));
        }
        QVERIFY(root.calls("date").isEmpty());
    }
};

QTEST_MAIN(DateTimeEntryTest)
#include "tst_DateTimeEntry.moc"
