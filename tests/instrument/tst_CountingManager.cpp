#include "CountingManager.h"
#include "ImReaderWriter.h"
#include "SyntheticField.h"
#include "TestRoot.h"

#include <QtTest>

#include <vector>

namespace {

const QString Folder = QStringLiteral("/ORBELIN/run1");
const QString Factors = QStringLiteral("Instrument=ORBELIN_Vn,Volume factor=2e-05,Dilution factor=5");

// A save folder of fields with a known count: separated 5 um cells only.
bool writeFolder(int fields, int cells, int width = 400, int height = 300,
                 const QString &metadata = Factors)
{
    std::vector<SyntheticField::Options> all;
    for (int i = 0; i < fields; ++i)
        all.push_back(SyntheticField::separatedCells(width, height, cells, unsigned(i + 1)));
    std::vector<int> truth;
    return SyntheticField::writeSaveFolder(Folder, all, metadata, &truth)
           && truth == std::vector<int>(size_t(fields), cells);
}

QString fieldPath(int number)
{
    return Folder + QStringLiteral("/%1_RAW.tif").arg(number, 2, 10, QLatin1Char('0'));
}

void writeProtocol(const TestRoot &root, const QString &name, const QByteArray &content)
{
    QVERIFY(root.writeFile(QStringLiteral("/root/ORBELIN_Vn/ORBELIN_Vn.ini"),
                           "[Current Protocol]\nName=" + name.toUtf8() + "\n"));
    if (!content.isNull())
        QVERIFY(root.writeFile("/root/ORBELIN_Vn/Protocol/" + name + ".ini", content));
}

} // namespace

class CountingManagerTest : public QObject
{
    Q_OBJECT

private:
    std::vector<ORBELIN_Vn> m_Counters = std::vector<ORBELIN_Vn>(CountingManager::MaxFields);

