#include "FileSystemItem.h"
#include "FolderWatch.h"
#include "Resources.h"
#include "TestRoot.h"

#include <QDir>
#include <QFile>
#include <QTreeWidget>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using fs::FileSystemItem;

class FileSystemItemTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_Root;
    std::unique_ptr<QTreeWidget> m_Tree;

    // A volume row for an instrument path, in a tree as the file manager has it.
    FileSystemItem *volume(const QString &path)
    {
        auto *node = new FileSystemItem;
        m_Tree->addTopLevelItem(node);
        node->setRootPath(path);
        return node;
    }

    static QStringList childNames(const FileSystemItem *node)
    {
        QStringList names;
        for (int i = 0; i < node->childCount(); ++i)
            names << node->child(i)->item().name;
        names.sort();
        return names;
    }

    static FileSystemItem *childNamed(const FileSystemItem *node, const QString &name)
    {
        for (int i = 0; i < node->childCount(); ++i) {
            if (node->child(i)->item().name == name)
                return node->child(i);
        }
        return nullptr;
    }

    static int inotifyInstances()
    {
        int count = 0;
        const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System);
        for (const QFileInfo &fd : fds) {
            if (fd.symLinkTarget().contains(QLatin1String("inotify")))
                ++count;
        }
        return count;
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void init()
    {
        m_Root.reset(new TestRoot);
        m_Tree.reset(new QTreeWidget);
    }

    void cleanup()
    {
        m_Tree.reset();
        m_Root.reset();
    }

    void rootPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("name");
        QTest::newRow("volume") << "/media/USB" << true << "USB";
        QTest::newRow("data folder") << "/ORBELIN" << true << "ORBELIN";
        QTest::newRow("root") << "/" << true << "/";
        QTest::newRow("no slash") << "ORBELIN" << false << "";
    }
    void rootPath()
    {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        QFETCH(QString, name);
        m_Root->mkdir("/media/USB");
        m_Root->mkdir("/ORBELIN");
        FileSystemItem node;
        QCOMPARE(node.setRootPath(path), accepted);
        QCOMPARE(node.item().name, name);
        QCOMPARE(node.text(0), name);
        QCOMPARE(node.item().isChild, false);
        QCOMPARE(node.item().scanned, accepted);
        QCOMPARE(node.item().type, accepted ? 0 : -1);
    }

    // One level is listed at once; hidden entries, broken links and pipes never show.
    void listsOneLevelWithoutHiddenOrBroken()
    {
        m_Root->writeFile("/media/USB/run1/01_RAW.tif", "raw");
        m_Root->writeFile("/media/USB/run1/deeper/x.txt", "x");
        m_Root->writeFile("/media/USB/report.pdf", "pdf");
        m_Root->writeFile("/media/USB/.hidden", "h");
        m_Root->mkdir("/media/USB/.Trash-0");
        QVERIFY(QFile::link(m_Root->path("/media/USB/nowhere"), m_Root->path("/media/USB/broken")));
        QVERIFY(QFile::link(m_Root->path("/media/USB/run1"), m_Root->path("/media/USB/runlink")));
        QCOMPARE(::mkfifo(QFile::encodeName(m_Root->path("/media/USB/pipe")).constData(), 0600), 0);

        FileSystemItem *usb = volume("/media/USB");
        QCOMPARE(childNames(usb), QStringList({"report.pdf", "run1", "runlink"}));
        FileSystemItem *run = childNamed(usb, "run1");
        QCOMPARE(run->item().filePath, QString("/media/USB/run1"));
        QCOMPARE(run->item().type, 0);
        QCOMPARE(run->item().isChild, true);
        QCOMPARE(run->item().scanned, false);
        QCOMPARE(run->childCount(), 0);
        QCOMPARE(childNamed(usb, "runlink")->item().type, 0);
        QVERIFY(childNamed(usb, "report.pdf")->isHidden());
        QVERIFY(!run->isHidden());

        // Selecting lists the next level, once.
        run->slotCurrentItemChanged(run, nullptr);
        QCOMPARE(childNames(run), QStringList({"01_RAW.tif", "deeper"}));
        QVERIFY(run->item().scanned);
        run->slotCurrentItemChanged(run, nullptr);
        QCOMPARE(run->childCount(), 2);
    }

    void followsEntriesAddedAndRemoved()
    {
        m_Root->mkdir("/media/USB/run1");
        FileSystemItem *usb = volume("/media/USB");
        FileSystemItem *run = childNamed(usb, "run1");
        QVERIFY(!run->item().scanned);

        // Three files in a folder never selected: hidden file nodes, and the folder counts
        // as scanned.
        for (const char *name : {"a.tif", "b.tif", "c.csv"})
            m_Root->writeFile(QString("/media/USB/run1/") + name, "x");
        QTRY_COMPARE(run->childCount(), 3);
        QVERIFY(run->item().scanned);
        QVERIFY(run->child(0)->isHidden());

        m_Root->mkdir("/media/USB/run2");
        QTRY_COMPARE(childNames(usb), QStringList({"run1", "run2"}));
        m_Root->writeFile("/media/USB/.hidden", "h");

        QVERIFY(QFile::remove(m_Root->path("/media/USB/run1/b.tif")));
        QTRY_COMPARE(childNames(run), QStringList({"a.tif", "c.csv"}));

        // The subtree goes with its folder, through the parent's watch.
        m_Root->mkdir("/media/USB/run2/inner");
        FileSystemItem *run2 = childNamed(usb, "run2");
        run2->slotCurrentItemChanged(run2, nullptr);
        QCOMPARE(run2->childCount(), 1);
        QVERIFY(QDir(m_Root->path("/media/USB/run2")).removeRecursively());
        QTRY_COMPARE(childNames(usb), QStringList({"run1"}));
    }

    // The kernel forgets a deleted folder; the same name made again is followed anew.
    void folderMadeAgainIsFollowed()
    {
        m_Root->mkdir("/media/USB/run");
        FileSystemItem *usb = volume("/media/USB");
        QVERIFY(QDir().rmdir(m_Root->path("/media/USB/run")));
        QTRY_COMPARE(usb->childCount(), 0);
        m_Root->mkdir("/media/USB/run");
        QTRY_COMPARE(usb->childCount(), 1);
        m_Root->writeFile("/media/USB/run/a.tif", "a");
        QTRY_COMPARE(usb->child(0)->childCount(), 1);
    }

    // Counts are compared first: a rename (same count) changes nothing, and a later
    // addition adds every name the tree lacks.
    void renameIsSeenOnlyWithTheNextAddition()
    {
        m_Root->mkdir("/media/USB/old");
        FileSystemItem *usb = volume("/media/USB");
        QVERIFY(QDir().rename(m_Root->path("/media/USB/old"), m_Root->path("/media/USB/new")));
        usb->slotDirectoryChanged("/media/USB");
        QCOMPARE(childNames(usb), QStringList({"old"}));
        m_Root->mkdir("/media/USB/later");
        QTRY_COMPARE(childNames(usb), QStringList({"later", "new", "old"}));
    }

    void differByCounts()
    {
        m_Root->mkdir("/media/USB/a");
        m_Root->mkdir("/media/USB/b");
        FileSystemItem node;
        node.setRootPath("/media/USB");
        m_Root->mkdir("/media/USB/c");
        QCOMPARE(node.differ("/media/USB"), QStringList({"c"}));
        QVERIFY(QDir().rmdir(m_Root->path("/media/USB/a")));
        QVERIFY(QDir().rmdir(m_Root->path("/media/USB/c")));
        QCOMPARE(node.differ("/media/USB"), QStringList({"a"}));
        QCOMPARE(node.differ("/media/gone"), QStringList());
    }

    // Every folder node watches its folder; the kernel allows only so many watcher
    // instances per user, so they must share one.
    void manyFoldersShareOneWatcher()
    {
        const int folders = 300;
        for (int i = 0; i < folders; ++i)
            m_Root->mkdir(QString("/media/USB/f%1").arg(i));
        const int before = inotifyInstances();
        FileSystemItem *usb = volume("/media/USB");
        QCOMPARE(usb->childCount(), folders);
        QCOMPARE(FolderWatch::sharedWatcherCount(), 1);
        QVERIFY2(inotifyInstances() <= before + 1, "one kernel watcher for all folders");

        FileSystemItem *last = childNamed(usb, QString("f%1").arg(folders - 1));
        m_Root->writeFile(QString("/media/USB/f%1/new.tif").arg(folders - 1), "x");
        QTRY_COMPARE(last->childCount(), 1);

        m_Tree.reset();
        QCOMPARE(FolderWatch::sharedWatcherCount(), 0);
    }

    // Links are shown as entries; a link back to its own folder is listed one level per
    // selection, never walked on its own.
    void linkLoopIsListedLazily()
    {
        m_Root->mkdir("/ORBELIN/a");
        QVERIFY(QFile::link(m_Root->path("/ORBELIN/a"), m_Root->path("/ORBELIN/a/loop")));
        FileSystemItem *data = volume("/ORBELIN");
        FileSystemItem *a = childNamed(data, "a");
        a->slotCurrentItemChanged(a, nullptr);
        FileSystemItem *loop = childNamed(a, "loop");
        QVERIFY(loop);
        QCOMPARE(loop->childCount(), 0);
        loop->slotCurrentItemChanged(loop, nullptr);
        QCOMPARE(childNames(loop), QStringList({"loop"}));
        QCOMPARE(loop->child(0)->item().filePath, QString("/ORBELIN/a/loop/loop"));
    }

    void childIndexOutOfRange()
    {
        m_Root->mkdir("/media/USB/a");
        FileSystemItem *usb = volume("/media/USB");
        QVERIFY(usb->child(0));
        QVERIFY(!usb->child(1));
        QVERIFY(!usb->child(-1));
    }
};

QTEST_MAIN(FileSystemItemTest)
#include "tst_FileSystemItem.moc"
