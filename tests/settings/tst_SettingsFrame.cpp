#include "ModalAnswer.h"
#include "ProgramExit.h"
#include "Resources.h"
#include "SettingsFrame.h"
#include "TestRoot.h"

#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// The settings screen's status lines, security lock, option buttons and key pad.
class SettingsFrameTest : public QObject
{
    Q_OBJECT

private:
    static QLineEdit *edit(SettingsFrame &frame, const QString &name)
    {
        return frame.findChild<QLineEdit *>(name);
    }

    static void click(SettingsFrame &frame, const QString &name)
    {
        QTest::mouseClick(frame.findChild<QPushButton *>(name), Qt::LeftButton);
    }

    // The screen as the main window shows it on entering Settings.
    static void enter(SettingsFrame &frame)
    {
        frame.resize(1280, 720);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.initialize();
    }

    static QStringList optionButtons()
    {
        return {"BUTTON_COUNITNG_OPTIONS", "BUTTON_SAVE_OPTIONS", "BUTTON_REVIEW_OPTIONS",
                "BUTTON_WIFI_OPTIONS", "BUTTON_SECURITY_OPTIONS", "BUTTON_SYSTEM_INFORMATION",
                "BUTTON_CALIBRATE", "BUTTON_UPDATE_SOFTWARE"};
    }

    static QStringList lockedNames()
    {
        QStringList names{"EDIT_YEAR", "EDIT_MONTH", "EDIT_DAY", "EDIT_HOUR", "EDIT_MINUTE",
                          "BUTTON_SET_DATE_TIME", "BUTTON_KEY_BACKSPACE"};
        for (int i = 0; i <= 9; ++i)
            names << QStringLiteral("BUTTON_KEY_%1").arg(i);
        names.sort();
        return names;
    }

    static QStringList disabledChildren(SettingsFrame &frame)
    {
        QStringList names;
        for (QWidget *w : frame.findChildren<QWidget *>()) {
            if (!w->isEnabled())
                names << w->objectName();
        }
        names.sort();
        return names;
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        ProgramExit::setHandler([](int) {});
    }

