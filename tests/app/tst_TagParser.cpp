#include "TagParser.h"

#include <QtTest>

class TagParserTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("separators");    // empty: the default
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");   // key=value pairs, sorted by key
        QTest::newRow("typical metadata")
            << "" << "Instrument=ORBELIN_Vn,Counted cell number=123,Volume factor=0.5"
            << QStringList{"Counted cell number=123", "Instrument=ORBELIN_Vn", "Volume factor=0.5"};
        QTest::newRow("first occurrence wins") << "" << "a=1,a=2" << QStringList{"a=1"};
        QTest::newRow("value keeps further equals signs") << "" << "k=a=b" << QStringList{"k=a=b"};
        QTest::newRow("item without equals sign, trailing separator")
            << "" << "junk,k=v," << QStringList{"k=v"};
        QTest::newRow("empty value") << "" << "k=" << QStringList{"k="};
        QTest::newRow("other separators") << ";|" << "a=1;b=2|c=3,4"
                                          << QStringList{"a=1", "b=2", "c=3,4"};
    }
    void parse()
    {
        QFETCH(QString, separators);
        QFETCH(QString, text);
        const TagParser parser = separators.isEmpty() ? TagParser()
                                                      : TagParser(separators.toStdString());
        QStringList got;
        for (const auto &kv : parser.parse(text.toStdString()))
            got << QString::fromStdString(kv.first + "=" + kv.second);
        QTEST(got, "expected");
    }
};

QTEST_GUILESS_MAIN(TagParserTest)
#include "tst_TagParser.moc"
