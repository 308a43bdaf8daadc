#include "BoardStandin.h"
#include "CalibrateDialog.h"
#include "MessageDlg.h"
#include "ModalAnswer.h"
#include "PackageMaker.h"
#include "PrivateProfile.h"
#include "ProgramExit.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "SettingsFrame.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QtTest>

namespace {

const QString Ini = QStringLiteral("/root/ORBELIN_Vn/ORBELIN_Vn.ini");
const QString Demo = QStringLiteral("/root/ORBELIN_Vn/ORBELIN_Vn-demo");
const QString Eject = QStringLiteral("$X#STAGE EJECT");
const QString Probe = QStringLiteral("$A#VER");
// What the calibration dialog's own run sends.
const QStringList Run{"$A#VER", "$Z#STAGE INIT", "$Z#REF", "$Z#SLOPE", "$A#LIGHT CAL", "$A#LED 0"};
const QByteArray Calibrated = "[Calibration]\nLast Update=01 JAN 2020 10:00\nValue=40\n"
                              "[Reference position]\nValue=12000\nSlope=1\n";

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
    ReadPrivateProfileString(section, key, "<missing>", value, Ini.toStdString());
    return QString::fromStdString(value);
}

void click(QWidget *widget, const QString &name)
{
    QTest::mouseClick(widget->findChild<QAbstractButton *>(name), Qt::LeftButton);
}

QLineEdit *edit(SettingsFrame &frame, const char *name)
{
    return frame.findChild<QLineEdit *>(name);
}

QString label(SettingsFrame &frame, const char *name)
{
    return frame.findChild<QLabel *>(name)->text();
}

