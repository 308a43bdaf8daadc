#include "BoardStandin.h"
#include "CalibrateDialog.h"
#include "MessageDlg.h"
#include "PackageMaker.h"
#include "ProgramExit.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "SettingsFrame.h"
#include "TestRoot.h"
#include "Touch.h"
#include "Volumes.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace {

const QString Demo = QStringLiteral("/root/ORBELIN_Vn/ORBELIN_Vn-demo");
const QString Eject = QStringLiteral("$X#STAGE EJECT");
const QString Probe = QStringLiteral("$A#VER");
// What the calibration dialog's own run sends.
const QStringList Run{"$A#VER", "$Z#STAGE INIT", "$Z#REF", "$Z#SLOPE", "$A#LIGHT CAL", "$A#LED 0"};
// Olympus without an exposure key shows its default exposure, 155.
const QByteArray Calibrated = "[Calibration]\nValue=40\nExposure Meiji=120\n[Lens type]\n"
                              "Value=Olympus\n[Reference position]\nValue=12000\nSlope=1\n";

QString text(MessageType type)
{
    QString t;
    MessageButtonVisibility buttons;
    MessageDlg::lookup(type, &t, &buttons);
    return t;
}

QLineEdit *edit(SettingsFrame &frame, const char *name)
{
    return frame.findChild<QLineEdit *>(name);
}

QString label(SettingsFrame &frame, const char *name)
{
    return frame.findChild<QLabel *>(name)->text();
}

// The screen as the main window shows it on entering Settings.
void enter(SettingsFrame &frame)
{
    frame.resize(1280, 720);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame.initialize();
}

// Touches each edit and sets its value: day, month, year, hour, minute; then SET.
void setDateTime(SettingsFrame &frame, const QStringList &values)
{
    const char *names[] = {"EDIT_DAY", "EDIT_MONTH", "EDIT_YEAR", "EDIT_HOUR", "EDIT_MINUTE"};
    for (int i = 0; i < 5; ++i) {
        QTest::mouseClick(edit(frame, names[i]), Qt::LeftButton);
        edit(frame, names[i])->setText(values.at(i));
    }
    click(&frame, "BUTTON_SET_DATE_TIME");
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
        click(box, m_Buttons.isEmpty() ? QStringLiteral("BUTTON_OK") : m_Buttons.takeFirst());
    }

    QStringList m_Buttons;
    QTimer m_Timer;
    QPointer<MessageDlg> m_Last;
};

} // namespace

