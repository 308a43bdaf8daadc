#include "DemoSoftware.h"
#include "PackageMaker.h"
#include "TestRoot.h"

#include <QtTest>

namespace {

const QString Package = QStringLiteral("/media/STICK/ORBELIN_Vn-Demo.ovn");
const QString Demo = QStringLiteral("/root/ORBELIN_Vn/ORBELIN_Vn-demo");

} // namespace

class DemoSoftwareTest : public QObject
{
    Q_OBJECT

private:
    static void instrument(TestRoot &root)
    {
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_3", PackageMaker::elf("1.0.3"));
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", "[Security]\nEnable=True\n");
        root.writeFile("/root/ORBELIN_Vn/CountingResults.csv", "results");
        root.writeFile("/root/ORBELIN_Vn/Protocol/Yeast.ini", "protocol");
        root.writeFile("/root/restore/ORBELIN_Vn_1_0_2.ovn", "backup");
        root.writeFile("/ORBELIN/Counts/a.tif", "image");
        root.writeFile("/root/loader_1_0_3", "#!/bin/sh\n");
        QVERIFY(QFile::link(root.path("/root/loader_1_0_3"), root.path("/root/loader")));
    }

private Q_SLOTS:
    void installsFilesAndFolders()
    {
        TestRoot root;
        instrument(root);
        root.writeFile("/root/ORBELIN_Vn/demo.cfg", "old config");
        root.writeFile("/root/DemoData/old.tif", "old");
        root.writeFile(Package, PackageMaker::package(
            {TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("demo"), 0600),
             TarMember::file("demo.cfg", "new config"),
             TarMember::file(".hidden", "x"),
             TarMember::folder("DemoData/"),
             TarMember::file("DemoData/one.tif", "1"),
             TarMember::file("DemoData/.thumbs", "x"),
             TarMember::folder("DemoData/Sub/"),
             TarMember::file("DemoData/Sub/two.tif", "2")}));
        QVERIFY(installDemoSoftware(Package));
        QCOMPARE(root.readFile(Demo), PackageMaker::elf("demo"));
        QCOMPARE(QFile::permissions(root.path(Demo)) & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                     | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        QCOMPARE(root.readFile("/root/ORBELIN_Vn/demo.cfg"), QByteArray("new config"));
        QVERIFY(!QFile::exists(root.path("/root/ORBELIN_Vn/.hidden")));
        // The folder is replaced whole: the old file is gone, hidden files are not copied.
        QCOMPARE(PackageMaker::snapshot(root.path("/root/DemoData")).keys(),
                 QStringList({"/Sub", "/Sub/two.tif", "/one.tif"}));
        QVERIFY(!QFile::exists(root.path("/root/temp")));
        QCOMPARE(root.readFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini"), QByteArray("[Security]\nEnable=True\n"));
    }

    void refusedPackagesChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("package");
        const TarMember demo = TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("demo"));
        const QByteArray good = PackageMaker::package({demo, TarMember::file("big", QByteArray(300000, 'x'))});
        QTest::newRow("truncated") << good.left(good.size() / 2);
        QTest::newRow("not a package") << QByteArray("garbage");
        QTest::newRow("no demo program") << PackageMaker::package({TarMember::file("readme", "x")});
        QTest::newRow("demo program is a folder") << PackageMaker::package(
            {TarMember::folder("ORBELIN_Vn-demo/"), TarMember::file("ORBELIN_Vn-demo/x", "x")});
        QTest::newRow("link to /") << PackageMaker::package({demo, TarMember::symlink("DemoData", "/")});
        QTest::newRow("../ name") << PackageMaker::package(
            {demo, TarMember::file("../ORBELIN_Vn/ORBELIN_Vn.ini", "x")});
        QTest::newRow("absolute name") << PackageMaker::package({demo, TarMember::file("/ORBELIN/x", "x")});
        QTest::newRow("set-user-id demo") << PackageMaker::package(
            {TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("demo"), 04755)});
        QTest::newRow("program folder") << PackageMaker::package(
            {demo, TarMember::folder("ORBELIN_Vn/"), TarMember::file("ORBELIN_Vn/x", "x")});
        QTest::newRow("work folder") << PackageMaker::package(
            {demo, TarMember::folder("temp/"), TarMember::file("temp/x", "x")});
        QTest::newRow("backup folder") << PackageMaker::package({demo, TarMember::folder("restore/")});
        QTest::newRow("settings file") << PackageMaker::package({demo, TarMember::file("ORBELIN_Vn.ini", "x")});
        QTest::newRow("results log") << PackageMaker::package({demo, TarMember::file("CountingResults.csv", "x")});
        QTest::newRow("program file") << PackageMaker::package(
            {demo, TarMember::file("ORBELIN_Vn_1_0_3", PackageMaker::elf("fake"))});
        // A folder named loader replaced the launcher's link, and nothing started.
        QTest::newRow("loader folder") << PackageMaker::package(
            {demo, TarMember::folder("loader/"), TarMember::file("loader/x", "x")});
        QTest::newRow("loader file name") << PackageMaker::package({demo, TarMember::folder("loader_1_0_4/")});
        QTest::newRow("unpacks to more than the free space")
            << PackageMaker::oversized("ORBELIN_Vn-demo", PackageMaker::elf("demo"));
    }
    void refusedPackagesChangeNothing()
    {
        QFETCH(QByteArray, package);
        TestRoot root;
        instrument(root);
        root.writeFile(Package, package);
        const auto before = PackageMaker::snapshot(root.root(), {"/root/temp", "/calls"});
        QVERIFY(!installDemoSoftware(Package));
        QCOMPARE(PackageMaker::snapshot(root.root(), {"/calls"}), before);
    }

    void existingEntriesOfTheOtherKindKept()
    {
        TestRoot root;
        instrument(root);
        root.writeFile("/root/Counts", "a file where the package has a folder");
        QVERIFY(QFile::link(root.path("/ORBELIN"), root.path("/root/DemoData")));
        root.writeFile(Package, PackageMaker::package(
            {TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("demo")),
             TarMember::file("Protocol", "a file where the program has a folder"),
             TarMember::folder("Counts/"),
             TarMember::folder("DemoData/"), TarMember::file("DemoData/one.tif", "1")}));
        QVERIFY(installDemoSoftware(Package));
        QCOMPARE(root.readFile("/root/ORBELIN_Vn/Protocol/Yeast.ini"), QByteArray("protocol"));
        QCOMPARE(root.readFile("/root/Counts"), QByteArray("a file where the package has a folder"));
        // A link in /root stays, and nothing is written through it.
        QCOMPARE(QFile::symLinkTarget(root.path("/root/DemoData")), root.path("/ORBELIN"));
        QCOMPARE(QDir(root.path("/ORBELIN")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"Counts"});
    }

    void copyRecursivelyNeverOverwrites()
    {
        TestRoot root;
        root.writeFile("/src/file", "new");
        root.writeFile("/src/Folder/inner", "new");
        root.writeFile("/dst/file", "old");
        root.writeFile("/dst/Folder/other", "old");
        QVERIFY(!copyRecursively(QFileInfo(root.path("/src/file")), QFileInfo(root.path("/dst"))));
        QCOMPARE(root.readFile("/dst/file"), QByteArray("old"));
        QVERIFY(!copyRecursively(QFileInfo(root.path("/src/Folder")), QFileInfo(root.path("/dst"))));
        QVERIFY(!QFile::exists(root.path("/dst/Folder/inner")));
        QVERIFY(!copyRecursively(QFileInfo(root.path("/src/missing")), QFileInfo(root.path("/dst"))));
        QVERIFY(QFile::link(root.path("/src/file"), root.path("/src/link")));
        QVERIFY(!copyRecursively(QFileInfo(root.path("/src/link")), QFileInfo(root.path("/dst"))));
    }
};

QTEST_GUILESS_MAIN(DemoSoftwareTest)
#include "tst_DemoSoftware.moc"
