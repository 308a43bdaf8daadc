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

    // With a board the stages are homed and the count screen opens; a board that refuses
    // the set-up or stays silent takes the road without one.
    void start_data()
    {
        QTest::addColumn<QStringList>("modes");
        QTest::addColumn<QStringList>("received");
        QTest::addColumn<bool>("found");
        QTest::newRow("board answers")
            << QStringList() << QStringList{"$A#VER", "$X#STAGE INIT", "$Z#STAGE INIT", "$X#STAGE INSERT"}
            << true;
        QTest::newRow("stage set-up refused")
            << QStringList{"ok 1", "ng"}
            << QStringList{"$A#VER", "$X#STAGE INIT", "$X#STAGE INIT", "$X#STAGE INIT"} << false;
        QTest::newRow("silent board") << QStringList{"silent"} << QStringList{"$A#VER"} << false;
    }
    void start()
    {
        QFETCH(QStringList, modes);
        QFETCH(QStringList, received);
        QFETCH(bool, found);
        TestRoot root;
        WritePrivateProfileString("Counting options", "Counting field", "4", Ini);
        BoardStandin board;
        QVERIFY(board.start());
        for (const QString &mode : modes)
            board.thenMode(mode.section(' ', 0, 0), mode.section(' ', 1).toInt());
        Dialog dialog;
        QString message;
        if (!found)
            ModalAnswer::clickNext("BUTTON_OK", &message, 10000);
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
        QTRY_VERIFY(!QApplication::activeModalWidget());

        QCOMPARE(dialog.boardFound(), found);
        QCOMPARE(message.contains("controller board"), !found);
        QCOMPARE(dialog.currentMenu(), found ? Dialog::MENU_COUNT : Dialog::MENU_REVIEW);
        QCOMPARE(enabled(dialog, "BUTTON_COUNT"), found);
        QVERIFY(enabled(dialog, "BUTTON_SETTINGS"));
        QCOMPARE(board.received(), received);
        std::string field;
        ReadPrivateProfileString("Counting options", "Counting field", "", field, Ini);
        QCOMPARE(field, std::string("10"));     // reset at every start
        if (found)
            return;
        // Without a board a re-analysis request does not reach the count screen.
        emit dialog.findChild<ReviewFrame *>("FRAME_REVIEW")->signalAnalysis("/ORBELIN/x");
        QCOMPARE(dialog.findChild<CountFrame *>("FRAME_COUNT")->analysisRequest(), QString());
    }

    void crossScreenSignalsReachTheCountScreen()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        Dialog dialog;
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
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
