#include "TagParser.h"

#include <QtTest>

class TagParserTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");   // key=value pairs, sorted by key
        QTest::newRow("typical metadata")
            << "Instrument=ORBELIN_Vn,Counted cell number=123,Volume factor=0.5"
            << QStringList{"Counted cell number=123", "Instrument=ORBELIN_Vn", "Volume factor=0.5"};
        QTest::newRow("first occurrence wins") << "a=1,a=2" << QStringList{"a=1"};
        QTest::newRow("value keeps further equals signs") << "k=a=b" << QStringList{"k=a=b"};
        QTest::newRow("item without equals sign is skipped") << "junk,k=v" << QStringList{"k=v"};
        QTest::newRow("empty value") << "k=" << QStringList{"k="};
        QTest::newRow("empty text") << "" << QStringList{};
        QTest::newRow("trailing separator") << "k=v," << QStringList{"k=v"};
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        const auto tags = TagParser().parse(text.toStdString());
        QStringList got;
        for (const auto &kv : tags)
            got << QString::fromStdString(kv.first + "=" + kv.second);
        QCOMPARE(got, expected);
    }

    void otherSeparators()
    {
        const auto tags = TagParser(";|").parse("a=1;b=2|c=3");
        QCOMPARE(tags.size(), size_t(3));
        QCOMPARE(tags.at("c"), std::string("3"));
    }
};

QTEST_GUILESS_MAIN(TagParserTest)
#include "tst_TagParser.moc"