    // Runs a re-analysis of Folder to its end with counters for count fields.
    bool reAnalyse(CountingManager &manager, int counters = CountingManager::MaxFields)
    {
        manager.setCounters(m_Counters.data(), counters);
        QSignalSpy completed(&manager, &CountingManager::signalCountingCompleted);
        QString error;
        if (!manager.startReAnalysis(Folder, &error)) {
            qWarning() << error;
            return false;
        }
        return completed.wait(20000) && completed.count() == 1;
    }

private Q_SLOTS:
    // The current protocol's values, and the analysis constants made of them.
    void protocol_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file"); // null: no file
        // Dilution, sizes, roundness, declustering level, sensitivity; then declustering,
        // threshold scale and noise floor of the analysis.
        QTest::addColumn<QVariantList>("values");
        const QVariantList builtIn{2, 0.3f, 50.0f, 30, 7, 4, 0.85f, 1.0f, 6.0f};
        QTest::newRow("DEFAULT, even with a file")
            << "DEFAULT" << QByteArray("[Dilution Factor]\nValue=99\n") << builtIn;
        QTest::newRow("all six keys, level 0 splits nothing")
            << "Yeast"
            << QByteArray("[Dilution Factor]\nValue=10\n[Min Cell Size]\nSize=2\n"
                          "[Max Cell Size]\nSize=12.5\n[Roundness]\nValue=60\n"
                          "[Declustering Level]\nLevel=0\n[Detection Sensitivity]\nValue=3\n")
            << QVariantList{10, 2.0f, 12.5f, 60, 0, 3, 0.0f, 1.1f, 6.75f};
        QTest::newRow("missing file") << "Gone" << QByteArray() << builtIn;
        QTest::newRow("numbers at the start of texts")
            << "Odd"
            << QByteArray("[Dilution Factor]\nValue=12abc\n[Min Cell Size]\nSize=0.30\n"
                          "[Max Cell Size]\nSize=abc\n[Roundness]\nValue= 40%\n")
            << QVariantList{12, 0.3f, 50.0f, 40, 7, 4, 0.85f, 1.0f, 6.0f};
        QTest::newRow("beyond the protocol screen's limits")
            << "Wild"
            << QByteArray("[Dilution Factor]\nValue=50000\n[Min Cell Size]\nSize=0.01\n"
                          "[Max Cell Size]\nSize=1e38\n[Roundness]\nValue=-5\n"
                          "[Declustering Level]\nLevel=11\n[Detection Sensitivity]\nValue=10\n")
            << QVariantList{20000, 0.3f, 50.0f, 0, 10, 9, 1.0f, 0.5f, 2.25f};
        QTest::newRow("sizes out of order")
            << "Swapped" << QByteArray("[Min Cell Size]\nSize=20\n[Max Cell Size]\nSize=2\n")
            << builtIn;
    }
    void protocol()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(QVariantList, values);
        TestRoot root;
        QCOMPARE(CountingManager::readCurrentProtocol().name, QStringLiteral("DEFAULT"));
        writeProtocol(root, name, file);
        const protocol_param_t p = CountingManager::readCurrentProtocol();
        QCOMPARE(p.name, name);
        QCOMPARE(p.dilutionFactor, values.at(0).toInt());
        QCOMPARE(p.minCellSize, values.at(1).toFloat());
        QCOMPARE(p.maxCellSize, values.at(2).toFloat());
        QCOMPARE(p.roundness, values.at(3).toInt());
        QCOMPARE(p.declusteringLevel, values.at(4).toInt());
        QCOMPARE(p.detectionSensitivity, values.at(5).toInt());
        const analysis_param_t a = CountingManager::analysisParameters(p);
        QVERIFY(qFuzzyCompare(1 + a.declustering, 1 + values.at(6).toFloat()));
        QVERIFY(qFuzzyCompare(a.thresholdScale, values.at(7).toFloat()));
        QVERIFY(qFuzzyCompare(a.noiseFloor, values.at(8).toFloat()));
        QCOMPARE(a.maxSize, p.maxCellSize);
    }

    void histogramBins_data()
    {
        QTest::addColumn<float>("size");
        QTest::addColumn<int>("bin");
        QTest::newRow("0.2") << 0.2f << 1;
        QTest::newRow("0.6 held as 0.5999999") << 0.6f << 3;
        QTest::newRow("9.99") << 9.99f << 49;
        QTest::newRow("10") << 10.0f << 50;
        QTest::newRow("above 50") << 80.0f << 90;
        QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << 0;
    }
    void histogramBins()
    {
        QFETCH(float, size);
        QFETCH(int, bin);
        QCOMPARE(counting_results_t::histogramBin(size), bin);
    }

    void factorsWithoutMetadata()
    {
        TestRoot root;
        // A maximum size of 1e38 crashed the analysis.
        writeProtocol(root, QStringLiteral("Yeast"),
                      QByteArray("[Dilution Factor]\nValue=10\n[Min Cell Size]\nSize=2\n"
                                 "[Max Cell Size]\nSize=1e38\n"));
        QVERIFY(writeFolder(2, 4, 400, 300, "Instrument=ORBELIN_Vn,Volume factor=junk"));
        CountingManager manager;
        QVERIFY(reAnalyse(manager));
        const counting_results_t r = manager.results();
        // 400 x 300 pixels of 0.375 um, 100 um deep: 1.6875e6 um3 = 1.6875e-6 mL a field.
        QVERIFY(qFuzzyCompare(r.fields[0].volumeFactor, 1.6875e-6f));
        QCOMPARE(r.fields[0].dilutionFactor, 10);
        QCOMPARE(manager.protocol_param().name, QStringLiteral("Yeast"));
        // 8 cells in 3.375e-6 mL, diluted 10: 2.37e7 cells/mL.
        QCOMPARE(r.count, 8);
        QCOMPARE(r.mantissa, 2.37f);
        QCOMPARE(r.exponent, 7);
    }

    // The total divides by the volume of the fields counted.
    void unusableField_data()
    {
        QTest::addColumn<int>("width");     // 0: the file cut short
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("samples");
        QTest::addColumn<QString>("problem");
        QTest::newRow("damaged") << 0 << 8 << 1 << "damaged or unreadable";
        QTest::newRow("other size") << 320 << 8 << 1 << "320 x 300 pixels, the other fields 400 x 300";
        QTest::newRow("other depth") << 400 << 16 << 1 << "16 bits a pixel, the other fields 8";
        QTest::newRow("colour") << 400 << 8 << 3 << "not a grey image";
    }
    void unusableField()
    {
        QFETCH(int, width);
        QFETCH(int, bits);
        QFETCH(int, samples);
        QFETCH(QString, problem);
        TestRoot root;
        QVERIFY(writeFolder(3, 4));
        QFile bad(root.path(fieldPath(2)));
        if (width == 0) {
            QVERIFY(bad.resize(bad.size() / 3));
        } else {
            std::vector<uint8_t> pixels(size_t(width) * 300 * samples * (bits / 8), 30);
            general::ImReaderWriter writer;
            QVERIFY(writer.setImage(pixels.data(), width, 300, quint16(bits), quint16(samples)));
            QVERIFY(writer.write(fieldPath(2).toStdString(), "Instrument=ORBELIN_Vn"));
        }
        CountingManager manager;
        QVERIFY(reAnalyse(manager));
        const counting_results_t r = manager.results();
        QCOMPARE(r.analysedFields, 2);
        QVERIFY(!r.fields[1].analysed);
        QCOMPARE(r.fields[1].problem, problem);
        QCOMPARE(r.count, 8);
        // Two fields' volume: 8 / 4e-5 x 5 = 1.0e6.
        QCOMPARE(r.mantissa, 1.0f);
        QCOMPARE(r.exponent, 6);
        QVERIFY(m_Counters[1].objects().empty());
    }

    void fieldsBeyondTheCounters()
    {
        TestRoot root;
        QVERIFY(writeFolder(4, 2, 200, 150));
        // A second image of field 1 under another name.
        QVERIFY(QFile::copy(root.path(fieldPath(1)), root.path(Folder + "/1_RAW.tif")));
        CountingManager manager;
        QString error;
        QVERIFY(!manager.startReAnalysis(Folder, &error));
        QCOMPARE(error, QStringLiteral("There are no cell counters."));
        QVERIFY(reAnalyse(manager, 4));
        const counting_results_t r = manager.results();
        QCOMPARE(int(r.fields.size()), 5);
        QCOMPARE(r.fields[1].problem, QStringLiteral("a second image of field 1"));
        QCOMPARE(r.fields[4].fileName, QStringLiteral("04_RAW.tif"));
        QCOMPARE(r.fields[4].problem, QStringLiteral("a count holds 4 fields"));
        QCOMPARE(r.analysedFields, 3);
    }

    void fourAnalysesAtOnceCollectedOnTheGuiThread()
    {
        TestRoot root;
        // Fields heavy enough that analyses overlap: each takes longer than loading three.
        QVERIFY(writeFolder(10, 60, 640, 480));
        CountingManager manager;
        QVector<int> progress;
        QVector<QThread *> threads;
        connect(&manager, &CountingManager::signalProgress, &manager,
                [&](int done, int total) {
                    progress << done;
                    threads << QThread::currentThread();
                    QCOMPARE(total, 10);
                }, Qt::DirectConnection);
        connect(&manager, &CountingManager::signalCountingCompleted, &manager,
                [&] { threads << QThread::currentThread(); }, Qt::DirectConnection);
        QVERIFY(reAnalyse(manager));
        QCOMPARE(progress, (QVector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        for (QThread *thread : threads)
            QCOMPARE(thread, QCoreApplication::instance()->thread());
        // Analyses overlap (four at once on an idle machine), never more than four.
        const int peak = manager.peakAnalysisThreads();
        QVERIFY2(peak >= 2 && peak <= CountingManager::MaxAnalysisThreads,
                 qPrintable(QString::number(peak)));
        QCOMPARE(manager.results().analysedFields, 10);

        // The analysis threads delete themselves; a second count starts right away, and
        // not while one runs.
        QSignalSpy completed(&manager, &CountingManager::signalCountingCompleted);
        QVERIFY(manager.startReAnalysis(Folder));
        QString error;
        QVERIFY(!manager.startReAnalysis(Folder, &error));
        QCOMPARE(error, QStringLiteral("A count is running."));
        QVERIFY(completed.wait(20000));
        QCOMPARE(completed.count(), 1);
        QVERIFY(manager.peakAnalysisThreads() <= CountingManager::MaxAnalysisThreads);
    }

    // Destroying the run waits for its thread and for the analyses it started: none of
    // them changes a counter afterwards.
    void endsWhileAnalysing()
    {
        TestRoot root;
        QVERIFY(writeFolder(8, 60, 1280, 960));
        auto *manager = new CountingManager;
        manager->setCounters(m_Counters.data(), int(m_Counters.size()));
        QVERIFY(manager->startReAnalysis(Folder));
        QVERIFY(QTest::qWaitFor([&] { return manager->peakAnalysisThreads() > 0; }, 20000));
        delete manager;
        std::vector<size_t> found;
        for (const ORBELIN_Vn &counter : m_Counters)
            found.push_back(counter.objects().size());
        QTest::qWait(1000);
        for (size_t i = 0; i < found.size(); ++i)
            QCOMPARE(m_Counters[i].objects().size(), found[i]);
    }
};

QTEST_GUILESS_MAIN(CountingManagerTest)
#include "tst_CountingManager.moc"