// The settings screen: security lock, calibration, and the date and time entry with the
// service actions behind its reserved day values.
class SettingsFrameTest : public QObject
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

    void init() { m_Status = -1; }

    void cleanup()
    {
        QtSerialPort::release();
        SettingsFrame::SetSlideEjection(false);
    }

    void securityLocksExactlyTheDateAndTimeControls()
    {
        TestRoot root;
        SettingsFrame frame;
        enter(frame);
        QStringList locked{"BUTTON_SET_DATE_TIME", "BUTTON_KEY_BACKSPACE", "EDIT_YEAR",
                           "EDIT_MONTH", "EDIT_DAY", "EDIT_HOUR", "EDIT_MINUTE"};
        for (int i = 0; i <= 9; ++i)
            locked << QStringLiteral("BUTTON_KEY_%1").arg(i);
        for (const bool on : {true, false}) {
            frame.slotEnableSecurityMode(on);
            for (QWidget *w : frame.findChildren<QWidget *>())
                QVERIFY2(w->isEnabled() != (on && locked.contains(w->objectName())),
                         qPrintable(w->objectName()));
        }
    }

    // Calibration takes the slide out, runs the calibration dialog and takes the slide out
    // again; without the first eject there is no calibration.
    void calibration_data()
    {
        QTest::addColumn<int>("okReplies");         // then the board refuses all; -1: none refused
        QTest::addColumn<QString>("button");        // pressed in the dialog; empty: no dialog
        QTest::addColumn<QStringList>("closing");   // the last commands the board received
        const QStringList refused{Probe, Eject, Eject, Eject};
        QTest::newRow("first eject refused") << 1 << "" << refused;
        QTest::newRow("completed and confirmed") << -1 << "BUTTON_OK"
                                                 << QStringList{Probe, Eject};
        QTest::newRow("cancelled: the slide still comes out") << -1 << "BUTTON_CANCEL"
                                                              << QStringList{Probe, Eject};
        // Probe and eject, the dialog's run, the probe before the closing eject.
        QTest::newRow("closing eject refused") << 2 + 6 + 1 << "BUTTON_OK" << refused;
    }
    void calibration()
    {
        QFETCH(int, okReplies);
        QFETCH(QString, button);
        QFETCH(QStringList, closing);
        TestRoot root;
        root.writeFile(SystemPaths::settingsFile(), Calibrated);
        BoardStandin standin;
        QVERIFY(standin.start());
        if (okReplies >= 0) {
            standin.setMode("ok", okReplies);
            standin.thenMode("ng");
        }
        if (button == "BUTTON_CANCEL")
            standin.setMode("late:100");    // a quiet machine would finish before the touch
        SettingsFrame frame;
        enter(frame);
        frame.slotEnableSecurityMode(true);     // calibration stays open to everyone
        QSignalSpy completed(&frame, &SettingsFrame::signalCalibrationCompleted);
        // The dialog runs its own event loop inside the click; a timer answers it there.
        bool opened = false;
        QTimer hand;
        connect(&hand, &QTimer::timeout, this, [&]() {
            auto *dialog = qobject_cast<CalibrateDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            hand.stop();
            opened = true;
            if (button == "BUTTON_OK")
                QTRY_COMPARE_WITH_TIMEOUT(dialog->state(), CalibrateDialog::STATE_COMPLETED, 10000);
            if (button.isEmpty())
                dialog->close();
            else
                click(dialog, button);
        });
        hand.start(10);
        click(&frame, "BUTTON_CALIBRATE");
        QCOMPARE(opened, !button.isEmpty());
        const QStringList received = standin.received();
        QCOMPARE(received.mid(qMax(0, received.lastIndexOf(Probe))), closing);
        const bool accepted = button == "BUTTON_OK";
        if (accepted)
            QCOMPARE(received.mid(2, Run.size()), Run);
        QCOMPARE(SettingsFrame::slideEjection(), opened && closing.size() == 2);
        QCOMPARE(completed.count(), accepted ? 1 : 0);
        QCOMPARE(label(frame, "LABEL_CALIBRATED_VALUES"),
                 QString(accepted ? "12800, 0, 50, 155" : "12000, 1, 40, 155"));
    }

    void dateAndTime_data()
    {
        QTest::addColumn<QStringList>("typed");     // day, month, year, hour, minute
        QTest::addColumn<int>("failing");           // 1: date fails, 2: hwclock fails
        QTest::addColumn<QString>("message");       // part of the message shown; empty: none
        QTest::addColumn<QString>("dateArgument");  // empty: date does not run
        const QString date = text(MSG_INVALID_DATE);
        const QString time = text(MSG_INVALID_TIME);
        QTest::newRow("29/02/2000") << QStringList{"29", "02", "2000", "12", "00"} << 0 << ""
                                    << "--set=2000/2/29 12:0:00";
        QTest::newRow("01/01/1970 0:0") << QStringList{"1", "1", "1970", "0", "0"} << 0 << ""
                                        << "--set=1970/1/1 0:0:00";
        QTest::newRow("29/02/2100") << QStringList{"29", "02", "2100", "12", "00"} << 0 << date << "";
        QTest::newRow("29/02/2015") << QStringList{"29", "02", "2015", "12", "00"} << 0 << date << "";
        QTest::newRow("1969") << QStringList{"31", "12", "1969", "12", "00"} << 0 << date << "";
        QTest::newRow("empty day") << QStringList{"", "01", "2016", "12", "00"} << 0 << date << "";
        QTest::newRow("24:00") << QStringList{"01", "01", "2016", "24", "00"} << 0 << time << "";
        QTest::newRow("23:60") << QStringList{"01", "01", "2016", "23", "60"} << 0 << time << "";
        // Before, a failing date or hwclock went unreported and the user believed the clock set.
        QTest::newRow("date refused: no hwclock") << QStringList{"05", "09", "2016", "07", "03"}
                                                  << 1 << "date and time could not be set"
                                                  << "--set=2016/9/5 7:3:00";
        QTest::newRow("hwclock refused") << QStringList{"05", "09", "2016", "07", "03"} << 2
                                         << "battery clock" << "--set=2016/9/5 7:3:00";
    }
    void dateAndTime()
    {
        QFETCH(QStringList, typed);
        QFETCH(int, failing);
        QFETCH(QString, message);
        QFETCH(QString, dateArgument);
        TestRoot root;
        root.fakeProgram("date", QByteArray(), failing == 1);
        root.fakeProgram("hwclock", QByteArray(), failing == 2);
        SettingsFrame frame;
        enter(frame);
        Messages messages;
        setDateTime(frame, typed);
        QCOMPARE(messages.texts.size(), message.isEmpty() ? 0 : 1);
        QVERIFY2(messages.texts.join('|').contains(message), qPrintable(messages.texts.join('|')));
        QCOMPARE(root.calls("date"), dateArgument.isEmpty() ? QList<QStringList>()
                                                            : QList<QStringList>{{dateArgument}});
        QCOMPARE(root.calls("hwclock"), dateArgument.isEmpty() || failing == 1
                                            ? QList<QStringList>() : QList<QStringList>{{"--systohc"}});
        if (dateArgument.isEmpty())     // the edits show the clock again
            QCOMPARE(edit(frame, "EDIT_YEAR")->text(), QDateTime::currentDateTime().toString("yyyy"));
        QVERIFY(frame.autoDisplay());
        QVERIFY(frame.isEnabled());
    }

    // Before, switching off ran the shell line "rm -rf <folder>".
    void debugSwitches()
    {
        TestRoot root;
        root.fakeProgram("date");
        root.fakeProgram("rm");
        root.mkdir("/ORBELIN");
        root.writeFile("/root/keep/kept.tif", "kept");
        SettingsFrame frame;
        enter(frame);
        Messages messages;
        const auto service = [&frame](int day) {
            setDateTime(frame, {QString::number(day), "01", "2016", "12", "00"});
        };
        const int calibration = SettingsFrame::ServiceDayDebugCalibration;
        const QString folder = "/ORBELIN/Calibration";
        service(calibration);
        QCOMPARE(iniValue("Debug Mode", "Calibration"), QString("1"));
        QVERIFY(QFileInfo(root.path(folder)).isDir());
        // Debug images, and a link out of the data folder that must not be followed.
        root.writeFile(folder + "/sweep/.hidden", "x");
        QVERIFY(QFile::link(root.path("/root/keep"), root.path(folder + "/keep")));
        service(calibration);
        QCOMPARE(iniValue("Debug Mode", "Calibration"), QString("0"));
        QVERIFY(!QFileInfo::exists(root.path(folder)));
        // The folder itself a link: only the link goes.
        QVERIFY(QFile::link(root.path("/root/keep"), root.path(folder)));
        service(calibration);
        service(calibration);
        QVERIFY(!QFileInfo(root.path(folder)).isSymLink());
        // The autofocus switch has a folder and a key of its own.
        service(SettingsFrame::ServiceDayDebugAutofocus);
        QVERIFY(QFileInfo(root.path("/ORBELIN/Counting")).isDir());
        QCOMPARE(iniValue("Debug Mode", "Autofocus"), QString("1"));
        service(SettingsFrame::ServiceDayDebugAutofocus);
        QVERIFY(!QFileInfo::exists(root.path("/ORBELIN/Counting")));
        const QStringList once{text(MSG_DEBUG_CALIBRATION_ENABLED), text(MSG_DEBUG_CALIBRATION_DISABLED)};
        QCOMPARE(messages.texts, once + once + QStringList({text(MSG_DEBUG_AUTOFOCUS_ENABLED),
                                                            text(MSG_DEBUG_AUTOFOCUS_DISABLED)}));
        QCOMPARE(root.readFile("/root/keep/kept.tif"), QByteArray("kept"));
        QVERIFY(QFileInfo::exists(root.path("/ORBELIN")));
        QVERIFY(root.calls("rm").isEmpty() && root.calls("date").isEmpty());
        QVERIFY(frame.isEnabled());
    }

    void demoAction_data()
    {
        QTest::addColumn<QString>("package");       // "stick", "internal", "link", "garbage"
        QTest::addColumn<bool>("installed");        // a demo program is there before
        QTest::addColumn<QString>("answer");        // button pressed in the question
        QTest::addColumn<int>("status");            // exit status, -1 for none
        QTest::addColumn<QByteArray>("demoAfter");  // demo program tag afterwards
        QTest::newRow("no package, demo installed: runs at once") << "" << true << "" << 11
                                                                  << QByteArray("old");
        QTest::newRow("package found, installed") << "stick" << false << "BUTTON_OK" << 11
                                                  << QByteArray("new");
        QTest::newRow("package found, cancelled") << "stick" << false << "BUTTON_CANCEL" << -1
                                                  << QByteArray();
        QTest::newRow("already installed, run") << "stick" << true << "BUTTON_SKIP" << 11
                                                << QByteArray("old");
        QTest::newRow("package on the internal disk is never offered")
            << "internal" << false << "" << -1 << QByteArray();
        QTest::newRow("link on the stick to a package elsewhere is not offered")
            << "link" << false << "" << -1 << QByteArray();
        QTest::newRow("package that installs nothing ends in the date message")
            << "garbage" << false << "BUTTON_OK" << -1 << QByteArray();
    }
    void demoAction()
    {
        QFETCH(QString, package);
        QFETCH(bool, installed);
        QFETCH(QString, answer);
        QFETCH(int, status);
        QFETCH(QByteArray, demoAfter);
        TestRoot root;
        root.fakeProgram("date");
        Volumes volumes(root, {"DEMO"});
        root.mkdir("/root/ORBELIN_Vn");
        const QString stick = "/media/DEMO/ORBELIN_Vn-Demo.ovn";
        const QString at = package == "internal" ? "/ORBELIN_Vn-Demo.ovn"
                           : package == "link"   ? "/root/elsewhere.ovn" : stick;
        if (!package.isEmpty())
            root.writeFile(at, package == "garbage"
                                   ? QByteArray("not a package")
                                   : PackageMaker::package({TarMember::file("ORBELIN_Vn-demo",
                                                                            PackageMaker::elf("new"), 0755)}));
        if (package == "link")
            QVERIFY(QFile::link(root.path(at), root.path(stick)));
        if (installed)
            root.writeFile(Demo, PackageMaker::elf("old"));
        SettingsFrame frame;
        enter(frame);
        QSignalSpy terminate(&frame, &SettingsFrame::signalTerminate);
        Messages messages(answer.isEmpty() ? QStringList() : QStringList{answer});
        setDateTime(frame, {QString::number(SettingsFrame::ServiceDayDemo), "07", "2016", "12", "34"});

        QStringList expected;
        if (!answer.isEmpty())
            expected << text(installed ? MSG_DEMO_INSTALLED : MSG_DEMO_FOUND);
        if (status == -1 && answer != "BUTTON_CANCEL")
            expected << text(MSG_INVALID_DATE);
        QCOMPARE(messages.texts, expected);
        QCOMPARE(m_Status, status);
        QCOMPARE(terminate.count(), status == 11 ? 1 : 0);
        QCOMPARE(frame.isEnabled(), status != 11);
        QCOMPARE(root.readFile(Demo), demoAfter.isEmpty() ? QByteArray() : PackageMaker::elf(demoAfter));
        // After a cancel the typed values stay for another try.
        if (answer == "BUTTON_CANCEL")
            QCOMPARE(edit(frame, "EDIT_DAY")->text(), QString::number(SettingsFrame::ServiceDayDemo));
        QVERIFY(root.calls("date").isEmpty());
    }
};

QTEST_MAIN(SettingsFrameTest)
#include "tst_SettingsFrame.moc"
