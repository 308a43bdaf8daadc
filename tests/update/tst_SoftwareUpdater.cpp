#include "PackageMaker.h"
#include "SoftwareUpdateDialog.h"
#include "SoftwareUpdater.h"
#include "TestRoot.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

const QString Package = QStringLiteral("/media/STICK/ORBELIN_Vn_1_0_4.ovn");
const QString ProgramFolder = QStringLiteral("/root/ORBELIN_Vn");
const QStringList NotChecked = {QStringLiteral("/root/.temp"), QStringLiteral("/calls")};

struct Outcome
{
    int count = 0;
    bool ok = false;
    SoftwareUpdaterError error = NoError;
};

} // namespace

class SoftwareUpdaterTest : public QObject
{
    Q_OBJECT

private:
    // An instrument with version 1.0.3 installed and its loader link in place.
    static void install103(TestRoot &root)
    {
        root.writeFile(ProgramFolder + "/ORBELIN_Vn_1_0_3", PackageMaker::elf("1.0.3"));
        root.writeFile(ProgramFolder + "/ORBELIN_Vn.ini", "[Security]\nEnable=False\n");
        root.writeFile("/root/loader_1_0_3", "#!/bin/sh\n# 1.0.3\n");
        QVERIFY(QFile::link(root.path("/root/loader_1_0_3"), root.path("/root/loader")));
    }

    static void writePackage(TestRoot &root, const QList<TarMember> &members,
                             const QString &path = Package)
    {
        QVERIFY(root.writeFile(path, PackageMaker::package(members)));
    }

    static Outcome run(SoftwareUpdater &updater)
    {
        QSignalSpy spy(&updater, &SoftwareUpdater::signalUpdated);
        updater.start();
        Outcome outcome;
        if (!updater.wait(60000))
            return outcome;
        outcome.count = spy.count();
        if (!spy.isEmpty()) {
            outcome.ok = spy.first().at(0).toBool();
            outcome.error = spy.first().at(1).value<SoftwareUpdaterError>();
        }
        return outcome;
    }

    // Configured as the update dialog does, installing into the program folder.
    static Outcome update(const QString &package = Package)
    {
        SoftwareUpdater updater;
        SoftwareUpdateDialog::configureUpdater(updater, package, ProgramFolder,
                                               QStringLiteral("ORBELIN_Vn_1_0_3.ovn"));
        return run(updater);
    }

    static QString linkTarget(TestRoot &root, const QString &link)
    {
        return QFileInfo(QFile::symLinkTarget(root.path(link))).fileName();
    }

    static int mode(TestRoot &root, const QString &path)
    {
        struct stat st;
        if (::lstat(QFile::encodeName(root.path(path)).constData(), &st) != 0)
            return -1;
        return int(st.st_mode & 07777);
    }

