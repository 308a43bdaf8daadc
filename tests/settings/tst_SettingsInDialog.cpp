#include "BoardStandin.h"
#include "Dialog.h"
#include "ModalAnswer.h"
#include "ProgramExit.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "SettingsFrame.h"
#include "TestRoot.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// The settings screen inside the main window: security mode at start-up, the clock while
// the Settings menu is shown, the slide-ejected flag.
class SettingsInDialogTest : public QObject
{
    Q_OBJECT

private:
    static void start(Dialog &dialog, bool board)
    {
        if (!board)
            ModalAnswer::clickNext("BUTTON_OK", nullptr, 10000);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(dialog.boardFound(), board);
    }

    static SettingsFrame *settings(Dialog &dialog)
    {
        return dialog.findChild<SettingsFrame *>("FRAME_SETTINGS");
    }

    static bool enabled(Dialog &dialog, const char *name)
    {
        return dialog.findChild<QWidget *>(name)->isEnabled();
    }

    static void click(Dialog &dialog, const char *name)
    {
        QTest::mouseClick(dialog.findChild<QPushButton *>(name), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        ProgramExit::setHandler([](int) {});
    }

    void cleanup()
    {
        QtSerialPort::release();
    }

    // Before, without a board the stored mode never reached the screens, so the review
    // screen kept DELETE and ERASE ALL unlocked while the setting said "True".
    void securityModeReachesTheScreens_data()
    {
        QTest::addColumn<bool>("board");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QByteArray>("head");   // of the settings file
        QTest::newRow("with a board, on") << true << true << QByteArray();
        QTest::newRow("with a board, off") << true << false << QByteArray();
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
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini",
                       head + "[Security]\nEnable=" + (on ? "True" : "False") + "\n");
        BoardStandin standin;
        if (board)
            QVERIFY(standin.start());
        Dialog dialog;
        start(dialog, board);
        QCOMPARE(settings(dialog)->securityMode(), on);
        for (const char *name : {"EDIT_DAY", "BUTTON_KEY_0", "BUTTON_SET_DATE_TIME", "BUTTON_SAVE_AS"})
            QVERIFY2(enabled(dialog, name) == !on, name);
        QVERIFY(enabled(dialog, "BUTTON_SECURITY_OPTIONS"));

        // A later change from the security options reaches them too.
        emit settings(dialog)->signalEnableSecurityMode(!on);
        for (const char *name : {"EDIT_DAY", "BUTTON_KEY_0", "BUTTON_SET_DATE_TIME", "BUTTON_SAVE_AS"})
            QVERIFY2(enabled(dialog, name) == on, name);
    }

    void clockFillsTheEditsOnlyWhileSettingsIsShown()
    {
        TestRoot root;
        BoardStandin standin;
        QVERIFY(standin.start());
        Dialog dialog;
        start(dialog, true);
        SettingsFrame *frame = settings(dialog);
        QLineEdit *minute = frame->findChild<QLineEdit *>("EDIT_MINUTE");

        click(dialog, "BUTTON_SETTINGS");
        click(dialog, "BUTTON_SETTINGS");
        QVERIFY(frame->autoDisplay());
        minute->setText("77");
        emit frame->signalForceUpdateDateTime();
        QCOMPARE(minute->text(), QDateTime::currentDateTime().toString("mm"));

        click(dialog, "BUTTON_REVIEW");
        minute->setText("77");
        emit frame->signalForceUpdateDateTime();
        QCOMPARE(minute->text(), QString("77"));

        click(dialog, "BUTTON_SETTINGS");
        QCOMPARE(minute->text(), QDateTime::currentDateTime().toString("mm"));
    }

    void enteringSettingsClearsTheSlideEjectedFlag()
    {
        TestRoot root;
        Dialog dialog;
        start(dialog, false);
        SettingsFrame::SetSlideEjection(true);
        click(dialog, "BUTTON_SETTINGS");
        QVERIFY(!SettingsFrame::slideEjection());
    }
};

QTEST_MAIN(SettingsInDialogTest)
#include "tst_SettingsInDialog.moc"
