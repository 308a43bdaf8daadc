#include "DemoSoftware.h"
#include "FolderWalk.h"
#include "PackageArchive.h"
#include "PackageMaker.h"
#include "SoftwareUpdateDialog.h"
#include "SoftwareUpdater.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QString Package = QStringLiteral("/media/STICK/ORBELIN_Vn_1_0_4.ovn");
const QString DemoPackage = QStringLiteral("/media/STICK/ORBELIN_Vn-Demo.ovn");
const QString ProgramFolder = QStringLiteral("/root/ORBELIN_Vn");
const int Demo = -1;        // in place of an updater error: the package goes to the demo install

QByteArray program(const QByteArray &name = "ORBELIN_Vn_1_0_4")
{
    return PackageMaker::package({TarMember::file(name, PackageMaker::elf(name))});
}

// Turns root's override of file permissions on or off for the calling thread and the
// threads it starts from then on; false when the kernel refuses.
bool overridePermissions(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2];
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const quint32 bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective = on ? data[0].effective | (data[0].permitted & bits) : data[0].effective & ~bits;
    return ::syscall(SYS_capset, &header, data) == 0;
}

// The real path of an instrument path given as bytes, names that are not UTF-8 included.
QByteArray rawPath(const TestRoot &root, const QByteArray &path)
{
    return QFile::encodeName(root.root()) + path;
}

