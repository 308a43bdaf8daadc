#include "FileOperator.h"
#include "MediaMonitor.h"
#include "SystemPaths.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <thread>

// What one paste reported.
struct PasteRun
{
    QList<int> ends;        // 0 for completion, else the error
    int totals = 0;
    int totalCount = 0;
    quint64 totalBytes = 0;
    quint64 lastBytes = 0;
    int progressSignals = 0;
    qint64 elapsedMs = 0;
};

class FileOperatorTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_Root;
    std::unique_ptr<Volumes> m_Volumes;

    // Runs one paste to its end; onFirstFile runs in the worker's thread right after the
    // first file was copied.
    PasteRun paste(int mode, const QStringList &paths, const QString &destination,
                   std::function<void()> onFirstFile = nullptr)
    {
        PasteRun result;
        FileOperator worker;
        worker.setData(file_operations_t{mode, paths});
        worker.setDst(QFileInfo(destination));
        // Direct connections: the lambdas run in the worker's thread, which is joined
        // before the result is read.
        connect(&worker, &FileOperator::signalPasteError, &worker,
                [&](FileOperationPasteError e) { result.ends << int(e); }, Qt::DirectConnection);
        connect(&worker, &FileOperator::signalCompleted, &worker,
                [&]() { result.ends << 0; }, Qt::DirectConnection);
        connect(&worker, &FileOperator::signalSetTotalFileCountAndSize, &worker,
                [&](int count, quint64 bytes) {
                    ++result.totals;
                    result.totalCount = count;
                    result.totalBytes = bytes;
                }, Qt::DirectConnection);
        connect(&worker, &FileOperator::signalSetCurrentFileCountAndSize, &worker,
                [&](int, quint64 bytes) {
                    if (result.progressSignals++ == 0 && onFirstFile)
                        onFirstFile();
                    result.lastBytes = bytes;
                }, Qt::DirectConnection);
        QElapsedTimer clock;
        clock.start();
        worker.start();
        if (!worker.wait(90000))
            qFatal("paste did not end");
        result.elapsedMs = clock.elapsed();
        return result;
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
        QMap<QString, QByteArray> result;
        const QString real = m_Root->path(folder);
        QDirIterator it(real, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            file.open(QIODevice::ReadOnly);
            result.insert(file.fileName().mid(real.size()), file.readAll());
        }
        return result;
    }

    // A save folder with nested folders, files of awkward sizes and an empty folder.
    quint64 makeRun(const QString &folder)
    {
        quint64 bytes = 0;
        const QList<QPair<QString, int>> files = {
            {"/01_RAW.tif", 100000}, {"/01_TAG.tif", 1025}, {"/run.csv", 1024},
            {"/empty.txt", 0}, {"/images/a.png", 1023}, {"/images/deeper/b.bin", 1},
        };
        int seed = 0;
        for (const auto &file : files) {
            m_Root->writeFile(folder + file.first, pattern(file.second, ++seed));
            bytes += quint64(file.second);
        }
        m_Root->mkdir(folder + "/nothing");
        return bytes;
    }

