#include "CountingManager.h"
#include "ImReaderWriter.h"
#include "SyntheticField.h"
#include "TestRoot.h"

#include <QtTest>

#include <tiffio.h>

#include <vector>

namespace {

const QString Folder = QStringLiteral("/ORBELIN/run1");
const QString Factors = QStringLiteral("Instrument=ORBELIN_Vn,Volume factor=2e-05,Dilution factor=5");

// Fields of a known count: separated 5 um cells only.
std::vector<SyntheticField::Options> plainFields(int fields, int cells, int width = 400,
                                                 int height = 300)
{
    std::vector<SyntheticField::Options> all;
    for (int i = 0; i < fields; ++i)
        all.push_back(SyntheticField::separatedCells(width, height, cells, unsigned(i + 1)));
    return all;
}

QString fieldPath(int number)
{
    return Folder + QStringLiteral("/%1_RAW.tif").arg(number, 2, 10, QLatin1Char('0'));
}

bool writeImage(const QString &path, int width, int height, uint16_t bits, uint16_t samples)
{
    std::vector<uint8_t> pixels(size_t(width) * height * samples * (bits / 8), 30);
    general::ImReaderWriter writer;
    return writer.setImage(pixels.data(), width, height, bits, samples)
           && writer.write(path.toStdString(), "Instrument=ORBELIN_Vn");
}

// A grey TIFF wider than any camera frame, written past the program's writer.
bool writeOversized(const QString &realPath)
{
    TIFF *tiff = TIFFOpen(realPath.toLocal8Bit().constData(), "w");
    if (!tiff)
        return false;
    const uint32_t width = 4000;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 2);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 2);
    std::vector<uint8_t> row(width, 20);
    const bool ok = TIFFWriteScanline(tiff, row.data(), 0, 0) == 1
                    && TIFFWriteScanline(tiff, row.data(), 1, 0) == 1;
    TIFFClose(tiff);
    return ok;
}

void writeProtocol(const TestRoot &root, const QString &name, const QByteArray &content)
{
    QVERIFY(root.writeFile(QStringLiteral("/root/ORBELIN_Vn/ORBELIN_Vn.ini"),
                           "[Current Protocol]\nName=" + name.toUtf8() + "\n"));
    if (!content.isNull())
        QVERIFY(root.writeFile(QStringLiteral("/root/ORBELIN_Vn/Protocol/") + name
                                   + QStringLiteral(".ini"),
                               content));
}

} // namespace

class CountingManagerTest : public QObject
{
    Q_OBJECT

private:
    std::vector<ORBELIN_Vn> m_Counters = std::vector<ORBELIN_Vn>(CountingManager::MaxFields);

