#include "Core.h"

#include <QtTest>

#include <cmath>
#include <limits>

class ConcentrationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formula_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<float>("volume");
        QTest::addColumn<float>("dilution");
        QTest::addColumn<int>("unit");
        QTest::addColumn<float>("mantissa");
        QTest::addColumn<int>("exponent");
        QTest::newRow("ten fields of 0.1 uL, diluted 2") << 250 << 1e-4f << 2.0f << 0 << 5.0f << 6;
        QTest::newRow("rounded to two decimals") << 1236 << 1.0f << 1.0f << 0 << 1.24f << 3;
        QTest::newRow("rounded down") << 1234 << 1.0f << 1.0f << 0 << 1.23f << 3;
        QTest::newRow("exact power of ten") << 1000 << 1.0f << 1.0f << 0 << 1.0f << 3;
        QTest::newRow("below one cell/mL") << 5 << 100.0f << 1.0f << 0 << 5.0f << -2;
        QTest::newRow("per uL divides by 1000") << 123 << 1e-4f << 1.0f << 1 << 1.23f << 3;
        QTest::newRow("volume not exact in float") << 50 << 0.1f << 1.0f << 0 << 5.0f << 2;
        QTest::newRow("count 0") << 0 << 1e-4f << 2.0f << 0 << 0.0f << 0;
        // Before the guard these took log10 of infinity or of a negative number.
        QTest::newRow("volume 0") << 10 << 0.0f << 1.0f << 0 << 0.0f << 0;
        QTest::newRow("volume below 0") << 10 << -1e-4f << 1.0f << 0 << 0.0f << 0;
        QTest::newRow("dilution 0") << 10 << 1e-4f << 0.0f << 0 << 0.0f << 0;
        QTest::newRow("dilution below 0") << 10 << 1e-4f << -2.0f << 0 << 0.0f << 0;
        QTest::newRow("volume not a number")
            << 10 << std::numeric_limits<float>::quiet_NaN() << 1.0f << 0 << 0.0f << 0;
        QTest::newRow("infinite dilution")
            << 10 << 1.0f << std::numeric_limits<float>::infinity() << 0 << 0.0f << 0;
        QTest::newRow("negative count") << -5 << 1.0f << 1.0f << 0 << 0.0f << 0;
    }
    void formula()
    {
        QFETCH(int, count);
        QFETCH(float, volume);
        QFETCH(float, dilution);
        QFETCH(int, unit);
        QFETCH(float, mantissa);
        QFETCH(int, exponent);
        float m = -1.0f;
        int e = -99;
        Tesmora::Core::concentration(count, volume, dilution, m, e,
                                     Tesmora::VolumeFactorUnit(unit));
        QVERIFY2(std::isfinite(m), "mantissa not finite");
        QCOMPARE(e, exponent);
        QVERIFY2(std::fabs(m - mantissa) < 1e-4f, qPrintable(QString::number(m)));
    }

    void logTextKeepsTwoDecimals()
    {
        float m = 0;
        int e = 0;
        Tesmora::Core::concentration(987, 1e-4f, 1.0f, m, e);
        QCOMPARE(QString::asprintf("%.2fE%02d", double(m), e), QString("9.87E06"));
    }
};

QTEST_GUILESS_MAIN(ConcentrationTest)
#include "tst_Concentration.moc"