// The permissions of an entry by its raw path; -1 when there is none.
int rawMode(const TestRoot &root, const QByteArray &path)
{
    struct stat st;
    return ::lstat(rawPath(root, path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QByteArray readRaw(const TestRoot &root, const QByteArray &path)
{
    QFile file;
    const int fd = ::open(rawPath(root, path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return "(missing)";
    return file.readAll();
}

// Writes a file by raw names, making the folders on the way.
bool writeRaw(const TestRoot &root, const QByteArray &path, const QByteArray &data)
{
    const QByteArray real = rawPath(root, path);
    for (int slash = real.indexOf('/', 1); slash > 0; slash = real.indexOf('/', slash + 1))
        ::mkdir(real.left(slash).constData(), 0755);
    QFile file;
    const int fd = ::open(real.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd >= 0 && file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)
        && file.write(data) == data.size();
}

// Sets or clears the immutable flag of a file or folder: nothing in it can be removed, not
// even by root. False where the file system keeps no such flag.
bool setImmutable(const QString &realPath, bool on)
{
    const int fd = ::open(QFile::encodeName(realPath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    const bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0
        && (flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL,
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// "/root" on a tmpfs of its own in the test's private mount namespace, where a fault made
// by a test ends with the test; false, with the reason, where the kernel refuses.
bool tmpfsRoot(const TestRoot &root, Volumes &volumes, QString *why)
{
    return root.mkdir("/root") && volumes.mount(root.path("/root"), why);
}

// Runs an action once, on the first debug message holding a text, in the thread that logs
// it; messages still reach the test's log (and its ignoreMessage) as before.
class MessageHook
{
public:
    MessageHook(const QString &text, std::function<void()> action)
    {
        s_Text = text;
        s_Action = std::move(action);
        s_Previous = qInstallMessageHandler(handle);
    }
    ~MessageHook()
    {
        qInstallMessageHandler(s_Previous);
        s_Action = nullptr;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (s_Action && message.contains(s_Text)) {
            const std::function<void()> action = std::move(s_Action);
            s_Action = nullptr;
            action();
        }
        s_Previous(type, context, message);
    }
    static QString s_Text;
    static std::function<void()> s_Action;
    static QtMessageHandler s_Previous;
};

QString MessageHook::s_Text;
std::function<void()> MessageHook::s_Action;
QtMessageHandler MessageHook::s_Previous = nullptr;

} // namespace

// Package installation: version names, the package checks, software updates and the demo
// package, each in a temporary root.
class SoftwareUpdaterTest : public QObject
{
    Q_OBJECT

private:
    // An instrument with version 1.0.3 installed, its loader link, settings, results log,
    // a protocol, saved counts and the last backup.
    static void instrument(TestRoot &root)
    {
        root.writeFile(ProgramFolder + "/ORBELIN_Vn_1_0_3", PackageMaker::elf("1.0.3"));
        root.writeFile(ProgramFolder + "/ORBELIN_Vn.ini", "[Security]\nEnable=True\n");
        root.writeFile(ProgramFolder + "/CountingResults.csv", "results");
        root.writeFile(ProgramFolder + "/Protocol/Yeast.ini", "protocol");
        root.writeFile("/root/restore/ORBELIN_Vn_1_0_2.ovn", "old archive");
        root.writeFile("/ORBELIN/Counts/a.tif", "image");
        root.writeFile("/root/loader_1_0_3", "#!/bin/sh\n# 1.0.3\n");
        QVERIFY(QFile::link(root.path("/root/loader_1_0_3"), root.path("/root/loader")));
    }

    // The error the one signalUpdated reports; -1 when there is not exactly one, or when
    // its verdict and its error disagree. Without override, the updater's thread has no
    // override of file permissions (-2 when that cannot be had).
    static int run(SoftwareUpdater &updater, bool override = true)
    {
        QSignalSpy spy(&updater, &SoftwareUpdater::signalUpdated);
        if (!override && !overridePermissions(false))
            return -2;
        updater.start();
        if (!override && !overridePermissions(true))
            qFatal("cannot restore the test's permissions");
        if (!updater.wait(60000) || spy.count() != 1)
            return -1;
        const int error = spy.first().at(1).value<SoftwareUpdaterError>();
        return spy.first().at(0).toBool() == (error == NoError) ? error : -1;
    }

    // Configured as the update dialog does, installing into the given folder.
    static int update(const QString &folder = ProgramFolder)
    {
        SoftwareUpdater updater;
        SoftwareUpdateDialog::configureUpdater(updater, Package, folder, "ORBELIN_Vn_1_0_3.ovn");
        return run(updater);
    }

    static int mode(TestRoot &root, const QString &path)
    {
        struct stat st;
        return ::lstat(QFile::encodeName(root.path(path)).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    }

private Q_SLOTS:
    // A copy's number joins the last number; a number too large reads as 0; only ASCII
    // digits count.
    void versionNames()
    {
        const QString copy = "ORBELIN_Vn_1_0_4 (1).ovn";
        QCOMPARE(SoftwareUpdater::StringToSoftwareVersion(copy, "ORBELIN_Vn_", ".ovn"), QString("1.0.41"));
        QCOMPARE(SoftwareUpdater::IntegerToSoftwareVersion(copy, "ORBELIN_Vn", "ovn"), 1041);
        QCOMPARE(SoftwareUpdater::IntegerToSoftwareVersion("ORBELIN_Vn_2_147_483_648", "ORBELIN_Vn", "ovn"), 0);
        QCOMPARE(SoftwareUpdater::StringToSoftwareVersion(QString::fromUtf8("ORBELIN_Vn_\xd9\xa3_1_0"),
                                                          "ORBELIN_Vn_", ".ovn"), QString(".1.0"));
    }

    // Every member as tar lists it, the name exactly as stored, and none refused.
    void listing()
    {
        const QList<QByteArray> names = {
            " lead and trail ", "..hidden/x..y", "./loader_1_0_4", "a\\nb", "Z\xc3\xa4hler",
            "\x01" "8",
            // A line feed cannot smuggle a second, harmless-looking listing line.
            "x\n-rw-r--r-- 0/0 1 2024-01-01 00:00:00 ../evil"};
        QList<TarMember> members;
        for (const QByteArray &name : names)
            members << TarMember::file(name, "x");
        TestRoot root;
        root.writeFile("/p.ovn", PackageMaker::package(members));
        QList<PackageEntry> entries;
        QString error;
        QVERIFY2(PackageArchive::list("/p.ovn", [&entries](const PackageEntry &entry) {
            entries << entry;
            return QString();
        }, &error), qPrintable(error));
        QCOMPARE(entries.size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(entries.at(i).name, QString::fromUtf8(names.at(i)));
            QCOMPARE(entries.at(i).type, QChar('-'));
            QCOMPARE(PackageArchive::refusal(entries.at(i)), QString());
        }
    }

    // Before: refusals were built with chained arg() calls, so a "%2" in a member's name
    // took the number meant for the message.
    void refusalKeepsTheName()
    {
        PackageEntry entry;
        entry.type = QChar('-');
        entry.mode = "rw-r--r--";
        entry.size = 1;
        entry.name = QString("run%2/").repeated(257) + "x";
        QCOMPARE(PackageArchive::refusal(entry),
                 entry.name + QString(" lies more than 256 folders deep"));
        TestRoot root;
        QVERIFY(root.mkdir("/root"));
        const QString why = PackageArchive::roomRefusal({{"/root/100%2 full", quint64(1) << 50, 1}});
        QVERIFY2(why.startsWith("it writes 1073741824 MiB in /root/100%2 full, where "),
                 qPrintable(why));
    }

    // At most 100,000 files and folders, folders made on the way to a member counted (the
    // refusal of 100,001 files is below); the listing is refused at the first beyond, before
    // the installer's own verdict.
    void memberLimit_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("100,000 files") << PackageMaker::manyFiles(100000) << "the installer's";
        QList<TarMember> folders;
        for (int i = 0; i < 33334; ++i)
            folders << TarMember::file("d" + QByteArray::number(i) + "/e/f", QByteArray());
        QTest::newRow("33,334 files, each two folders deep")
            << PackageMaker::package(folders) << "holds more than 100000 files and folders";
    }
    void memberLimit()
    {
        QFETCH(QByteArray, package);
        QFETCH(QString, refusal);
        TestRoot root;
        QVERIFY(root.writeFile("/p.ovn", package));
        QVERIFY(root.mkdir("/unpack"));
        QString error;
        QVERIFY(!PackageArchive::unpack("/p.ovn", "/unpack", [](const PackageContent &, QList<PackageWrite> *) {
            return QStringLiteral("the installer's");
        }, &error));
        QVERIFY2(error.endsWith(refusal), qPrintable(error));
    }

    // Files go where the rules say, the backup holds the old program folder, and no link
    // on the way is written through.
    void installsByRules()
    {
        TestRoot root;
        instrument(root);
        root.writeFile("/root/restore/old/file", "old");
        root.writeFile("/etc/passwd", "root:x:0:0\n");
        // A link where a file goes is replaced; a link where the unpack folder goes is
        // removed, not emptied through.
        QVERIFY(QFile::link(root.path("/etc/passwd"), root.path(ProgramFolder + "/notes.txt")));
        QVERIFY(QFile::link(root.path("/ORBELIN"), root.path("/root/.temp")));
        QVERIFY(root.writeFile(Package, PackageMaker::package(
            {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4")),
             TarMember::file("loader_1_0_4", "#!/bin/sh\n# 1.0.4\n"),
             TarMember::file("libfoo.so.1", PackageMaker::elf("lib"), 0600),
             TarMember::file("notes.txt", "read me", 0700),
             TarMember::file("Verifier", "#!/bin/sh\n"),
             TarMember::file(".profile", "hidden")})));
        QCOMPARE(update(), int(NoError));
        QCOMPARE(root.readFile(ProgramFolder + "/ORBELIN_Vn_1_0_4"), PackageMaker::elf("1.0.4"));
        QCOMPARE((QList<int>{mode(root, ProgramFolder + "/ORBELIN_Vn_1_0_4"), mode(root, "/root/loader_1_0_4"),
                             mode(root, ProgramFolder + "/Verifier"), mode(root, ProgramFolder + "/libfoo.so.1"),
                             mode(root, ProgramFolder + "/notes.txt")}), (QList<int>{0755, 0755, 0755, 0755, 0666}));
        QCOMPARE(root.readFile(ProgramFolder + "/notes.txt"), QByteArray("read me"));
        QCOMPARE(root.readFile("/etc/passwd"), QByteArray("root:x:0:0\n"));
        QCOMPARE(root.readFile("/ORBELIN/Counts/a.tif"), QByteArray("image"));
        QVERIFY(!QFile::exists(root.path(ProgramFolder + "/.profile")));
        QVERIFY(QFile::exists(root.path(ProgramFolder + "/ORBELIN_Vn_1_0_3")));
        QCOMPARE(QFile::symLinkTarget(root.path("/root/loader")), root.path("/root/loader_1_0_4"));
        QVERIFY(!QFileInfo::exists(root.path("/root/.temp")));
        // The backup replaced the last one; what it holds is the update journey's.
        QCOMPARE(QDir(root.path("/root/restore")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"ORBELIN_Vn_1_0_3.ovn"});
    }

    void loaderLink_data()
    {
        QTest::addColumn<QString>("before");    // "" none, "file" a plain file, else a loader name
        QTest::addColumn<QByteArray>("loader"); // in the package, beside a program
        QTest::addColumn<QString>("obstacle");  // a folder where the installer writes
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("after");
        QTest::newRow("created") << "" << QByteArray("loader_1_0_4") << "" << int(NoError) << "loader_1_0_4";
        QTest::newRow("plain file left alone") << "file" << QByteArray("loader_1_0_4") << "" << int(NoError) << "file";
        // Only a whole loader name may become the link's target.
        QTest::newRow("name merely holding a loader name")
            << "loader_1_0_3" << QByteArray("loader_1_0_4.txt") << "" << int(NoError) << "loader_1_0_3";
        QTest::newRow("new link cannot be made") << "loader_1_0_3" << QByteArray("loader_1_0_4")
            << "/root/loader.new" << int(NoExistInstalledFile) << "loader_1_0_3";
        QTest::newRow("program cannot be copied") << "loader_1_0_3" << QByteArray("loader_1_0_4")
            << ProgramFolder + "/ORBELIN_Vn_1_0_4" << int(NoExistInstalledFile) << "loader_1_0_3";
        // The loader's program is installed already; the package's program is of another version.
        QTest::newRow("loader of the installed program")
            << "loader_1_0_4" << QByteArray("loader_1_0_3") << "" << int(NoError) << "loader_1_0_3";
        // Held back as a running program, the program the loader starts is not there after all.
        QTest::newRow("loader's program not installed")
            << "loader_1_0_3" << QByteArray("loader_1_0_4") << "running" << int(InvalidUpdateFile)
            << "loader_1_0_3";
    }
    void loaderLink()
    {
        QFETCH(QString, before);
        QFETCH(QByteArray, loader);
        QFETCH(QString, obstacle);
        QFETCH(int, error);
        QFETCH(QString, after);
        TestRoot root;
        root.writeFile(ProgramFolder + "/ORBELIN_Vn_1_0_3", PackageMaker::elf("1.0.3"));
        QVERIFY(QFile::setPermissions(root.path(ProgramFolder + "/ORBELIN_Vn_1_0_3"), QFile::ExeOwner | QFile::ReadOwner));
        root.writeFile("/root/loader_1_0_3", "#!/bin/sh\n");
        if (before == "file")
            root.writeFile("/root/loader", "not a link");
        else if (!before.isEmpty())
            QVERIFY(QFile::link(root.path("/root/" + before), root.path("/root/loader")));
        if (obstacle == "running")
            root.writeFile("/proc/42/cmdline", QByteArray("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_4\0", 34));
        else if (!obstacle.isEmpty())
            root.writeFile(obstacle + "/in the way", "x");
        root.writeFile(Package, PackageMaker::package(
            {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4")),
             TarMember::file(loader, "#!/bin/sh\n")}));
        QCOMPARE(update(), error);
        if (after == "file")
            QCOMPARE(root.readFile("/root/loader"), QByteArray("not a link"));
        else    // the link names the loader by its absolute path in its own root
            QCOMPARE(QFile::symLinkTarget(root.path("/root/loader")), root.path("/root/" + after));
    }

    // A loader that cannot be read fails the update, and the link stays; before, its
    // program was guessed from its name and the link switched to it.
    void unreadableLoader_data()
    {
        QTest::addColumn<bool>("installed");    // unreadable once installed, else once unpacked
        QTest::newRow("unpacked") << false;
        QTest::newRow("installed") << true;
    }
    void unreadableLoader()
    {
        QFETCH(bool, installed);
        TestRoot root;
        instrument(root);
        QVERIFY(root.writeFile(Package, PackageMaker::package(
            {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4")),
             TarMember::file("loader_1_0_4", "#!/bin/sh\n")})));
        SoftwareUpdater updater;
        SoftwareUpdateDialog::configureUpdater(updater, Package, ProgramFolder, "ORBELIN_Vn_1_0_3.ovn");
        if (installed) {
            const FileInfo loader{QRegExp("loader_[0-9]_[0-9]_[0-9]"), "/root",
                                  QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther};
            updater.setLoaderAndSymbolicLink(loader, "loader");
            updater.setFileInfoList({loader, {QRegExp("ORBELIN_Vn_[0-9]_[0-9]_[0-9]"), ProgramFolder,
                                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner}});
        } else {
            root.fakeProgramScript("tar", "/usr/bin/tar \"$@\" || exit\n"
                "for a; do [ \"$prev\" = --directory ] && dir=$a; prev=$a; done\n"
                "case \" $* \" in *\" --extract \"*) chmod 000 \"$dir/loader_1_0_4\" ;; esac");
        }
        const auto before = PackageMaker::snapshot(root.root(), {"/calls"});
        const int error = run(updater, false);
        if (error == -2)
            QSKIP("root's override of file permissions cannot be turned off here");
        QCOMPARE(error, int(InvalidUpdateFile));
        QCOMPARE(QFile::symLinkTarget(root.path("/root/loader")), root.path("/root/loader_1_0_3"));
        if (!installed)
            QCOMPARE(PackageMaker::snapshot(root.root(), {"/calls"}), before);
    }

    // A running program's file is left alone; every other file of the package goes in.
    void runningProgramNotReplaced()
    {
        TestRoot root;
        instrument(root);
        root.writeFile("/opt/app/helper", PackageMaker::elf("old helper"));
        root.writeFile("/proc/4242/cmdline", QByteArray("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_3 --x\0", 38));
        root.writeFile("/proc/4243/cmdline", QByteArray("/opt/app/helper\0-a\0", 19));
        root.writeFile("/proc/77/cmdline", QByteArray("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_40\0", 35));
        root.writeFile("/proc/78/cmdline", QByteArray("./tool\0", 7));
        root.writeFile("/proc/acpi/cmdline", QByteArray("/opt/app/other\0", 15));
        root.writeFile(Package, PackageMaker::package(
            {TarMember::file("ORBELIN_Vn_1_0_3", PackageMaker::elf("rebuilt 1.0.3")),
             TarMember::file("helper", PackageMaker::elf("new helper")),
             TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4")),
             TarMember::file("tool", PackageMaker::elf("tool")),
             TarMember::file("other", PackageMaker::elf("other"))}));
        QCOMPARE(update("/opt/app"), int(NoError));
        QCOMPARE(root.readFile(ProgramFolder + "/ORBELIN_Vn_1_0_3"), PackageMaker::elf("1.0.3"));
        QCOMPARE(root.readFile("/opt/app/helper"), PackageMaker::elf("old helper"));
        QCOMPARE(root.readFile(ProgramFolder + "/ORBELIN_Vn_1_0_4"), PackageMaker::elf("1.0.4"));
        QCOMPARE(root.readFile("/opt/app/tool"), PackageMaker::elf("tool"));
        QCOMPARE(root.readFile("/opt/app/other"), PackageMaker::elf("other"));
        // The running program matched only the program rule: it goes nowhere else either.
        QVERIFY(!QFile::exists(root.path("/opt/app/ORBELIN_Vn_1_0_3")));
    }

    void badSettings_data()
    {
        QTest::addColumn<QString>("installFolder");
        QTest::addColumn<QString>("package");
        QTest::addColumn<QString>("backupFolder");
        QTest::addColumn<QString>("backupName");
        QTest::addColumn<QString>("link");      // made to point at the saved counts
        QTest::addColumn<int>("error");
        const QString restore = "/root/restore";
        QTest::newRow("install folder missing") << "/nowhere" << Package << restore << "a.ovn" << "" << int(InvalidSettings);
        QTest::newRow("package missing") << ProgramFolder << "/media/STICK/none.ovn" << restore << "a.ovn" << "" << int(NoExistUpdateFile);
        QTest::newRow("empty backup folder") << ProgramFolder << Package << "" << "a.ovn" << "" << int(BackupFailed);
        QTest::newRow("relative backup folder") << ProgramFolder << Package << "restore" << "a.ovn" << "" << int(BackupFailed);
        QTest::newRow("backup inside the program folder") << ProgramFolder << Package << ProgramFolder + "/restore" << "a.ovn" << "" << int(BackupFailed);
        QTest::newRow("backup name with a folder") << ProgramFolder << Package << restore << "../a.ovn" << "" << int(BackupFailed);
        // The old backup was deleted through the link: the saved counts went with it.
        QTest::newRow("backup folder is a link") << ProgramFolder << Package << restore << "a.ovn" << restore << int(BackupFailed);
        QTest::newRow("backup folder under a link") << ProgramFolder << Package << "/root/saved/Counts" << "a.ovn" << "/root/saved" << int(BackupFailed);
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
        instrument(root);
        if (!link.isEmpty()) {
            QVERIFY(QDir(root.path("/root/restore")).removeRecursively());
            QVERIFY(QFile::link(root.path("/ORBELIN"), root.path(link)));
        }
        root.writeFile(Package, program());
        const auto before = PackageMaker::snapshot(root.root(), {"/root/.temp", "/calls"});
        SoftwareUpdater updater;
        SoftwareUpdateDialog::configureUpdater(updater, package, installFolder, backupName);
        updater.setBackupDirPath(backupFolder);
        QCOMPARE(run(updater), error);
        QCOMPARE(int(updater.error()), error);
        QCOMPARE(PackageMaker::snapshot(root.root(), {"/root/.temp", "/calls"}), before);
    }

    // A package refused by the updater or the demo install, or a backup that cannot be
    // made, changes nothing outside the unpack folder, which is gone afterwards.
    void refusedPackagesChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<QByteArray>("fakeTar");    // bash, before the real tar runs
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("unpacks");          // or is refused from tar's listing
        const auto refused = [](const char *row, const QList<TarMember> &members, bool unpacks = false) {
            QTest::newRow(row) << PackageMaker::package(members) << QByteArray() << int(InvalidUpdateFile) << unpacks;
        };
        const auto demo = [](const char *row, const QList<TarMember> &members, bool unpacks = false) {
            QTest::newRow(row) << PackageMaker::package(members) << QByteArray() << Demo << unpacks;
        };
        const auto fakeTar = [](const char *row, const char *action, const QByteArray &script, int error,
                                const QByteArray &package = program()) {
            QTest::newRow(row) << package << "case \" $* \" in *\" " + QByteArray(action) + " \"*)\n"
                "  while [ $# -gt 0 ]; do case $1 in --directory) dir=$2 ;; --file) file=$2 ;; esac; shift; done\n  "
                + script + "\n  exit 0 ;;\nesac" << error << true;
        };
        const TarMember exe = TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("x"));
        const QByteArray good = PackageMaker::package(
            {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf(QByteArray(200000, 'x')))});
        QTest::newRow("truncated") << good.left(good.size() / 2) << QByteArray() << int(InvalidUpdateFile) << false;
        refused("no members", {});
        refused("only hidden files", {TarMember::file(".profile", "x")});
        refused("link to /", {TarMember::symlink("ORBELIN_Vn", "/"), TarMember::file("ORBELIN_Vn/etc/passwd", "x")});
        TarMember hard = TarMember::file("loader_1_0_4", "");
        hard.type = '1';
        hard.link = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
        refused("hard link", {hard});
        refused("../ name", {exe, TarMember::file("x/../../root/ORBELIN_Vn/ORBELIN_Vn.ini", "[Security]\n")});
        refused("absolute name", {TarMember::file("/root/ORBELIN_Vn/ORBELIN_Vn.ini", "[Security]\n")});
        refused("top-level folder", {exe, TarMember::folder("Protocol/"), TarMember::file("Protocol/DEFAULT.ini", "x")});
        refused("top-level folder made on the way", {exe, TarMember::file("Protocol/DEFAULT.ini", "x")});
        // Before, a million members took half a minute and were all unpacked before the
        // package was refused.
        QTest::newRow("more than 100,000 members") << PackageMaker::manyFiles(100001) << QByteArray() << int(InvalidUpdateFile) << false;
        // The launcher would start a loader whose program is not there (status 127).
        const QByteArray loader = "#!/bin/sh\nexec \"$ORBELIN_ROOT/root/ORBELIN_Vn/ORBELIN_Vn_1_0_4\"\n";
        refused("a loader without its program", {TarMember::file("loader_1_0_4", "#!/bin/sh\n# 1.0.4\n", 0755)}, true);
        refused("a loader of another version than the program",
                {TarMember::file("ORBELIN_Vn_1_0_5", PackageMaker::elf("1.0.5")), TarMember::file("loader_1_0_4", "#!/bin/sh\n")}, true);
        refused("a loader starting another version",
                {exe, TarMember::file("loader_1_0_4", QByteArray(loader).replace("1_0_4", "1_0_5"))}, true);
        refused("a loader starting a program that is not executable",
                {TarMember::file("loader_1_0_3", QByteArray(loader).replace("1_0_4", "1_0_3"))}, true);
        refused("set-user-id file", {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("x"), 04755)});
        refused("set-group-id file", {TarMember::file("helper", PackageMaker::elf("x"), 02755)});
        TarMember device = TarMember::file("console", "");
        device.type = '3';
        refused("device file", {device});
        const QByteArray huge = PackageMaker::oversized("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4"));
        QTest::newRow("unpacks to more than the free space") << huge << QByteArray() << int(InvalidUpdateFile) << false;
        // A tar that lists one thing and unpacks another is caught by the check afterwards.
        fakeTar("unpacked: symbolic link", "--extract", "ln -s / \"$dir/root\"", InvalidUpdateFile);
        fakeTar("unpacked: set-user-id", "--extract", "echo x > \"$dir/s\"; chmod 4755 \"$dir/s\"", InvalidUpdateFile);
        fakeTar("unpacked: hard link", "--extract", "echo x > \"$dir/a\"; ln \"$dir/a\" \"$dir/b\"", InvalidUpdateFile);
        fakeTar("unpacked: a file not listed", "--extract",
                "/usr/bin/tar -xzf \"$file\" -C \"$dir\" && echo x > \"$dir/extra.so\"", InvalidUpdateFile);
        fakeTar("unpack stops half-way", "--extract", "echo half > \"$dir/ORBELIN_Vn_1_0_4\"; exit 2", InvalidUpdateFile);
        // The last backup stays until the new one is known to be good.
        fakeTar("backup fails", "--create", "exit 2", BackupFailed);
        fakeTar("backup unreadable", "--create", "printf garbage > \"$file\"", BackupFailed);

        const TarMember demoProgram = TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("demo"));
        demo("demo: no demo program", {TarMember::file("readme", "x")});
        demo("demo: demo program is a folder", {TarMember::folder("ORBELIN_Vn-demo/"), TarMember::file("ORBELIN_Vn-demo/x", "x")});
        // Names the installed system lives by. A folder named loader replaced the launcher's
        // link, and nothing started.
        for (const char *name : {"loader/", "loader_1_0_4/", "ORBELIN_Vn/", "ORBELIN_Vn_1_0_3", "temp/",
                                 "restore/", "ORBELIN_Vn.ini", "CountingResults.csv"})
            demo(qPrintable(QString("demo: ") + name),
                 {demoProgram, QByteArray(name).endsWith('/') ? TarMember::folder(name) : TarMember::file(name, "x")});
        // Folders deeper than a removal enters would be left in /root/temp, failing every
        // later install.
        demo("demo: folders more than 256 deep",
             {demoProgram, TarMember::file("DemoData/" + QByteArray("d/").repeated(FolderWalk::MaxDepth) + "f", "x")});
        // A lying tar's link, passed over by a check that skipped such names, was followed
        // by the copy.
        fakeTar("demo: unpacked link, its name not UTF-8", "--extract",
                "/usr/bin/tar -xzf \"$file\" -C \"$dir\""
                " && ln -s \"$ORBELIN_ROOT/ORBELIN\" \"$dir/DemoData/caf\xe9\"",
                Demo, PackageMaker::package({demoProgram, TarMember::file("DemoData/one.tif", "1")}));
        QTest::newRow("demo: more than 100,000 members") << PackageMaker::manyFiles(100001) << QByteArray() << Demo << false;
        QTest::newRow("demo: unpacks to more than the free space")
            << PackageMaker::oversized("ORBELIN_Vn-demo", PackageMaker::elf("demo")) << QByteArray() << Demo << false;
    }
    void refusedPackagesChangeNothing()
    {
        QFETCH(QByteArray, package);
        QFETCH(QByteArray, fakeTar);
        QFETCH(int, error);
        QFETCH(bool, unpacks);
        TestRoot root;
        instrument(root);
        root.writeFile("/etc/passwd", "root:x:0:0\n");
        QVERIFY(root.writeFile(error == Demo ? DemoPackage : Package, package));
        // A package that slipped through the size check must not fill the disk.
        root.fakeProgramScript("tar", fakeTar + "\nulimit -f 1048576\nexec /usr/bin/tar \"$@\"");
        const auto before = PackageMaker::snapshot(root.root(), {"/calls"});
        if (error == Demo)
            QVERIFY(!installDemoSoftware(DemoPackage));
        else
            QCOMPARE(update(), error);
        QCOMPARE(PackageMaker::snapshot(root.root(), {"/calls"}), before);
        for (const QStringList &call : root.calls("tar"))
            QVERIFY(unpacks || !call.contains("--extract"));
    }

    // A package rewritten or replaced on the stick after tar listed it is refused, and
    // nothing changes. Before, tar unpacked the new one by the old one's listing: a demo
    // package's folder "ORBELIN_Vn" took the program folder's place.
    void packageChangedWhileInstalled_data()
    {
        QTest::addColumn<bool>("demo");
        QTest::addColumn<QByteArray>("change");     // bash: $p the package, $n what replaces it
        const QByteArray inPlace = "cat \"$n\" > \"$p\"";
        const QByteArray replaced = "cp \"$n\" \"$p.new\" && mv -f \"$p.new\" \"$p\"";
        QTest::newRow("update, rewritten in place") << false << inPlace;
        QTest::newRow("update, replaced") << false << replaced;
        QTest::newRow("demo, rewritten in place") << true << inPlace;
        QTest::newRow("demo, replaced") << true << replaced;
    }
    void packageChangedWhileInstalled()
    {
        QFETCH(bool, demo);
        QFETCH(QByteArray, change);
        TestRoot root;
        instrument(root);
        const QString package = demo ? DemoPackage : Package;
        const TarMember demoProgram = TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("demo"));
        QVERIFY(root.writeFile(package, demo
            ? PackageMaker::package({demoProgram, TarMember::file("DemoData/one.tif", "1")})
            : PackageMaker::package({TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4")),
                                     TarMember::file("loader_1_0_4", "#!/bin/sh\n")})));
        // The demo's would be refused from its listing; the update's, settings with
        // security off, would pass it, but is not the package listed.
        const QByteArray replacement = demo
            ? PackageMaker::package({demoProgram, TarMember::folder("ORBELIN_Vn/"),
                                     TarMember::file("ORBELIN_Vn/ORBELIN_Vn-demo", "x")})
            : PackageMaker::package({TarMember::file("ORBELIN_Vn.ini", "[Security]\nEnable=False\n")});
        QVERIFY(root.writeFile("/media/STICK/replacement", replacement));
        root.fakeProgramScript("tar", "case \" $* \" in *\" --list \"*\" --file - \"*)\n"
            "  /usr/bin/tar \"$@\"; status=$?\n"
            "  p=\"$ORBELIN_ROOT" + package.toUtf8() + "\"; n=\"$ORBELIN_ROOT/media/STICK/replacement\"\n  "
            + change + "\n  exit $status ;;\nesac\nexec /usr/bin/tar \"$@\"");
        const auto before = PackageMaker::snapshot(root.root(), {"/calls", "/media"});
        if (demo)
            QVERIFY(!installDemoSoftware(package));
        else
            QCOMPARE(update(), int(InvalidUpdateFile));
        QCOMPARE(PackageMaker::snapshot(root.root(), {"/calls", "/media"}), before);
        QCOMPARE(root.readFile(package), replacement);
    }

    // A FIFO in the demo package's place is refused at once, never waited on for a writer.
    void demoPackageNotAFile()
    {
        TestRoot root;
        instrument(root);
        QVERIFY(root.mkdir("/media/STICK"));
        QCOMPARE(::mkfifo(QFile::encodeName(root.path(DemoPackage)).constData(), 0644), 0);
        const auto before = PackageMaker::snapshot(root.root(), {"/calls"});
        QVERIFY(!installDemoSoftware(DemoPackage));
        QCOMPARE(PackageMaker::snapshot(root.root(), {"/calls"}), before);
    }

    // On a small disk: before, the old demo folder was deleted before the new one was
    // copied, copy errors inside it were ignored, and room was checked for the unpacking
    // only, so a demo was reported installed with files missing and the old one gone.
    void demoInstallOnASmallDisk_data()
    {
        QTest::addColumn<QByteArray>("options");    // of the tmpfs at /root
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<QByteArray>("sparse");     // made by a lying tar after unpacking
        const QByteArray demo = PackageMaker::elf("new demo");
        const qint64 mib = 1 << 20;
        // Room to unpack 12 MiB with the 32 MiB kept free, not to copy them too.
        QTest::newRow("room to unpack, not to copy")
            << QByteArray("size=48m") << PackageMaker::withSparseFile("ORBELIN_Vn-demo", demo, "DemoData/big.bin", 12 * mib)
            << QByteArray();
        QList<TarMember> small{TarMember::file("ORBELIN_Vn-demo", demo)};
        for (int i = 0; i < 60; ++i)
            small << TarMember::file("DemoData/" + QByteArray::number(i) + ".tif", "x");
        QTest::newRow("inodes to unpack, not to copy")
            << QByteArray("size=64m,nr_inodes=110") << PackageMaker::package(small) << QByteArray();
        // What tar listed fits; what it unpacked cannot be copied whole.
        QTest::newRow("copy fails half-way")
            << QByteArray("size=40m") << PackageMaker::package({TarMember::file("ORBELIN_Vn-demo", demo),
                                                              TarMember::file("DemoData/one.tif", "1")})
            << QByteArray("DemoData/big.bin");
    }
    void demoInstallOnASmallDisk()
    {
        QFETCH(QByteArray, options);
        QFETCH(QByteArray, package);
        QFETCH(QByteArray, sparse);
        TestRoot root;
        Volumes volumes(root, {});
        QString why;
        QVERIFY(root.mkdir("/root"));
        if (!volumes.mount(root.path("/root"), &why, options))
            QSKIP(qPrintable(why));
        instrument(root);
        root.writeFile(ProgramFolder + "/ORBELIN_Vn-demo", PackageMaker::elf("old demo"));
        root.writeFile("/root/DemoData/old.tif", "old");
        root.writeFile("/root/DemoData/Sub/two.tif", "2");
        QVERIFY(root.writeFile(DemoPackage, package));
        if (!sparse.isEmpty())
            root.fakeProgramScript("tar", "/usr/bin/tar \"$@\" || exit\n"
                "for a; do [ \"$prev\" = --directory ] && dir=$a; prev=$a; done\n"
                "case \" $* \" in *\" --extract \"*) truncate -s 1G \"$dir/" + sparse + "\" ;; esac");
        const auto before = PackageMaker::snapshot(root.root(), {"/calls"});
        QVERIFY(!installDemoSoftware(DemoPackage));
        QCOMPARE(PackageMaker::snapshot(root.root(), {"/calls"}), before);
    }

    // Files go to the program folder, replacing a file or link; folders go to /root,
    // replacing only a folder, whole.
    void demoInstalled()
    {
        TestRoot root;
        instrument(root);
        root.writeFile(ProgramFolder + "/demo.cfg", "old config");
        root.writeFile("/root/DemoData/old.tif", "old");
        root.writeFile("/root/Counts", "a file where the package has a folder");
        QVERIFY(QFile::link(root.path("/ORBELIN"), root.path("/root/Linked")));
        root.writeFile(DemoPackage, PackageMaker::package(
            {TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("demo"), 0600),
             TarMember::file("demo.cfg", "new config"), TarMember::file(".hidden", "x"),
             TarMember::folder("DemoData/"), TarMember::file("DemoData/one.tif", "1"),
             TarMember::file("DemoData/.thumbs", "x"), TarMember::folder("DemoData/Sub/"),
             TarMember::file("DemoData/Sub/two.tif", "2"),
             TarMember::file("Protocol", "a file where the program has a folder"),
             TarMember::folder("Counts/"), TarMember::folder("Linked/"), TarMember::file("Linked/x", "x")}));
        QVERIFY(installDemoSoftware(DemoPackage));
        QCOMPARE(root.readFile(ProgramFolder + "/ORBELIN_Vn-demo"), PackageMaker::elf("demo"));
        QCOMPARE(mode(root, ProgramFolder + "/ORBELIN_Vn-demo"), 0755);
        QCOMPARE(root.readFile(ProgramFolder + "/demo.cfg"), QByteArray("new config"));
        QVERIFY(!QFile::exists(root.path(ProgramFolder + "/.hidden")));
        QCOMPARE(QDir(root.path("/root/DemoData")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList({"one.tif", "Sub"}));
        QCOMPARE(root.readFile("/root/DemoData/Sub/two.tif"), QByteArray("2"));
        QCOMPARE(root.readFile(ProgramFolder + "/Protocol/Yeast.ini"), QByteArray("protocol"));
        QCOMPARE(root.readFile("/root/Counts"), QByteArray("a file where the package has a folder"));
        // A link in /root stays, and nothing is written through it.
        QCOMPARE(QFile::symLinkTarget(root.path("/root/Linked")), root.path("/ORBELIN"));
        QCOMPARE(QDir(root.path("/ORBELIN")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"Counts"});
        QVERIFY(!QFile::exists(root.path("/root/temp")));
        // Nothing set aside is left behind.
        QCOMPARE(QDir(root.path("/root")).entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot)
                     .filter(QRegularExpression("^\\.")), QStringList());
        QCOMPARE(QDir(root.path(ProgramFolder)).entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot)
                     .filter(QRegularExpression("^\\.")), QStringList());
    }

    // A name that is not UTF-8 (written by another computer) is installed like any other.
    // Before, the demo install left such a file out, reported success and could not remove
    // /root/temp afterwards; the update left such a top-level file out and reported success.
    void rawNamesInstalledWhole_data()
    {
        QTest::addColumn<int>("installer");         // Demo, or NoError for an update
        QTest::addColumn<QByteArray>("member");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("installed");  // where it arrives
        QTest::addColumn<int>("mode");              // -1: as unpacked
        const QByteArray tool = PackageMaker::elf("tool");
        QTest::newRow("demo: file in a folder") << Demo << QByteArray("DemoData/caf\xe9.tif")
            << QByteArray("image") << QByteArray("/root/DemoData/caf\xe9.tif") << -1;
        QTest::newRow("demo: top-level folder") << Demo << QByteArray("Donn\xe9" "es/a.tif")
            << QByteArray("image") << QByteArray("/root/Donn\xe9" "es/a.tif") << -1;
        QTest::newRow("demo: top-level file") << Demo << QByteArray("r\xe9glage.cfg")
            << QByteArray("setting") << QByteArray("/root/ORBELIN_Vn/r\xe9glage.cfg") << -1;
        QTest::newRow("update: program") << int(NoError) << QByteArray("outil\xe9") << tool
            << QByteArray("/root/ORBELIN_Vn/outil\xe9") << 0755;
        QTest::newRow("update: data file") << int(NoError) << QByteArray("notes\xe9.txt")
            << QByteArray("text") << QByteArray("/root/ORBELIN_Vn/notes\xe9.txt") << 0666;
    }
    void rawNamesInstalledWhole()
    {
        QFETCH(int, installer);
        QFETCH(QByteArray, member);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, installed);
        QFETCH(int, mode);
        TestRoot root;
        instrument(root);
        root.writeFile("/root/DemoData/old.tif", "old");
        const bool demo = installer == Demo;
        const TarMember main = demo ? TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("demo"))
                                    : TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4"));
        QVERIFY(root.writeFile(demo ? DemoPackage : Package,
                               PackageMaker::package({main, TarMember::file(member, data)})));
        if (demo)
            QVERIFY(installDemoSoftware(DemoPackage));
        else
            QCOMPARE(update(), int(NoError));
        QCOMPARE(readRaw(root, installed), data);
        if (mode >= 0)
            QCOMPARE(rawMode(root, installed), mode);
        QCOMPARE(rawMode(root, demo ? "/root/temp" : "/root/.temp"), -1);
    }

    // Before, a name that is not UTF-8 left behind by an interrupted run failed every later
    // demo install or update: what held it could not be removed.
    void leftoversRemoved_data()
    {
        QTest::addColumn<int>("installer");
        QTest::addColumn<QByteArray>("leftover");
        QTest::newRow("demo: file in /root/temp") << Demo << QByteArray("/root/temp/caf\xe9.tif");
        QTest::newRow("demo: folder in /root/temp") << Demo << QByteArray("/root/temp/caf\xe9/x.tif");
        QTest::newRow("demo: copy beside its target")
            << Demo << QByteArray("/root/.DemoData.demo-new/caf\xe9.tif");
        QTest::newRow("update: file in /root/.temp") << int(NoError) << QByteArray("/root/.temp/caf\xe9");
        QTest::newRow("update: folder in /root/.temp") << int(NoError) << QByteArray("/root/.temp/caf\xe9/x");
    }
    void leftoversRemoved()
    {
        QFETCH(int, installer);
        QFETCH(QByteArray, leftover);
        TestRoot root;
        instrument(root);
        QVERIFY(writeRaw(root, leftover, "left over"));
        if (installer == Demo) {
            QVERIFY(root.writeFile(DemoPackage, PackageMaker::package(
                {TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("demo")),
                 TarMember::file("DemoData/one.tif", "1")})));
            QVERIFY(installDemoSoftware(DemoPackage));
            QCOMPARE(root.readFile("/root/DemoData/one.tif"), QByteArray("1"));
        } else {
            QVERIFY(root.writeFile(Package, program()));
            QCOMPARE(update(), int(NoError));
            QCOMPARE(root.readFile(ProgramFolder + "/ORBELIN_Vn_1_0_4"), PackageMaker::elf("ORBELIN_Vn_1_0_4"));
        }
        QCOMPARE(rawMode(root, leftover), -1);
        QCOMPARE(rawMode(root, installer == Demo ? "/root/temp" : "/root/.temp"), -1);
    }

    // A removal that fails fails the install, and the log says what is left; before, each
    // was ignored and the install reported success.
    void removalFailures_data()
    {
        QTest::addColumn<int>("installer");         // Demo, or the error an update ends with
        QTest::addColumn<QString>("immutable");     // before the install; "unpacked": the
                                                    // unpack folder, once unpacked
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QByteArray>("demo");       // the demo program afterwards
        const QByteArray before = PackageMaker::elf("old demo");
        const QByteArray after = PackageMaker::elf("new demo");
        // Before anything is put in place: the previous demo stays whole.
        QTest::newRow("demo: unpack folder") << Demo << "unpacked"
            << "cannot remove \"/root/temp\"" << before;
        QTest::newRow("demo: old entry set aside") << Demo << "/root/DemoData/old.tif"
            << "the old \"/root/DemoData\" set aside at \"/root/.DemoData.demo-old\" cannot be removed"
            << after;
        // Before the loader link moves: the old program still starts.
        QTest::newRow("update: unpack folder") << int(InvalidUpdateFile) << "unpacked"
            << "cannot remove \"/root/.temp\"" << before;
        QTest::newRow("update: old backup") << int(BackupFailed) << "/root/restore/ORBELIN_Vn_1_0_2.ovn"
            << "cannot remove the old backup \"/root/restore/ORBELIN_Vn_1_0_2.ovn\"" << before;
    }
    void removalFailures()
    {
        QFETCH(int, installer);
        QFETCH(QString, immutable);
        QFETCH(QString, logged);
        QFETCH(QByteArray, demo);
        TestRoot root;
        Volumes volumes(root, {});
        QString why;
        if (!tmpfsRoot(root, volumes, &why))
            QSKIP(qPrintable(why));
        instrument(root);
        root.writeFile(ProgramFolder + "/ORBELIN_Vn-demo", PackageMaker::elf("old demo"));
        root.writeFile("/root/DemoData/old.tif", "old");
        // Not every kernel keeps the flag on a tmpfs.
        root.writeFile("/root/probe", "");
        if (!setImmutable(root.path("/root/probe"), true) || !setImmutable(root.path("/root/probe"), false))
            QSKIP("no immutable files on a tmpfs here");
        QVERIFY(QFile::remove(root.path("/root/probe")));
        if (immutable != "unpacked") {
            QVERIFY(setImmutable(root.path(immutable), true));
        } else if (QStandardPaths::findExecutable("chattr").isEmpty()) {
            QSKIP("no chattr");
        } else {
            root.fakeProgramScript("tar", "/usr/bin/tar \"$@\" || exit\n"
                "for a; do [ \"$prev\" = --directory ] && dir=$a; prev=$a; done\n"
                "case \" $* \" in *\" --extract \"*) chattr +i \"$dir\" ;; esac");
        }
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QRegularExpression::escape(logged) + "$"));
        if (installer == Demo) {
            QVERIFY(root.writeFile(DemoPackage, PackageMaker::package(
                {TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("new demo")),
                 TarMember::file("DemoData/new.tif", "new")})));
            QVERIFY(!installDemoSoftware(DemoPackage));
        } else {
            QVERIFY(root.writeFile(Package, PackageMaker::package(
                {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4")),
                 TarMember::file("loader_1_0_4", "#!/bin/sh\n")})));
            QCOMPARE(update(), installer);
            QCOMPARE(QFile::symLinkTarget(root.path("/root/loader")), root.path("/root/loader_1_0_3"));
        }
        QCOMPARE(root.readFile(ProgramFolder + "/ORBELIN_Vn-demo"), demo);
    }

    // An old entry that cannot be put back stays set aside, the log says where, and a later
    // install leaves it there; before, the failure went unnoticed and the next install
    // removed it, the only copy of the old demo's data.
    void demoPutBackFailureKept()
    {
        TestRoot root;
        Volumes volumes(root, {});
        QString why;
        if (!tmpfsRoot(root, volumes, &why) || !root.mkdir("/root/Zeta")
            || !volumes.mount(root.path("/root/Zeta"), &why))
            QSKIP(qPrintable(why));
        instrument(root);
        root.writeFile(ProgramFolder + "/ORBELIN_Vn-demo", PackageMaker::elf("old demo"));
        root.writeFile("/root/DemoData/old.tif", "old");
        // A folder that is a mount point cannot be set aside: the third entry fails, and the
        // disk turns read-only as it does, so the two put in place cannot go back.
        root.writeFile(DemoPackage, PackageMaker::package(
            {TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("new demo")),
             TarMember::file("DemoData/new.tif", "new"), TarMember::file("Zeta/z.tif", "z")}));
        {
            const MessageHook readOnly("cannot put", [&root] {
                QVERIFY(Volumes::remount(root.path("/root"), true));
            });
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(
                "the old \"/root/DemoData\" is kept at \"/root/\\.DemoData\\.demo-old\"$"));
            QVERIFY(!installDemoSoftware(DemoPackage));
        }
        QVERIFY(Volumes::remount(root.path("/root"), false));
        QCOMPARE(root.readFile("/root/.DemoData.demo-old/old.tif"), QByteArray("old"));
        root.writeFile(DemoPackage, PackageMaker::package(
            {TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("newer demo")),
             TarMember::file("DemoData/newer.tif", "newer")}));
        QVERIFY(installDemoSoftware(DemoPackage));
        QCOMPARE(root.readFile("/root/DemoData/newer.tif"), QByteArray("newer"));
        QCOMPARE(root.readFile("/root/.DemoData.demo-old/old.tif"), QByteArray("old"));
        QCOMPARE(root.readFile(ProgramFolder + "/.ORBELIN_Vn-demo.demo-old"), PackageMaker::elf("old demo"));
    }

    // The deepest tree a package may hold (256 folders) is installed, replaced and removed
    // whole, and leaves nothing behind.
    void deepestTreeInstalled()
    {
        TestRoot root;
        instrument(root);
        const QByteArray deep = "DemoData/" + QByteArray("d/").repeated(FolderWalk::MaxDepth - 1) + "f.tif";
        for (const QByteArray &data : {QByteArray("first"), QByteArray("second")}) {
            QVERIFY(root.writeFile(DemoPackage, PackageMaker::package(
                {TarMember::file("ORBELIN_Vn-demo", PackageMaker::elf("demo")), TarMember::file(deep, data)})));
            QVERIFY(installDemoSoftware(DemoPackage));
            QCOMPARE(readRaw(root, "/root/" + deep), data);
        }
        QCOMPARE(QDir(root.path("/root")).entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot)
                     .filter(QRegularExpression("^\\.|^temp$")), QStringList());
    }
};

QTEST_MAIN(SoftwareUpdaterTest)
#include "tst_SoftwareUpdater.moc"
