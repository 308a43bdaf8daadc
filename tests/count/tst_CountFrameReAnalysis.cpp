#include "CSVReaderWriter.h"
#include "CountFrame.h"
#include "ImageFrame.h"
#include "ModalAnswer.h"
#include "Resources.h"
#include "SyntheticField.h"
#include "TestRoot.h"

#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QtTest>

namespace {

const char Log[] = "/root/ORBELIN_Vn/CountingResults.csv";
const QString Folder = QStringLiteral("/ORBELIN/Yeast_0302");
const QString Factors = QStringLiteral("Instrument=ORBELIN_Vn,Volume factor=2e-05,Dilution factor=5");

// Fields of separated 5 um cells only, so the count is known: cells in each.
bool writeFolder(int fields, int cells)
{
    std::vector<SyntheticField::Options> all;
    for (int i = 0; i < fields; ++i)
        all.push_back(SyntheticField::separatedCells(400, 300, cells, unsigned(i + 1)));
    std::vector<int> truth;
    return SyntheticField::writeSaveFolder(Folder, all, Factors, &truth)
           && truth == std::vector<int>(size_t(fields), cells);
}

field_result_t field(int count, float mantissa, int exponent)
{
    field_result_t f;
    f.analysed = true;
    f.count = count;
    f.mantissa = mantissa;
    f.exponent = exponent;
    return f;
}

} // namespace

// The count screen's re-analysis of a save folder: progress, totals, results-log row.
class CountFrameReAnalysisTest : public QObject
{
    Q_OBJECT

private:
    QString text(CountFrame &screen, const char *name)
    {
        return screen.findChild<QLabel *>(name)->text();
    }

    bool visible(CountFrame &screen, const char *name)
    {
        return screen.findChild<QWidget *>(name)->isVisible();
    }

    QString save(CountFrame &screen, const char *name)
    {
        const QString path = QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-countframe-%1.png")
                                 .arg(QLatin1String(name));
        screen.grab().save(path);
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<std::string>("std::string");
        Resources::init();
    }

    void totalsAndRow()
    {
        TestRoot root;
        QVERIFY(root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", "[Current Protocol]\nName=Yeast\n"));
        QVERIFY(root.writeFile("/root/ORBELIN_Vn/Protocol/Yeast.ini",
                               "[Dilution Factor]\nValue=10\n[Min Cell Size]\nSize=2\n"));
        QVERIFY(writeFolder(3, 5));
        CountFrame screen;
        screen.resize(1280, 720);
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QSignalSpy enabled(&screen, &CountFrame::signalWidgetEnabled);
        QSignalSpy appended(&screen, &CountFrame::signalAppendCSVData);

        screen.slotAnalysis(Folder);
        QCOMPARE(enabled.count(), 1);
        QCOMPARE(enabled.at(0).at(0).toBool(), false);
        QVERIFY(visible(screen, "PROGRESS_ANALYSIS"));
        QVERIFY(!screen.findChild<QWidget *>("BUTTON_EJECT")->isEnabled());
        QCOMPARE(text(screen, "LABEL_PROGRESS"), QStringLiteral("Counting field 1 of 3"));
        save(screen, "progress");

        QTRY_COMPARE_WITH_TIMEOUT(enabled.count(), 2, 20000);
        QCOMPARE(enabled.at(1).at(0).toBool(), true);
        QVERIFY(!visible(screen, "PROGRESS_ANALYSIS"));
        QVERIFY(screen.findChild<QWidget *>("BUTTON_EJECT")->isEnabled());
        QVERIFY(visible(screen, "RESULTS"));
        // 15 cells in 3 x 2e-5 mL, diluted 5 (the images' factors win over the protocol's).
        QCOMPARE(text(screen, "LABEL_TOTAL_CELLS_CONCENTRATION"),
                 QStringLiteral("1.25 x 10e6 cells/mL"));
        QCOMPARE(text(screen, "LABEL_TOTAL_CELLS"), QStringLiteral("15"));
        // The longest concentration text fits the panel.
        auto *concentration = screen.findChild<QLabel *>("LABEL_TOTAL_CELLS_CONCENTRATION");
        concentration->setText(QStringLiteral("9.99 x 10e10 cells/mL"));
        QVERIFY(concentration->sizeHint().width() <= concentration->width());
        concentration->setText(QStringLiteral("1.25 x 10e6 cells/mL"));
        const counting_results_t results = screen.countingManager().results();
        QCOMPARE(text(screen, "LABEL_AVERAGE_SIZE"),
                 QStringLiteral("%1 \u00b5m").arg(double(results.meanSize), 0, 'f', 1));
        QCOMPARE(text(screen, "LABEL_RESULT_SOURCE"),
                 QStringLiteral("Re-analysis of Yeast_0302, protocol Yeast"));
        // The first field's annotated image is on show.
        QCOMPARE(screen.findChild<ImageFrame *>("IMAGE")->image().size(), QSize(400, 300));

        const QString mean = QString::asprintf("%.2f", double(results.meanSize));
        const QRegularExpression row(
            "^,\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,15,1\\.25E06," + mean
            + ",Yeast,5,1\\.25E06,5,1\\.25E06,5,1\\.25E06$");
        QCOMPARE(appended.count(), 1);
        const QString sent = QString::fromStdString(appended.at(0).at(0).value<std::string>());
        QVERIFY2(row.match(sent).hasMatch(), qPrintable(sent));
        QCOMPARE(root.readFile(Log),
                 QByteArray::fromStdString(CSVReaderWriter::resultsLogHeader()) + '\n'
                     + sent.toUtf8());
        QCOMPARE(screen.resultsLog().back(), sent.toStdString());
        save(screen, "totals");
    }

    void unreadableFieldsAreLeftOutAndNamed()
    {
        TestRoot root;
        QVERIFY(writeFolder(3, 5));
        QFile damaged(root.path(Folder + "/02_RAW.tif"));
        QVERIFY(damaged.resize(damaged.size() / 2));
        CountFrame screen;
        QSignalSpy enabled(&screen, &CountFrame::signalWidgetEnabled);
        QSignalSpy appended(&screen, &CountFrame::signalAppendCSVData);
        QString message;
        ModalAnswer::next([&](QWidget *modal) {
            message = ModalAnswer::messageOf(modal);
            modal->grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-countframe-left-out.png"));
            QTest::mouseClick(modal->findChild<QWidget *>("BUTTON_OK"), Qt::LeftButton);
        }, 20000);
        screen.slotAnalysis(Folder);
        QTRY_COMPARE_WITH_TIMEOUT(enabled.count(), 2, 20000);
        QTRY_VERIFY(!message.isEmpty());
        QVERIFY2(message.contains("02_RAW.tif: damaged or unreadable"), qPrintable(message));
        QCOMPARE(appended.count(), 1);
        const QString sent = QString::fromStdString(appended.at(0).at(0).value<std::string>());
        // Two fields' volume: 10 / 4e-5 x 5 = 1.25e6; field 2 keeps its columns, empty.
        QVERIFY2(sent.contains(",10,1.25E06,") && sent.endsWith(",DEFAULT,5,1.25E06,,,5,1.25E06"),
                 qPrintable(sent));
    }

    void nothingReadableLogsNothing()
    {
        TestRoot root;
        QVERIFY(root.writeFile(Folder + "/01_RAW.tif", "not an image"));
        QVERIFY(root.writeFile(Folder + "/02_RAW.tif", QByteArray()));
        CountFrame screen;
        QSignalSpy enabled(&screen, &CountFrame::signalWidgetEnabled);
        QSignalSpy appended(&screen, &CountFrame::signalAppendCSVData);
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message, 20000);
        screen.slotAnalysis(Folder);
        QTRY_COMPARE_WITH_TIMEOUT(enabled.count(), 2, 20000);
        QCOMPARE(enabled.at(1).at(0).toBool(), true);
        QTRY_VERIFY(!message.isEmpty());
        QVERIFY2(message.contains("No raw image of this folder could be read"), qPrintable(message));
        QVERIFY2(message.contains("01_RAW.tif, 02_RAW.tif: damaged or unreadable"),
                 qPrintable(message));
        QCOMPARE(appended.count(), 0);
        QVERIFY(!QFile::exists(root.path(Log)));
        QVERIFY(!screen.findChild<QWidget *>("RESULTS")->isVisibleTo(&screen));
    }

