#include "Dialog.h"
#include "ModalAnswer.h"
#include "NetworkManager.h"
#include "PrivateProfile.h"
#include "ProgramExit.h"
#include "Resources.h"
#include "TestRoot.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class DialogTest : public QObject
{
    Q_OBJECT

private:
    // Starts the window without a controller board and answers the serial message.
    static void start(Dialog &dialog, QString *message = nullptr)
    {
        ModalAnswer::clickNext("BUTTON_OK", message, 10000);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }

    static QString read(const char *section, const char *key)
    {
        std::string value;
        ReadPrivateProfileString(section, key, "<missing>", value,
                                 "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        return QString::fromStdString(value);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        ProgramExit::setHandler([](int) {});
    }

    // The Wi-Fi manager the window takes must not outlive the test's root.
    void cleanup()
    {
        NetworkManager::release();
    }

    void startWithoutBoard()
    {
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini",
                       "[Debug Mode]\nAutofocus=1\nCalibration=1\n"
                       "[Current Protocol]\nName=Yeast\n");
        Dialog dialog;
        QString message;
        start(dialog, &message);

        QVERIFY(!dialog.boardFound());
        QVERIFY(message.contains("controller board"));
        QCOMPARE(dialog.currentMenu(), Dialog::MENU_REVIEW);
        QVERIFY(!dialog.findChild<QPushButton *>("BUTTON_COUNT")->isEnabled());
        for (const char *name : {"BUTTON_REVIEW", "BUTTON_PROTOCOL", "BUTTON_SETTINGS"})
            QVERIFY2(dialog.findChild<QPushButton *>(name)->isEnabled(), name);

        QCOMPARE(read("Security", "Enable"), QString("False"));
        QCOMPARE(read("Security", "Password"), QString("mavek"));
        QCOMPARE(read("Debug Mode", "Autofocus"), QString("0"));
        QCOMPARE(read("Debug Mode", "Calibration"), QString("0"));
        QCOMPARE(dialog.findChild<QLabel *>("LABEL_PROTOCOL")->text(), QString("Yeast"));
        QVERIFY(!dialog.findChild<QLabel *>("LABEL_DATE")->text().isEmpty());
    }

    void existingSecuritySettingsKept()
    {
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini",
                       "[Security]\nEnable=True\nPassword=secret\n");
        Dialog dialog;
        start(dialog);
        QCOMPARE(read("Security", "Enable"), QString("True"));
        QCOMPARE(read("Security", "Password"), QString("secret"));
        QCOMPARE(dialog.findChild<QLabel *>("LABEL_PROTOCOL")->text(), QString("DEFAULT"));
    }

    void menuButtonsSwitchScreens()
    {
        TestRoot root;
        Dialog dialog;
        start(dialog);
        const struct { const char *button; const char *frame; Dialog::Menu menu; } rows[] = {
            {"BUTTON_PROTOCOL", "FRAME_PROTOCOL", Dialog::MENU_PROTOCOL},
            {"BUTTON_SETTINGS", "FRAME_SETTINGS", Dialog::MENU_SETTINGS},
            {"BUTTON_REVIEW", "FRAME_REVIEW", Dialog::MENU_REVIEW},
        };
        for (const auto &row : rows) {
            QTest::mouseClick(dialog.findChild<QPushButton *>(row.button), Qt::LeftButton);
            QCOMPARE(dialog.currentMenu(), row.menu);
            for (const char *frame : {"FRAME_COUNT", "FRAME_REVIEW", "FRAME_PROTOCOL",
                                      "FRAME_SETTINGS"}) {
                QCOMPARE(dialog.findChild<QWidget *>(frame)->isVisible(),
                         qstrcmp(frame, row.frame) == 0);
            }
            QVERIFY(dialog.findChild<QPushButton *>(row.button)->isChecked());
        }
        QCOMPARE(dialog.findChild<QWidget *>("FRAME_REVIEW")->geometry(), QRect(0, 80, 1280, 720));
        dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-dialog.png"));
    }

    void keyQEndsWithStatusOne()
    {
        TestRoot root;
        int status = -1;
        ProgramExit::setHandler([&status](int s) { status = s; });
        Dialog dialog;
        start(dialog);
        QTest::keyClick(&dialog, Qt::Key_Q);
        QCOMPARE(status, 1);
        QCOMPARE(ProgramExit::lastStatus(), 1);
        ProgramExit::setHandler([](int) {});
    }

    void escapeDoesNotCloseWindow()
    {
        TestRoot root;
        Dialog dialog;
        start(dialog);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
    }

    void powerButtonAsksBeforeShutdown()
    {
        TestRoot root;
        root.installStandin("_record");
        root.installStandin("shutdown");
        Dialog dialog;
        start(dialog);
        auto *power = dialog.findChild<QPushButton *>("BUTTON_POWER");

        ModalAnswer::clickNext("BUTTON_CANCEL");
        QTest::mouseClick(power, Qt::LeftButton);
        QTest::qWait(300);
        QVERIFY(root.calls("shutdown").isEmpty());

        ModalAnswer::clickNext("BUTTON_OK");
        QTest::mouseClick(power, Qt::LeftButton);
        QTRY_COMPARE(root.calls("shutdown").size(), 1);
        QCOMPARE(root.calls("shutdown").first(), (QStringList{"-P", "now"}));
    }

    void updateScriptRunsOnceAndIsDeleted()
    {
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/Addtional_Update.sh",
                       "echo ran >> \"$ORBELIN_ROOT/ran.txt\"\n");
        {
            Dialog dialog;
            start(dialog);
        }
        QCOMPARE(root.readFile("/ran.txt"), QByteArray("ran\n"));
        QVERIFY(!QFile::exists(root.path("/root/ORBELIN_Vn/Addtional_Update.sh")));
    }
};

QTEST_MAIN(DialogTest)
#include "tst_Dialog.moc"
