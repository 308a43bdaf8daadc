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
        QTest::addColumn<QString>("logged");     // mantissa and exponent as the log keeps them
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float infinity = std::numeric_limits<float>::infinity();
        QTest::newRow("ten fields of 0.1 uL, diluted 2") << 250 << 1e-4f << 2.0f << 0 << "5.00E06";
        QTest::newRow("rounded to two decimals") << 1236 << 1.0f << 1.0f << 0 << "1.24E03";
        QTest::newRow("rounded up to the next power") << 9996 << 1.0f << 1.0f << 0 << "1.00E04";
        QTest::newRow("below one cell/mL") << 5 << 100.0f << 1.0f << 0 << "5.00E-2";
        QTest::newRow("per uL divides by 1000") << 123 << 1e-4f << 1.0f << 1 << "1.23E03";
        QTest::newRow("volume not exact in float") << 50 << 0.1f << 1.0f << 0 << "5.00E02";
        QTest::newRow("count 0") << 0 << 1e-4f << 2.0f << 0 << "0.00E00";
        // Before the guard these took log10 of infinity or of a negative number.
        QTest::newRow("volume 0") << 10 << 0.0f << 1.0f << 0 << "0.00E00";
        QTest::newRow("dilution below 0") << 10 << 1e-4f << -2.0f << 0 << "0.00E00";
        QTest::newRow("volume not a number") << 10 << nan << 1.0f << 0 << "0.00E00";
        QTest::newRow("infinite dilution") << 10 << 1.0f << infinity << 0 << "0.00E00";
        QTest::newRow("negative count") << -5 << 1.0f << 1.0f << 0 << "0.00E00";
    }
    void formula()
    {
        QFETCH(int, count);
        QFETCH(float, volume);
        QFETCH(float, dilution);
        QFETCH(int, unit);
        QFETCH(QString, logged);
        float m = -1.0f;
        int e = -99;
        Tesmora::Core::concentration(count, volume, dilution, m, e,
                                     Tesmora::VolumeFactorUnit(unit));
        QCOMPARE(Tesmora::Core::concentrationLogText(m, e), logged);
    }

    // 9,996 cells in 1 mL showed as "10.00 x 10e3 cells/mL".
    void shownMantissaStaysBelowTen()
    {
        for (const float volume : {1.0f, 3e-5f, 1.7e-6f}) {
            for (int count = 1; count <= 100000; ++count) {
                float m = 0;
                int e = 0;
                Tesmora::Core::concentration(count, volume, 3.0f, m, e);
                const QString text = Tesmora::Core::concentrationText(m, e);
                const double shown = text.section(' ', 0, 0).toDouble();
                QVERIFY2(shown >= 1.0 && shown <= 9.99, qPrintable(text));
                const double value = double(count) / double(volume) * 3.0;
                QVERIFY2(std::fabs(shown * std::pow(10.0, e) / value - 1.0) < 0.006,
                         qPrintable(text));
            }
        }
    }
};

QTEST_GUILESS_MAIN(ConcentrationTest)
#include "tst_Concentration.moc"