    // Runs a re-analysis of Folder to its end; false when it did not start or end.
    bool reAnalyse(CountingManager &manager, QString *error = nullptr)
    {
        QSignalSpy completed(&manager, &CountingManager::signalCountingCompleted);
        if (!manager.startReAnalysis(Folder, error))
            return false;
        return completed.wait(20000) && completed.count() == 1;
    }

private Q_SLOTS:
    void protocol_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file"); // null: no file
        QTest::addColumn<QVariantList>("values");
        const QVariantList builtIn{2, 0.3f, 50.0f, 30, 7, 4};
        QTest::newRow("DEFAULT, even with a file")
            << "DEFAULT" << QByteArray("[Dilution Factor]\nValue=99\n") << builtIn;
        QTest::newRow("all six keys")
            << "Yeast"
            << QByteArray("[Dilution Factor]\nValue=10\n[Min Cell Size]\nSize=2\n"
                          "[Max Cell Size]\nSize=12.5\n[Roundness]\nValue=60\n"
                          "[Declustering Level]\nLevel=5\n[Detection Sensitivity]\nValue=3\n")
            << QVariantList{10, 2.0f, 12.5f, 60, 5, 3};
        QTest::newRow("missing file") << "Gone" << QByteArray() << builtIn;
        QTest::newRow("one key") << "Round" << QByteArray("[Roundness]\nValue=55\n")
                                 << QVariantList{2, 0.3f, 50.0f, 55, 7, 4};
        QTest::newRow("numbers at the start of texts")
            << "Odd"
            << QByteArray("[Dilution Factor]\nValue=12abc\n[Min Cell Size]\nSize=0.30\n"
                          "[Max Cell Size]\nSize=abc\n[Roundness]\nValue= 40%\n")
            << QVariantList{12, 0.3f, 50.0f, 40, 7, 4};
        QTest::newRow("beyond the protocol screen's limits")
            << "Wild"
            << QByteArray("[Dilution Factor]\nValue=50000\n[Min Cell Size]\nSize=0.01\n"
                          "[Max Cell Size]\nSize=1e38\n[Roundness]\nValue=-5\n"
                          "[Declustering Level]\nLevel=11\n[Detection Sensitivity]\nValue=10\n")
            << QVariantList{20000, 0.3f, 50.0f, 0, 10, 9};
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
        writeProtocol(root, name, file);
        const protocol_param_t p = CountingManager::readCurrentProtocol();
        QCOMPARE(p.name, name);
        QCOMPARE(p.dilutionFactor, values.at(0).toInt());
        QCOMPARE(p.minCellSize, values.at(1).toFloat());
        QCOMPARE(p.maxCellSize, values.at(2).toFloat());
        QCOMPARE(p.roundness, values.at(3).toInt());
        QCOMPARE(p.declusteringLevel, values.at(4).toInt());
        QCOMPARE(p.detectionSensitivity, values.at(5).toInt());
    }

    void noSettingsMeansDefault()
    {
        TestRoot root;
        QCOMPARE(CountingManager::readCurrentProtocol().name, QStringLiteral("DEFAULT"));
    }

    void analysisConstants_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("sensitivity");
        QTest::addColumn<float>("declustering");
        QTest::addColumn<float>("scale");
        QTest::addColumn<float>("floor");
        QTest::newRow("built-in") << 7 << 4 << 0.85f << 1.0f << 6.0f;
        QTest::newRow("level 0 splits nothing") << 0 << 4 << 0.0f << 1.0f << 6.0f;
        QTest::newRow("highest") << 10 << 9 << 1.0f << 0.5f << 2.25f;
        QTest::newRow("lowest") << 1 << 0 << 0.55f << 1.4f << 9.0f;
        QTest::newRow("out of range from a file") << 15 << -3 << 1.0f << 1.4f << 9.0f;
    }
    void analysisConstants()
    {
        QFETCH(int, level);
        QFETCH(int, sensitivity);
        QFETCH(float, declustering);
        QFETCH(float, scale);
        QFETCH(float, floor);
        protocol_param_t p;
        p.declusteringLevel = level;
        p.detectionSensitivity = sensitivity;
        p.minCellSize = 2.0f;
        p.maxCellSize = 12.0f;
        p.roundness = 150;
        const analysis_param_t a = CountingManager::analysisParameters(p);
        QVERIFY(qFuzzyCompare(1 + a.declustering, 1 + declustering));
        QVERIFY(qFuzzyCompare(a.thresholdScale, scale));
        QVERIFY(qFuzzyCompare(a.noiseFloor, floor));
        QCOMPARE(a.minSize, 2.0f);
        QCOMPARE(a.maxSize, 12.0f);
        QCOMPARE(a.roundness, 100);
    }

    void histogramBins_data()
    {
        QTest::addColumn<float>("size");
        QTest::addColumn<int>("bin");
        QTest::newRow("0") << 0.0f << 0;
        QTest::newRow("0.19") << 0.19f << 0;
        QTest::newRow("0.2") << 0.2f << 1;
        QTest::newRow("0.6 held as 0.5999999") << 0.6f << 3;
        QTest::newRow("9.8") << 9.8f << 49;
        QTest::newRow("9.99") << 9.99f << 49;
        QTest::newRow("10") << 10.0f << 50;
        QTest::newRow("10.9") << 10.9f << 50;
        QTest::newRow("49.5") << 49.5f << 89;
        QTest::newRow("50") << 50.0f << 90;
        QTest::newRow("above 50") << 80.0f << 90;
        QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << 0;
    }
    void histogramBins()
    {
        QFETCH(float, size);
        QFETCH(int, bin);
        QCOMPARE(counting_results_t::histogramBin(size), bin);
        if (bin > 0 && size <= 50.0f)
            QVERIFY(counting_results_t::histogramBinStart(bin) <= size + 1e-4f);
    }

    void totalsOfAKnownCount()
    {
        TestRoot root;
        writeProtocol(root, QStringLiteral("DEFAULT"), QByteArray());
        std::vector<int> truth;
        QVERIFY(SyntheticField::writeSaveFolder(Folder, plainFields(3, 5), Factors, &truth));
        QCOMPARE(truth, (std::vector<int>{5, 5, 5}));

        CountingManager manager;
        manager.setCounters(m_Counters.data(), int(m_Counters.size()));
        QVERIFY(reAnalyse(manager));
        const counting_results_t r = manager.results();
        QCOMPARE(r.folder, Folder);
        QCOMPARE(r.analysedFields, 3);
        QCOMPARE(manager.countingField(), 3);
        QCOMPARE(r.count, 15);
        // 15 cells in 3 x 2e-5 mL, diluted 5: 1.25e6 cells/mL.
        QCOMPARE(r.mantissa, 1.25f);
        QCOMPARE(r.exponent, 6);
        QCOMPARE(r.dilutionFactor, 5);
        QVERIFY(qFuzzyCompare(r.volumeFactor, 6e-5f));
        // Each field: 5 / 2e-5 x 5 = 1.25e6 as well.
        for (const field_result_t &field : r.fields) {
            QVERIFY(field.analysed);
            QCOMPARE(field.count, 5);
            QCOMPARE(field.mantissa, 1.25f);
            QCOMPARE(field.exponent, 6);
        }
        QCOMPARE(r.fields[2].field, 3);
        QCOMPARE(r.fields[2].fileName, QStringLiteral("03_RAW.tif"));

        int inHistogram = 0;
        float sizeSum = 0.0f;
        for (int i = 0; i < counting_results_t::HistogramBins; ++i) {
            inHistogram += r.histogram[size_t(i)];
            // The cells are 4 to 6 um.
            if (r.histogram[size_t(i)] > 0)
                QVERIFY(i >= 19 && i <= 30);
        }
        for (int i = 0; i < 3; ++i) {
            for (const object_t &object : m_Counters[size_t(i)].objects())
                sizeSum += object.size;
        }
    QCOMPARE(inHistogram, 15);
        QVERIFY(std::fabs(r.meanSize - sizeSum / 15) < 1e-4f);
        QVERIFY(r.meanSize > 4.5f && r.meanSize < 5.5f);
    }

    void factorsWithoutMetadata()
    {
        TestRoot root;
        // A maximum size of 1e38 crashed the analysis.
        writeProtocol(root, QStringLiteral("Yeast"),
                      QByteArray("[Dilution Factor]\nValue=10\n[Min Cell Size]\nSize=2\n"
                                 "[Max Cell Size]\nSize=1e38\n"));
        QVERIFY(SyntheticField::writeSaveFolder(Folder, plainFields(2, 4),
                                                QStringLiteral("Instrument=ORBELIN_Vn,"
                                                               "Volume factor=junk")));
        CountingManager manager;
        manager.setCounters(m_Counters.data(), int(m_Counters.size()));
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
        QVERIFY(qFuzzyCompare(CountingManager::defaultVolumeFactor(1280, 960, 0.375f),
                              1.728e-5f));
    }

    void unusableField_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("problem");
        QTest::newRow("damaged") << "damaged" << "damaged or unreadable";
        QTest::newRow("not a TIFF") << "text" << "damaged or unreadable";
        QTest::newRow("oversized") << "oversized" << "damaged or unreadable";
        QTest::newRow("other size") << "size" << "320 x 240 pixels, the other fields 400 x 300";
        QTest::newRow("other depth") << "depth" << "16 bits a pixel, the other fields 8";
        QTest::newRow("colour") << "rgb" << "not a grey image";
    }
    void unusableField()
    {
        QFETCH(QString, kind);
        QFETCH(QString, problem);
        TestRoot root;
        QVERIFY(SyntheticField::writeSaveFolder(Folder, plainFields(3, 4), Factors));
        const QString bad = root.path(fieldPath(2));
        if (kind == QLatin1String("damaged")) {
            QFile file(bad);
            QVERIFY(file.resize(file.size() / 3));
        } else if (kind == QLatin1String("text")) {
            QVERIFY(root.writeFile(fieldPath(2), "not an image"));
        } else if (kind == QLatin1String("oversized")) {
            QVERIFY(writeOversized(bad));
        } else if (kind == QLatin1String("size")) {
            QVERIFY(writeImage(fieldPath(2), 320, 240, 8, 1));
        } else if (kind == QLatin1String("depth")) {
            QVERIFY(writeImage(fieldPath(2), 400, 300, 16, 1));
        } else {
            QVERIFY(writeImage(fieldPath(2), 400, 300, 8, 3));
        }
        CountingManager manager;
        manager.setCounters(m_Counters.data(), int(m_Counters.size()));
        QVERIFY(reAnalyse(manager));
        const counting_results_t r = manager.results();
        QCOMPARE(r.analysedFields, 2);
        QCOMPARE(int(r.fields.size()), 3);
        QVERIFY(!r.fields[1].analysed);
        QCOMPARE(r.fields[1].problem, problem);
        QCOMPARE(r.fields[1].count, 0);
        QVERIFY(r.fields[0].analysed && r.fields[2].analysed);
        QCOMPARE(r.count, 8);
        // Two fields' volume: 8 / 4e-5 x 5 = 1.0e6.
        QCOMPARE(r.mantissa, 1.0f);
        QCOMPARE(r.exponent, 6);
        QVERIFY(m_Counters[1].objects().empty());
    }

    void noFieldUsable()
    {
        TestRoot root;
        QVERIFY(root.writeFile(fieldPath(1), "junk"));
        QVERIFY(root.writeFile(fieldPath(2), QByteArray()));
        CountingManager manager;
        manager.setCounters(m_Counters.data(), int(m_Counters.size()));
        QVERIFY(reAnalyse(manager));
        const counting_results_t r = manager.results();
        QCOMPARE(r.analysedFields, 0);
        QCOMPARE(r.count, 0);
        QCOMPARE(r.mantissa, 0.0f);
        QCOMPARE(r.fields[0].problem, QStringLiteral("damaged or unreadable"));
    }

    void nothingToAnalyse_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::newRow("no folder") << QStringList();
        QTest::newRow("only annotated images and the report")
            << QStringList{"01_TAG.tif", "run1.pdf", "run1.csv"};
        QTest::newRow("raw image names without a field number")
            << QStringList{"a_RAW.tif", "01_RAW.tiff", "01_raw.tif"};
    }
    void nothingToAnalyse()
    {
        QFETCH(QStringList, files);
        TestRoot root;
        for (const QString &name : files)
            QVERIFY(root.writeFile(Folder + QLatin1Char('/') + name, "x"));
        CountingManager manager;
        manager.setCounters(m_Counters.data(), int(m_Counters.size()));
        QSignalSpy completed(&manager, &CountingManager::signalCountingCompleted);
        QString error;
        QVERIFY(!manager.startReAnalysis(Folder, &error));
        QCOMPARE(error, QStringLiteral("This folder holds no raw images to analyse."));
        QVERIFY(!manager.isCounting());
        QCOMPARE(completed.count(), 0);
    }

    void fieldsBeyondTheCounters()
    {
        TestRoot root;
        QVERIFY(SyntheticField::writeSaveFolder(Folder, plainFields(4, 2, 200, 150), Factors));
        // A second image of field 1 under another name.
        QVERIFY(QFile::copy(root.path(fieldPath(1)), root.path(Folder + "/1_RAW.tif")));
        CountingManager manager;
        manager.setCounters(m_Counters.data(), 4);
        QVERIFY(reAnalyse(manager));
        const counting_results_t r = manager.results();
        QCOMPARE(int(r.fields.size()), 5);
        QCOMPARE(r.fields[0].fileName, QStringLiteral("01_RAW.tif"));
        QCOMPARE(r.fields[1].problem, QStringLiteral("a second image of field 1"));
        QCOMPARE(r.fields[4].fileName, QStringLiteral("04_RAW.tif"));
        QCOMPARE(r.fields[4].problem, QStringLiteral("a count holds 4 fields"));
        QCOMPARE(r.analysedFields, 3);
    }

    void fourAnalysesAtOnceCollectedOnTheGuiThread()
    {
        TestRoot root;
        // Fields heavy enough that analyses overlap: each takes longer than loading three.
        QVERIFY(SyntheticField::writeSaveFolder(Folder, plainFields(10, 60, 640, 480), Factors));
        CountingManager manager;
        manager.setCounters(m_Counters.data(), int(m_Counters.size()));
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

        // The analysis threads delete themselves; a second count starts right away.
        QString error;
        QVERIFY2(reAnalyse(manager, &error), qPrintable(error));
        QVERIFY(manager.peakAnalysisThreads() <= CountingManager::MaxAnalysisThreads);
    }

    void oneCountAtATime()
    {
        TestRoot root;
        QVERIFY(SyntheticField::writeSaveFolder(Folder, plainFields(2, 3), Factors));
        CountingManager manager;
        QString error;
        QVERIFY(!manager.startReAnalysis(Folder, &error));
        QCOMPARE(error, QStringLiteral("There are no cell counters."));
        manager.setCounters(m_Counters.data(), int(m_Counters.size()));
        QSignalSpy completed(&manager, &CountingManager::signalCountingCompleted);
        QVERIFY(manager.startReAnalysis(Folder));
        QVERIFY(!manager.startReAnalysis(Folder, &error));
        QCOMPARE(error, QStringLiteral("A count is running."));
        QVERIFY(completed.wait(20000));
        QCOMPARE(completed.count(), 1);
    }

    void endsWhileAnalysing()
    {
        TestRoot root;
        QVERIFY(SyntheticField::writeSaveFolder(Folder, plainFields(6, 40, 640, 480), Factors));
        auto *manager = new CountingManager;
        manager->setCounters(m_Counters.data(), int(m_Counters.size()));
        QVERIFY(manager->startReAnalysis(Folder));
        // Destroying the run waits for its thread and for the analyses it started.
        delete manager;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_GUILESS_MAIN(CountingManagerTest)
#include "tst_CountingManager.moc"