// Touches keys of the screen's key pad: digits, and "B" for BACK SPACE.
void typeKeys(SettingsFrame &frame, const QString &keys)
{
    for (const QChar k : keys)
        click(&frame, k == 'B' ? QStringLiteral("BUTTON_KEY_BACKSPACE") : "BUTTON_KEY_" + QString(k));
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

// The settings screen: status lines, option buttons, security lock, key pad, and the date
// and time entry with the service actions behind its reserved day values.
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

    void versionText_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("shown");
        QTest::newRow("program file") << "ORBELIN_Vn_1_0_3" << "" << "1.0.3";
        QTest::newRow("started through a link: the target's name counts")
            << "ORBELIN_Vn_1_0_3" << "ORBELIN_Vn_2_0_0" << "1.0.3";
        QTest::newRow("IQOQ in any case") << "ORBELIN_Vn_1_2_0iQoQ" << "" << "1.2.0-IQOQ";
        QTest::newRow("IQOQ on the link only does not count")
            << "ORBELIN_Vn_1_2_0" << "ORBELIN_Vn_IQOQ" << "1.2.0";
    }
    void versionText()
    {
        QFETCH(QString, file);
        QFETCH(QString, link);
        QTemporaryDir dir;
        QString started = dir.filePath(file);
        QVERIFY(QFile(started).open(QIODevice::WriteOnly));
        if (!link.isEmpty()) {
            QVERIFY(QFile::link(started, dir.filePath(link)));
            started = dir.filePath(link);
        }
        QTEST(SettingsFrame::softwareVersionText(started), "shown");
    }

    void statusLabels_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("values");
        const QByteArray stored = "[Reference position]\nValue=12800\nSlope=0\n"
                                  "[Calibration]\nValue=50\nLast Update=09 SEP 2016 12:57\n"
                                  "Exposure Meiji=120\n";
        QTest::newRow("Meiji by default") << stored << "12800, 0, 50, 120";
        QTest::newRow("Olympus with its exposure")
            << stored + "Exposure Olympus=170\n[Lens type]\nValue=Olympus\n" << "12800, 0, 50, 170";
        QTest::newRow("Olympus without an exposure key")
            << stored + "[Lens type]\nValue=Olympus\n" << "12800, 0, 50, 155";
        QTest::newRow("unknown lens: no exposure") << stored + "[Lens type]\nValue=Nikon\n"
                                                   << "12800, 0, 50";
        QTest::newRow("nothing stored") << QByteArray() << ", 100";
    }
    void statusLabels()
    {
        QFETCH(QByteArray, ini);
        TestRoot root;
        if (!ini.isEmpty())
            root.writeFile(Ini, ini + "[Software Update]\nLast Update=05 DEC 2026 14:31\n");
        SettingsFrame frame;
        QTEST(label(frame, "LABEL_CALIBRATED_VALUES"), "values");
        QCOMPARE(label(frame, "LABEL_LAST_CALIBRATION_DATETIME"),
                 QString(ini.isEmpty() ? "" : "09 SEP 2016 12:57"));
        QCOMPARE(label(frame, "LABEL_LAST_SOFTWARE_UPDATE_DATETIME"),
                 QString(ini.isEmpty() ? "" : "05 DEC 2026 14:31"));
        // Reading the labels writes no defaults back.
        QCOMPARE(QFile::exists(root.path(Ini)), !ini.isEmpty());
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

    // The option buttons stay usable in security mode; each opens its dialog.
    void optionButtonsInSecurityMode_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("dialogClass");
        QTest::newRow("counting") << "BUTTON_COUNITNG_OPTIONS" << "CountingOptionsDialog";
        QTest::newRow("save") << "BUTTON_SAVE_OPTIONS" << "SaveOptionsDialog";
        QTest::newRow("review") << "BUTTON_REVIEW_OPTIONS" << "ReviewOptionsDialog";
        QTest::newRow("Wi-Fi") << "BUTTON_WIFI_OPTIONS" << "WiFiOptionsDialog";
        QTest::newRow("software update") << "BUTTON_UPDATE_SOFTWARE" << "SoftwareUpdateDialog";
        QTest::newRow("system information") << "BUTTON_SYSTEM_INFORMATION"
                                            << "SystemInformationDialog";
        QTest::newRow("security") << "BUTTON_SECURITY_OPTIONS" << "SecurityOptionsDialog";
    }
    void optionButtonsInSecurityMode()
    {
        QFETCH(QString, button);
        TestRoot root;
        SettingsFrame frame;
        enter(frame);
        frame.slotEnableSecurityMode(true);
        QString opened, version;
        ModalAnswer::next([&](QWidget *modal) {
            opened = modal->metaObject()->className();
            if (auto *shown = modal->findChild<QLabel *>("LABEL_SOFTWARE_VERSION"))
                version = shown->text();
            qobject_cast<QDialog *>(modal)->reject();
        });
        click(&frame, button);
        QTEST(opened, "dialogClass");
        QVERIFY(!QApplication::activeModalWidget());
        if (opened == "SystemInformationDialog")
            QCOMPARE(version, label(frame, "LABEL_SOFTWARE_VERSION"));
    }

    // What the option dialogs end with reaches the other screens through this one; an
    // installed update ends the program.
    void optionResultsArePassedOn()
    {
        TestRoot root;
        SettingsFrame frame;
        enter(frame);
        QSignalSpy saved(&frame, &SettingsFrame::signalSaveOptionChanged);
        QSignalSpy scaleBar(&frame, &SettingsFrame::signalEnableScaleBarDisplay);
        QSignalSpy security(&frame, &SettingsFrame::signalEnableSecurityMode);
        ModalAnswer::next([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        click(&frame, "BUTTON_SAVE_OPTIONS");
        QCOMPARE(saved.count(), 1);
        for (const bool on : {false, true}) {
            ModalAnswer::next([](QWidget *modal) {
                click(modal, "BUTTON_SCALEBAR_ENABLE");
                click(modal, "BUTTON_CLOSE");
            });
            click(&frame, "BUTTON_REVIEW_OPTIONS");
            QCOMPARE(scaleBar.takeFirst().at(0).toBool(), on);

            WritePrivateProfileString("Security", "Enable", on ? "True" : "False", Ini.toStdString());
            ModalAnswer::clickNext("BUTTON_CLOSE");
            click(&frame, "BUTTON_SECURITY_OPTIONS");
            QCOMPARE(security.takeFirst().at(0).toBool(), on);
        }
        // Only an installed update ends the program, with status 10 for the launcher.
        QSignalSpy terminate(&frame, &SettingsFrame::signalTerminate);
        for (const bool installed : {false, true}) {
            ModalAnswer::next([installed](QWidget *modal) {
                if (installed)
                    qobject_cast<QDialog *>(modal)->accept();   // as its Restart button does
                else
                    click(modal, "BUTTON_CANCEL");
            });
            click(&frame, "BUTTON_UPDATE_SOFTWARE");
            QCOMPARE(terminate.count(), installed ? 1 : 0);
            QCOMPARE(m_Status, installed ? 10 : -1);
        }
    }

    void keyPadTypesOnlyIntoATouchedEdit()
    {
        TestRoot root;
        SettingsFrame frame;
        enter(frame);
        QLineEdit *day = edit(frame, "EDIT_DAY");
        QLineEdit *year = edit(frame, "EDIT_YEAR");
        // Until an edit is touched the clock tick refills the edits.
        day->setText("77");
        frame.slotUpdateCurrentDateTime();
        QCOMPARE(day->text(), QDateTime::currentDateTime().toString("dd"));
        // A touch clears the edit and stops the clock from refilling the edits.
        QTest::mouseClick(day, Qt::LeftButton);
        frame.slotUpdateCurrentDateTime();
        QCOMPARE(day->text(), QString());
        typeKeys(frame, "179B");
        frame.slotUpdateCurrentDateTime();
        QCOMPARE(day->text(), QString("1"));       // two digits at most
        QTest::mouseClick(year, Qt::LeftButton);
        typeKeys(frame, "2030");
        QCOMPARE(year->text() + day->text(), QString("20301"));
        // Entering the menu again shows the clock and leaves the key pad idle.
        frame.initialize();
        typeKeys(frame, "B");
        QCOMPARE(year->text(), QDateTime::currentDateTime().toString("yyyy"));
    }

    // Calibration takes the slide out, runs the calibration dialog and takes the slide out
    // again; without the first eject there is no calibration.
    void calibration_data()
    {
        QTest::addColumn<bool>("board");
        QTest::addColumn<int>("okReplies");         // then the board refuses all; -1: none refused
        QTest::addColumn<QString>("button");        // pressed in the dialog; empty: no dialog
        QTest::addColumn<QStringList>("closing");   // the last commands the board received
        const QStringList refused{Probe, Eject, Eject, Eject};
        QTest::newRow("no board") << false << -1 << "" << QStringList();
        QTest::newRow("first eject refused") << true << 1 << "" << refused;
        QTest::newRow("completed and confirmed") << true << -1 << "BUTTON_OK"
                                                 << QStringList{Probe, Eject};
        QTest::newRow("cancelled: the slide still comes out") << true << -1 << "BUTTON_CANCEL"
                                                              << QStringList{Probe, Eject};
        // Probe and eject, the dialog's run, the probe before the closing eject.
        QTest::newRow("closing eject refused") << true << 2 + 6 + 1 << "BUTTON_OK" << refused;
    }
    void calibration()
    {
        QFETCH(bool, board);
        QFETCH(int, okReplies);
        QFETCH(QString, button);
        QFETCH(QStringList, closing);
        TestRoot root;
        root.writeFile(Ini, Calibrated);
        BoardStandin standin;
        if (board)
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
                 QString(accepted ? "12800, 0, 50, 100" : "12000, 1, 40, 100"));
    }

    void dateValidation_data()
    {
        QTest::addColumn<QStringList>("typed");     // day, month, year, hour, minute
        QTest::addColumn<QString>("message");       // empty: the clocks are set
        QTest::addColumn<QString>("dateArgument");
        const QString date = text(MSG_INVALID_DATE);
        const QString time = text(MSG_INVALID_TIME);
        QTest::newRow("29/02/2000") << QStringList{"29", "02", "2000", "12", "00"} << ""
                                    << "--set=2000/2/29 12:0:00";
        QTest::newRow("29/02/2016 23:59") << QStringList{"29", "02", "2016", "23", "59"} << ""
                                          << "--set=2016/2/29 23:59:00";
        QTest::newRow("30/04") << QStringList{"30", "04", "2016", "12", "00"} << ""
                               << "--set=2016/4/30 12:0:00";
        QTest::newRow("01/01/1970 0:0") << QStringList{"1", "1", "1970", "0", "0"} << ""
                                        << "--set=1970/1/1 0:0:00";
        QTest::newRow("29/02/1900") << QStringList{"29", "02", "1900", "12", "00"} << date << "";
        QTest::newRow("29/02/2015") << QStringList{"29", "02", "2015", "12", "00"} << date << "";
        QTest::newRow("31/04") << QStringList{"31", "04", "2016", "12", "00"} << date << "";
        QTest::newRow("1969") << QStringList{"31", "12", "1969", "12", "00"} << date << "";
        QTest::newRow("month 0") << QStringList{"01", "00", "2016", "12", "00"} << date << "";
        QTest::newRow("month 13") << QStringList{"01", "13", "2016", "12", "00"} << date << "";
        QTest::newRow("empty day") << QStringList{"", "01", "2016", "12", "00"} << date << "";
        QTest::newRow("24:00") << QStringList{"01", "01", "2016", "24", "00"} << time << "";
        QTest::newRow("23:60") << QStringList{"01", "01", "2016", "23", "60"} << time << "";
        QTest::newRow("negative minute") << QStringList{"01", "01", "2016", "23", "-5"} << time
                                         << "";
        QTest::newRow("bad date and bad time: only the date message")
            << QStringList{"29", "02", "2015", "24", "60"} << date << "";
    }
    void dateValidation()
    {
        QFETCH(QStringList, typed);
        QFETCH(QString, message);
        QFETCH(QString, dateArgument);
        TestRoot root;
        root.fakeProgram("date");
        root.fakeProgram("hwclock");
        SettingsFrame frame;
        enter(frame);
        Messages messages;
        setDateTime(frame, typed);
        QCOMPARE(messages.texts, message.isEmpty() ? QStringList() : QStringList{message});
        const bool set = message.isEmpty();
        QCOMPARE(root.calls("date"), set ? QList<QStringList>{{dateArgument}} : QList<QStringList>());
        QCOMPARE(root.calls("hwclock"), set ? QList<QStringList>{{"--systohc"}} : QList<QStringList>());
        if (!set)   // the edits show the clock again
            QCOMPARE(edit(frame, "EDIT_YEAR")->text(), QDateTime::currentDateTime().toString("yyyy"));
        QVERIFY(frame.autoDisplay());
        QVERIFY(frame.isEnabled());
    }

    // Before, a failing date or hwclock went unreported and the user believed the clock set.
    void clockProgramFailuresAreReported_data()
    {
        QTest::addColumn<int>("dateExit");
        QTest::addColumn<int>("hwclockRuns");
        QTest::addColumn<QString>("shown");
        QTest::newRow("date refused: no hwclock") << 1 << 0 << "date and time could not be set";
        QTest::newRow("hwclock refused") << 0 << 1 << "battery clock";
    }
    void clockProgramFailuresAreReported()
    {
        QFETCH(int, dateExit);
        QFETCH(QString, shown);
        TestRoot root;
        root.fakeProgram("date", QByteArray(), dateExit);
        root.fakeProgram("hwclock", QByteArray(), 1);
        SettingsFrame frame;
        enter(frame);
        Messages messages;
        setDateTime(frame, {"05", "09", "2016", "07", "03"});
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts.first().contains(shown), qPrintable(messages.texts.first()));
        QTEST(int(root.calls("hwclock").size()), "hwclockRuns");
        QVERIFY(frame.isEnabled());
    }

    void debugSwitches_data()
    {
        QTest::addColumn<int>("day");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("calibration") << int(SettingsFrame::ServiceDayDebugCalibration)
                                     << "Calibration" << "/ORBELIN/Calibration"
                                     << QStringList{text(MSG_DEBUG_CALIBRATION_ENABLED),
                                                    text(MSG_DEBUG_CALIBRATION_DISABLED)};
        QTest::newRow("autofocus") << int(SettingsFrame::ServiceDayDebugAutofocus)
                                   << "Autofocus" << "/ORBELIN/Counting"
                                   << QStringList{text(MSG_DEBUG_AUTOFOCUS_ENABLED),
                                                  text(MSG_DEBUG_AUTOFOCUS_DISABLED)};
    }
    // Before, switching off ran the shell line "rm -rf <folder>".
    void debugSwitches()
    {
        QFETCH(int, day);
        QFETCH(QString, key);
        QFETCH(QString, folder);
        QFETCH(QStringList, shown);
        TestRoot root;
        root.fakeProgram("date");
        root.fakeProgram("rm");
        root.mkdir("/ORBELIN");
        root.writeFile("/root/keep/kept.tif", "kept");
        SettingsFrame frame;
        enter(frame);
        Messages messages;
        const QStringList typed{QString::number(day), "01", "2016", "12", "00"};
        setDateTime(frame, typed);
        QCOMPARE(messages.texts, shown.mid(0, 1));
        QCOMPARE(read("Debug Mode", key.toLatin1()), QString("1"));
        QVERIFY(QFileInfo(root.path(folder)).isDir());
        QVERIFY(frame.isEnabled());

        // Debug images, and a link out of the data folder that must not be followed.
        root.writeFile(folder + "/sweep/.hidden", "x");
        QVERIFY(QFile::link(root.path("/root/keep"), root.path(folder + "/keep")));
        setDateTime(frame, typed);
        QCOMPARE(messages.texts, shown);
        QCOMPARE(read("Debug Mode", key.toLatin1()), QString("0"));
        QVERIFY(!QFileInfo::exists(root.path(folder)));
        QCOMPARE(root.readFile("/root/keep/kept.tif"), QByteArray("kept"));
        QVERIFY(QFileInfo::exists(root.path("/ORBELIN")));
        QVERIFY(root.calls("rm").isEmpty());
        QVERIFY(root.calls("date").isEmpty());
    }

    void debugFolderThatIsALinkLosesOnlyTheLink()
    {
        TestRoot root;
        root.mkdir("/ORBELIN");
        root.writeFile("/root/ORBELIN_Vn/Protocol/Yeast.ini", "[Protocol]\n");
        QVERIFY(QFile::link(root.path("/root/ORBELIN_Vn"), root.path("/ORBELIN/Calibration")));
        root.writeFile(Ini, "[Debug Mode]\nCalibration=7\n");
        SettingsFrame frame;
        enter(frame);
        Messages messages;
        setDateTime(frame, {QString::number(SettingsFrame::ServiceDayDebugCalibration), "01",
                            "2016", "12", "00"});
        QCOMPARE(messages.texts, QStringList{text(MSG_DEBUG_CALIBRATION_DISABLED)});
        QVERIFY(!QFileInfo(root.path("/ORBELIN/Calibration")).isSymLink());
        QCOMPARE(root.readFile("/root/ORBELIN_Vn/Protocol/Yeast.ini"), QByteArray("[Protocol]\n"));
    }

    void demoAction_data()
    {
        QTest::addColumn<QString>("package");       // "stick", "internal", "link", "garbage"
        QTest::addColumn<bool>("installed");        // a demo program is there before
        QTest::addColumn<QString>("answer");        // button pressed in the question
        QTest::addColumn<int>("status");            // exit status, -1 for none
        QTest::addColumn<QByteArray>("demoAfter");  // demo program tag afterwards
        QTest::newRow("nothing anywhere: date message") << "" << false << "" << -1 << QByteArray();
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
