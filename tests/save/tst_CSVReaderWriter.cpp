#include "CSVReaderWriter.h"
#include "TestRoot.h"

#include <QtTest>

namespace {
const char Log[] = "/root/ORBELIN_Vn/CountingResults.csv";

QStringList lines(const CSVReaderWriter &table)
{
    QStringList result;
    for (const std::string &line : table.csv())
        result << QString::fromStdString(line);
    return result;
}
} // namespace

class CSVReaderWriterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headerIsFormatted()
    {
        CSVReaderWriter table(10, "%s,%d,%.1f", "Name", 7, 2.5);
        QCOMPARE(lines(table), QStringList{"Name,7,2.5"});

        const std::string header = CSVReaderWriter::resultsLogHeader();
        CSVReaderWriter log(1001, "%s", header.c_str());
        QCOMPARE(log.csv().front(), header);
        const QString text = QString::fromStdString(header);
        QVERIFY(text.startsWith("Name,Date,Cells,[Cells],Avg. size,Protocol,#1 cells,#1 [cells],"
                                "#2 cells,#2 [cells],"));
        QVERIFY(text.endsWith(",#20 cells,#20 [cells]"));
        QCOMPARE(text.count(','), 6 + 20 + 19);   // 46 columns
    }

    void overlongHeaderIsCut()
    {
        const std::string text(3000, 'h');
        CSVReaderWriter table(10, "%s", text.c_str());
        QCOMPARE(table.csv().front().size(), size_t(1023));
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("no line feed after the last row")
            << QByteArray("Old header\nA,1\nB,2\nC,3") << QStringList{"A,1", "B,2", "C,3"};
        QTest::newRow("line feed after the last row")
            << QByteArray("H\nA\nB\n") << QStringList{"A", "B"};
        QTest::newRow("empty line inside kept") << QByteArray("H\nA\n\nB") << QStringList{"A", "", "B"};
        QTest::newRow("carriage returns kept") << QByteArray("H\r\nA\r\nB") << QStringList{"A\r", "B"};
        QTest::newRow("header only") << QByteArray("H") << QStringList{};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
    }
    void read()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, rows);
        TestRoot root;
        root.writeFile(Log, file);
        CSVReaderWriter table(1001, "%s", "Mine");
        QVERIFY(table.read(Log));
        QCOMPARE(lines(table), QStringList{"Mine"} + rows);
    }

    void readKeepsTheNewestRows_data()
    {
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<QStringList>("held");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("oldest");
        QTest::addColumn<QString>("newest");
        QByteArray log = "H";
        for (int i = 0; i < 20000; ++i)
            log += "\nrow " + QByteArray::number(i);
        QTest::newRow("20,000-row log") << 1001 << QStringList() << log << "row 19000" << "row 19999";
        QTest::newRow("10 MB of line feeds")
            << 1001 << QStringList() << QByteArray(10 * 1024 * 1024, '\n') << "" << "";
        QTest::newRow("file rows after the rows held")
            << 4 << QStringList{"x", "y"} << QByteArray("H\na\nb") << "y" << "b";
        QTest::newRow("more file rows than the limit")
            << 4 << QStringList{"x"} << QByteArray("H\n1\n2\n3\n4\n5") << "3" << "5";
    }
    void readKeepsTheNewestRows()
    {
        QFETCH(int, maxLines);
        QFETCH(QStringList, held);
        QFETCH(QByteArray, file);
        TestRoot root;
        root.writeFile(Log, file);
        CSVReaderWriter table(maxLines, "%s", "H");
        for (const QString &row : held)
            table.append(row.toStdString());
        QVERIFY(table.read(Log));
        const QStringList rows = lines(table);
        QCOMPARE(rows.size(), maxLines);
        QTEST(rows.at(1), "oldest");
        QTEST(rows.last(), "newest");
    }

    // A row longer than any the instrument writes is damage: before, a log holding one
    // 100 MB line was read and kept whole, and written again with every new count.
    void overlongRowsAreDropped_data()
    {
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("dropped");
        const QByteArray longest(int(CSVReaderWriter::MaxRowBytes), 'x');
        const QByteArray over = longest + 'x';
        const QByteArray huge(8 << 20, ',');
        QTest::newRow("between rows") << 1001 << "H\nA\n" + over + "\nB" << QStringList{"A", "B"} << 1;
        QTest::newRow("last, without a line feed") << 1001 << "H\nA\n" + huge << QStringList{"A"} << 1;
        QTest::newRow("last, with a line feed") << 1001 << "H\nA\n" + huge + "\n" << QStringList{"A"} << 1;
        QTest::newRow("two in a row, then an empty row")
            << 1001 << "H\n" + huge + "\n" + over + "\n\nB" << QStringList{"", "B"} << 2;
        QTest::newRow("the longest row kept")
            << 1001 << "H\n" + longest + "\n" + longest << QStringList{longest, longest} << 0;
        QTest::newRow("over-long header") << 1001 << huge + "\nA" << QStringList{"A"} << 0;
        // Dropped rows take no place among the newest rows kept.
        QTest::newRow("newest rows kept around them")
            << 3 << "H\n1\n2\n3\n" + over + "\n" + huge << QStringList{"2", "3"} << 2;
    }
    void overlongRowsAreDropped()
    {
        QFETCH(int, maxLines);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, rows);
        QFETCH(int, dropped);
        TestRoot root;
        root.writeFile(Log, file);
        for (int i = 0; i < dropped; ++i)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("is longer than 65536 bytes: dropped"));
        CSVReaderWriter table(maxLines, "%s", "H");
        QVERIFY(table.read(Log));
        QCOMPARE(lines(table), QStringList{"H"} + rows);
        // Written back, the log holds every other row.
        QVERIFY(table.write(Log));
        QCOMPARE(root.readFile(Log), ("H\n" + rows.join('\n')).toLatin1());
    }

    void readMissingFile()
    {
        TestRoot root;
        CSVReaderWriter table(1001, "%s", "H");
        QVERIFY(!table.read(Log));
        QCOMPARE(lines(table), QStringList{"H"});
    }

    void parse_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("plain") << "a,b,c" << QStringList{"a", "b", "c"};
        QTest::newRow("empty line") << "" << QStringList{};
        QTest::newRow("empty fields kept") << ",a,,b," << QStringList{"", "a", "", "b", ""};
        QTest::newRow("no quoting") << "\"a,b\",c" << QStringList{"\"a", "b\"", "c"};
        QTest::newRow("single field") << "abc" << QStringList{"abc"};
        QTest::newRow("only a comma") << "," << QStringList{"", ""};
    }
    void parse()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, fields);
        std::vector<std::string> got{"stale"};
        CSVReaderWriter::parse(line.toStdString(), got);
        QStringList result;
        for (const auto &field : got)
            result << QString::fromStdString(field);
        QCOMPARE(result, fields);
    }

    void reverseWrite_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("three rows, newest first")
            << QByteArray("Old\nA,1\nB,2\nC,3") << QByteArray("H\nC,3\nB,2\nA,1");
        QTest::newRow("one row") << QByteArray("Old\nA") << QByteArray("H\nA");
        QTest::newRow("header only") << QByteArray("Old") << QByteArray("H\n");
        QTest::newRow("short lines kept") << QByteArray("Old\nA\n\nB") << QByteArray("H\nB\n\nA");
    }
    void reverseWrite()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, written);
        TestRoot root;
        root.writeFile(Log, file);
        // A longer file in the way must be replaced, not overwritten in part.
        root.writeFile("/root/temp.csv", QByteArray(5000, 'z'));
        CSVReaderWriter table(1001, "%s", "H");
        QVERIFY(table.read(Log));
        QVERIFY(table.reverseWrite("/root/temp.csv"));
        QCOMPARE(root.readFile("/root/temp.csv"), written);
    }

    void reverseWriteWithoutLogGivesHeaderLine()
    {
        TestRoot root;
        root.mkdir("/root");
        CSVReaderWriter table(1001, "%s", CSVReaderWriter::resultsLogHeader().c_str());
        QVERIFY(!table.read(Log));
        QVERIFY(table.reverseWrite("/root/temp.csv"));
        QCOMPARE(root.readFile("/root/temp.csv"),
                 QByteArray::fromStdString(CSVReaderWriter::resultsLogHeader()) + '\n');
    }

    void writeKeepsOrderAndRoundTrips()
    {
        TestRoot root;
        root.mkdir("/root/ORBELIN_Vn");
        CSVReaderWriter table(1001, "%s", "H");
        table.append("A,1");
        table.append("B,2");
        QVERIFY(table.write(Log));
        QCOMPARE(root.readFile(Log), QByteArray("H\nA,1\nB,2"));

        CSVReaderWriter again(1001, "%s", "H");
        QVERIFY(again.read(Log));
        QCOMPARE(lines(again), lines(table));
    }

    void writeIntoMissingFolderFails()
    {
        TestRoot root;
        CSVReaderWriter table(1001, "%s", "H");
        QVERIFY(!table.write("/root/no/such/folder/x.csv"));
    }

    void appendDropsOldestBeyondLimit()
    {
        CSVReaderWriter table(4, "%s", "H");   // header and three rows
        for (const char *row : {"1", "2", "3", "4", "5"})
            table.append(row);
        QCOMPARE(lines(table), (QStringList{"H", "3", "4", "5"}));
    }

    void replaceNewestRow()
    {
        CSVReaderWriter table(10, "%s", "H");
        QVERIFY(!table.replace(1, "x"));
        table.append("a");
        table.append("b");
        QVERIFY(!table.replace(0, "header"));
        QVERIFY(table.replace(table.size() - 1, "B"));
        QCOMPARE(lines(table), (QStringList{"H", "a", "B"}));
        table.clear();
        QCOMPARE(lines(table), QStringList{"H"});
    }
};

QTEST_GUILESS_MAIN(CSVReaderWriterTest)
#include "tst_CSVReaderWriter.moc"