    void noRawImagesStartsNothing()
    {
        TestRoot root;
        QVERIFY(root.writeFile(Folder + "/01_TAG.tif", "x"));
        CountFrame screen;
        QSignalSpy enabled(&screen, &CountFrame::signalWidgetEnabled);
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        screen.slotAnalysis(Folder);
        QVERIFY2(message.contains("This folder holds no raw images to analyse."), qPrintable(message));
        QCOMPARE(enabled.count(), 0);
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
        QTest::newRow("typical")
            << 1234 << 7.14f << 7 << 5.126f << "Yeast" << 2
            << ",2026-03-02 10:05:13,1234,7.14E07,5.13,Yeast,3,3.00E05,3,3.00E05,,";
        QTest::newRow("below one cell a mL")
            << 5 << 5.0f << -2 << 0.3f << "DEFAULT" << 0
            << ",2026-03-02 10:05:13,5,5.00E-2,0.30,DEFAULT,,";
        QTest::newRow("comma in the protocol name")
            << 1 << 1.0f << 0 << 1.0f << "a,b" << 0 << ",2026-03-02 10:05:13,1,1.00E00,1.00,a_b,,";
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
        for (int i = 0; i < fields; ++i)
            r.fields.push_back(field(3, 3.0f, 5));
        r.fields.push_back(field_result_t());
        const QDateTime when(QDate(2026, 3, 2), QTime(10, 5, 13));
        QCOMPARE(QString::fromStdString(CountFrame::resultsLogRow(r, protocol, when)), row);
    }

    void rowHoldsTwentyFieldsAtMost()
    {
        counting_results_t r;
        for (int i = 0; i < 25; ++i)
            r.fields.push_back(field(1, 1.0f, 1));
        std::vector<std::string> columns;
        CSVReaderWriter::parse(CountFrame::resultsLogRow(r, "DEFAULT", QDateTime::currentDateTime()),
                               columns);
        std::vector<std::string> header;
        CSVReaderWriter::parse(CSVReaderWriter::resultsLogHeader(), header);
        QCOMPARE(columns.size(), header.size());
    }
};

QTEST_MAIN(CountFrameReAnalysisTest)
#include "tst_CountFrameReAnalysis.moc"
