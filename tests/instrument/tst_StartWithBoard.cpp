#include "BoardStandin.h"
#include "CountFrame.h"
#include "Dialog.h"
#include "ModalAnswer.h"
#include "NetworkManager.h"
#include "PrivateProfile.h"
#include "ProgramExit.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "ReviewFrame.h"
#include "SettingsFrame.h"
#include "TestRoot.h"

#include <QPushButton>
#include <QtTest>

// The main window's start-up with and without an answering controller board.
class StartWithBoardTest : public QObject
{
    Q_OBJECT

private:
    static QString read(const char *section, const char *key)
    {
        std::string value;
        ReadPrivateProfileString(section, key, "<missing>", value,
                                 "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        return QString::fromStdString(value);
    }

    // Shows the window and waits for the end of its start-up.
    static void start(Dialog &dialog)
    {
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
    }

    static bool enabled(Dialog &dialog, const char *button)
    {
        return dialog.findChild<QPushButton *>(button)->isEnabled();
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
        NetworkManager::release();     // its device monitor must not outlive the test's root
    }

    void boardAnswers()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        Dialog dialog;
        start(dialog);

        QVERIFY(dialog.boardFound());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(dialog.currentMenu(), Dialog::MENU_COUNT);
        for (const char *name : {"BUTTON_COUNT", "BUTTON_REVIEW", "BUTTON_PROTOCOL",
                                 "BUTTON_SETTINGS"})
            QVERIFY2(enabled(dialog, name), name);
        // Probe, stage set-up, then the count screen takes the slide to its first field.
        QCOMPARE(board.received(), (QStringList{"$A#VER", "$X#STAGE INIT", "$Z#STAGE INIT",
                                                "$X#STAGE INSERT"}));
        QCOMPARE(read("Counting options", "Counting field"), QString("10"));
    }

    void crossScreenSignalsReachTheCountScreen()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        Dialog dialog;
        start(dialog);
        QVERIFY(dialog.boardFound());
        auto *count = dialog.findChild<CountFrame *>("FRAME_COUNT");
        auto *review = dialog.findChild<ReviewFrame *>("FRAME_REVIEW");
        auto *settings = dialog.findChild<SettingsFrame *>("FRAME_SETTINGS");

        WritePrivateProfileString("Calibration", "Value", "70", "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        emit settings->signalCalibrationCompleted();
        QCOMPARE(count->lightLevel(CountFrame::LightSteps / 2), 70);

        QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_REVIEW"), Qt::LeftButton);
        // The folder holds no raw images: the count screen says so.
        ModalAnswer::clickNext("BUTTON_OK");
        emit review->signalAnalysis("/ORBELIN/Yeast 1");
        QCOMPARE(dialog.currentMenu(), Dialog::MENU_COUNT);
        QCOMPARE(count->analysisRequest(), QString("/ORBELIN/Yeast 1"));

        count->appendResultsLog("A,1");
        emit review->signalCSVRemoved();
        QCOMPARE(count->resultsLog().size(), size_t(1));

        emit count->signalWidgetEnabled(false);
        QVERIFY(!enabled(dialog, "BUTTON_REVIEW"));
        emit count->signalWidgetEnabled(true);
        QVERIFY(enabled(dialog, "BUTTON_COUNT"));
    }

    void withoutBoardNothingReachesTheCountScreen()
    {
        TestRoot root;
        root.mkdir("/dev");
        Dialog dialog;
        ModalAnswer::clickNext("BUTTON_OK", nullptr, 10000);
        start(dialog);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        auto *count = dialog.findChild<CountFrame *>("FRAME_COUNT");
        emit dialog.findChild<ReviewFrame *>("FRAME_REVIEW")->signalAnalysis("/ORBELIN/x");
        QCOMPARE(count->analysisRequest(), QString());
        QCOMPARE(dialog.currentMenu(), Dialog::MENU_REVIEW);
    }

    void stageSetUpRefused()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        board.setMode("ok", 1);      // the version probe
        board.thenMode("ng");        // everything after it
        Dialog dialog;
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message, 10000);
        start(dialog);
        QTRY_VERIFY(!QApplication::activeModalWidget());

        QVERIFY(!dialog.boardFound());
        QVERIFY(message.contains("controller board"));
        QCOMPARE(dialog.currentMenu(), Dialog::MENU_REVIEW);
        QVERIFY(!enabled(dialog, "BUTTON_COUNT"));
        QVERIFY(enabled(dialog, "BUTTON_SETTINGS"));
        QCOMPARE(board.received(), (QStringList{"$A#VER", "$X#STAGE INIT", "$X#STAGE INIT",
                                                "$X#STAGE INIT"}));
    }

    void silentBoard()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        board.setMode("silent");
        Dialog dialog;
        ModalAnswer::clickNext("BUTTON_OK", nullptr, 10000);
        start(dialog);
        QVERIFY(!dialog.boardFound());
        QVERIFY(!enabled(dialog, "BUTTON_COUNT"));
    }
};

QTEST_MAIN(StartWithBoardTest)
#include "tst_StartWithBoard.moc"