    static QStringList archiveMembers(const QString &realPath)
    {
        QProcess tar;
        tar.start("tar", {"-tzf", realPath});
        tar.waitForFinished(30000);
        return QString::fromLocal8Bit(tar.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void installsByRules()
    {
        TestRoot root;
        install103(root);
        root.writeFile("/root/restore/ORBELIN_Vn_1_0_2.ovn", "old archive");
        root.writeFile("/root/restore/old/file", "old");
        root.writeFile("/root/restore/.keep", "hidden");
        writePackage(root, {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4")),
                            TarMember::file("loader_1_0_4", "#!/bin/sh\n# 1.0.4\n"),
                            TarMember::file("libfoo.so.1", PackageMaker::elf("lib"), 0600),
                            TarMember::file("notes.txt", "read me", 0700),
                            TarMember::file("Verifier", "#!/bin/sh\n"),
                            TarMember::file(".profile", "hidden")});
        const Outcome outcome = update();
        QCOMPARE(outcome.count, 1);
        QVERIFY(outcome.ok);
        QCOMPARE(outcome.error, NoError);

        QCOMPARE(root.readFile(ProgramFolder + "/ORBELIN_Vn_1_0_4"), PackageMaker::elf("1.0.4"));
        QCOMPARE(mode(root, ProgramFolder + "/ORBELIN_Vn_1_0_4"), 0755);
        QCOMPARE(mode(root, "/root/loader_1_0_4"), 0755);
        QCOMPARE(mode(root, ProgramFolder + "/Verifier"), 0755);
        QCOMPARE(mode(root, ProgramFolder + "/libfoo.so.1"), 0755);
        QCOMPARE(mode(root, ProgramFolder + "/notes.txt"), 0666);
        QVERIFY(!QFile::exists(root.path(ProgramFolder + "/.profile")));
        QVERIFY(!QFile::exists(root.path("/root/.profile")));
        // Earlier versions stay beside the new one.
        QVERIFY(QFile::exists(root.path(ProgramFolder + "/ORBELIN_Vn_1_0_3")));
        QCOMPARE(linkTarget(root, "/root/loader"), QString("loader_1_0_4"));
        QVERIFY(!QFile::exists(root.path("/root/.temp")));

        // The backup folder holds the new archive of the program folder, and only that.
        QCOMPARE(QDir(root.path("/root/restore")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"ORBELIN_Vn_1_0_3.ovn"});
        QVERIFY(QFile::exists(root.path("/root/restore/.keep")));
        const QStringList members = archiveMembers(root.path("/root/restore/ORBELIN_Vn_1_0_3.ovn"));
        QVERIFY2(members.contains("root/ORBELIN_Vn/ORBELIN_Vn_1_0_3"), qPrintable(members.join(' ')));
        QVERIFY(!members.contains("root/ORBELIN_Vn/ORBELIN_Vn_1_0_4"));
    }

    void ruleTargets_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("mode");
        QTest::newRow("two-digit program matches no rule")
            << QByteArray("ORBELIN_Vn_10_1_0") << PackageMaker::elf("x") << "/opt/app/ORBELIN_Vn_10_1_0" << 0755;
        QTest::newRow("program rule matches part of a name")
            << QByteArray("ORBELIN_Vn_1_0_10") << PackageMaker::elf("x") << ProgramFolder + "/ORBELIN_Vn_1_0_10" << 0755;
        QTest::newRow("loader rule matches part of a name")
            << QByteArray("loader_1_0_4.txt") << QByteArray("text") << "/root/loader_1_0_4.txt" << 0755;
        QTest::newRow("text without rule") << QByteArray("data.csv") << QByteArray("a,b") << "/opt/app/data.csv" << 0666;
        QTest::newRow("program without rule") << QByteArray("helper") << PackageMaker::elf("h") << "/opt/app/helper" << 0755;
        QTest::newRow("three-byte file is no program") << QByteArray("short") << QByteArray("\x7f" "EL") << "/opt/app/short" << 0666;
    }
    void ruleTargets()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, target);
        QFETCH(int, mode);
        TestRoot root;
        install103(root);
        root.mkdir("/opt/app");
        writePackage(root, {TarMember::file(name, content)});
        SoftwareUpdater updater;
        SoftwareUpdateDialog::configureUpdater(updater, Package, "/opt/app", "app.ovn");
        const Outcome outcome = run(updater);
        QVERIFY(outcome.ok);
        QCOMPARE(root.readFile(target), content);
        QCOMPARE(this->mode(root, target), mode);
        // A name that merely holds a loader name never becomes the link's target.
        QCOMPARE(linkTarget(root, "/root/loader"), QString("loader_1_0_3"));
    }

    void runningProgramNotReplaced()
    {
        TestRoot root;
        install103(root);
        root.writeFile("/opt/app/helper", PackageMaker::elf("old helper"));
        // Process 4242 runs the installed 1.0.3, 4243 the helper; 77 is some other program.
        root.writeFile("/proc/4242/cmdline", "/root/ORBELIN_Vn/ORBELIN_Vn_1_0_3\0-x\0");
        root.writeFile("/proc/4243/cmdline", QByteArray("/opt/app/helper\0", 16));
        root.writeFile("/proc/77/cmdline", QByteArray("/usr/bin/other\0", 15));
        root.writeFile("/proc/self/cmdline", QByteArray("/opt/app/ORBELIN_Vn_1_0_4\0", 26));
        writePackage(root, {TarMember::file("ORBELIN_Vn_1_0_3", PackageMaker::elf("rebuilt 1.0.3")),
                            TarMember::file("helper", PackageMaker::elf("new helper")),
                            TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4"))});
        SoftwareUpdater updater;
        SoftwareUpdateDialog::configureUpdater(updater, Package, "/opt/app", "app.ovn");
        const Outcome outcome = run(updater);
        QVERIFY(outcome.ok);
        QCOMPARE(root.readFile(ProgramFolder + "/ORBELIN_Vn_1_0_3"), PackageMaker::elf("1.0.3"));
        QCOMPARE(root.readFile("/opt/app/helper"), PackageMaker::elf("old helper"));
        QCOMPARE(root.readFile(ProgramFolder + "/ORBELIN_Vn_1_0_4"), PackageMaker::elf("1.0.4"));
        // The running program matched only the program rule: it goes nowhere else either.
        QVERIFY(!QFile::exists(root.path("/opt/app/ORBELIN_Vn_1_0_3")));
    }

    void isProcess_data()
    {
        QTest::addColumn<QByteArray>("cmdline");
        QTest::addColumn<bool>("running");
        QTest::newRow("same path") << QByteArray("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_3\0", 34) << true;
        QTest::newRow("with arguments") << QByteArray("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_3\0-a\0b\0", 39) << true;
        QTest::newRow("first word of the first argument")
            << QByteArray("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_3 --x\0", 38) << true;
        QTest::newRow("relative path") << QByteArray("./ORBELIN_Vn_1_0_3\0", 19) << false;
        QTest::newRow("through the loader link") << QByteArray("/root/loader\0", 13) << false;
        QTest::newRow("longer name") << QByteArray("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_30\0", 35) << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("blanks only") << QByteArray("   \0", 4) << false;
    }
    void isProcess()
    {
        QFETCH(QByteArray, cmdline);
        QFETCH(bool, running);
        TestRoot root;
        root.writeFile("/proc/1234/cmdline", cmdline);
        root.writeFile("/proc/acpi/cmdline", QByteArray("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_3\0", 34));
        QCOMPARE(SoftwareUpdater::isProcess("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_3"), running);
    }

    void isProgram_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("program");
        QTest::newRow("ELF") << PackageMaker::elf("x") << true;
        QTest::newRow("just the magic") << QByteArray("\x7f" "ELF") << true;
        QTest::newRow("three bytes") << QByteArray("\x7f" "EL") << false;
        QTest::newRow("script") << QByteArray("#!/bin/sh\n") << false;
        QTest::newRow("ELF after a line feed") << QByteArray("\n\x7f" "ELF") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void isProgram()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, program);
        TestRoot root;
        root.writeFile("/opt/file", content);
        QCOMPARE(SoftwareUpdater::isProgram("/opt/file"), program);
        QVERIFY(!SoftwareUpdater::isProgram("/opt/missing"));
    }

    void loaderLink_data()
    {
        QTest::addColumn<QString>("before");    // "" none, "file" a plain file, else a loader name
        QTest::addColumn<QString>("after");
        QTest::newRow("created") << "" << "loader_1_0_4";
        QTest::newRow("switched") << "loader_1_0_3" << "loader_1_0_4";
        QTest::newRow("already right") << "loader_1_0_4" << "loader_1_0_4";
        QTest::newRow("plain file left alone") << "file" << "file";
    }
    void loaderLink()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        TestRoot root;
        root.writeFile(ProgramFolder + "/ORBELIN_Vn_1_0_3", PackageMaker::elf("1.0.3"));
        root.writeFile("/root/loader_1_0_3", "#!/bin/sh\n");
        root.writeFile("/root/loader_1_0_4", "#!/bin/sh\n");
        if (before == "file")
            root.writeFile("/root/loader", "not a link");
        else if (!before.isEmpty())
            QVERIFY(QFile::link(root.path("/root/" + before), root.path("/root/loader")));
        writePackage(root, {TarMember::file("loader_1_0_4", "#!/bin/sh\n# new\n")});
        QVERIFY(update().ok);
        if (after == "file") {
            QCOMPARE(root.readFile("/root/loader"), QByteArray("not a link"));
        } else {
            QCOMPARE(linkTarget(root, "/root/loader"), after);
            // The link names the loader by its absolute path in its own root.
            QCOMPARE(QFile::symLinkTarget(root.path("/root/loader")), root.path("/root/" + after));
        }
    }

    void loaderLinkKeptWhenItCannotBeSwitched()
    {
        TestRoot root;
        install103(root);
        // Something occupies the name the new link is made under before it is renamed.
        root.writeFile("/root/loader.new/in the way", "x");
        writePackage(root, {TarMember::file("loader_1_0_4", "#!/bin/sh\n")});
        const Outcome outcome = update();
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.error, NoExistInstalledFile);
        QCOMPARE(linkTarget(root, "/root/loader"), QString("loader_1_0_3"));
    }

    void badSettings_data()
    {
        QTest::addColumn<QString>("installFolder");
        QTest::addColumn<QString>("package");
        QTest::addColumn<QString>("backupFolder");
        QTest::addColumn<QString>("backupName");
        QTest::addColumn<QString>("link");      // made to point at the saved counts
        QTest::addColumn<int>("error");
        QTest::newRow("install folder missing") << "/nowhere" << Package << "/root/restore" << "a.ovn" << "" << int(InvalidSettings);
        QTest::newRow("no package") << ProgramFolder << "" << "/root/restore" << "a.ovn" << "" << int(InvalidSettings);
        QTest::newRow("package missing") << ProgramFolder << "/media/STICK/none.ovn" << "/root/restore" << "a.ovn" << "" << int(NoExistUpdateFile);
        QTest::newRow("empty backup folder") << ProgramFolder << Package << "" << "a.ovn" << "" << int(BackupFailed);
        QTest::newRow("relative backup folder") << ProgramFolder << Package << "restore" << "a.ovn" << "" << int(BackupFailed);
        QTest::newRow("backup into the program folder") << ProgramFolder << Package << ProgramFolder << "a.ovn" << "" << int(BackupFailed);
        QTest::newRow("backup inside the program folder") << ProgramFolder << Package << ProgramFolder + "/restore" << "a.ovn" << "" << int(BackupFailed);
        QTest::newRow("no backup name") << ProgramFolder << Package << "/root/restore" << "" << "" << int(BackupFailed);
        // The old backup was deleted through the link: the saved counts went with it.
        QTest::newRow("backup folder is a link") << ProgramFolder << Package << "/root/restore" << "a.ovn" << "/root/restore" << int(BackupFailed);
        QTest::newRow("backup folder under a link") << ProgramFolder << Package << "/root/saved/Counts" << "a.ovn" << "/root/saved" << int(BackupFailed);
        QTest::newRow("backup name with a folder") << ProgramFolder << Package << "/root/restore" << "../a.ovn" << "" << int(BackupFailed);
    }
    void badSettings()
    {
        QFETCH(QString, installFolder);
        QFETCH(QString, package);
        QFETCH(QString, backupFolder);
        QFETCH(QString, backupName);
        QFETCH(QString, link);
        QFETCH(int, error);
        TestRoot root;
        install103(root);
        root.writeFile("/ORBELIN/Counts/Yeast_0302/01_RAW.tif", "image");
        if (link.isEmpty())
            root.writeFile("/root/restore/ORBELIN_Vn_1_0_2.ovn", "old archive");
        else
            QVERIFY(QFile::link(root.path("/ORBELIN"), root.path(link)));
        writePackage(root, {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4"))});
        const auto before = PackageMaker::snapshot(root.root(), NotChecked);
        SoftwareUpdater updater;
        SoftwareUpdateDialog::configureUpdater(updater, package, installFolder, backupName);
        updater.setBackupDirPath(backupFolder);
        const Outcome outcome = run(updater);
        QCOMPARE(outcome.count, 1);
        QVERIFY(!outcome.ok);
        QCOMPARE(int(outcome.error), error);
        QCOMPARE(int(updater.error()), error);
        QCOMPARE(PackageMaker::snapshot(root.root(), NotChecked), before);
    }

    void backupKeptWhenTheNewArchiveFails_data()
    {
        QTest::addColumn<QByteArray>("fakeCreate");
        QTest::newRow("tar fails") << QByteArray("exit 2");
        QTest::newRow("archive unreadable") << QByteArray(
            "while [ $# -gt 0 ]; do [ \"$1\" = --file ] && printf 'garbage' > \"$2\"; shift; done; exit 0");
    }
    void backupKeptWhenTheNewArchiveFails()
    {
        QFETCH(QByteArray, fakeCreate);
        TestRoot root;
        install103(root);
        root.writeFile("/root/restore/ORBELIN_Vn_1_0_2.ovn", "old archive");
        writePackage(root, {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4"))});
        // tar that fails to archive, and behaves otherwise.
        root.fakeProgramScript("tar", "case \" $* \" in *\" --create \"*) " + fakeCreate + " ;; esac\n"
                                      "exec /usr/bin/tar \"$@\"");
        const Outcome outcome = update();
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.error, BackupFailed);
        QCOMPARE(root.readFile("/root/restore/ORBELIN_Vn_1_0_2.ovn"), QByteArray("old archive"));
        QCOMPARE(QDir(root.path("/root/restore")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"ORBELIN_Vn_1_0_2.ovn"});
        QVERIFY(!QFile::exists(root.path(ProgramFolder + "/ORBELIN_Vn_1_0_4")));
    }

    void badPackagesChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("package");
        const QByteArray good = PackageMaker::package(
            {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf(QByteArray(200000, 'x'))),
             TarMember::file("loader_1_0_4", "#!/bin/sh\n")});
        QTest::newRow("truncated") << good.left(good.size() / 2);
        QTest::newRow("not a package") << QByteArray("PK\x03\x04 a zip file");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("no members") << PackageMaker::package({});
        QTest::newRow("only hidden files") << PackageMaker::package({TarMember::file(".profile", "x")});
        QTest::newRow("link to /") << PackageMaker::package(
            {TarMember::symlink("ORBELIN_Vn", "/"), TarMember::file("ORBELIN_Vn/etc/passwd", "x")});
        QTest::newRow("link to a system file") << PackageMaker::package(
            {TarMember::symlink("loader_1_0_4", "/etc/shadow")});
        TarMember hard = TarMember::file("loader_1_0_4", "");
        hard.type = '1';
        hard.link = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
        QTest::newRow("hard link") << PackageMaker::package({hard});
        QTest::newRow("../ name") << PackageMaker::package(
            {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("x")),
             TarMember::file("../../root/ORBELIN_Vn/ORBELIN_Vn.ini", "[Security]\nEnable=True\n")});
        QTest::newRow("absolute name") << PackageMaker::package(
            {TarMember::file("/root/ORBELIN_Vn/ORBELIN_Vn.ini", "[Security]\nEnable=True\n")});
        QTest::newRow("top-level folder") << PackageMaker::package(
            {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("x")),
             TarMember::folder("Protocol/"), TarMember::file("Protocol/DEFAULT.ini", "x")});
        QTest::newRow("set-user-id file") << PackageMaker::package(
            {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("x"), 04755)});
        QTest::newRow("set-group-id file") << PackageMaker::package(
            {TarMember::file("helper", PackageMaker::elf("x"), 02755)});
        TarMember device = TarMember::file("console", "");
        device.type = '3';
        QTest::newRow("device file") << PackageMaker::package({device});
        QTest::newRow("unpacks to more than the free space")
            << PackageMaker::oversized("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4"));
    }
    void badPackagesChangeNothing()
    {
        QFETCH(QByteArray, package);
        TestRoot root;
        install103(root);
        root.writeFile("/root/restore/ORBELIN_Vn_1_0_2.ovn", "old archive");
        root.writeFile("/etc/passwd", "root:x:0:0\n");
        root.writeFile("/etc/shadow", "secret\n");
        QVERIFY(root.writeFile(Package, package));
        const auto before = PackageMaker::snapshot(root.root(), NotChecked);
        const Outcome outcome = update();
        QCOMPARE(outcome.count, 1);
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.error, InvalidUpdateFile);
        QCOMPARE(PackageMaker::snapshot(root.root(), NotChecked), before);
        QVERIFY(!QFile::exists(root.path("/root/.temp")));
    }

    void staleWorkFolderLinkNotFollowed()
    {
        TestRoot root;
        install103(root);
        root.writeFile("/ORBELIN/Counts/keep.tif", "image");
        // A link left where the unpack folder goes must be removed, not emptied through.
        QVERIFY(QFile::link(root.path("/ORBELIN"), root.path("/root/.temp")));
        writePackage(root, {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4"))});
        QVERIFY(update().ok);
        QCOMPARE(root.readFile("/ORBELIN/Counts/keep.tif"), QByteArray("image"));
    }

    void targetLinkReplacedNotWrittenThrough()
    {
        TestRoot root;
        install103(root);
        root.writeFile("/etc/passwd", "root:x:0:0\n");
        QVERIFY(QFile::link(root.path("/etc/passwd"), root.path(ProgramFolder + "/notes.txt")));
        writePackage(root, {TarMember::file("notes.txt", "new notes")});
        QVERIFY(update().ok);
        QCOMPARE(root.readFile("/etc/passwd"), QByteArray("root:x:0:0\n"));
        QCOMPARE(root.readFile(ProgramFolder + "/notes.txt"), QByteArray("new notes"));
        QVERIFY(!QFileInfo(root.path(ProgramFolder + "/notes.txt")).isSymLink());
    }

    void missingTargetFolderFailsVerification()
    {
        TestRoot root;
        root.mkdir("/opt/app");
        root.mkdir("/root");
        writePackage(root, {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4"))});
        SoftwareUpdater updater;
        SoftwareUpdateDialog::configureUpdater(updater, Package, "/opt/app", "app.ovn");
        const Outcome outcome = run(updater);
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.error, NoExistInstalledFile);
    }

    void existUpdateFilesNeedsAMountedVolume()
    {
        TestRoot root;
        root.writeFile("/ORBELIN_Vn_1_0_4.ovn", "x");
        QDir dir;
        QList<QFileInfo> files;
        // Nothing is mounted until the media monitor has looked.
        QVERIFY(!SoftwareUpdater::existUpdateFiles(dir, files, {"ORBELIN_Vn_*_*_*.ovn"}));
    }
};

QTEST_GUILESS_MAIN(SoftwareUpdaterTest)
#include "tst_SoftwareUpdater.moc"
