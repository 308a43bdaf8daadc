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
#include <memory>
#include <sys/resource.h>
#include <thread>

// What one paste reported.
struct PasteRun
{
    QList<int> errors;
    int completed = 0;
    int totals = 0;
    quint64 totalBytes = 0;
    int totalCount = 0;
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
        file_operations_t data;
        data.mode = mode;
        data.paths = paths;
        worker.setData(data);
        worker.setDst(QFileInfo(destination));
        // Direct connections: the lambdas run in the worker's thread, which is joined
        // before the result is read.
        connect(&worker, &FileOperator::signalPasteError, &worker,
                [&](FileOperationPasteError e) { result.errors << int(e); }, Qt::DirectConnection);
        connect(&worker, &FileOperator::signalCompleted, &worker,
                [&]() { ++result.completed; }, Qt::DirectConnection);
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
        if (!worker.wait(60000))
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

    // Every visible file below a folder, relative path -> content.
    QMap<QString, QByteArray> contents(const QString &folder) const
    {
        QMap<QString, QByteArray> result;
        const QString real = m_Root->path(folder);
        QDirIterator it(real, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            result.insert(path.mid(real.size()), file.readAll());
        }
        return result;
    }

    // A save folder with nested folders, files of awkward sizes and hidden entries.
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

    void clashNames_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << QStringList() << "report.pdf" << false << "report.pdf";
        QTest::newRow("file") << QStringList{"report.pdf"} << "report.pdf" << false << "report(1).pdf";
        QTest::newRow("second clash") << QStringList{"report.pdf", "report(1).pdf"}
                                      << "report.pdf" << false << "report(2).pdf";
        QTest::newRow("last dot") << QStringList{"data.tar.gz"} << "data.tar.gz" << false
                                  << "data.tar(1).gz";
        QTest::newRow("no suffix") << QStringList{"README"} << "README" << false << "README(1)";
        QTest::newRow("folder") << QStringList{"run"} << "run" << true << "run(1)";
        QTest::newRow("folder with dot") << QStringList{"run.1"} << "run.1" << true << "run.1(1)";
        QTest::newRow("taken by a folder") << QStringList{"x.csv"} << "x.csv" << false << "x(1).csv";
    }
    void clashNames()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, name);
        QFETCH(bool, isFolder);
        for (const QString &entry : present) {
            if (entry == "x.csv" || entry.startsWith("run"))
                m_Root->mkdir("/media/USB/" + entry);
            else
                m_Root->writeFile("/media/USB/" + entry, "old");
        }
        QTEST(FileOperator::targetName("/media/USB", name, isFolder), "expected");
    }

    // A broken link holds its name like any other entry.
    void brokenLinkTakesItsName()
    {
        QVERIFY(QFile::link("nowhere", m_Root->path("/media/USB/a.txt")));
        QCOMPARE(FileOperator::targetName("/media/USB", "a.txt", false), QString("a(1).txt"));
    }

    // Pasting into the source's own folder keeps both.
    void pasteIntoOwnFolderNumbers()
    {
        m_Root->writeFile("/ORBELIN/report.pdf", "A");
        m_Root->writeFile("/ORBELIN/README", "B");
        m_Root->mkdir("/ORBELIN/run");
        const PasteRun run = paste(0, {"/ORBELIN/report.pdf", "/ORBELIN/README", "/ORBELIN/run"},
                                   "/ORBELIN");
        QCOMPARE(run.completed, 1);
        QCOMPARE(m_Root->readFile("/ORBELIN/report(1).pdf"), QByteArray("A"));
        QCOMPARE(m_Root->readFile("/ORBELIN/README(1)"), QByteArray("B"));
        QVERIFY(QFileInfo(m_Root->path("/ORBELIN/run(1)")).isDir());
        QCOMPARE(m_Root->readFile("/ORBELIN/report.pdf"), QByteArray("A"));
    }

    void copyNestedFolderByteForByte()
    {
        const quint64 bytes = makeRun("/ORBELIN/run1");
        m_Root->writeFile("/ORBELIN/run1/.hidden", "h");
        m_Root->mkdir("/ORBELIN/run1/.cache");
        const auto before = contents("/ORBELIN/run1");

        const PasteRun run = paste(0, {"/ORBELIN/run1"}, "/media/USB");
        QCOMPARE(run.errors, QList<int>());
        QCOMPARE(run.completed, 1);
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
    void cutMovesAndKeepsHidden()
    {
        makeRun("/media/USB/run1");
        makeRun("/media/USB/run2");
        m_Root->writeFile("/media/USB/run2/images/.thumbs", "t");
        m_Root->writeFile("/media/USB/loose.txt", "loose");
        const auto run1 = contents("/media/USB/run1");
        const auto run2 = contents("/media/USB/run2");

        const PasteRun run = paste(1, {"/media/USB/run1", "/media/USB/run2", "/media/USB/loose.txt"},
                                   "/ORBELIN");
        QCOMPARE(run.completed, 1);
        QCOMPARE(contents("/ORBELIN/run1"), run1);
        auto run2Copied = run2;
        run2Copied.remove("/images/.thumbs");
        QCOMPARE(contents("/ORBELIN/run2"), run2Copied);
        QCOMPARE(m_Root->readFile("/ORBELIN/loose.txt"), QByteArray("loose"));

        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/run1")));
        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/loose.txt")));
        QCOMPARE(contents("/media/USB/run2"),
                 (QMap<QString, QByteArray>{{"/images/.thumbs", "t"}}));
    }

    // A volume row can be cut: its contents move, the data folder or mount folder stays.
    void cutOfAVolumeRowKeepsTheFolder()
    {
        m_Root->writeFile("/media/USB (1)/run/a.txt", "a");
        m_Root->writeFile("/ORBELIN/b.txt", "b");
        PasteRun run = paste(1, {"/media/USB (1)"}, "/media/USB");
        QCOMPARE(run.completed, 1);
        QCOMPARE(m_Root->readFile("/media/USB/USB (1)/run/a.txt"), QByteArray("a"));
        QVERIFY(QDir(m_Root->path("/media/USB (1)")).isEmpty());
        QVERIFY(QFileInfo(m_Root->path("/media/USB (1)")).isDir());

        run = paste(1, {"/ORBELIN"}, "/media/USB");
        QCOMPARE(run.completed, 1);
        QCOMPARE(m_Root->readFile("/media/USB/ORBELIN/b.txt"), QByteArray("b"));
        QVERIFY(QFileInfo(m_Root->path("/ORBELIN")).isDir());
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

        QCOMPARE(run.completed, 0);
        QCOMPARE(run.errors, QList<int>{PASTE_INCOMPLETE});
        QCOMPARE(contents("/media/USB/run1"), run1);
        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/run2")));
        QVERIFY(QFileInfo::exists(m_Root->path("/ORBELIN/run2/01_RAW.tif")));
        // No half-written file passes for a copy.
        QVERIFY(!QFileInfo::exists(m_Root->path("/ORBELIN/run1/images/huge.bin")));
    }

    void vanishedSourcesComplete()
    {
        const PasteRun run = paste(1, {"/ORBELIN/gone", "/media/USB/gone.txt"}, "/media/USB");
        QCOMPARE(run.completed, 1);
        QCOMPARE(run.totalBytes, quint64(0));
        QCOMPARE(run.progressSignals, 0);
    }

    void sameFolder()
    {
        m_Root->writeFile("/ORBELIN/a.txt", "a");
        m_Root->writeFile("/ORBELIN/run1/x.txt", "x");
        // The first source is copied, then the destination itself stops the paste.
        const PasteRun run = paste(1, {"/ORBELIN/a.txt", "/ORBELIN/run1", "/ORBELIN/b"},
                                   "/ORBELIN/run1");
        QCOMPARE(run.errors, QList<int>{PASTE_SAME_FOLDER});
        QCOMPARE(run.completed, 0);
        QCOMPARE(m_Root->readFile("/ORBELIN/run1/a.txt"), QByteArray("a"));
        QCOMPARE(m_Root->readFile("/ORBELIN/a.txt"), QByteArray("a"));
    }

    // Before: a folder pasted into its own subfolder copied itself until the disk was full.
    void destinationInsideSourceRefusedFirst()
    {
        m_Root->writeFile("/ORBELIN/a.txt", "a");
        m_Root->writeFile("/ORBELIN/run1/sub/x.txt", "x");
        const PasteRun run = paste(0, {"/ORBELIN/a.txt", "/ORBELIN/run1"}, "/ORBELIN/run1/sub");
        QCOMPARE(run.errors, QList<int>{PASTE_SAME_FOLDER});
        QCOMPARE(run.totals, 0);
        QCOMPARE(QDir(m_Root->path("/ORBELIN/run1/sub")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"x.txt"});
    }

    void room_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<float>("freeMiB");
        QTest::addColumn<bool>("enough");
        QTest::newRow("exactly equal") << quint64(5) * 1048576 << 5.0f << true;
        QTest::newRow("one byte over") << quint64(5) * 1048576 + 1 << 5.0f << false;
        QTest::newRow("nothing on a full disk") << quint64(0) << 0.0f << true;
        QTest::newRow("beyond 4 GiB") << quint64(5) * 1024 * 1048576 << 5119.0f << false;
        QTest::newRow("large, equal") << quint64(300000) * 1048576 << 300000.0f << true;
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
        QCOMPARE(run.errors, QList<int>{PASTE_INSUFFICIENT_DISK_SPACE});
        QCOMPARE(run.totals, 0);
        QVERIFY(!QFileInfo::exists(m_Root->path("/media/USB/big.bin")));
    }

    void destinationNotFound_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::newRow("stick folder gone") << "/media/GONE";
        QTest::newRow("folder on a stick gone") << "/media/USB/run9";
    }
    void destinationNotFound()
    {
        QFETCH(QString, destination);
        m_Root->writeFile("/ORBELIN/a.txt", "a");
        const PasteRun run = paste(0, {"/ORBELIN/a.txt"}, destination);
        QCOMPARE(run.errors, QList<int>{PASTE_DESTINATION_NOT_FOUND});
        QCOMPARE(run.totals, 0);
    }

    void noVolumeKnown()
    {
        m_Volumes.reset();
        m_Root->writeFile("/etc/mtab", "");
        MediaMonitor monitor;
        m_Root->writeFile("/ORBELIN/a.txt", "a");
        const PasteRun run = paste(0, {"/ORBELIN/a.txt"}, "/ORBELIN");
        QCOMPARE(run.errors, QList<int>{PASTE_DESTINATION_NOT_FOUND});
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
        QCOMPARE(run.errors, QList<int>());
        QCOMPARE(run.completed, 1);
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
        QCOMPARE(run.errors, QList<int>{PASTE_DESTINATION_NOT_FOUND});
        QCOMPARE(run.completed, 0);
        QCOMPARE(QDir(stick).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(contents("/ORBELIN"), before);
    }

    void sourcePulledDuringPaste()
    {
        for (int i = 0; i < 50; ++i)
            m_Root->writeFile(QString("/media/USB/run1/%1.tif").arg(i), pattern(2000, i));
        const QString stick = m_Root->path("/media/USB");
        const PasteRun run = paste(1, {"/media/USB/run1"}, "/ORBELIN",
                                   [stick]() { QDir(stick).removeRecursively(); });
        QCOMPARE(run.errors, QList<int>{PASTE_INCOMPLETE});
        QVERIFY(QDir(m_Root->path("/ORBELIN/run1")).entryList(QDir::Files).size() < 50);
    }

    // Before: the wait spun without a pause and without end while anything was dirty.
    void writeBackWaitIsBounded()
    {
        m_Root->fakeProgramScript("awk", "exec /usr/bin/awk \"$@\"");
        Volumes::setMeminfo(*m_Root, 48, 0);
        FileOperator::setWriteBackTimeout(400);
        const PasteRun run = paste(0, {}, "/media/USB");
        QCOMPARE(run.completed, 1);
        QVERIFY2(run.elapsedMs >= 400, qPrintable(QString::number(run.elapsedMs)));
        const auto calls = m_Root->calls("awk");
        // Two reads per pass, a pass every 100 ms or so.
        QVERIFY2(calls.size() >= 4 && calls.size() <= 14, qPrintable(QString::number(calls.size())));
        QCOMPARE(calls.first(), (QStringList{"/Writeback:/ { print $2 }",
                                             SystemPaths::map(QStringLiteral("/proc/meminfo"))}));
        QCOMPARE(calls.at(1).first(), QString("/Dirty:/ { print $2 }"));
    }

    void writeBackWaitEndsWhenClean()
    {
        Volumes::setMeminfo(*m_Root, 0, 16);
        FileOperator::setWriteBackTimeout(20000);
        QTimer::singleShot(300, [this]() {
            // Replaced whole, so the worker never reads a half-written file.
            m_Root->writeFile("/proc/meminfo.new", "Dirty: 0 kB\nWriteback: 0 kB\n");
            QFile::remove(m_Root->path("/proc/meminfo"));
            QFile::rename(m_Root->path("/proc/meminfo.new"), m_Root->path("/proc/meminfo"));
        });
        FileOperator worker;
        QSignalSpy completed(&worker, &FileOperator::signalCompleted);
        worker.setDst(QFileInfo("/media/USB"));
        worker.start();
        QVERIFY(completed.wait(30000));
        QVERIFY(worker.wait(30000));
    }
};

QTEST_MAIN(FileOperatorTest)
#include "tst_FileOperator.moc"
