#include "SampleData.h"
#include "SavedCountTotals.h"
#include "TestRoot.h"

#include <QtTest>

using SampleData::field;

class SavedCountTotalsTest : public QObject
{
    Q_OBJECT

private:
    static bool tag(const QString &name, const SampleData::Field &f,
                    const QString &software = "ORBELIN_Vn")
    {
        return SampleData::writeTagImage("/ORBELIN/r/" + name, f, 16, 12, software);
    }

private Q_SLOTS:
    void tenImages()
    {
        TestRoot root;
        QVector<SampleData::Field> fields;
        for (int i = 0; i < 10; ++i)
            fields << field(100 + i * 10, 4.0f + i * 0.2f, 0.0001f, 4);
        QVERIFY(SampleData::writeSaveFolder("/ORBELIN/r", fields, 16, 12));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(totals.hasTotals());
        QVERIFY(totals.hasRawImages());
        QCOMPARE(totals.tagFiles().size(), size_t(10));
        QCOMPARE(totals.tagFiles().back(), std::string("/ORBELIN/r/10_TAG.tif"));
        QCOMPARE(totals.cellCounts().at(9), 190);
        QCOMPARE(totals.cellSum(), qint64(1450));
        // 1450 / (10 x 0.0001 mL) x 4
        QCOMPARE(totals.concentrationText(), QString("5.80 x 10e6 cells/mL"));
        QCOMPARE(totals.meanSizeText(), QString::fromUtf8("4.9 \u00B5m"));
        QCOMPARE(totals.dilutionFactorText(), QString("4"));
    }

    void namesWithAnyRunOfDigits()
    {
        TestRoot root;
        QVERIFY(tag("3_TAG.tif", field(10, 2.0f)));
        QVERIFY(tag("123_TAG.tif", field(20, 4.0f)));
        QVERIFY(tag("a_TAG.tif", field(1000, 9.0f)));
        QVERIFY(tag("01_tag.tif", field(1000, 9.0f)));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QCOMPARE(totals.tagFiles(), (std::vector<std::string>{"/ORBELIN/r/123_TAG.tif",
                                                               "/ORBELIN/r/3_TAG.tif"}));
        QCOMPARE(totals.cellSum(), qint64(30));
        // a_TAG.tif is not browsed but was written by the instrument: the mean size divides
        // by three images (2 + 4 + 0 of a_TAG's size, which is not read).
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
        QVERIFY(tag(name, field(10, 2.0f), software));
        QVERIFY(SampleData::writeRawImage("/ORBELIN/r/01_RAW.tif", field(10, 2.0f), 16, 12));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(!totals.hasTotals());
        QVERIFY(totals.hasRawImages());
    }

    void lastImageCarryingAFactorWins()
    {
        TestRoot root;
        QVERIFY(tag("01_TAG.tif", field(100, 3.0f, 0.0002f, 10)));
        QVERIFY(tag("02_TAG.tif", field(100, 3.0f, 0.0001f, 0)));
        QVERIFY(tag("03_TAG.tif", field(100, 3.0f, 0, 5)));
        QVERIFY(tag("04_TAG.tif", field(100, 3.0f, 0, 0)));
        // 400 / (4 x 0.0001) x 5
        QCOMPARE(SavedCountTotals::read("/ORBELIN/r").concentrationText(),
                 QString("5.00 x 10e6 cells/mL"));
    }

    // Without a factor the concentration divided by 0 or took the logarithm of 0.
    void missingFactorGivesNoConcentration_data()
    {
        QTest::addColumn<float>("volume");
        QTest::addColumn<int>("dilution");
        QTest::newRow("no volume factor") << 0.0f << 2;
        QTest::newRow("no dilution factor") << 0.0001f << 0;
    }
    void missingFactorGivesNoConcentration()
    {
        QFETCH(float, volume);
        QFETCH(int, dilution);
        TestRoot root;
        QVERIFY(tag("01_TAG.tif", field(120, 5.0f, volume, dilution)));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(totals.hasTotals());
        QCOMPARE(totals.cellSum(), qint64(120));
        QCOMPARE(totals.concentrationText(), QString());
        QCOMPARE(totals.dilutionFactorText(), dilution ? QString::number(dilution) : QString());
    }

    void unreadableImageCountsZero()
    {
        TestRoot root;
        QVERIFY(tag("01_TAG.tif", field(50, 3.0f)));
        QVERIFY(root.writeFile("/ORBELIN/r/02_TAG.tif", "not a TIFF at all"));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(totals.hasTotals());
        QCOMPARE(totals.cellCounts(), std::vector<int>({50, 0}));
        QCOMPARE(totals.qualifyingCount(), 1);
        // Two browsable images: the volume is 2 x 0.0001 mL.
        QCOMPARE(totals.concentrationText(), QString("5.00 x 10e5 cells/mL"));
    }
};

QTEST_MAIN(SavedCountTotalsTest)
#include "tst_SavedCountTotals.moc"