    void versionText_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("shown");
        QTest::newRow("program file") << "ORBELIN_Vn_1_0_3" << "" << "1.0.3";
        QTest::newRow("started through a link: the target's name counts")
            << "ORBELIN_Vn_1_0_3" << "ORBELIN_Vn" << "1.0.3";
        QTest::newRow("link with a version name of its own")
            << "ORBELIN_Vn_1_0_3" << "ORBELIN_Vn_2_0_0" << "1.0.3";
        QTest::newRow("IQOQ build") << "ORBELIN_Vn_1_2_0IQOQ" << "" << "1.2.0-IQOQ";
        QTest::newRow("IQOQ in mixed case") << "ORBELIN_Vn_1_2_0iQoQ" << "" << "1.2.0-IQOQ";
        QTest::newRow("IQOQ on the link only does not count")
            << "ORBELIN_Vn_1_2_0" << "ORBELIN_Vn_IQOQ" << "1.2.0";
        QTest::newRow("two-digit numbers") << "ORBELIN_Vn_1_10_12" << "" << "1.10.12";
    }

    void versionText()
    {
        QFETCH(QString, file);
        QFETCH(QString, link);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        const QString program = dir.filePath(file);
        QVERIFY(QFile(program).open(QIODevice::WriteOnly));
        QString started = program;
        if (!link.isEmpty()) {
            started = dir.filePath(link);
            QVERIFY(QFile::link(program, started));
        }
        QCOMPARE(SettingsFrame::softwareVersionText(started), shown);
    }

    void statusLabels_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("values");
        const QByteArray stored = "[Reference position]\nValue=12800\nSlope=0\n"
                                  "[Calibration]\nValue=50\nLast Update=09 SEP 2016 12:57\n";
        QTest::newRow("Meiji by default, default exposure")
            << stored << "12800, 0, 50, 100";
        QTest::newRow("Meiji with its exposure")
            << stored + "Exposure Meiji=120\nExposure Olympus=170\n[Lens type]\nValue=Meiji\n"
            << "12800, 0, 50, 120";
        QTest::newRow("Olympus with its exposure")
            << stored + "Exposure Meiji=120\nExposure Olympus=170\n[Lens type]\nValue=Olympus\n"
            << "12800, 0, 50, 170";
        QTest::newRow("Olympus without an exposure key")
            << stored + "[Lens type]\nValue=Olympus\n" << "12800, 0, 50, 155";
        QTest::newRow("unknown lens: no exposure")
            << stored + "[Lens type]\nValue=Nikon\n" << "12800, 0, 50";
        QTest::newRow("no slope stored")
            << QByteArray("[Reference position]\nValue=12800\n[Calibration]\nValue=50\n")
            << "12800, 50, 100";
        QTest::newRow("nothing stored") << QByteArray() << ", 100";
    }

    void statusLabels()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, values);
        TestRoot root;
        if (!ini.isEmpty())
            root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini",
                           ini + "[Software Update]\nLast Update=05 DEC 2026 14:31\n");
        SettingsFrame frame;
        QCOMPARE(frame.findChild<QLabel *>("LABEL_CALIBRATED_VALUES")->text(), values);
        QCOMPARE(frame.findChild<QLabel *>("LABEL_LAST_CALIBRATION_DATETIME")->text(),
                 QString(ini.contains("Last Update") ? "09 SEP 2016 12:57" : ""));
        QCOMPARE(frame.findChild<QLabel *>("LABEL_LAST_SOFTWARE_UPDATE_DATETIME")->text(),
                 QString(ini.isEmpty() ? "" : "05 DEC 2026 14:31"));
        // Reading the labels writes no defaults back.
        if (ini.isEmpty())
            QVERIFY(!QFile::exists(root.path("/root/ORBELIN_Vn/ORBELIN_Vn.ini")));
    }

    void securityLocksExactlyTheDateAndTimeControls()
    {
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini",
                       "[Calibration]\nLast Update=09 SEP 2026 12:57\nValue=50\n"
                       "[Reference position]\nValue=12800\nSlope=0\n"
                       "[Software Update]\nLast Update=05 DEC 2026 14:31\n");
        SettingsFrame frame;
        enter(frame);
        QVERIFY(disabledChildren(frame).isEmpty());

        frame.slotEnableSecurityMode(true);
        QCOMPARE(disabledChildren(frame), lockedNames());
        frame.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-settings-locked.png"));

        // A touch on a locked edit changes nothing.
        const QString day = edit(frame, "EDIT_DAY")->text();
        QTest::mouseClick(edit(frame, "EDIT_DAY"), Qt::LeftButton);
        QCOMPARE(edit(frame, "EDIT_DAY")->text(), day);
        QVERIFY(frame.autoDisplay());

        frame.slotEnableSecurityMode(false);
        QVERIFY(disabledChildren(frame).isEmpty());
        frame.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-settings.png"));
    }

    // The option buttons stay usable in security mode; each opens its dialog.
    void optionButtonsOpenTheirDialogsInSecurityMode_data()
    {
        QTest::addColumn<QString>("buttonName");
        QTest::addColumn<QString>("dialogClass");
        QTest::addColumn<QString>("closeButton");
        QTest::newRow("counting options") << "BUTTON_COUNITNG_OPTIONS" << "CountingOptionsDialog"
                                          << "BUTTON_CLOSE";
        QTest::newRow("save options") << "BUTTON_SAVE_OPTIONS" << "SaveOptionsDialog"
                                      << "BUTTON_CLOSE";
        QTest::newRow("review options") << "BUTTON_REVIEW_OPTIONS" << "ReviewOptionsDialog"
                                        << "BUTTON_CLOSE";
        QTest::newRow("Wi-Fi options") << "BUTTON_WIFI_OPTIONS" << "WiFiOptionsDialog"
                                       << "BUTTON_CLOSE";
        QTest::newRow("software update") << "BUTTON_UPDATE_SOFTWARE" << "SoftwareUpdateDialog"
                                         << "BUTTON_CANCEL";
        QTest::newRow("system information") << "BUTTON_SYSTEM_INFORMATION"
                                            << "SystemInformationDialog" << "BUTTON_OK";
        QTest::newRow("security options") << "BUTTON_SECURITY_OPTIONS"
                                          << "SecurityOptionsDialog" << "BUTTON_CLOSE";
    }

    void optionButtonsOpenTheirDialogsInSecurityMode()
    {
        QFETCH(QString, buttonName);
        QFETCH(QString, dialogClass);
        QFETCH(QString, closeButton);
        TestRoot root;
        SettingsFrame frame;
        enter(frame);
        frame.slotEnableSecurityMode(true);
        QString opened;
        ModalAnswer::next([&](QWidget *modal) {
            opened = modal->metaObject()->className();
            QTest::mouseClick(modal->findChild<QWidget *>(closeButton), Qt::LeftButton);
        });
        click(frame, buttonName);
        QCOMPARE(opened, dialogClass);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void saveOptionsAlwaysTellTheCountScreen_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("closed") << false;
        QTest::newRow("escaped") << true;
    }

    void saveOptionsAlwaysTellTheCountScreen()
    {
        QFETCH(bool, escape);
        TestRoot root;
        SettingsFrame frame;
        enter(frame);
        QSignalSpy spy(&frame, &SettingsFrame::signalSaveOptionChanged);
        ModalAnswer::next([escape](QWidget *modal) {
            if (escape)
                QTest::keyClick(modal, Qt::Key_Escape);
            else
                QTest::mouseClick(modal->findChild<QWidget *>("BUTTON_CLOSE"), Qt::LeftButton);
        });
        click(frame, "BUTTON_SAVE_OPTIONS");
        QCOMPARE(spy.count(), 1);
    }

    // Only an installed update ends the program, with status 10 for the launcher.
    void softwareUpdateEndsTheProgramOnlyWhenInstalled_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::newRow("left with Exit") << false;
        QTest::newRow("Restart after an update") << true;
    }

    void softwareUpdateEndsTheProgramOnlyWhenInstalled()
    {
        QFETCH(bool, installed);
        TestRoot root;
        int status = -1;
        ProgramExit::setHandler([&status](int s) { status = s; });
        SettingsFrame frame;
        enter(frame);
        QSignalSpy terminate(&frame, &SettingsFrame::signalTerminate);
        ModalAnswer::next([installed](QWidget *modal) {
            if (installed)
                qobject_cast<QDialog *>(modal)->accept();   // as its Restart button does
            else
                QTest::mouseClick(modal->findChild<QWidget *>("BUTTON_CANCEL"), Qt::LeftButton);
        });
        click(frame, "BUTTON_UPDATE_SOFTWARE");
        ProgramExit::setHandler([](int) {});
        QCOMPARE(terminate.count(), installed ? 1 : 0);
        QCOMPARE(status, installed ? 10 : -1);
    }

    void reviewOptionsTellTheScaleBarState()
    {
        TestRoot root;
        SettingsFrame frame;
        enter(frame);
        QSignalSpy spy(&frame, &SettingsFrame::signalEnableScaleBarDisplay);
        for (const bool expected : {false, true}) {
            ModalAnswer::next([](QWidget *modal) {
                QTest::mouseClick(modal->findChild<QWidget *>("BUTTON_SCALEBAR_ENABLE"),
                                  Qt::LeftButton);
                QTest::mouseClick(modal->findChild<QWidget *>("BUTTON_CLOSE"), Qt::LeftButton);
            });
            click(frame, "BUTTON_REVIEW_OPTIONS");
            QCOMPARE(spy.count(), 1);
            QCOMPARE(spy.takeFirst().at(0).toBool(), expected);
        }
    }

    // The security options dialog's result is the mode it leaves, and the settings screen
    // passes it on.
    void securityOptionsTellTheMode_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("mode");
        QTest::newRow("on") << "True" << true;
        QTest::newRow("off") << "False" << false;
    }

    void securityOptionsTellTheMode()
    {
        QFETCH(QString, stored);
        QFETCH(bool, mode);
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini",
                       "[Security]\nEnable=" + stored.toLatin1() + "\nPassword=mavek\n");
        SettingsFrame frame;
        enter(frame);
        QSignalSpy spy(&frame, &SettingsFrame::signalEnableSecurityMode);
        ModalAnswer::clickNext("BUTTON_CLOSE");
        click(frame, "BUTTON_SECURITY_OPTIONS");
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().at(0).toBool(), mode);
    }

    void systemInformationShowsTheVersionLabel()
    {
        TestRoot root;
        SettingsFrame frame;
        enter(frame);
        QString shown;
        ModalAnswer::next([&](QWidget *modal) {
            shown = modal->findChild<QLabel *>("LABEL_SOFTWARE_VERSION")->text();
            QTest::mouseClick(modal->findChild<QWidget *>("BUTTON_OK"), Qt::LeftButton);
        });
        click(frame, "BUTTON_SYSTEM_INFORMATION");
        QCOMPARE(shown, frame.findChild<QLabel *>("LABEL_SOFTWARE_VERSION")->text());
    }

    void keyPadTypesOnlyIntoATouchedEdit()
    {
        TestRoot root;
        SettingsFrame frame;
        enter(frame);
        QStringList before;
        for (auto *e : frame.findChildren<QLineEdit *>())
            before << e->text();
        click(frame, "BUTTON_KEY_5");
        click(frame, "BUTTON_KEY_BACKSPACE");
        QStringList after;
        for (auto *e : frame.findChildren<QLineEdit *>())
            after << e->text();
        QCOMPARE(after, before);
        QVERIFY(frame.autoDisplay());

        // A touch clears the edit and stops the clock from refilling the edits.
        QLineEdit *day = edit(frame, "EDIT_DAY");
        QTest::mouseClick(day, Qt::LeftButton);
        QCOMPARE(day->text(), QString());
        QVERIFY(!frame.autoDisplay());
        for (const char *key : {"BUTTON_KEY_1", "BUTTON_KEY_7", "BUTTON_KEY_9"})
            click(frame, key);
        QCOMPARE(day->text(), QString("17"));      // two digits at most
        click(frame, "BUTTON_KEY_BACKSPACE");
        QCOMPARE(day->text(), QString("1"));
        frame.slotUpdateCurrentDateTime();
        QCOMPARE(day->text(), QString("1"));

        QLineEdit *year = edit(frame, "EDIT_YEAR");
        QTest::mouseClick(year, Qt::LeftButton);
        for (const char *key : {"BUTTON_KEY_2", "BUTTON_KEY_0", "BUTTON_KEY_3", "BUTTON_KEY_0",
                                "BUTTON_KEY_1"})
            click(frame, key);
        QCOMPARE(year->text(), QString("2030"));
        QCOMPARE(day->text(), QString("1"));

        // Entering the menu again shows the clock and leaves the key pad idle.
        frame.initialize();
        QCOMPARE(year->text(), QDateTime::currentDateTime().toString("yyyy"));
        click(frame, "BUTTON_KEY_8");
        QCOMPARE(year->text(), QDateTime::currentDateTime().toString("yyyy"));
    }

    void clockTickRefillsOnlyWhileNothingIsTyped()
    {
        TestRoot root;
        SettingsFrame frame;
        enter(frame);
        QLineEdit *minute = edit(frame, "EDIT_MINUTE");
        minute->setText("77");
        frame.slotUpdateCurrentDateTime();
        QCOMPARE(minute->text().size(), 2);
        QVERIFY(minute->text() != "77");

        QTest::mouseClick(minute, Qt::LeftButton);
        click(frame, "BUTTON_KEY_4");
        frame.slotUpdateCurrentDateTime();
        QCOMPARE(minute->text(), QString("4"));
    }
};

QTEST_MAIN(SettingsFrameTest)
#include "tst_SettingsFrame.moc"
