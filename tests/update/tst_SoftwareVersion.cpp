#include "SoftwareUpdater.h"

#include <QtTest>

class SoftwareVersionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dotted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("version");
        QTest::newRow("program file") << "ORBELIN_Vn_1_0_3" << "ORBELIN_Vn_" << "" << "1.0.3";
        QTest::newRow("prefix without _ leaves a leading point")
            << "ORBELIN_Vn_1_0_3" << "ORBELIN_Vn" << "" << ".1.0.3";
        QTest::newRow("package") << "ORBELIN_Vn_1_0_4.ovn" << "ORBELIN_Vn_" << ".ovn" << "1.0.4";
        QTest::newRow("copy number joins the last number")
            << "ORBELIN_Vn_1_0_4 (1).ovn" << "ORBELIN_Vn_" << ".ovn" << "1.0.41";
        QTest::newRow("name without the prefix keeps its _")
            << "ORBELIN_Vn-demo" << "ORBELIN_Vn_" << "" << ".";
        QTest::newRow("prefix removed wherever it stands")
            << "ORBELIN_Vn_ORBELIN_Vn_2_1_0" << "ORBELIN_Vn_" << "" << "2.1.0";
        QTest::newRow("two _ give two points") << "a_1__2" << "" << "" << ".1..2";
        QTest::newRow("prefix is case-sensitive") << "orbelin_vn_1_2_3" << "ORBELIN_Vn_" << "" << "..1.2.3";
        QTest::newRow("other Unicode digits are dropped")
            << QString::fromUtf8("ORBELIN_Vn_\xd9\xa3_1_0") << "ORBELIN_Vn_" << "" << ".1.0";
        QTest::newRow("empty") << "" << "ORBELIN_Vn_" << "" << "";
    }
    void dotted()
    {
        QFETCH(QString, text);
        QFETCH(QString, prefix);
        QFETCH(QString, suffix);
        QFETCH(QString, version);
        QCOMPARE(SoftwareUpdater::StringToSoftwareVersion(text, prefix, suffix), version);
    }

    void integer_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<int>("number");
        QTest::newRow("package") << "ORBELIN_Vn_1_0_3.ovn" << "ORBELIN_Vn" << "ovn" << 103;
        QTest::newRow("1.0.10") << "ORBELIN_Vn_1_0_10" << "ORBELIN_Vn" << "ovn" << 1010;
        QTest::newRow("10.1.0 gives the same number") << "ORBELIN_Vn_10_1_0" << "ORBELIN_Vn" << "ovn" << 1010;
        QTest::newRow("leading zeros") << "ORBELIN_Vn_0_7_1" << "ORBELIN_Vn" << "ovn" << 71;
        QTest::newRow("no digits") << "ORBELIN_Vn-demo" << "ORBELIN_Vn" << "ovn" << 0;
        QTest::newRow("largest") << "2147483647" << "" << "" << 2147483647;
        QTest::newRow("too large") << "ORBELIN_Vn_2_147_483_648" << "ORBELIN_Vn" << "ovn" << 0;
        QTest::newRow("suffix removed anywhere") << "ovn1ovn2" << "" << "ovn" << 12;
    }
    void integer()
    {
        QFETCH(QString, text);
        QFETCH(QString, prefix);
        QFETCH(QString, suffix);
        QFETCH(int, number);
        QCOMPARE(SoftwareUpdater::IntegerToSoftwareVersion(text, prefix, suffix), number);
    }

    void component_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("build");
        QTest::addColumn<int>("patch");
        QTest::newRow("program file") << "ORBELIN_Vn_1_0_3" << "ORBELIN_Vn_" << 1 << 0 << 3 << -1;
        QTest::newRow("runs of digits") << "12abc3x" << "" << 12 << 3 << -1 << -1;
        QTest::newRow("four numbers") << "7_8_9_10" << "" << 7 << 8 << 9 << 10;
        QTest::newRow("no digits") << "ORBELIN_Vn" << "" << -1 << -1 << -1 << -1;
        QTest::newRow("too large reads as 0") << "99999999999_1" << "" << 0 << 1 << -1 << -1;
    }
    void component()
    {
        QFETCH(QString, text);
        QFETCH(QString, prefix);
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, build);
        QFETCH(int, patch);
        QCOMPARE(SoftwareUpdater::MajorVersionToSoftwareVersion(text, prefix, QString()), major);
        QCOMPARE(SoftwareUpdater::MinorVersionToSoftwareVersion(text, prefix, QString()), minor);
        QCOMPARE(SoftwareUpdater::BuildVersionToSoftwareVersion(text, prefix, QString()), build);
        QCOMPARE(SoftwareUpdater::PatchVersionToSoftwareVersion(text, prefix, QString()), patch);
    }
};

QTEST_GUILESS_MAIN(SoftwareVersionTest)
#include "tst_SoftwareVersion.moc"
