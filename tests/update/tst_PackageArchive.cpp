#include "PackageArchive.h"
#include "PackageMaker.h"
#include "TestRoot.h"

#include <QtTest>

class PackageArchiveTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodeName_data()
    {
        QTest::addColumn<QString>("quoted");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "ORBELIN_Vn_1_0_4" << "ORBELIN_Vn_1_0_4";
        QTest::newRow("blank") << "a b" << "a b";
        QTest::newRow("line feed") << "a\\nb" << "a\nb";
        QTest::newRow("backslash") << "a\\\\nb" << "a\\nb";
        QTest::newRow("octal bytes of UTF-8") << "\\303\\274" << QString::fromUtf8("\xc3\xbc");
        QTest::newRow("octal then digit") << "\\0568" << "." "8";
        QTest::newRow("trailing backslash") << "a\\" << "a\\";
    }
    void decodeName()
    {
        QFETCH(QString, quoted);
        QFETCH(QString, name);
        QCOMPARE(PackageArchive::decodeName(quoted), name);
    }

    // Every member as tar reads it, names exactly as stored.
    void listing_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("refused");
        QTest::newRow("file") << QByteArray("ORBELIN_Vn_1_0_4") << "-" << false;
        QTest::newRow("name with blanks") << QByteArray(" lead and trail ") << "-" << false;
        QTest::newRow("dotted name that is no parent") << QByteArray("..hidden/x..y") << "-" << false;
        QTest::newRow("./ prefix") << QByteArray("./loader_1_0_4") << "-" << false;
        QTest::newRow("absolute") << QByteArray("/etc/passwd") << "-" << true;
        QTest::newRow("parent at the start") << QByteArray("../x") << "-" << true;
        QTest::newRow("parent inside") << QByteArray("a/../../x") << "-" << true;
        // A line feed cannot smuggle a second, harmless-looking listing line.
        QTest::newRow("line feed in the name")
            << QByteArray("x\n-rw-r--r-- 0/0 1 2024-01-01 00:00:00 ../evil") << "-" << false;
    }
    void listing()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, type);
        QFETCH(bool, refused);
        TestRoot root;
        root.writeFile("/p.ovn", PackageMaker::package({TarMember::file(name, "x")}));
        QList<PackageEntry> entries;
        QString error;
        QVERIFY2(PackageArchive::list("/p.ovn", &entries, &error), qPrintable(error));
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().name, QString::fromUtf8(name));
        QCOMPARE(QString(entries.first().type), type);
        QCOMPARE(!PackageArchive::refusal(entries.first()).isEmpty(), refused);
    }

    void unpacksPlainFilesAndFolders()
    {
        TestRoot root;
        root.writeFile("/p.ovn", PackageMaker::package(
            {TarMember::file("top", "1", 0755), TarMember::folder("Data/"),
             TarMember::file("Data/a b.txt", "2"), TarMember::file("Data/.hidden", "3")}));
        root.mkdir("/work");
        QString error;
        QVERIFY2(PackageArchive::unpack("/p.ovn", "/work", &error), qPrintable(error));
        QCOMPARE(root.readFile("/work/top"), QByteArray("1"));
        QCOMPARE(root.readFile("/work/Data/a b.txt"), QByteArray("2"));
        QCOMPARE(root.readFile("/work/Data/.hidden"), QByteArray("3"));
    }

    void unpackNeedsAnEmptyFolder()
    {
        TestRoot root;
        root.writeFile("/p.ovn", PackageMaker::package({TarMember::file("top", "new")}));
        root.writeFile("/work/top", "old");
        QString error;
        QVERIFY(!PackageArchive::unpack("/p.ovn", "/work", &error));
        QCOMPARE(root.readFile("/work/top"), QByteArray("old"));
    }

    // A tar that lists one thing and unpacks another is caught by the check afterwards.
    void unpackedTreeCheckedAgain_data()
    {
        QTest::addColumn<QByteArray>("extract");
        QTest::newRow("symbolic link") << QByteArray("ln -s / \"$dir/root\"");
        QTest::newRow("fifo") << QByteArray("mkfifo \"$dir/pipe\"");
        QTest::newRow("set-user-id") << QByteArray("echo x > \"$dir/s\"; chmod 4755 \"$dir/s\"");
        QTest::newRow("hard link") << QByteArray("echo x > \"$dir/a\"; ln \"$dir/a\" \"$dir/b\"");
        QTest::newRow("tar fails") << QByteArray("exit 2");
    }
    void unpackedTreeCheckedAgain()
    {
        QFETCH(QByteArray, extract);
        TestRoot root;
        root.writeFile("/p.ovn", PackageMaker::package({TarMember::file("top", "x")}));
        root.mkdir("/work");
        root.fakeProgramScript("tar",
                               "case \" $* \" in *\" --extract \"*)\n"
                               "  while [ $# -gt 0 ]; do [ \"$1\" = --directory ] && dir=\"$2\"; shift; done\n"
                               "  " + extract + "\n  exit 0 ;;\nesac\nexec /usr/bin/tar \"$@\"");
        QString error;
        QVERIFY(!PackageArchive::unpack("/p.ovn", "/work", &error));
        QVERIFY(!error.isEmpty());
    }

    void createArchivesUnderTheInstrumentPath()
    {
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_3", "program");
        root.mkdir("/root/restore");
        QString error;
        QVERIFY2(PackageArchive::create("/root/restore/b.ovn", "/root/ORBELIN_Vn", &error),
                 qPrintable(error));
        QList<PackageEntry> entries;
        QVERIFY(PackageArchive::list("/root/restore/b.ovn", &entries, &error));
        QStringList names;
        for (const PackageEntry &e : entries)
            names << e.name;
        QVERIFY2(names.contains("root/ORBELIN_Vn/ORBELIN_Vn_1_0_3"), qPrintable(names.join(',')));
        QVERIFY(!PackageArchive::create("/root/restore/c.ovn", "/", &error));
    }
};

QTEST_GUILESS_MAIN(PackageArchiveTest)
#include "tst_PackageArchive.moc"
