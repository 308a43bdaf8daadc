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

namespace {
const char Ini[] = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";

bool enabled(Dialog &dialog, const char *button)
{
    return dialog.findChild<QPushButton *>(button)->isEnabled();
}
} // namespace

// The main window's start-up with and without an answering controller board.
class StartWithBoardTest : public QObject
{
    Q_OBJECT

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

    // A board that refuses the stage set-up takes the road without a board: a message,
    // the review screen, COUNT off, re-analysis requests not passed on. The number of
    // counting fields is reset at every start.
    void stageSetUpRefused()
    {
        TestRoot root;
        WritePrivateProfileString("Counting options", "Counting field", "4", Ini);
        BoardStandin board;
        QVERIFY(board.start());
        board.setMode("ok", 1);      // the version probe
        board.thenMode("ng");        // everything after it
        Dialog dialog;
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message, 10000);
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(!dialog.boardFound());
        QVERIFY(message.contains("controller board"));
        QCOMPARE(dialog.currentMenu(), Dialog::MENU_REVIEW);
        QVERIFY(!enabled(dialog, "BUTTON_COUNT"));
        QVERIFY(enabled(dialog, "BUTTON_SETTINGS"));
        QCOMPARE(board.received(), QStringList({"$A#VER", "$X#STAGE INIT", "$X#STAGE INIT",
                                                "$X#STAGE INIT"}));
        std::string field;
        ReadPrivateProfileString("Counting options", "Counting field", "", field, Ini);
        QCOMPARE(field, std::string("10"));
        emit dialog.findChild<ReviewFrame *>("FRAME_REVIEW")->signalAnalysis("/ORBELIN/x");
        QCOMPARE(dialog.findChild<CountFrame *>("FRAME_COUNT")->analysisRequest(), QString());
    }

    // With a board the stages are homed, the count screen opens and the screens talk.
    void crossScreenSignalsReachTheCountScreen()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        Dialog dialog;
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
        QCOMPARE(dialog.currentMenu(), Dialog::MENU_COUNT);
        QCOMPARE(board.received(), QStringList({"$A#VER", "$X#STAGE INIT", "$Z#STAGE INIT",
                                                "$X#STAGE INSERT"}));
        auto *count = dialog.findChild<CountFrame *>("FRAME_COUNT");
        auto *review = dialog.findChild<ReviewFrame *>("FRAME_REVIEW");

        WritePrivateProfileString("Calibration", "Value", "70", Ini);
        emit dialog.findChild<SettingsFrame *>("FRAME_SETTINGS")->signalCalibrationCompleted();
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
};

QTEST_MAIN(StartWithBoardTest)
#include "tst_StartWithBoard.moc"
