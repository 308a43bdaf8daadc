#include "BoardStandin.h"
#include "CountFrame.h"
#include "ImageFrame.h"
#include "ModalAnswer.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "SyntheticField.h"
#include "TestRoot.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <numeric>

namespace {
const char Log[] = "/root/ORBELIN_Vn/CountingResults.csv";

QByteArray header()
{
    return QByteArray::fromStdString(CSVReaderWriter::resultsLogHeader());
}

const QString Folder = QStringLiteral("/ORBELIN/Yeast_0302");

// Fields of separated 5 um cells only, so the count is known: cells in each.
bool writeFolder(int fields, int cells)
{
    std::vector<SyntheticField::Options> all;
    for (int i = 0; i < fields; ++i)
        all.push_back(SyntheticField::separatedCells(400, 300, cells, unsigned(i + 1)));
    std::vector<int> truth;
    return SyntheticField::writeSaveFolder(
               Folder, all, "Instrument=ORBELIN_Vn,Volume factor=2e-05,Dilution factor=5", &truth)
           && truth == std::vector<int>(size_t(fields), cells);
}

QString text(CountFrame &screen, const char *name)
{
    return screen.findChild<QLabel *>(name)->text();
}
} // namespace

// The count screen: slide, results log and the re-analysis of a save folder.
class CountFrameTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<std::string>("std::string");
        Resources::init();
    }

    void cleanup() { QtSerialPort::release(); }

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
        // No "Scale Bar" key: on.
        QVERIFY(screen.findChild<ImageFrame *>("IMAGE")->scaleBarEnabled());
    }

    void ejectButton_data()
    {
        QTest::addColumn<int>("refusals");     // 0: every try
        QTest::addColumn<QString>("slide");
        QTest::newRow("refused twice: the third try goes through") << 2 << "Slide ejected";
        QTest::newRow("refused every time") << 0 << "Slide stage not ready";
    }
    void ejectButton()
    {
        QFETCH(int, refusals);
        QFETCH(QString, slide);
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        CountFrame screen;
        QVERIFY(QtSerialPort::instance()->open());
        board.setMode("ng", refusals);
        QString message;
        if (refusals == 0)
            ModalAnswer::clickNext("BUTTON_OK", &message);
        QTest::mouseClick(screen.findChild<QPushButton *>("BUTTON_EJECT"), Qt::LeftButton);
        QCOMPARE(board.received().count("$X#STAGE EJECT"), 3);
        QCOMPARE(screen.findChild<QLabel *>("LABEL_SLIDE")->text(), slide);
        QCOMPARE(message.contains("could not be ejected"), refusals == 0);
    }

    // A line break used to split the row in two.
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
        QVERIFY(screen.appendResultsLog(",09 Dec 2024\n10:00,120,1.20E06,4.1,DEFAULT"));
        const QByteArray row = ",09 Dec 2024 10:00,120,1.20E06,4.1,DEFAULT";
        QCOMPARE(appended.count(), 1);
        QCOMPARE(appended.first().first().value<std::string>(), row.toStdString());
        const QList<QByteArray> lines = root.readFile(Log).split('\n');
        QCOMPARE(lines.size(), 1001);
        QCOMPARE(lines.first(), header());
        QCOMPARE(lines.at(1), QByteArray("row1,x"));   // the oldest went
        QCOMPARE(lines.last(), row);
    }

    // A comma in the save name used to add a column.
    void savedNameGoesIntoTheNewestRow()
    {
        TestRoot root;
        CountFrame screen;
        QSignalSpy renamed(&screen, &CountFrame::signalFilenameReplaced);
        QVERIFY(!screen.setSavedName("/ORBELIN/x"));     // no row yet
        root.writeFile(Log, header() + "\n,d1,5\n,d2,6,1.00E03");
        screen.initialize();
        QVERIFY(screen.setSavedName("/media/USB/Yeast, batch 2"));
        QCOMPARE(renamed.count(), 1);
        QCOMPARE(renamed.first().first().toString(), QString("Yeast_ batch 2"));
        QCOMPARE(root.readFile(Log), header() + "\n,d1,5\nYeast_ batch 2,d2,6,1.00E03");
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

    void totalsAndRow()
    {
        TestRoot root;
        QVERIFY(root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", "[Current Protocol]\nName=Yeast\n"));
        QVERIFY(root.writeFile("/root/ORBELIN_Vn/Protocol/Yeast.ini",
                               "[Dilution Factor]\nValue=10\n[Min Cell Size]\nSize=2\n"));
        QVERIFY(writeFolder(3, 5));
        CountFrame screen;
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QSignalSpy enabled(&screen, &CountFrame::signalWidgetEnabled);
        QSignalSpy appended(&screen, &CountFrame::signalAppendCSVData);
        auto *eject = screen.findChild<QWidget *>("BUTTON_EJECT");
        auto *progress = screen.findChild<QWidget *>("PROGRESS_ANALYSIS");

        screen.slotAnalysis(Folder);
        QCOMPARE(enabled.count(), 1);
        QCOMPARE(enabled.at(0).at(0).toBool(), false);
        QVERIFY(progress->isVisible() && !eject->isEnabled());
        QCOMPARE(text(screen, "LABEL_PROGRESS"), QStringLiteral("Counting field 1 of 3"));

        QTRY_COMPARE_WITH_TIMEOUT(enabled.count(), 2, 20000);
        QCOMPARE(enabled.at(1).at(0).toBool(), true);
        QVERIFY(!progress->isVisible() && eject->isEnabled());
        QVERIFY(screen.findChild<QWidget *>("RESULTS")->isVisible());
        // 15 cells in 3 x 2e-5 mL, diluted 5 (the images' factors win over the protocol's).
        QCOMPARE(text(screen, "LABEL_TOTAL_CELLS_CONCENTRATION"),
                 QStringLiteral("1.25 x 10e6 cells/mL"));
        QCOMPARE(text(screen, "LABEL_TOTAL_CELLS"), QStringLiteral("15"));
        const float meanSize = screen.countingManager().results().meanSize;
        QCOMPARE(text(screen, "LABEL_AVERAGE_SIZE"),
                 QStringLiteral("%1 \u00b5m").arg(double(meanSize), 0, 'f', 1));
        QCOMPARE(text(screen, "LABEL_RESULT_SOURCE"),
                 QStringLiteral("Re-analysis of Yeast_0302, protocol Yeast"));
        // The first field's annotated image is on show.
        QCOMPARE(screen.findChild<ImageFrame *>("IMAGE")->image().size(), QSize(400, 300));
        // 0.2 um bins: the cells are 4 to 6 um.
        const std::vector<int> histogram = screen.countingManager().results().histogram;
        QCOMPARE(std::accumulate(histogram.begin() + 19, histogram.begin() + 31, 0), 15);
        QVERIFY(meanSize > 4.5f && meanSize < 5.5f);

        const QRegularExpression row(
            "^,\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,15,1\\.25E06,"
            + QString::asprintf("%.2f", double(meanSize))
            + ",Yeast,5,1\\.25E06,5,1\\.25E06,5,1\\.25E06$");
        QCOMPARE(appended.count(), 1);
        const QString sent = QString::fromStdString(appended.at(0).at(0).value<std::string>());
        QVERIFY2(row.match(sent).hasMatch(), qPrintable(sent));
        QCOMPARE(root.readFile(Log), header() + '\n' + sent.toUtf8());
    }

    // Nothing counted: the operator is told why, no row is logged, the screen is usable.
    void nothingCounted_data()
    {
        QTest::addColumn<QStringList>("files");     // each holding "not an image"
        QTest::addColumn<QString>("message");
        const QString noRaw = "This folder holds no raw images to analyse.";
        QTest::newRow("no folder") << QStringList() << noRaw;
        QTest::newRow("only annotated images and the report")
            << QStringList{"01_TAG.tif", "run1.pdf", "run1.csv"} << noRaw;
        QTest::newRow("raw image names without a field number")
            << QStringList{"a_RAW.tif", "01_RAW.tiff", "01_raw.tif"} << noRaw;
        QTest::newRow("no readable raw image") << QStringList{"01_RAW.tif", "02_RAW.tif"}
            << "No raw image of this folder could be read. Nothing was counted.<br/><br/>"
               "01_RAW.tif, 02_RAW.tif: damaged or unreadable";
    }
    void nothingCounted()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, message);
        TestRoot root;
        for (const QString &name : files)
            QVERIFY(root.writeFile(Folder + '/' + name, "not an image"));
        CountFrame screen;
        QSignalSpy enabled(&screen, &CountFrame::signalWidgetEnabled);
        QSignalSpy appended(&screen, &CountFrame::signalAppendCSVData);
        QString shown;
        ModalAnswer::clickNext("BUTTON_OK", &shown, 20000);
        screen.slotAnalysis(Folder);
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 20000);
        QVERIFY2(shown.contains(message), qPrintable(shown));
        QVERIFY(enabled.isEmpty() || enabled.last().at(0).toBool());
        QCOMPARE(appended.count(), 0);
        QVERIFY(!QFile::exists(root.path(Log)));
        QVERIFY(!screen.findChild<QWidget *>("RESULTS")->isVisibleTo(&screen));
        QVERIFY(!screen.findChild<QWidget *>("PROGRESS_ANALYSIS")->isVisibleTo(&screen));
    }

    void rowFormat_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<float>("mantissa");
        QTest::addColumn<int>("exponent");
        QTest::addColumn<float>("meanSize");
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<int>("fields"); // analysed fields of 3 cells each, then one unusable
        QTest::addColumn<QString>("row");
        const QString when = ",2026-03-02 10:05:13,";
        QTest::newRow("typical") << 1234 << 7.14f << 7 << 5.126f << "Yeast" << 2
            << when + "1234,7.14E07,5.13,Yeast,3,3.00E05,3,3.00E05,,";
        QTest::newRow("below one cell a mL") << 5 << 5.0f << -2 << 0.3f << "DEFAULT" << 0
            << when + "5,5.00E-2,0.30,DEFAULT,,";
        QTest::newRow("comma in the protocol name") << 1 << 1.0f << 0 << 1.0f << "a,b" << 0
            << when + "1,1.00E00,1.00,a_b,,";
        QTest::newRow("columns for twenty fields at most") << 1 << 1.0f << 0 << 1.0f << "D" << 25
            << when + "1,1.00E00,1.00,D" + QString(",3,3.00E05").repeated(20);
    }
    void rowFormat()
    {
        QFETCH(int, count);
        QFETCH(float, mantissa);
        QFETCH(int, exponent);
        QFETCH(float, meanSize);
        QFETCH(QString, protocol);
        QFETCH(int, fields);
        QFETCH(QString, row);
        counting_results_t r;
        r.count = count;
        r.mantissa = mantissa;
        r.exponent = exponent;
        r.meanSize = meanSize;
        field_result_t field;
        field.analysed = true;
        field.count = 3;
        field.mantissa = 3.0f;
        field.exponent = 5;
        r.fields.assign(size_t(fields), field);
        r.fields.push_back(field_result_t());
        const QDateTime when(QDate(2026, 3, 2), QTime(10, 5, 13));
        QCOMPARE(QString::fromStdString(CountFrame::resultsLogRow(r, protocol, when)), row);
    }
};

QTEST_MAIN(CountFrameTest)
#include "tst_CountFrame.moc"
