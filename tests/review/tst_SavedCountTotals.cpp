#include "ImReaderWriter.h"
#include "SampleData.h"
#include "SavedCountTotals.h"
#include "TestRoot.h"

#include <QtTest>

using SampleData::Field;
using SampleData::field;

class SavedCountTotalsTest : public QObject
{
    Q_OBJECT

private:
    static bool tag(const QString &path, const Field &f, const QString &software = "ORBELIN_Vn")
    {
        return SampleData::writeTagImage(path, f, 16, 12, software);
    }

    static QStringList names(const SavedCountTotals &totals)
    {
        QStringList list;
        for (const std::string &path : totals.tagFiles())
            list << QFileInfo(QString::fromStdString(path)).fileName();
        return list;
    }

private Q_SLOTS:
    void tenImages()
    {
        TestRoot root;
        QVector<Field> fields;
        int sum = 0;
        for (int i = 0; i < 10; ++i) {
            fields << field(100 + i * 10, 4.0f + i * 0.2f, 0.0001f, 4);
            sum += 100 + i * 10;
        }
        QVERIFY(SampleData::writeSaveFolder("/ORBELIN/run1", fields, 16, 12));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/run1");
        QVERIFY(totals.hasTotals());
        QVERIFY(totals.hasRawImages());
        QCOMPARE(totals.tagFiles().size(), size_t(10));
        QCOMPARE(names(totals).first(), QString("01_TAG.tif"));
        QCOMPARE(names(totals).last(), QString("10_TAG.tif"));
        QCOMPARE(totals.cellCounts().at(9), 190);
        QCOMPARE(totals.cellSum(), qint64(sum));
        // 1450 / (10 x 0.0001 mL) x 4 = 5.80 x 10^6 cells/mL
        QCOMPARE(totals.concentrationText(), QString("5.80 x 10e6 cells/mL"));
        QCOMPARE(totals.meanSizeText(), QString::fromUtf8("4.9 \u00B5m"));
        QCOMPARE(totals.dilutionFactorText(), QString("4"));
    }

    void namesWithAnyRunOfDigits()
    {
        TestRoot root;
        QVERIFY(tag("/ORBELIN/r/3_TAG.tif", field(10, 2.0f)));
        QVERIFY(tag("/ORBELIN/r/123_TAG.tif", field(20, 4.0f)));
        QVERIFY(tag("/ORBELIN/r/a_TAG.tif", field(1000, 9.0f)));
        QVERIFY(tag("/ORBELIN/r/01_tag.tif", field(1000, 9.0f)));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QCOMPARE(names(totals), QStringList({"123_TAG.tif", "3_TAG.tif"}));
        QCOMPARE(totals.cellSum(), qint64(30));
        // a_TAG.tif is not browsed but was written by the instrument: the mean size divides
        // by three images (2 + 4 + 0 of a_TAG's size, which is not read).
        QCOMPARE(totals.qualifyingCount(), 3);
        QCOMPARE(totals.meanSize(), 2.0f);
        QVERIFY(!totals.hasRawImages());
    }

    void withoutTotals_data()
    {
        QTest::addColumn<QString>("software");
        QTest::addColumn<QString>("name");
        QTest::newRow("foreign Software text") << "ImageJ" << "01_TAG.tif";
        QTest::newRow("Software with a suffix") << "ORBELIN_Vn 1.0" << "01_TAG.tif";
        // Before, the list was empty while the totals took its first entry.
        QTest::newRow("qualifying but none named by digits") << "ORBELIN_Vn" << "x_TAG.tif";
    }
    void withoutTotals()
    {
        QFETCH(QString, software);
        QFETCH(QString, name);
        TestRoot root;
        QVERIFY(tag("/ORBELIN/r/" + name, field(10, 2.0f), software));
        QVERIFY(SampleData::writeRawImage("/ORBELIN/r/01_RAW.tif", field(10, 2.0f), 16, 12));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(!totals.hasTotals());
        QVERIFY(totals.hasRawImages());
    }

    void lastImageCarryingAFactorWins()
    {
        TestRoot root;
        QVERIFY(tag("/ORBELIN/r/01_TAG.tif", field(100, 3.0f, 0.0002f, 10)));
        QVERIFY(tag("/ORBELIN/r/02_TAG.tif", field(100, 3.0f, 0.0001f, 0)));
        QVERIFY(tag("/ORBELIN/r/03_TAG.tif", field(100, 3.0f, 0, 5)));
        QVERIFY(tag("/ORBELIN/r/04_TAG.tif", field(100, 3.0f, 0, 0)));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QCOMPARE(totals.volumeFactor(), 0.0001f);
        QCOMPARE(totals.dilutionFactor(), 5);
        // 400 / (4 x 0.0001) x 5 = 5.00 x 10^6
        QCOMPARE(totals.concentrationText(), QString("5.00 x 10e6 cells/mL"));
    }

    // Without a factor the concentration divided by 0 or took the logarithm of 0.
    void missingFactorsGiveNoConcentration_data()
    {
        QTest::addColumn<float>("volume");
        QTest::addColumn<int>("dilution");
        QTest::addColumn<QString>("dilutionText");
        QTest::newRow("no volume factor") << 0.0f << 2 << "2";
        QTest::newRow("no dilution factor") << 0.0001f << 0 << "";
        QTest::newRow("neither") << 0.0f << 0 << "";
        QTest::newRow("negative volume factor") << -0.5f << 2 << "2";
    }
    void missingFactorsGiveNoConcentration()
    {
        QFETCH(float, volume);
        QFETCH(int, dilution);
        QFETCH(QString, dilutionText);
        TestRoot root;
        Field f = field(120, 5.0f, 0, dilution);
        QString meta = SampleData::metadata(f);
        if (volume != 0)
            meta += QString(",Volume factor=%1").arg(double(volume));
        general::ImReaderWriter image;
        const unsigned char pixels[3 * 4] = {};
        QVERIFY(image.setImage(pixels, 2, 2, 8, 1));
        QVERIFY(root.mkdir("/ORBELIN/r"));
        QVERIFY(image.write("/ORBELIN/r/01_TAG.tif", meta.toStdString()));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(totals.hasTotals());
        QCOMPARE(totals.cellSum(), qint64(120));
        QCOMPARE(totals.concentrationText(), QString());
        QCOMPARE(totals.dilutionFactorText(), dilutionText);
        QCOMPARE(totals.meanSizeText(), QString::fromUtf8("5.0 \u00B5m"));
    }

    void unreadableImageCountsZero()
    {
        TestRoot root;
        QVERIFY(tag("/ORBELIN/r/01_TAG.tif", field(50, 3.0f)));
        QVERIFY(root.writeFile("/ORBELIN/r/02_TAG.tif", "not a TIFF at all"));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(totals.hasTotals());
        QCOMPARE(totals.cellCounts(), std::vector<int>({50, 0}));
        QCOMPARE(totals.qualifyingCount(), 1);
        // Two browsable images: the volume is 2 x 0.0001 mL.
        QCOMPARE(totals.concentrationText(), QString("5.00 x 10e5 cells/mL"));
    }

    void zeroCells()
    {
        TestRoot root;
        QVERIFY(tag("/ORBELIN/r/01_TAG.tif", field(0, 0.0f)));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QCOMPARE(totals.concentrationText(), QString("0.00 x 10e0 cells/mL"));
    }

    void missingFolder()
    {
        TestRoot root;
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/gone");
        QVERIFY(!totals.hasTotals());
        QVERIFY(!totals.hasRawImages());
    }
};

QTEST_MAIN(SavedCountTotalsTest)
#include "tst_SavedCountTotals.moc"