private Q_SLOTS:
    void init()
    {
        m_Root.reset(new TestRoot);
        m_Volumes.reset(new Volumes(*m_Root, {"USB", "USB (1)"}));
        FileOperator::setWriteBackTimeout(FileOperator::DefaultWriteBackTimeoutMs);
    }

    void cleanup()
    {
        m_Volumes.reset();
        m_Root.reset();
    }

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
        QCOMPARE(paste(0, sources, "/media/USB").ends, QList<int>{0});
        for (const auto &name : names)
            QCOMPARE(m_Root->readFile("/media/USB/" + name.second), name.first.toUtf8());
    }

    void copyNestedFolderByteForByte()
    {
        const quint64 bytes = makeRun("/ORBELIN/run1");
        m_Root->writeFile("/ORBELIN/run1/.hidden", "h");
        m_Root->mkdir("/ORBELIN/run1/.cache");
        const auto before = contents("/ORBELIN/run1");

        const PasteRun run = paste(0, {"/ORBELIN/run1"}, "/media/USB");
        QCOMPARE(run.ends, QList<int>{0});
        QCOMPARE(run.totals, 1);
        // Files plus one block for each of the four folders.
        QCOMPARE(run.totalBytes, bytes + 4 * 4096);
        QCOMPARE(run.totalCount, 6);
        QCOMPARE(run.lastBytes, bytes);
        QCOMPARE(run.progressSignals, 6);
        auto expected = before;
        expected.remove("/.hidden");
        QCOMPARE(contents("/media/USB/run1"), expected);
        QVERIFY(QFileInfo(m_Root->path("/media/USB/run1/nothing")).isDir());
        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/run1/.cache")));
        QCOMPARE(contents("/ORBELIN/run1"), before);
    }

    // A cut moves what was copied; a hidden entry, which is never copied, keeps its folder.
    // A volume row can be cut: its contents move, the data folder or mount folder stays.
    void cutMovesAndKeepsHidden()
    {
        m_Root->writeFile("/media/USB (1)/run/a.txt", "a");
        makeRun("/media/USB/run1");
        makeRun("/media/USB/run2");
        m_Root->writeFile("/media/USB/run2/images/.thumbs", "t");
        m_Root->writeFile("/media/USB/loose.txt", "loose");
        const auto run1 = contents("/media/USB/run1");
        auto run2 = contents("/media/USB/run2");

        // A source gone since the cut is passed over.
        const PasteRun run = paste(1, {"/media/USB/run1", "/media/USB/run2", "/media/USB/gone",
                                       "/media/USB/loose.txt", "/media/USB (1)"}, "/ORBELIN");
        QCOMPARE(run.ends, QList<int>{0});
        QCOMPARE(contents("/ORBELIN/run1"), run1);
        run2.remove("/images/.thumbs");
        QCOMPARE(contents("/ORBELIN/run2"), run2);
        QCOMPARE(m_Root->readFile("/ORBELIN/loose.txt"), QByteArray("loose"));
        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/run1")));
        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/loose.txt")));
        QCOMPARE(contents("/media/USB/run2"), (QMap<QString, QByteArray>{{"/images/.thumbs", "t"}}));
        QCOMPARE(m_Root->readFile("/ORBELIN/USB (1)/run/a.txt"), QByteArray("a"));
        QVERIFY(QFileInfo(m_Root->path("/media/USB (1)")).isDir());
        QVERIFY(QDir(m_Root->path("/media/USB (1)")).isEmpty());
        QCOMPARE(paste(1, {"/ORBELIN"}, "/media/USB").ends, QList<int>{0});
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
        struct rlimit limit = old;
        limit.rlim_cur = 200000;
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const PasteRun run = paste(1, {"/media/USB/run1", "/media/USB/run2"}, "/ORBELIN");
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(run.ends, QList<int>{PASTE_INCOMPLETE});
        QCOMPARE(contents("/media/USB/run1"), run1);
        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/run2")));
        QVERIFY(QFileInfo::exists(m_Root->path("/ORBELIN/run2/01_RAW.tif")));
        // No half-written file passes for a copy.
        QVERIFY(!QFileInfo::exists(m_Root->path("/ORBELIN/run1/images/huge.bin")));
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
        QTest::newRow("stick folder gone") << "/media/GONE" << int(PASTE_DESTINATION_NOT_FOUND)
                                           << QStringList();
        QTest::newRow("folder on a stick gone") << "/media/USB/run9"
                                                << int(PASTE_DESTINATION_NOT_FOUND) << QStringList();
        QTest::newRow("no volume known") << "" << int(PASTE_DESTINATION_NOT_FOUND) << QStringList();
    }
    void refused()
    {
        QFETCH(QString, destination);
        QFETCH(int, error);
        if (destination.isEmpty()) {
            m_Volumes.reset();    // the monitor's list goes with it
            destination = "/media/USB";
        }
        m_Root->writeFile("/ORBELIN/a.txt", "a");
        m_Root->writeFile("/ORBELIN/run1/sub/x.txt", "x");
        const PasteRun run = paste(1, {"/ORBELIN/a.txt", "/ORBELIN/run1"}, destination);
        QCOMPARE(run.ends, QList<int>{error});
        QTEST(QDir(m_Root->path(destination)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              "afterwards");
        QCOMPARE(m_Root->readFile("/ORBELIN/a.txt"), QByteArray("a"));
        QCOMPARE(m_Root->readFile("/ORBELIN/run1/sub/x.txt"), QByteArray("x"));
    }

    void room_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<float>("freeMiB");
        QTest::addColumn<bool>("enough");
        // Beyond 4 GiB.
        QTest::newRow("exactly equal") << (quint64(5) << 30) << 5120.0f << true;
        QTest::newRow("one byte over") << (quint64(5) << 30) + 1 << 5120.0f << false;
    }
    void room()
    {
        QFETCH(quint64, bytes);
        QFETCH(float, freeMiB);
        QTEST(FileOperator::enoughRoom(bytes, freeMiB), "enough");
    }

    void insufficientSpace()
    {
        const float freeMiB = MediaMonitor::freeDiskSpace("/media/USB");
        QVERIFY(freeMiB > 0);
        // A sparse file claims more than the disk holds without using it.
        QFile big(m_Root->path("/ORBELIN/big.bin"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(freeMiB + 1024) * 1048576));
        big.close();
        const PasteRun run = paste(0, {"/ORBELIN/big.bin"}, "/media/USB");
        QCOMPARE(run.ends, QList<int>{PASTE_INSUFFICIENT_DISK_SPACE});
        QCOMPARE(run.totals, 0);
        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/big.bin")));
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

        PasteRun run;
        bool refused = false;
        std::thread([&]() {
            refused = Volumes::refuseLinks();
            run = paste(1, {"/ORBELIN/run1"}, "/media/USB");
        }).join();
        QVERIFY(refused);
        QCOMPARE(run.ends, QList<int>{0});
        QCOMPARE(contents("/media/USB/run1"),
                 (QMap<QString, QByteArray>{{"/x.txt", "x"}, {"/filelink", pattern(5000, 3)},
                                            {"/folderlink/keep.txt", pattern(5000, 3)}}));
        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/run1/sub/loop")));
        QVERIFY(!QFileInfo::exists(m_Root->path("/ORBELIN/run1")));
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
        const PasteRun run = paste(mode, {"/ORBELIN/run1", "/ORBELIN/run2", "/ORBELIN/c.txt"},
                                   "/media/USB", [stick]() { Volumes::unmount(stick); });
        QCOMPARE(run.ends, QList<int>{PASTE_DESTINATION_NOT_FOUND});
        QCOMPARE(QDir(stick).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(contents("/ORBELIN"), before);
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
        const PasteRun run = paste(0, {}, "/media/USB");
        cleaner.join();
        QCOMPARE(run.ends, QList<int>{0});
        const int end = cleanAfterMs < 0 ? timeoutMs : cleanAfterMs;
        QVERIFY2(run.elapsedMs >= end && run.elapsedMs < 15000,
                 qPrintable(QString::number(run.elapsedMs)));
        // Two reads per pass, a pass every 100 ms or so.
        const auto calls = m_Root->calls("awk");
        QVERIFY2(calls.size() >= 4 && calls.size() <= 2 * (run.elapsedMs / 100 + 2),
                 qPrintable(QString::number(calls.size())));
        QCOMPARE(calls.first(), (QStringList{"/Writeback:/ { print $2 }",
                                             SystemPaths::map(QStringLiteral("/proc/meminfo"))}));
        QCOMPARE(calls.at(1).first(), QString("/Dirty:/ { print $2 }"));
    }
};

QTEST_MAIN(FileOperatorTest)
#include "tst_FileOperator.moc"
