#include "BoardStandin.h"
#include "Dialog.h"
#include "ModalAnswer.h"
#include "NetworkManager.h"
#include "PrivateProfile.h"
#include "ProgramExit.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "SettingsFrame.h"
#include "TestRoot.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

QString read(const char *section, const char *key)
{
    std::string value;
    ReadPrivateProfileString(section, key, "<missing>", value, "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
    return QString::fromStdString(value);
}

bool enabled(Dialog &dialog, const char *name)
{
    return dialog.findChild<QWidget *>(name)->isEnabled();
}

void click(Dialog &dialog, const char *name)
{
    QTest::mouseClick(dialog.findChild<QPushButton *>(name), Qt::LeftButton);
}

} // namespace

// The main window: start-up, keys, and the settings screen's place in it.
class DialogTest : public QObject
{
    Q_OBJECT

private:
    int m_Status = -1;

    // Starts the window; without a board, answers the serial message.
    static void start(Dialog &dialog, bool board)
    {
        if (!board)
            ModalAnswer::clickNext("BUTTON_OK", nullptr, 10000);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 10000);
        QCOMPARE(dialog.boardFound(), board);
    }

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
        QCOMPARE(read("Security", "Enable"), QString("False"));
        QCOMPARE(read("Security", "Password"), QString("mavek"));
        QCOMPARE(read("Debug Mode", "Autofocus"), QString("0"));
        QCOMPARE(read("Debug Mode", "Calibration"), QString("0"));
        QCOMPARE(dialog.findChild<QLabel *>("LABEL_PROTOCOL")->text(), QString("Yeast"));
        // The one-shot update script ran once and is gone.
        QCOMPARE(root.readFile("/ran.txt"), QByteArray("ran\n"));
        QVERIFY(!QFile::exists(root.path("/root/ORBELIN_Vn/Addtional_Update.sh")));
        // Entering Settings clears the slide-ejected flag.
        SettingsFrame::SetSlideEjection(true);
        click(dialog, "BUTTON_SETTINGS");
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
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", head + "[Security]\nEnable="
                                                              + (on ? "True" : "False")
                                                              + "\nPassword=secret\n");
        BoardStandin standin;
        if (board)
            QVERIFY(standin.start());
        Dialog dialog;
        start(dialog, board);
        QCOMPARE(read("Security", "Password"), QString("secret"));
        const char *locked[] = {"EDIT_DAY", "BUTTON_KEY_0", "BUTTON_SAVE_AS", "BUTTON_ERASE_ALL"};
        for (const char *name : locked)
            QVERIFY2(enabled(dialog, name) == !on, name);
        QVERIFY(enabled(dialog, "BUTTON_SECURITY_OPTIONS"));
        // A later change from the security options reaches them too.
        emit dialog.findChild<SettingsFrame *>()->signalEnableSecurityMode(!on);
        for (const char *name : locked)
            QVERIFY2(enabled(dialog, name) == on, name);
    }

    void escapeStaysAndKeyQEndsWithStatusOne()
    {
        TestRoot root;
        Dialog dialog;
        start(dialog, false);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QCOMPARE(m_Status, -1);
        QTest::keyClick(&dialog, Qt::Key_Q);
        QCOMPARE(m_Status, 1);
    }
};

QTEST_MAIN(DialogTest)
#include "tst_Dialog.moc"
