#include "BoardStandin.h"
#include "CountFrame.h"
#include "ImageFrame.h"
#include "ModalAnswer.h"
#include "PrivateProfile.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "TestRoot.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {
const char Log[] = "/root/ORBELIN_Vn/CountingResults.csv";

QByteArray header()
{
    return QByteArray::fromStdString(CSVReaderWriter::resultsLogHeader());
}
} // namespace

class CountFrameTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<std::string>("std::string");
        Resources::init();
    }

    void cleanup()
    {
        QtSerialPort::release();
    }

    void initializeTakesTheSlideInAndLoadsTheLog()
    {
        TestRoot root;
        root.writeFile(Log, header() + "\nA,1\nB,2");
        BoardStandin board;
        QVERIFY(board.start());
        CountFrame screen;
        screen.initialize();
        QCOMPARE(board.received(), (QStringList{"$A#VER", "$X#STAGE INSERT"}));
        QCOMPARE(screen.resultsLog().size(), size_t(3));
        QCOMPARE(screen.resultsLog().back(), std::string("B,2"));
        // No "Scale Bar" key: on, and written back.
        QVERIFY(screen.findChild<ImageFrame *>("IMAGE")->scaleBarEnabled());
    }

    void ejectButton()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        CountFrame screen;
        QVERIFY(QtSerialPort::instance()->open());
        board.setMode("ng", 2);   // refused twice: the third try goes through
        QTest::mouseClick(screen.findChild<QPushButton *>("BUTTON_EJECT"), Qt::LeftButton);
        QCOMPARE(board.received().count("$X#STAGE EJECT"), 3);
        QCOMPARE(screen.findChild<QLabel *>("LABEL_SLIDE")->text(), QString("Slide ejected"));
    }

    void ejectFailureIsShown()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        CountFrame screen;
        QVERIFY(QtSerialPort::instance()->open());
        board.setMode("ng");
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        screen.slideEject();
        QVERIFY2(message.contains("could not be ejected"), qPrintable(message));
        QCOMPARE(board.received().count("$X#STAGE EJECT"), 3);
    }

    void appendKeepsTheNewest1000Rows()
    {
        TestRoot root;
        QByteArray file = header();
        for (int i = 0; i < 1000; ++i)
            file += "\nrow" + QByteArray::number(i) + ",x";
        root.writeFile(Log, file);
        CountFrame screen;
        screen.initialize();
        QSignalSpy appended(&screen, &CountFrame::signalAppendCSVData);
        QVERIFY(screen.appendResultsLog(",09 Dec 2024 10:00,120,1.20E06,4.1,DEFAULT"));
        QCOMPARE(appended.count(), 1);
        QCOMPARE(appended.first().first().value<std::string>(),
                 std::string(",09 Dec 2024 10:00,120,1.20E06,4.1,DEFAULT"));

        const QList<QByteArray> lines = root.readFile(Log).split('\n');
        QCOMPARE(lines.size(), 1001);
        QCOMPARE(lines.first(), header());
        QCOMPARE(lines.at(1), QByteArray("row1,x"));   // the oldest went
        QCOMPARE(lines.last(), QByteArray(",09 Dec 2024 10:00,120,1.20E06,4.1,DEFAULT"));
        QVERIFY(!root.readFile(Log).endsWith('\n'));
    }

    void lineBreakInARowDoesNotSplitIt()
    {
        TestRoot root;
        root.mkdir("/root/ORBELIN_Vn");
        CountFrame screen;
        screen.appendResultsLog(",date\n,1");
        QCOMPARE(root.readFile(Log), header() + "\n,date ,1");
    }

    void savedNameGoesIntoTheNewestRow()
    {
        TestRoot root;
        root.writeFile(Log, header() + "\n,d1,5\n,d2,6,1.00E03");
        CountFrame screen;
        screen.initialize();
        QSignalSpy renamed(&screen, &CountFrame::signalFilenameReplaced);
        QVERIFY(screen.setSavedName("/media/USB/Yeast, batch 2"));
        QCOMPARE(renamed.count(), 1);
        QCOMPARE(renamed.first().first().toString(), QString("Yeast_ batch 2"));
        QCOMPARE(root.readFile(Log), header() + "\n,d1,5\nYeast_ batch 2,d2,6,1.00E03");
    }

    void savedNameWithoutRows()
    {
        TestRoot root;
        CountFrame screen;
        QSignalSpy renamed(&screen, &CountFrame::signalFilenameReplaced);
        QVERIFY(!screen.setSavedName("/ORBELIN/x"));
        QCOMPARE(renamed.count(), 0);
    }

    void logRemovedStartsAfresh()
    {
        TestRoot root;
        root.writeFile(Log, header() + "\nA\nB");
        CountFrame screen;
        screen.initialize();
        QFile::remove(root.path(Log));
        screen.slotCSVRemoved();
        screen.appendResultsLog("C");
        QCOMPARE(root.readFile(Log), header() + "\nC");
    }

    void lightTable_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("middle");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        QTest::newRow("calibrated 50") << QByteArray("50") << 50 << 10 << 100;
        QTest::newRow("calibrated 80: the top is capped") << QByteArray("80") << 80 << 16 << 100;
        QTest::newRow("calibrated 3: never 0") << QByteArray("3") << 3 << 1 << 6;
        QTest::newRow("missing") << QByteArray() << 50 << 10 << 100;
        QTest::newRow("not a number") << QByteArray("bright") << 50 << 10 << 100;
        QTest::newRow("0") << QByteArray("0") << 50 << 10 << 100;
        QTest::newRow("above 100") << QByteArray("250") << 50 << 10 << 100;
    }
    void lightTable()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, middle);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        TestRoot root;
        CountFrame screen;
        if (!value.isEmpty())
            WritePrivateProfileString("Calibration", "Value", value.toStdString(),
                                      "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        screen.slotCreateLightTable();
        QCOMPARE(screen.lightTable().size(), CountFrame::LightSteps);
        QCOMPARE(screen.lightLevel(CountFrame::LightSteps / 2), middle);
        QCOMPARE(screen.lightLevel(1), lowest);
        QCOMPARE(screen.lightLevel(CountFrame::LightSteps), highest);
        for (int step = 2; step <= CountFrame::LightSteps; ++step)
            QVERIFY(screen.lightLevel(step) >= screen.lightLevel(step - 1));
    }

    void saveOptionsAndScaleBarFollowTheSettings()
    {
        TestRoot root;
        CountFrame screen;
        WritePrivateProfileString("Save options", "Raw images", "Off",
                                  "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        screen.slotSaveOptionChanged();
        QVERIFY(!screen.saveOptions().rawImages);
        QVERIFY(screen.saveOptions().report);

        auto *image = screen.findChild<ImageFrame *>("IMAGE");
        screen.slotEnableScaleBarDisplay(false);
        QVERIFY(!image->scaleBarEnabled());
        screen.slotEnableScaleBarDisplay(true);
        QVERIFY(image->scaleBarEnabled());
    }

    void analysisRequestIsKept()
    {
        TestRoot root;
        CountFrame screen;
        QString text;
        ModalAnswer::clickNext("BUTTON_OK", &text);
        screen.slotAnalysis("/ORBELIN/Yeast 1");
        QCOMPARE(screen.analysisRequest(), QString("/ORBELIN/Yeast 1"));
        QVERIFY2(text.contains("This folder holds no raw images to analyse."), qPrintable(text));
    }

    void screenshot()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        CountFrame screen;
        screen.resize(1280, 720);
        screen.initialize();
        screen.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-countframe.png"));
    }
};

QTEST_MAIN(CountFrameTest)
#include "tst_CountFrame.moc"
