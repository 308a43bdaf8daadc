#include "DiskAccess.h"
#include "FileOpenDialog.h"
#include "FileOperationDialog.h"
#include "FileOperator.h"
#include "FileSystemItem.h"
#include "FileSystemListWidget.h"
#include "FileSystemTreeWidget.h"
#include "FolderWalk.h"
#include "FolderWatch.h"
#include "MediaMonitor.h"
#include "ModalAnswer.h"
#include "Resources.h"
#include "SystemPaths.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using fs::FileSystemItem;

namespace {

// A user other than root: it may read and write what is open to all, and nothing else.
const uid_t OtherUser = 65534;

// Runs work as OtherUser in a thread of its own (and the threads it starts), as the file
// checks go: the file-system user of a thread is its own.
bool asOtherUser(const std::function<void()> &work)
{
    bool switched = false;
    std::thread([&]() {
        ::setfsuid(OtherUser);
        switched = ::setfsuid(uid_t(-1)) == OtherUser;
        if (switched)
            work();
    }).join();
    return switched;
}

// Everything below a real folder (itself included) readable and writable by everyone.
void openToAll(const QString &real)
{
    ::chmod(QFile::encodeName(real).constData(), 0777);
    QDirIterator it(real, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot
                              | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        ::chmod(QFile::encodeName(path).constData(), it.fileInfo().isDir() ? 0777 : 0666);
    }
}

// Writes a file under a real folder by raw bytes, making the folders on the way.
bool writeRaw(const QString &realRoot, const QByteArray &path, const QByteArray &content)
{
    QByteArray real = QFile::encodeName(realRoot);
    const QList<QByteArray> steps = path.split('/');
    for (int i = 0; i < steps.size(); ++i) {
        if (steps.at(i).isEmpty())
            continue;
        real += '/' + steps.at(i);
        if (i + 1 < steps.size())
            ::mkdir(real.constData(), 0755);
    }
    QFile file;
    const int fd = ::open(real.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return false;
    return file.write(content) == content.size();
}

QByteArray readRaw(const QString &realRoot, const QByteArray &path)
{
    QFile file;
    const int fd = ::open((QFile::encodeName(realRoot) + path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return "(none)";
    return file.readAll();
}

bool existsRaw(const QString &realRoot, const QByteArray &path)
{
    struct stat st;
    return ::lstat((QFile::encodeName(realRoot) + path).constData(), &st) == 0;
}

} // namespace

// The file manager on a data folder and two sticks: the paste worker, the tree nodes, the
// tree, the paste's progress dialog and the chooser.
class FileManagerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_Root;
    std::unique_ptr<Volumes> m_Volumes;
    std::unique_ptr<FileSystemTreeWidget> m_Tree;

    // Runs one paste to its end and gives each end it reported: 0 for completion, else the
    // error. onFirstFile runs in the worker's thread right after the first file was copied.
    QList<int> paste(int mode, const QStringList &paths, const QString &destination,
                     std::function<void()> onFirstFile = nullptr)
    {
        QList<int> ends;
        FileOperator worker;
        worker.setData(file_operations_t{mode, paths});
        worker.setDst(QFileInfo(destination));
        // Direct connections: the lambdas run in the worker's thread, which is joined
        // before the result is read.
        connect(&worker, &FileOperator::signalPasteError, &worker,
                [&](FileOperationPasteError e) { ends << int(e); }, Qt::DirectConnection);
        connect(&worker, &FileOperator::signalCompleted, &worker, [&]() { ends << 0; },
                Qt::DirectConnection);
        connect(&worker, &FileOperator::signalSetCurrentFileCountAndSize, &worker, [&]() {
            if (onFirstFile)
                std::exchange(onFirstFile, nullptr)();
        }, Qt::DirectConnection);
        worker.start();
        if (!worker.wait(90000))
            qFatal("paste did not end");
        return ends;
    }

    static QByteArray pattern(int size, int seed)
    {
        QByteArray data(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            data[i] = char((i * 31 + seed * 7) & 0xff);
        return data;
    }

    // Every file below a folder, hidden ones included: relative path -> content.
    QMap<QString, QByteArray> contents(const QString &folder) const
    {
        return realContents(m_Root->path(folder));
    }

    static QMap<QString, QByteArray> realContents(const QString &real)
    {
        QMap<QString, QByteArray> result;
        QDirIterator it(real, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            file.open(QIODevice::ReadOnly);
            result.insert(file.fileName().mid(real.size()), file.readAll());
        }
        return result;
    }

    // A save folder with nested folders, files of awkward sizes and an empty folder.
    void makeRun(const QString &folder)
    {
        int seed = 0;
        for (const auto &file : QList<QPair<QString, int>>{
                 {"/01_RAW.tif", 100000}, {"/01_TAG.tif", 1025}, {"/run.csv", 1024},
                 {"/empty.txt", 0}, {"/images/a.png", 1023}, {"/images/deeper/b.bin", 1}})
            m_Root->writeFile(folder + file.first, pattern(file.second, ++seed));
        m_Root->mkdir(folder + "/nothing");
    }

    bool gone(const QString &path) const { return !QFileInfo::exists(m_Root->path(path)); }

    void build(bool registerORBELIN = true)
    {
        m_Tree.reset(new FileSystemTreeWidget);
        m_Tree->setRegisterORBELIN(registerORBELIN);
        m_Tree->initialize();
        m_Tree->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_Tree.get()));
    }

    FileSystemItem *row(const QString &path) const { return Volumes::row(m_Tree.get(), path); }

    QStringList rows() const
    {
        QStringList paths;
        for (int i = 0; i < m_Tree->topLevelItemCount(); ++i)
            paths << static_cast<FileSystemItem *>(m_Tree->topLevelItem(i))->filePath();
        return paths;
    }

    void select(const QString &path) { m_Tree->setCurrentItem(row(path)); }

    QStringList childNames(const QString &path) const
    {
        const FileSystemItem *node = row(path);
        QStringList names;
        for (int i = 0; i < node->childCount(); ++i)
            names << node->child(i)->item().name;
        names.sort();
        return names;
    }

    template<typename Dialog>
    static void click(Dialog *d, const char *button)
    {
        QTest::mouseClick(d->template findChild<QPushButton *>(button), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void init()
    {
        m_Root.reset(new TestRoot);
        m_Volumes.reset(new Volumes(*m_Root, {"USB", "USB (1)"}));
        // Bounds a paste that the write-back wait holds open.
        FileOperator::setWriteBackTimeout(10000);
    }

    void cleanup()
    {
        m_Tree.reset();
        m_Volumes.reset();
        m_Root.reset();
    }

    // ---- the paste worker

    void clashesAreNumbered()
    {
        for (const char *name : {"report.pdf", "report(1).pdf", "data.tar.gz", "README"})
            m_Root->writeFile(QString("/media/USB/") + name, "old");
        m_Root->mkdir("/media/USB/run.1");
        m_Root->mkdir("/media/USB/x.csv");
        QVERIFY(QFile::link("nowhere", m_Root->path("/media/USB/a.txt")));
        const QList<QPair<QString, QString>> names = {
            {"report.pdf", "report(2).pdf"}, {"data.tar.gz", "data.tar(1).gz"},
            {"README", "README(1)"}, {"x.csv", "x(1).csv"}, {"a.txt", "a(1).txt"},
            {"run.1/f", "run.1(1)/f"}};
        QStringList sources;
        for (const auto &name : names) {
            m_Root->writeFile("/ORBELIN/" + name.first, name.first.toUtf8());
            sources << "/ORBELIN/" + name.first.section('/', 0, 0);
        }
        QCOMPARE(paste(0, sources, "/media/USB"), QList<int>{0});
        for (const auto &name : names)
            QCOMPARE(m_Root->readFile("/media/USB/" + name.second), name.first.toUtf8());
    }

    void clashNamesKeepPercentSigns_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("clash");     // of the paste
        QTest::newRow("file") << "Yeast 5%1 glucose.csv" << false << "Yeast 5%1 glucose(1).csv";
        QTest::newRow("file, %2") << "dilution%2.tif" << false << "dilution%2(1).tif";
        QTest::newRow("folder") << "run%1" << true << "run%1(1)";
        QTest::newRow("no suffix") << "%2%1" << false << "%2%1(1)";
    }
    // Before: the name went through chained arg() calls, which took its own "%1" for a
    // place marker: "Yeast 5%1 glucose.csv" pasted over itself became
    // "Yeast 51 glucose(csv).%3". The chooser's new folders were numbered alike.
    void clashNamesKeepPercentSigns()
    {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        QFETCH(QString, clash);
        const QString source = "/ORBELIN/" + name;
        QVERIFY(m_Root->writeFile(folder ? source + "/a.txt" : source, "x"));
        QCOMPARE(paste(0, {source}, "/ORBELIN"), QList<int>{0});
        QStringList pasted = QDir(m_Root->path("/ORBELIN")).entryList(QDir::AllEntries
                                                                     | QDir::NoDotAndDotDot);
        QStringList expected{name, clash};
        pasted.sort();
        expected.sort();
        QCOMPARE(pasted, expected);

        FileSystemListWidget list;
        list.setViewType(FileSystemListWidget::VIEW_FOLDERS);
        list.slotCurrentItemChanged("/media/USB");
        QVERIFY(list.createNewFolder(name) && list.createNewFolder(name));
        QCOMPARE(list.item(1)->text(), name + "(1)");
        QVERIFY(QFileInfo(m_Root->path("/media/USB/" + name + "(1)")).isDir());
    }

    // A cut moves what was copied, byte for byte and empty folders too; a hidden entry,
    // which is never copied, keeps its folder. A volume row can be cut: its contents move,
    // the data folder or mount folder stays.
    void cutMovesAndKeepsHidden()
    {
        m_Root->writeFile("/media/USB (1)/run/a.txt", "a");
        makeRun("/media/USB/run1");
        makeRun("/media/USB/run2");
        m_Root->writeFile("/media/USB/run2/images/.thumbs", "t");
        m_Root->mkdir("/media/USB/run2/.cache");
        m_Root->writeFile("/media/USB/loose.txt", "loose");
        const auto run1 = contents("/media/USB/run1");
        auto run2 = contents("/media/USB/run2");
        // A source gone since the cut is passed over.
        QCOMPARE(paste(1, {"/media/USB/run1", "/media/USB/run2", "/media/USB/gone",
                           "/media/USB/loose.txt", "/media/USB (1)"}, "/ORBELIN"), QList<int>{0});
        QCOMPARE(contents("/ORBELIN/run1"), run1);
        QVERIFY(QFileInfo(m_Root->path("/ORBELIN/run1/nothing")).isDir());
        run2.remove("/images/.thumbs");
        QCOMPARE(contents("/ORBELIN/run2"), run2);
        QVERIFY(gone("/ORBELIN/run2/.cache"));
        QCOMPARE(m_Root->readFile("/ORBELIN/loose.txt"), QByteArray("loose"));
        QVERIFY(gone("/media/USB/run1") && gone("/media/USB/loose.txt"));
        QCOMPARE(contents("/media/USB/run2"), (QMap<QString, QByteArray>{{"/images/.thumbs", "t"}}));
        QCOMPARE(m_Root->readFile("/ORBELIN/USB (1)/run/a.txt"), QByteArray("a"));
        QVERIFY(QFileInfo(m_Root->path("/media/USB (1)")).isDir());
        QVERIFY(QDir(m_Root->path("/media/USB (1)")).isEmpty());
        QCOMPARE(paste(1, {"/ORBELIN"}, "/media/USB"), QList<int>{0});
        QCOMPARE(m_Root->readFile("/media/USB/ORBELIN/loose.txt"), QByteArray("loose"));
        QVERIFY(QDir(m_Root->path("/ORBELIN")).isEmpty());
    }

    // A file that cannot be written (here: larger than the process may write) is not
    // copied; the paste says so, and a cut keeps that file and the folders holding it.
    void cutKeepsWhatFailedToCopy()
    {
        makeRun("/media/USB/run1");
        m_Root->writeFile("/media/USB/run1/images/huge.bin", pattern(300000, 9));
        makeRun("/media/USB/run2");
        const auto run1 = contents("/media/USB/run1");
        struct rlimit old;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const struct rlimit limit = {200000, old.rlim_max};
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const QList<int> ends = paste(1, {"/media/USB/run1", "/media/USB/run2"}, "/ORBELIN");
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(ends, QList<int>{PASTE_INCOMPLETE});
        QCOMPARE(contents("/media/USB/run1"), run1);
        QVERIFY(gone("/media/USB/run2"));
        QVERIFY(!gone("/ORBELIN/run2/01_RAW.tif"));
        // No half-written file passes for a copy.
        QVERIFY(gone("/ORBELIN/run1/images/huge.bin"));
    }

    void refused_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<int>("error");
        QTest::addColumn<QStringList>("afterwards");   // the destination's entries
        // The first source is copied, then the destination itself stops the paste.
        QTest::newRow("destination is a source") << "/ORBELIN/run1" << int(PASTE_SAME_FOLDER)
                                                 << QStringList{"a.txt", "sub"};
        // Before: a folder pasted into its own subfolder copied itself until the disk was full.
        QTest::newRow("destination inside a source") << "/ORBELIN/run1/sub" << int(PASTE_SAME_FOLDER)
                                                     << QStringList{"x.txt"};
        QTest::newRow("folder gone") << "/media/USB/run9" << int(PASTE_DESTINATION_NOT_FOUND)
                                     << QStringList();
    }
    void refused()
    {
        QFETCH(QString, destination);
        QFETCH(int, error);
        m_Root->writeFile("/ORBELIN/a.txt", "a");
        m_Root->writeFile("/ORBELIN/run1/sub/x.txt", "x");
        QCOMPARE(paste(1, {"/ORBELIN/a.txt", "/ORBELIN/run1"}, destination), QList<int>{error});
        QTEST(QDir(m_Root->path(destination)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              "afterwards");
        QCOMPARE(m_Root->readFile("/ORBELIN/a.txt"), QByteArray("a"));
        QCOMPARE(m_Root->readFile("/ORBELIN/run1/sub/x.txt"), QByteArray("x"));
    }

    void foreignNamedFolderIntoItself_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("destination");    // inside the source
        QTest::newRow("copy into a foreign-named subfolder") << 0 << QByteArray("/run")
                                                           << QByteArray("/run/sub\xe9");
        QTest::newRow("cut into a foreign-named subfolder") << 1 << QByteArray("/run")
                                                          << QByteArray("/run/sub\xe9");
        QTest::newRow("copy a foreign-named folder into its subfolder")
            << 0 << QByteArray("/r\xe9un") << QByteArray("/r\xe9un/sub");
        QTest::newRow("cut a foreign-named folder into its subfolder")
            << 1 << QByteArray("/r\xe9un") << QByteArray("/r\xe9un/sub");
    }
    // Before: the check compared canonical paths, which come back empty for names that are
    // not UTF-8, so the folder was copied (or moved) into itself and reported completed.
    void foreignNamedFolderIntoItself()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, destination);
        const QString data = m_Root->path("/ORBELIN");
        QVERIFY(writeRaw(data, destination + "/x.txt", "x"));
        QCOMPARE(paste(mode, {FolderWalk::decodeName("/ORBELIN" + source)},
                       FolderWalk::decodeName("/ORBELIN" + destination)),
                 QList<int>{PASTE_SAME_FOLDER});
        QCOMPARE(readRaw(data, destination + "/x.txt"), QByteArray("x"));
        QList<QByteArray> inside;
        const FolderWalk::Folder folder(::open((QFile::encodeName(data) + destination).constData(),
                                               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        QVERIFY(FolderWalk::readFolder(folder.fd, &inside));
        QCOMPARE(inside, QList<QByteArray>{"x.txt"});
    }

    void insufficientSpace()
    {
        // Exactly equal room is enough; sizes beyond 4 GiB.
        QVERIFY(FileOperator::enoughRoom(quint64(5) << 30, 5120.0f));
        QVERIFY(!FileOperator::enoughRoom((quint64(5) << 30) + 1, 5120.0f));
        const float freeMiB = MediaMonitor::freeDiskSpace("/media/USB");
        QVERIFY(freeMiB > 0);
        // A sparse file claims more than the disk holds without using it.
        QFile big(m_Root->path("/ORBELIN/big.bin"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(freeMiB + 1024) * 1048576));
        big.close();
        QCOMPARE(paste(0, {"/ORBELIN/big.bin"}, "/media/USB"),
                 QList<int>{PASTE_INSUFFICIENT_DISK_SPACE});
        QVERIFY(gone("/media/USB/big.bin"));
    }

    // Before: links were made again in the copy, which a FAT stick cannot hold, and a
    // relative link pointed elsewhere there. Now what a link points to is copied, each
    // folder once, and a cut removes only the link.
    void linksAreFollowed()
    {
        m_Root->writeFile("/ORBELIN/run1/x.txt", "x");
        m_Root->writeFile("/ORBELIN/target/keep.txt", pattern(5000, 3));
        m_Root->mkdir("/ORBELIN/run1/sub");
        QVERIFY(QFile::link("../target", m_Root->path("/ORBELIN/run1/folderlink")));
        QVERIFY(QFile::link("../target/keep.txt", m_Root->path("/ORBELIN/run1/filelink")));
        QVERIFY(QFile::link("..", m_Root->path("/ORBELIN/run1/sub/loop")));
        QList<int> ends;
        std::thread([&]() {
            ends << int(Volumes::refuseLinks());
            ends << paste(1, {"/ORBELIN/run1"}, "/media/USB");
        }).join();
        QCOMPARE(ends, (QList<int>{1, 0}));     // links refused; the paste completed
        QCOMPARE(contents("/media/USB/run1"),
                 (QMap<QString, QByteArray>{{"/x.txt", "x"}, {"/filelink", pattern(5000, 3)},
                                            {"/folderlink/keep.txt", pattern(5000, 3)}}));
        QVERIFY(gone("/media/USB/run1/sub/loop") && gone("/ORBELIN/run1"));
        QCOMPARE(m_Root->readFile("/ORBELIN/target/keep.txt"), pattern(5000, 3));
    }

    void stickUnmountedDuringPaste_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("cut") << 1;
        QTest::newRow("copy") << 0;
    }
    // Before: once the stick's mount went, the rest was written into the internal disk's
    // empty mount folder (which the next start clears), counted as copied, and a cut
    // deleted its sources.
    void stickUnmountedDuringPaste()
    {
        QFETCH(int, mode);
        const QString stick = m_Root->path("/media/USB");
        QString why;
        if (!m_Volumes->mount(stick, &why))
            QSKIP(qPrintable("the stick is a tmpfs in a private mount namespace: " + why));
        for (int i = 0; i < 20; ++i) {
            m_Root->writeFile(QString("/ORBELIN/run1/%1.tif").arg(i), pattern(2000, i));
            m_Root->writeFile(QString("/ORBELIN/run2/%1.tif").arg(i), pattern(2000, i));
        }
        m_Root->writeFile("/ORBELIN/c.txt", "c");
        const auto before = contents("/ORBELIN");
        QCOMPARE(paste(mode, {"/ORBELIN/run1", "/ORBELIN/run2", "/ORBELIN/c.txt"}, "/media/USB",
                       [stick]() { Volumes::unmount(stick); }),
                 QList<int>{PASTE_DESTINATION_NOT_FOUND});
        QCOMPARE(QDir(stick).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(contents("/ORBELIN"), before);
    }

    void swappedSourceKeepsItsFiles_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("remount");     // else: the folder renamed, another made
        QTest::addColumn<bool>("firstStays");  // the first stick's files stay where they were
        QTest::addColumn<int>("end");
        QTest::newRow("stick swapped") << "/media/USB/Data" << true << true
                                       << int(PASTE_INCOMPLETE);
        QTest::newRow("stick swapped, its row cut") << "/media/USB" << true << true
                                                    << int(PASTE_INCOMPLETE);
        // All copied and emptied, but the folder's name now leads to another folder.
        QTest::newRow("folder replaced on the same stick") << "/media/USB (1)/Data" << false
                                                           << false << int(PASTE_ORIGINALS_KEPT);
    }
    // Before: the cut went on by path, so once another stick of the same label was mounted
    // in the pulled one's place, its files were copied and then removed, and the paste
    // reported completion.
    void swappedSourceKeepsItsFiles()
    {
        QFETCH(QString, source);
        QFETCH(bool, remount);
        QFETCH(bool, firstStays);
        const QString volume = remount ? "/media/USB" : "/media/USB (1)";
        const QString stick = m_Root->path(volume);
        QString why;
        if (remount && !m_Volumes->mount(stick, &why))
            QSKIP(qPrintable("the stick is a tmpfs in a private mount namespace: " + why));
        for (int i = 0; i < 20; ++i)
            m_Root->writeFile(QString("%1/Data/%2.tif").arg(volume).arg(i), pattern(3000, i));
        const auto first = contents(volume + "/Data");
        // The first stick's folder, still readable once it is no longer mounted.
        const int held = ::open(QFile::encodeName(m_Root->path(volume + "/Data")).constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(held >= 0);
        // The swap runs on the paste's thread; what it did is checked here.
        QMap<QString, QByteArray> second;
        QString swapped;
        const QList<int> ends = paste(1, {source}, "/ORBELIN", [&]() {
            if (remount) {
                Volumes::unmount(stick);
                if (!m_Volumes->mount(stick, &swapped))
                    return;
            } else if (!QDir().rename(stick + "/Data", stick + "/Old")) {
                swapped = "cannot rename";
                return;
            }
            swapped = "done";
            for (int i = 0; i < 20; ++i)
                m_Root->writeFile(QString("%1/Data/%2.tif").arg(volume).arg(i),
                                  pattern(100, 50 + i));
            m_Root->writeFile(volume + "/Data/second.csv", "second");
            second = contents(volume + "/Data");
        });
        const auto left = realContents(QString("/proc/self/fd/%1").arg(held));
        ::close(held);
        QCOMPARE(swapped, QString("done"));
        QCOMPARE(second.size(), 21);
        QCOMPARE(contents(volume + "/Data"), second);
        QFETCH(int, end);
        QCOMPARE(ends, QList<int>{end});
        // What was cut is where it was, or moved whole.
        if (firstStays)
            QCOMPARE(left, first);
        else
            QCOMPARE(contents("/ORBELIN/Data"), first);
        QVERIFY(left.isEmpty() || left == first);
    }

    void unreadableIsNotCopied_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("locked");     // made readable by root alone
        QTest::newRow("folder, cut") << 1 << QByteArray("/run1/images");
        QTest::newRow("folder, copy") << 0 << QByteArray("/run1/images");
        QTest::newRow("file with a foreign name, cut") << 1 << QByteArray("/run1/caf\xe9.csv");
    }
    // Before: a folder that could not be listed was copied as an empty folder and the paste
    // reported success.
    void unreadableIsNotCopied()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, locked);
        makeRun("/media/USB/run1");
        QVERIFY(writeRaw(m_Root->path("/media/USB"), "/run1/caf\xe9.csv", "cafe"));
        makeRun("/media/USB/run2");
        openToAll(m_Root->root());
        const QByteArray real = QFile::encodeName(m_Root->path("/media/USB")) + locked;
        QCOMPARE(::chmod(real.constData(), 0700), 0);
        const auto run1 = contents("/media/USB/run1");
        const auto run2 = contents("/media/USB/run2");
        QList<int> ends;
        const QStringList sources = {"/media/USB/run1", "/media/USB/run2"};
        if (!asOtherUser([&]() { ends = paste(mode, sources, "/ORBELIN"); }))
            QSKIP("no other file-system user for a thread");
        QCOMPARE(ends, QList<int>{PASTE_INCOMPLETE});
        QCOMPARE(contents("/media/USB/run1"), run1);
        QVERIFY(existsRaw(m_Root->path("/media/USB"), "/run1/caf\xe9.csv"));
        QVERIFY(!existsRaw(m_Root->path("/ORBELIN"), locked));
        QCOMPARE(contents("/ORBELIN/run2"), run2);
        QCOMPARE(gone("/media/USB/run2"), mode == 1);
    }

    // Before: every copy arrived but the originals on a write-protected stick stayed, and
    // the paste said "Some files could not be copied", so a retry made run1(1).
    void cutFromAWriteProtectedStick()
    {
        makeRun("/media/USB/run1");
        const auto run1 = contents("/media/USB/run1");
        openToAll(m_Root->root());
        // Every folder of the run can be read but not changed.
        QDirIterator it(m_Root->path("/media/USB/run1"), QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            QCOMPARE(::chmod(QFile::encodeName(it.next()).constData(), 0555), 0);
        QCOMPARE(::chmod(QFile::encodeName(m_Root->path("/media/USB/run1")).constData(), 0555), 0);
        QList<int> ends;
        if (!asOtherUser([&]() { ends = paste(1, {"/media/USB/run1"}, "/ORBELIN"); }))
            QSKIP("no other file-system user for a thread");
        QCOMPARE(ends, QList<int>{PASTE_ORIGINALS_KEPT});
        QCOMPARE(contents("/ORBELIN/run1"), run1);
        QCOMPARE(contents("/media/USB/run1"), run1);
    }

    void foreignNamesAreCopied_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("cut") << 1;
        QTest::newRow("copy") << 0;
    }
    // Before: entries whose names are not UTF-8 (written by another computer) were left
    // out of the listing, so they stayed behind while the paste reported success.
    void foreignNamesAreCopied()
    {
        QFETCH(int, mode);
        const QList<QByteArray> names = {"/run1/caf\xe9.csv", "/run1/d\xfcnn/x\xff.tif",
                                         "/run1/plain.txt"};
        for (const QByteArray &name : names)
            QVERIFY(writeRaw(m_Root->path("/media/USB"), name, name));
        QCOMPARE(paste(mode, {"/media/USB/run1"}, "/ORBELIN"), QList<int>{0});
        for (const QByteArray &name : names)
            QCOMPARE(readRaw(m_Root->path("/ORBELIN"), name), name);
        QCOMPARE(gone("/media/USB/run1"), mode == 1);
        // Into a folder of such a name.
        QCOMPARE(paste(0, {"/ORBELIN/run1/plain.txt"},
                       FolderWalk::decodeName("/ORBELIN/run1/d\xfcnn")), QList<int>{0});
        QCOMPARE(readRaw(m_Root->path("/ORBELIN"), "/run1/d\xfcnn/plain.txt"),
                 QByteArray("/run1/plain.txt"));
    }

    void writeBackWait_data()
    {
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("cleanAfterMs");  // -1: never
        QTest::newRow("bounded while pages stay dirty") << 400 << -1;
        QTest::newRow("ends once clean") << 20000 << 300;
    }
    // Before: the wait spun without a pause and without end while anything was dirty.
    void writeBackWait()
    {
        QFETCH(int, timeoutMs);
        QFETCH(int, cleanAfterMs);
        m_Root->fakeProgramScript("awk", "exec /usr/bin/awk \"$@\"");
        Volumes::setMeminfo(*m_Root, 48, 16);
        FileOperator::setWriteBackTimeout(timeoutMs);
        std::thread cleaner([&]() {
            if (cleanAfterMs < 0)
                return;
            QThread::msleep(ulong(cleanAfterMs));
            // Replaced whole, so the worker never reads a half-written file.
            m_Root->writeFile("/proc/meminfo.new", "Dirty: 0 kB\nWriteback: 0 kB\n");
            std::rename(QFile::encodeName(m_Root->path("/proc/meminfo.new")).constData(),
                        QFile::encodeName(m_Root->path("/proc/meminfo")).constData());
        });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(paste(0, {}, "/media/USB"), QList<int>{0});
        const qint64 elapsedMs = clock.elapsed();
        cleaner.join();
        const int end = cleanAfterMs < 0 ? timeoutMs : cleanAfterMs;
        QVERIFY2(elapsedMs >= end && elapsedMs < 15000, qPrintable(QString::number(elapsedMs)));
        // Two reads per pass, a pass every 100 ms or so.
        const int calls = m_Root->calls("awk").size();
        QVERIFY2(calls >= 4 && calls <= 2 * (elapsedMs / 100 + 2), qPrintable(QString::number(calls)));
    }

    // ---- tree nodes

    // One level is listed at once, a link loop one level per selection; hidden entries,
    // broken links and pipes never show, files are kept hidden.
    void nodesListOneLevel()
    {
        m_Root->writeFile("/media/USB/run1/01_RAW.tif", "raw");
        m_Root->writeFile("/media/USB/report.pdf", "pdf");
        m_Root->writeFile("/media/USB/.hidden", "h");
        QVERIFY(QFile::link(m_Root->path("/media/USB/nowhere"), m_Root->path("/media/USB/broken")));
        QVERIFY(QFile::link(m_Root->path("/media/USB/run1"), m_Root->path("/media/USB/run1/loop")));
        QCOMPARE(::mkfifo(QFile::encodeName(m_Root->path("/media/USB/pipe")).constData(), 0600), 0);
        build();
        QCOMPARE(childNames("/media/USB"), QStringList({"report.pdf", "run1"}));
        QVERIFY(row("/media/USB/report.pdf")->isHidden());
        FileSystemItem *run = row("/media/USB/run1");
        QCOMPARE(run->childCount(), 0);
        // Selecting lists the next level, once.
        run->slotCurrentItemChanged(run, nullptr);
        run->slotCurrentItemChanged(run, nullptr);
        QCOMPARE(childNames("/media/USB/run1"), QStringList({"01_RAW.tif", "loop"}));
        QCOMPARE(row("/media/USB/run1/loop")->childCount(), 0);
        QVERIFY(row("/media/USB/run1/loop/loop"));
        QCOMPARE(row("/media/USB/run1/loop")->childCount(), 2);
    }

    void nodesFollowTheDisk()
    {
        m_Root->mkdir("/media/USB/run1");
        build();
        FileSystemItem *run = row("/media/USB/run1");
        // Files in a folder never selected still arrive.
        for (const char *name : {"a.tif", "b.tif", "c.csv"})
            m_Root->writeFile(QString("/media/USB/run1/") + name, "x");
        QTRY_COMPARE(run->childCount(), 3);
        QVERIFY(QFile::remove(m_Root->path("/media/USB/run1/b.tif")));
        QTRY_COMPARE(run->childCount(), 2);
        // The subtree goes with its folder; the kernel forgets a deleted folder, and the
        // same name made again is followed anew.
        m_Root->mkdir("/media/USB/run2/inner");
        QTRY_VERIFY(row("/media/USB/run2/inner"));
        QVERIFY(QDir(m_Root->path("/media/USB/run2")).removeRecursively());
        QTRY_COMPARE(childNames("/media/USB"), QStringList({"run1"}));
        m_Root->writeFile("/media/USB/run2/a.tif", "a");
        QTRY_COMPARE(childNames("/media/USB"), QStringList({"run1", "run2"}));
        m_Root->writeFile("/media/USB/run2/b.tif", "b");
        QTRY_COMPARE(row("/media/USB/run2")->childCount(), 2);
    }

    // Before: rows were compared with the disk by count, so a rename, or an entry added and
    // another removed between two reports, left the old names shown for good.
    void rowsFollowTheDiskByName()
    {
        for (const char *folder : {"/media/USB/run1", "/media/USB/run2", "/ORBELIN/run"})
            m_Root->mkdir(folder);
        build();
        QCOMPARE(childNames("/media/USB"), QStringList({"run1", "run2"}));
        QVERIFY(QDir().rename(m_Root->path("/media/USB/run1"), m_Root->path("/media/USB/runA")));
        QTRY_COMPARE(childNames("/media/USB"), QStringList({"run2", "runA"}));
        QVERIFY(m_Root->mkdir("/media/USB/run3") && QDir().rmdir(m_Root->path("/media/USB/run2")));
        QTRY_COMPARE(childNames("/media/USB"), QStringList({"run3", "runA"}));
        // A cut pasted next to itself.
        select("/ORBELIN/run");
        QVERIFY(m_Tree->cut());
        select("/ORBELIN");
        QVERIFY(m_Tree->paste());
        QTRY_COMPARE(childNames("/ORBELIN"), QStringList({"run(1)"}));
    }

    void folderMadeAgainIsWatchedAgain_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("stick");        // a tmpfs mounted there, swapped for another
        QTest::newRow("folder") << "/media/USB/run" << false;
        QTest::newRow("stick swapped") << "/media/USB" << true;
    }
    // Before: a folder removed and made again before the tree heard of it kept its row, but
    // the kernel had dropped its watch: old entries stayed shown and new ones never came.
    // The same for a stick's row when one stick was pulled and another mounted in its place.
    void folderMadeAgainIsWatchedAgain()
    {
        QFETCH(QString, folder);
        QFETCH(bool, stick);
        const QString real = m_Root->path(folder);
        QString why;
        QVERIFY(QDir().mkpath(real));
        if (stick && !m_Volumes->mount(real, &why))
            QSKIP(qPrintable("the sticks are tmpfs in a private mount namespace: " + why));
        QVERIFY(m_Root->writeFile(folder + "/old.tif", "o"));
        build();
        select(folder);
        QCOMPARE(childNames(folder), QStringList{"old.tif"});
        if (stick) {
            QVERIFY(Volumes::unmount(real) && QDir().rmdir(real) && QDir().mkdir(real)
                    && m_Volumes->mount(real, &why));
        } else {
            QVERIFY(QDir(real).removeRecursively() && QDir().mkdir(real));
        }
        QVERIFY(m_Root->writeFile(folder + "/new.tif", "n"));
        QTRY_COMPARE(childNames(folder), QStringList{"new.tif"});
        QVERIFY(m_Root->writeFile(folder + "/later.tif", "l"));
        QTRY_COMPARE(childNames(folder), QStringList({"later.tif", "new.tif"}));
    }

    // Before: once a watched folder had gone, nothing watched the folder made again under
    // its name; now the next report of any watched folder puts it back.
    void watchOfAFolderGoneAndBack()
    {
        QVERIFY(m_Root->mkdir("/ORBELIN/a"));
        FolderWatch parent("/ORBELIN");
        FolderWatch folder("/ORBELIN/a");
        QSignalSpy parentReports(&parent, &FolderWatch::directoryChanged);
        QSignalSpy reports(&folder, &FolderWatch::directoryChanged);
        QVERIFY(QDir().rmdir(m_Root->path("/ORBELIN/a")));
        QTRY_VERIFY(!parentReports.isEmpty() && !reports.isEmpty());
        reports.clear();
        QVERIFY(m_Root->mkdir("/ORBELIN/a"));
        QTRY_VERIFY(!reports.isEmpty());
        const int before = reports.count();
        QVERIFY(m_Root->writeFile("/ORBELIN/a/f.tif", "f"));
        QTRY_VERIFY(reports.count() > before);
        QCOMPARE(reports.first().first().toString(), QString("/ORBELIN/a"));
    }

    // Every folder node watches its folder; the kernel allows only so many watcher
    // instances per user, so they must share one.
    void manyFoldersShareOneWatcher()
    {
        for (int i = 0; i < 300; ++i)
            m_Root->mkdir(QString("/media/USB/f%1").arg(i));
        const auto inotifyInstances = []() {
            int count = 0;
            for (const QFileInfo &fd : QDir("/proc/self/fd").entryInfoList(QDir::System))
                count += fd.symLinkTarget().contains("inotify");
            return count;
        };
        const int before = inotifyInstances();
        build();
        QCOMPARE(row("/media/USB")->childCount(), 300);
        QCOMPARE(FolderWatch::sharedWatcherCount(), 1);
        QVERIFY2(inotifyInstances() <= before + 1, "one kernel watcher for all folders");
        m_Root->writeFile("/media/USB/f299/new.tif", "x");
        QTRY_COMPARE(row("/media/USB/f299")->childCount(), 1);
        m_Tree.reset();
        QCOMPARE(FolderWatch::sharedWatcherCount(), 0);
    }

    // ---- the tree

    // Stick rows follow /media by name: a stick pulled and another mounted in one change
    // both show. The chooser's tree has sticks only.
    void volumeRowsComeAndGo()
    {
        build(false);
        m_Root->mkdir("/media/NEW");
        QTRY_COMPARE(rows().size(), 3);
        QVERIFY(QDir().rename(m_Root->path("/media/NEW"), m_Root->path("/media/SWAP")));
        QTRY_VERIFY(rows().contains("/media/SWAP"));
        QCOMPARE(rows().filter("/media/").size(), 3);
    }

    // Before: "/media/USB" was taken for the volume of "/media/USB (1)/run", so pulling USB
    // moved the selection away from the other stick.
    void pulledStickMovesOnlyItsOwnRows()
    {
        m_Root->mkdir("/media/USB/run");
        m_Root->mkdir("/media/USB (1)/run/deep");
        build();
        FileSystemItem *current = row("/media/USB (1)/run/deep");
        m_Tree->setCurrentItem(current);
        QSignalSpy changed(m_Tree.get(), &FileSystemTreeWidget::signalCurrentItemChanged);
        QVERIFY(QDir(m_Root->path("/media/USB")).removeRecursively());
        QTRY_COMPARE(rows().size(), 2);
        QCOMPARE(m_Tree->currentItem(), static_cast<QTreeWidgetItem *>(current));
        QCOMPARE(changed.count(), 0);
        // The pulled stick's own row is made current before it goes; then the tree's choice.
        QVERIFY(QDir(m_Root->path("/media/USB (1)")).removeRecursively());
        QTRY_COMPARE(rows().size(), 1);
        QCOMPARE(changed.first().first().toString(), QString("/media/USB (1)"));
        auto *now = static_cast<FileSystemItem *>(m_Tree->currentItem());
        QCOMPARE(changed.last().first().toString(), now ? now->filePath() : QString());
    }

    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("mode");          // clipboard mode afterwards, -1 empty
        QTest::addColumn<bool>("eraseAsked");
        QTest::newRow("Ctrl+X") << int(Qt::Key_X) << int(Qt::ControlModifier) << 1 << false;
        QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << 0 << false;
        QTest::newRow("Ctrl+Shift+X") << int(Qt::Key_X) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                      << -1 << false;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << 0 << -1 << true;
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << -1 << true;
    }
    // Before: Delete and Backspace deleted the folder at once, with no question and in
    // security mode too. Now they only ask the owner, and nothing on a volume row.
    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, mode);
        m_Root->writeFile("/ORBELIN/run1/a.txt", "a");
        build();
        QSignalSpy asked(m_Tree.get(), &FileSystemTreeWidget::signalEraseRequested);
        select("/ORBELIN");
        QTest::keyRelease(m_Tree.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(asked.count(), 0);
        select("/ORBELIN/run1");
        QTest::keyRelease(m_Tree.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(m_Tree->clipboard().paths.isEmpty() ? -1 : m_Tree->clipboard().mode, mode);
        QTEST(asked.count() == 1, "eraseAsked");
        QVERIFY(QFile::exists(m_Root->path("/ORBELIN/run1/a.txt")));
    }

    void clipboardChangesWhole_data()
    {
        QTest::addColumn<int>("mode");      // of the first touch; the second is the other
        QTest::newRow("copy, then cut") << 0;
        QTest::newRow("cut, then copy") << 1;
    }
    // Before: CUT on a row whose folder had just gone kept the earlier paths but made them a
    // cut, so pasting moved a folder that was copied (and COPY the other way round).
    void clipboardChangesWhole()
    {
        QFETCH(int, mode);
        m_Root->mkdir("/ORBELIN/kept");
        m_Root->mkdir("/ORBELIN/gone");
        build();
        select("/ORBELIN/kept");
        QVERIFY(mode == 1 ? m_Tree->cut() : m_Tree->copy());
        select("/ORBELIN/gone");
        QVERIFY(QDir().rmdir(m_Root->path("/ORBELIN/gone")));
        QVERIFY(!(mode == 1 ? m_Tree->copy() : m_Tree->cut()));
        QCOMPARE(m_Tree->clipboard().mode, mode);
        QCOMPARE(m_Tree->clipboard().paths, QStringList{"/ORBELIN/kept"});
    }

    // A copied path that goes clears the clipboard.
    void erase()
    {
        m_Root->writeFile("/ORBELIN/run1/sub/a.txt", "a");
        m_Root->writeFile("/ORBELIN/keep/k.txt", "k");
        QVERIFY(QFile::link(m_Root->path("/ORBELIN/keep"), m_Root->path("/ORBELIN/link")));
        build();
        // A link goes by itself; what it points to stays.
        select("/ORBELIN/link");
        m_Tree->erase();
        QVERIFY(!QFileInfo(m_Root->path("/ORBELIN/link")).isSymLink());
        QCOMPARE(m_Root->readFile("/ORBELIN/keep/k.txt"), QByteArray("k"));
        select("/ORBELIN/run1");
        m_Tree->copy();
        QSignalSpy cleared(m_Tree.get(), &FileSystemTreeWidget::signalClearClipboard);
        m_Tree->erase();
        QVERIFY(gone("/ORBELIN/run1"));
        QTRY_VERIFY(!row("/ORBELIN/run1"));
        // A volume row is never deleted, nor a path outside the volumes.
        select("/ORBELIN");
        m_Tree->erase();
        m_Tree->erase("/ORBELIN");
        m_Tree->erase("/etc");
        QVERIFY(!gone("/ORBELIN/keep/k.txt") && !gone("/etc/mtab"));
        QVERIFY(!cleared.isEmpty());
    }

    void namesOnDisk_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ASCII") << QByteArray("run 1.csv") << "run 1.csv";
        QTest::newRow("UTF-8") << QByteArray("\xc3\x9c" "ber") << "\u00dcber";
        QTest::newRow("UTF-8, four bytes") << QByteArray("\xf0\x9f\x94\xac.tif")
                                           << QString::fromUtf8("\xf0\x9f\x94\xac.tif");
        QTest::newRow("Latin-1") << QByteArray("caf\xe9.csv") << "caf\ufffd.csv";
        QTest::newRow("sequence cut short") << QByteArray("a\xe2\x82") << "a\ufffd\ufffd";
        QTest::newRow("overlong") << QByteArray("\xc0\xaf") << "\ufffd\ufffd";
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << "\ufffd\ufffd\ufffd";
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80")
                                         << "\ufffd\ufffd\ufffd\ufffd";
    }
    // A name read from disk leads back to the same bytes, whatever they are.
    void namesOnDisk()
    {
        QFETCH(QByteArray, bytes);
        const QString name = FolderWalk::decodeName(bytes);
        QCOMPARE(FolderWalk::encodeName(name), bytes);
        QTEST(FolderWalk::displayName(name), "shown");
    }

    // Before: names that are not UTF-8 never showed in the tree nor in the chooser. Now
    // they show with U+FFFD, and their rows lead to the entries on disk.
    void foreignNamesShow()
    {
        QVERIFY(writeRaw(m_Root->path("/media/USB"), "/run1/d\xfcnn/x.png", "x"));
        QVERIFY(writeRaw(m_Root->path("/media/USB"), "/run1/b\xe4r.png", "not an image"));
        m_Root->mkdir("/media/USB/run1/plain");
        build();
        FileSystemItem *run = row("/media/USB/run1");
        run->slotCurrentItemChanged(run, nullptr);
        QStringList shown;
        FileSystemItem *foreign = nullptr;
        for (int i = 0; i < run->childCount(); ++i) {
            shown << run->child(i)->text(0) + (run->child(i)->isHidden() ? " (hidden)" : "");
            if (run->child(i)->text(0) == "d\ufffdnn")
                foreign = run->child(i);
        }
        shown.sort();
        QCOMPARE(shown, QStringList({"b\ufffdr.png (hidden)", "d\ufffdnn", "plain"}));
        foreign->slotCurrentItemChanged(foreign, nullptr);
        QCOMPARE(foreign->childCount(), 1);

        FileSystemListWidget list;
        list.setFilter({"*.png"});
        list.slotCurrentItemChanged("/media/USB/run1");
        QStringList listed;
        for (int i = 0; i < list.count(); ++i)
            listed << list.item(i)->text();
        QCOMPARE(listed, QStringList({"d\ufffdnn", "plain", "b\ufffdr.png"}));
        QString chosen;
        list.setCurrentRow(0);
        QVERIFY(!list.open(chosen));    // enters the folder
        QCOMPARE(list.count(), 1);
        QVERIFY(list.open(chosen));
        QCOMPARE(FolderWalk::encodeName(chosen), QByteArray("/media/USB/run1/d\xfcnn/x.png"));

        // A foreign row goes to the clipboard and stays there while the tree moves on.
        m_Tree->setCurrentItem(foreign);
        QVERIFY(m_Tree->copy());
        QCOMPARE(m_Tree->clipboard().paths, QStringList{foreign->filePath()});
        QSignalSpy cleared(m_Tree.get(), &FileSystemTreeWidget::signalClearClipboard);
        m_Tree->setCurrentItem(run);
        QCOMPARE(cleared.count(), 0);

        m_Tree->erase(foreign->filePath());
        QVERIFY(!existsRaw(m_Root->path("/media/USB"), "/run1/d\xfcnn"));
    }

    void deleteStaysOnItsVolume_data()
    {
        QTest::addColumn<bool>("mounted");      // else: deeper than a delete walks
        QTest::newRow("a file system mounted inside") << true;
        QTest::newRow("too deep") << false;
    }
    // Before: a delete emptied a file system mounted inside the folder, and a delete that
    // could not remove everything ended without a word.
    void deleteStaysOnItsVolume()
    {
        QFETCH(bool, mounted);
        m_Root->writeFile("/ORBELIN/run1/a.txt", "a");
        const QString kept = mounted ? QString("/ORBELIN/run1/sub/stick/inner.txt")
                                     : "/ORBELIN/run1" + QString("/d").repeated(300) + "/inner.txt";
        if (mounted) {
            m_Root->mkdir("/ORBELIN/run1/sub/stick");
            QString why;
            if (!m_Volumes->mount(m_Root->path("/ORBELIN/run1/sub/stick"), &why))
                QSKIP(qPrintable("a tmpfs in a private mount namespace: " + why));
        }
        m_Root->writeFile(kept, "inner");
        build();
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        m_Tree->erase("/ORBELIN/run1");
        QCOMPARE(m_Root->readFile(kept), QByteArray("inner"));
        QCOMPARE(message, QString("<p><b>Error!</b><br/><br/>Some files could not be deleted."
                                  "<br/>They were left where they were.</p>"));
        QVERIFY(gone("/ORBELIN/run1/a.txt"));
    }

    // Before: a paste copied 256 folder levels and a delete removed 128, so a deep tree the
    // paste made stayed, with "Some files could not be deleted".
    void deleteRemovesWhatThePasteMade()
    {
        const QString deep = QString("/d").repeated(200) + "/inner.txt";
        m_Root->writeFile("/ORBELIN/run1" + deep, "inner");
        QCOMPARE(paste(0, {"/ORBELIN/run1"}, "/media/USB"), QList<int>{0});
        QCOMPARE(m_Root->readFile("/media/USB/run1" + deep), QByteArray("inner"));
        build();
        // Answered if it comes; kept alive by the answer, which may outlive this test but
        // leaves later dialogs alone.
        const auto message = std::make_shared<QString>();
        const auto over = std::make_shared<bool>(false);
        ModalAnswer::next([message, over](QWidget *modal) {
            if (*over)
                return;
            *message = ModalAnswer::messageOf(modal);
            modal->close();
        }, 1000);
        m_Tree->erase("/media/USB/run1");
        *over = true;
        QCOMPARE(*message, QString());
        QVERIFY(gone("/media/USB/run1"));
    }

    // Before: Escape closed the progress dialog and a second paste could start beside the
    // first. A paste onto a file goes into its folder; a refused one closes with OK and
    // counts as failed.
    void pasteThroughTheTree()
    {
        m_Root->writeFile("/ORBELIN/run/a.txt", "a");
        m_Root->writeFile("/media/USB/note.txt", "n");
        Volumes::setMeminfo(*m_Root, 100, 0);  // the write-back wait holds the paste open
        build();
        select("/ORBELIN/run");
        m_Tree->copy();
        select("/media/USB/note.txt");
        bool secondPaste = true, stillOpen = false;
        ModalAnswer::next([&](QWidget *modal) {
            QTest::keyClick(modal, Qt::Key_Escape);
            stillOpen = !modal->close() && modal->isVisible();
            secondPaste = m_Tree->paste();
            Volumes::setMeminfo(*m_Root, 0, 0);
        });
        QVERIFY(m_Tree->paste());
        QVERIFY(stillOpen && !secondPaste);
        QCOMPARE(m_Root->readFile("/media/USB/run/a.txt"), QByteArray("a"));
        QVERIFY(gone("/media/USB/run(1)"));
        select("/ORBELIN/run");
        ModalAnswer::next([](QWidget *modal) {
            auto *ok = modal->findChild<QPushButton *>("BUTTON_OK");
            QTRY_VERIFY(ok->isVisible());
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        QVERIFY(!m_Tree->paste());
    }

    // ---- the paste's progress dialog

    void progressDialog_data()
    {
        QTest::addColumn<quint64>("total");
        QTest::addColumn<quint64>("current");
        QTest::addColumn<int>("error");         // 0: none
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("filled");        // the outline's two sides in the bar's colour too
        QTest::newRow("half of 12 GiB") << (quint64(12) << 30) << (quint64(6) << 30) << 0
                                        << "Saving in Progress" << 251 + 1;
        QTest::newRow("nothing to copy") << quint64(0) << quint64(0) << 0 << "Saving" << 2;
        QTest::newRow("1") << quint64(10) << quint64(5) << 1
                           << "Cannot paste files within the same folder." << 0;
        QTest::newRow("2") << quint64(10) << quint64(5) << 2 << "Insufficient Disk Space" << 0;
        QTest::newRow("3") << quint64(10) << quint64(5) << 3
                           << "The designated destination could not be found." << 0;
        QTest::newRow("4") << quint64(10) << quint64(5) << 4
                           << "could not be copied.<br/>They were left where they were." << 0;
        QTest::newRow("5") << quint64(10) << quint64(10) << 5
                           << "The files were copied, but some originals could not be removed."
                           << 0;
    }
    // The bar follows the bytes; an error clears it and shows why until OK rejects.
    void progressDialog()
    {
        QFETCH(quint64, total);
        QFETCH(quint64, current);
        QFETCH(int, error);
        FileOperationDialog dialog;
        dialog.start();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.slotSetTotalFileCountAndSize(3, total);
        dialog.slotSetCurrentFileCountAndSize(1, current);
        auto *ok = dialog.findChild<QPushButton *>("BUTTON_OK");
        if (error) {
            dialog.slotPasteError(FileOperationPasteError(error));
            QTRY_VERIFY(ok->isVisible());
        }
        // Filled pixels of the bar's middle line.
        const QImage image = dialog.grab().toImage();
        int filled = 0;
        for (int x = 130; x < 700; ++x)
            filled += image.pixelColor(x, 364) == QColor(84, 218, 255);
        QTEST(filled, "filled");
        const QString message = dialog.findChild<QLabel *>("LABEL_MESSAGE")->text();
        QFETCH(QString, text);
        QVERIFY2(message.contains(text), qPrintable(message));
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(dialog.isVisible(), !error);
    }

    // Before: Escape in the moment before the dialog went rejected a completed paste.
    void escapeAfterCompletionKeepsItAccepted()
    {
        FileOperationDialog dialog;
        dialog.start();
        QTimer::singleShot(0, &dialog, [&dialog]() {
            dialog.slotCompleted();
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    }

    // ---- the chooser

    // New folders are numbered on clashes, odd names refused, the keyboard closed makes
    // nothing; tapping a folder in the list enters it and the tree follows; the chooser
    // deletes nothing; OK takes the folder.
    void chooseAFolder()
    {
        m_Root->mkdir("/ORBELIN/run1/fields");
        FileOpenDialog dialog;
        auto *tree = dialog.findChild<FileSystemTreeWidget *>("DIR_VIEW_WIDGET");
        auto *list = dialog.findChild<FileSystemListWidget *>("FILE_VIEW_WIDGET");
        QStringList messages, seen;
        const auto listed = [list, &seen]() {
            for (int i = 0; i < list->count(); ++i)
                seen << list->item(i)->text();
            seen << "|";
        };
        ModalAnswer::next([&](QWidget *) {
            tree->setCurrentItem(Volumes::row(tree, "/ORBELIN"));
            for (const QString &typed : {"  Data ", "Data", "a/b", ""}) {
                ModalAnswer::next([typed, &messages](QWidget *keyboard) {
                    if (typed == "a/b")
                        ModalAnswer::next([&messages](QWidget *box) {
                            messages << ModalAnswer::messageOf(box);
                            click(box, "BUTTON_OK");
                        });
                    keyboard->findChild<QLineEdit *>("EDIT_TEXT")->setText(typed);
                    click(keyboard, typed.isEmpty() ? "BUTTON_CLOSE" : "BUTTON_ENTER");
                });
                click(&dialog, "BUTTON_NEW_FOLDER");
            }
            listed();
            QApplication::setActiveWindow(&dialog);   // back from the keyboard and message
            const QRect run1 = list->visualItemRect(list->findItems("run1", Qt::MatchExactly).value(0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, run1.center());
            listed();
            seen << static_cast<FileSystemItem *>(tree->currentItem())->filePath();
            QTest::keyClick(tree, Qt::Key_Delete);
            click(&dialog, "BUTTON_OK");
            if (dialog.isVisible())
                dialog.done(QDialog::Rejected);     // OK did not end it
        });
        seen << dialog.getDirectoryOpenName();
        QCOMPARE(messages, QStringList("<p><b>Error!</b><br/><br/>Unacceptable folder name is "
                                       "used.<br/>Please try again.</p>"));
        // New rows go at the end, unsorted.
        QCOMPARE(seen, (QStringList{"run1", "Data", "Data(1)", "|", "fields", "|", "/ORBELIN/run1",
                                    "/ORBELIN/run1"}));
        QCOMPARE(QDir(m_Root->path("/ORBELIN")).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 (QStringList{"Data", "Data(1)", "run1"}));
    }

    // Before: a folder named with a tag showed its tooltip as rich text.
    void chooserTooltipsShowNamesAsText()
    {
        const QStringList names{"run<br>other", "<b>bold", "a&lt;b", "a&b"};
        for (const QString &name : names)
            QVERIFY(m_Root->mkdir("/media/USB/" + name));
        FileSystemListWidget list;
        list.setViewType(FileSystemListWidget::VIEW_FOLDERS);
        list.slotCurrentItemChanged("/media/USB");
        QStringList shown;
        for (int i = 0; i < list.count(); ++i)
            shown << ModalAnswer::shownText(list.item(i)->toolTip()).trimmed();
        QCOMPARE(shown.size(), names.size());
        for (const QString &name : names)
            QVERIFY2(shown.contains(name), qPrintable(shown.join(" | ")));
    }

    // Before: "a/b" made a folder inside another one, or failed silently; every try of a
    // name that could not be made was followed by another, without end.
    void folderNames()
    {
        for (const QString &name : {"Data", "Data 2", "a.b", "\u00dcber"})
            QVERIFY2(FileOpenDialog::isAcceptableFolderName(name), qPrintable(name));
        for (const QString &name : {"", "-x", "x-", ".x", "x.", "run2/x", "a\\b", "12:30", "a*b",
                                    "a?b", "a\"b", "a<b", "a>b", "a|b", "a\tb", "a\x7f"})
            QVERIFY2(!FileOpenDialog::isAcceptableFolderName(name), qPrintable(name));
        FileSystemListWidget list;
        list.setViewType(FileSystemListWidget::VIEW_FOLDERS);
        list.slotCurrentItemChanged("/ORBELIN/gone");
        QVERIFY(!list.createNewFolder("Data"));
        QCOMPARE(list.count(), 0);

        // Before: the folder was made by a path that lost the bytes that are not UTF-8,
        // so it failed, or went elsewhere.
        QVERIFY(writeRaw(m_Root->path("/media/USB"), "/r\xe9un/Data/x.txt", "x"));
        list.slotCurrentItemChanged(FolderWalk::decodeName("/media/USB/r\xe9un"));
        QVERIFY(list.createNewFolder("Data"));
        QVERIFY(existsRaw(m_Root->path("/media/USB"), "/r\xe9un/Data(1)"));
        QCOMPARE(list.item(list.count() - 1)->text(), QString("Data(1)"));
    }
};

QTEST_MAIN(FileManagerTest)
#include "tst_FileManager.moc"
