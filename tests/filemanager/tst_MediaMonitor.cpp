#include "MediaMonitor.h"
#include "TestRoot.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QtTest>

#include <atomic>
#include <sys/stat.h>
#include <thread>

// The monitor against fake partitions (links in the root's /dev/disk) and the project's
// mount and umount stand-ins, which keep the root's /etc/mtab.
class MediaMonitorTest : public QObject
{
    Q_OBJECT

private:
    static void prepare(const TestRoot &root, const QByteArray &mtab = QByteArray())
    {
        for (const char *folder : {"/media", "/dev/disk/by-uuid", "/dev/disk/by-label", "/run"})
            root.mkdir(folder);
        root.writeFile("/etc/mtab", mtab);
        for (const char *program : {"_record", "_usbstick", "mount", "umount"})
            root.installStandin(program);
    }

    // A partition /dev/<name> appears, with its content in /sticks/<name>.
    static void plug(const TestRoot &root, const QString &name, const QString &label = QString())
    {
        root.writeFile("/sticks/" + name + "/data.txt", name.toUtf8());
        if (!label.isEmpty()) {
            QString linkName = label;
            linkName.replace(" ", "\\x20");
            // udev points a label shared by two sticks at the one plugged last.
            QFile::remove(root.path("/dev/disk/by-label/" + linkName));
            QFile::link("../../" + name, root.path("/dev/disk/by-label/" + linkName));
        }
        QFile::link("../../" + name, root.path("/dev/disk/by-uuid/UUID-" + name));
    }

    static void pull(const TestRoot &root, const QString &name)
    {
        QFile::remove(root.path("/dev/disk/by-label/" + name));
        QFile::remove(root.path("/dev/disk/by-uuid/UUID-" + name));
    }

    // "fail" or "hang", optionally followed by the devices it applies to.
    static void setMode(const TestRoot &root, const QString &program, const QByteArray &mode)
    {
        root.writeFile("/run/" + program + ".mode", mode);
    }

    static storage_t entry(const QString &device)
    {
        const QList<storage_t> list = MediaMonitor::devices();
        for (const storage_t &e : list) {
            if (e.device == device)
                return e;
        }
        return storage_t();
    }

    static bool listed(const QString &device)
    {
        return !entry(device).device.isEmpty();
    }

    static QStringList devicesOf(const QList<QStringList> &calls)
    {
        QStringList result;
        for (const QStringList &call : calls)
            result << call.value(0);
        return result;
    }

private Q_SLOTS:
    void init()
    {
        MediaMonitor::setProgramTimeout(MediaMonitor::DefaultProgramTimeoutMs);
    }

    void startupScan_data()
    {
        QTest::addColumn<QByteArray>("mtab");
        QTest::addColumn<QStringList>("links");         // device names with a by-uuid link
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("mounted");
        QTest::addColumn<QString>("mountPoint");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("mountable");

        QTest::newRow("internal disk at /")
            << QByteArray("/dev/sda1 / ext4 rw 0 0\n") << QStringList{"sda1"}
            << "/dev/sda1" << true << "/" << "" << false;
        QTest::newRow("internal partition not mounted")
            << QByteArray("/dev/sda1 / ext4 rw 0 0\n") << QStringList{"sda1", "sda2"}
            << "/dev/sda2" << false << "" << "Removable Disk" << false;
        QTest::newRow("stick mounted before start, blank escaped")
            << QByteArray("/dev/sdb1 /media/MY\\040STICK vfat rw 0 0\n") << QStringList{"sdb1"}
            << "/dev/sdb1" << true << "/media/MY STICK" << "MY STICK" << true;
        QTest::newRow("tab and backslash escaped")
            << QByteArray("/dev/sdb1 /media/A\\011B\\134C vfat rw 0 0\n") << QStringList{"sdb1"}
            << "/dev/sdb1" << true << "/media/A\tB\\C" << "A\tB\\C" << true;
        // Before: "/dev/sdb1" was found inside the line of "/dev/sdb10".
        QTest::newRow("sdb1 is not sdb10")
            << QByteArray("/dev/sdb10 /media/TEN vfat rw 0 0\n") << QStringList{"sdb1", "sdb10"}
            << "/dev/sdb1" << false << "" << "Removable Disk" << true;
        QTest::newRow("sdb10 itself")
            << QByteArray("/dev/sdb10 /media/TEN vfat rw 0 0\n") << QStringList{"sdb1", "sdb10"}
            << "/dev/sdb10" << true << "/media/TEN" << "TEN" << true;
        QTest::newRow("system mount elsewhere than /media is not ours")
            << QByteArray("/dev/sdb1 /srv/data ext4 rw 0 0\n") << QStringList{"sdb1"}
            << "/dev/sdb1" << true << "/srv/data" << "data" << false;
        QTest::newRow("other kind of disk is not ours")
            << QByteArray("/dev/nvme0n1p1 / ext4 rw 0 0\n") << QStringList{"nvme0n1p1"}
            << "/dev/nvme0n1p1" << true << "/" << "" << false;
    }

    void startupScan()
    {
        QFETCH(QByteArray, mtab);
        QFETCH(QStringList, links);
        QFETCH(QString, device);
        TestRoot root;
        prepare(root, mtab);
        for (const QString &name : links)
            plug(root, name);
        // A mounted folder exists, as it would on the instrument.
        root.mkdir("/media/MY STICK");
        root.mkdir("/media/TEN");
        root.mkdir("/media/A\tB\\C");

        MediaMonitor monitor;
        const storage_t e = entry(device);
        QCOMPARE(e.device, device);
        QTEST(e.mounted, "mounted");
        if (e.mounted)
            QTEST(e.mountPoint, "mountPoint");
        QTEST(e.label, "label");
        QTEST(e.mountable, "mountable");
        QCOMPARE(MediaMonitor::devices().size(), links.size());
        QVERIFY(root.calls("umount").isEmpty());
    }

    void mountAllMountsOnlyUsbPartitions()
    {
        TestRoot root;
        prepare(root, "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/DATA vfat rw 0 0\n");
        root.mkdir("/media/DATA");
        plug(root, "sda1");
        plug(root, "sda2");
        plug(root, "sdb1", "DATA");
        plug(root, "sdc1", "OTHER");
        MediaMonitor monitor;
        monitor.mountAll();

        // The internal disk is never mounted; a stick mounted before start is not mounted again.
        QCOMPARE(root.calls("mount"), (QList<QStringList>{{"/dev/sdc1", "/media/OTHER"}}));
        QVERIFY(entry("/dev/sdc1").mounted);
        QVERIFY(!entry("/dev/sda2").mounted);
        QVERIFY(QFile::exists(root.path("/media/OTHER/data.txt")));

        QString device, mountPoint;
        QVERIFY(MediaMonitor::isConnectedUSBDrive(device, mountPoint));
        QCOMPARE(device, QString("/dev/sdb1"));
        QCOMPARE(mountPoint, QString("/media/DATA"));

        monitor.release();
        QCOMPARE(devicesOf(root.calls("umount")), (QStringList{"/dev/sdb1", "/dev/sdc1"}));
        QCOMPARE(root.readFile("/etc/mtab"), QByteArray("/dev/sda1 / ext4 rw 0 0\n"));
        QVERIFY(MediaMonitor::devices().isEmpty());
        QVERIFY(QDir(root.path("/media")).isEmpty());
        // What was written on the stick went back to it.
        QVERIFY(QFile::exists(root.path("/sticks/sdc1/data.txt")));
    }

    void internalDiskNeverOfferedForExport()
    {
        TestRoot root;
        prepare(root, "/dev/sda1 / ext4 rw 0 0\n/dev/sda2 /media/BACKUP ext4 rw 0 0\n");
        root.mkdir("/media/BACKUP");
        plug(root, "sda1");
        plug(root, "sda2");
        MediaMonitor monitor;
        monitor.mountAll();
        QString device, mountPoint;
        QVERIFY(!MediaMonitor::isConnectedUSBDrive(device, mountPoint));
        monitor.release();
        QVERIFY(root.calls("mount").isEmpty());
        QVERIFY(root.calls("umount").isEmpty());
    }

    void staleMountUnmountedAtStart()
    {
        TestRoot root;
        // sdc1 was mounted by an earlier run and has gone; sda3 has no link but is the
        // instrument's own disk and is left alone.
        prepare(root, "/dev/sda1 / ext4 rw 0 0\n/dev/sda3 /data ext4 rw 0 0\n"
                      "/dev/sdc1 /media/OLD vfat rw 0 0\n");
        root.writeFile("/media/OLD/leftover.txt", "x");
        root.writeFile("/sticks/sdc1/data.txt", "x");
        plug(root, "sda1");
        MediaMonitor monitor;
        QCOMPARE(root.calls("umount"), (QList<QStringList>{{"/dev/sdc1"}}));
        QVERIFY(!root.readFile("/etc/mtab").contains("sdc1"));
        QVERIFY(!QFileInfo::exists(root.path("/media/OLD")));
        QCOMPARE(MediaMonitor::devices().size(), 1);
    }

    void cleanUpKeepsMountedFolders()
    {
        TestRoot root;
        prepare(root, "/dev/sdb1 /media/KEEP\\040ME vfat rw 0 0\n"
                      "/dev/sdc1 /media/odd\\134name vfat rw 0 0\n");
        plug(root, "sdb1");
        plug(root, "sdc1");
        root.writeFile("/media/KEEP ME/count.csv", "1");
        root.writeFile("/media/odd\\name/count.csv", "2");
        root.writeFile("/media/STALE/sub/old.tif", "3");
        root.writeFile("/media/stray-file", "4");
        // A link in /media: the link goes, what it points to stays.
        root.writeFile("/ORBELIN/precious/result.csv", "5");
        QFile::link(root.path("/ORBELIN/precious"), root.path("/media/LINK"));

        MediaMonitor monitor;
        QVERIFY(QFile::exists(root.path("/media/KEEP ME/count.csv")));
        QVERIFY(QFile::exists(root.path("/media/odd\\name/count.csv")));
        QVERIFY(!QFileInfo::exists(root.path("/media/STALE")));
        QVERIFY(!QFileInfo::exists(root.path("/media/stray-file")));
        QVERIFY(!QFileInfo(root.path("/media/LINK")).isSymLink());
        QVERIFY(QFile::exists(root.path("/ORBELIN/precious/result.csv")));
    }

    void removeTreeStopsAtOtherFileSystems()
    {
        TestRoot root;
        prepare(root, "/dev/sdb1 /media/OLD/inner vfat rw 0 0\n");
        root.writeFile("/media/OLD/a.txt", "a");
        root.writeFile("/media/OLD/inner/b.txt", "b");
        root.writeFile("/ORBELIN/c.txt", "c");
        QFile::link(root.path("/ORBELIN"), root.path("/media/OLD/link"));
        struct stat st;
        QCOMPARE(::lstat(QFile::encodeName(root.path("/media")).constData(), &st), 0);

        // A folder on another file system (a mount point) is never entered.
        QVERIFY(!MediaMonitor::removeTree("/media/OLD", quint64(st.st_dev) + 1));
        QVERIFY(QFile::exists(root.path("/media/OLD/a.txt")));

        // A mount point inside is kept with its content; the rest goes, links unfollowed.
        QVERIFY(!MediaMonitor::removeTree("/media/OLD", quint64(st.st_dev)));
        QVERIFY(!QFile::exists(root.path("/media/OLD/a.txt")));
        QVERIFY(QFile::exists(root.path("/media/OLD/inner/b.txt")));
        QVERIFY(!QFileInfo(root.path("/media/OLD/link")).isSymLink());
        QVERIFY(QFile::exists(root.path("/ORBELIN/c.txt")));
    }

    void labelsGiveMountFolders_data()
    {
        QTest::addColumn<QStringList>("labels");    // one stick each, plugged in turn
        QTest::addColumn<QStringList>("folders");
        QTest::newRow("blank written as \\x20") << QStringList{"MY STICK"}
                                                << QStringList{"/media/MY STICK"};
        QTest::newRow("two sticks, one label") << QStringList{"DATA", "DATA"}
                                               << QStringList{"/media/DATA", "/media/DATA (1)"};
        QTest::newRow("no label") << QStringList{"", ""}
                                  << QStringList{"/media/Removable Disk",
                                                 "/media/Removable Disk (1)"};
    }

    void labelsGiveMountFolders()
    {
        QFETCH(QStringList, labels);
        QFETCH(QStringList, folders);
        TestRoot root;
        prepare(root);
        const QStringList names{"sdb1", "sdc1"};
        plug(root, names.at(0), labels.at(0));
        MediaMonitor monitor;
        monitor.mountAll();
        for (int i = 1; i < labels.size(); ++i) {
            plug(root, names.at(i), labels.at(i));
            QTRY_VERIFY(entry("/dev/" + names.at(i)).mounted);
        }
        QStringList mounted;
        for (int i = 0; i < labels.size(); ++i)
            mounted << entry("/dev/" + names.at(i)).mountPoint;
        QCOMPARE(mounted, folders);
        const QByteArray mtab = root.readFile("/etc/mtab");
        for (const QString &folder : folders) {
            QVERIFY2(QFile::exists(root.path(folder + "/data.txt")), qPrintable(folder));
            QVERIFY(mtab.contains(' ' + folder.toUtf8().replace(" ", "\\040") + ' '));
        }

        // The mount table writes the blank as \040; a new start reads it back.
        MediaMonitor again;
        for (int i = 0; i < labels.size(); ++i) {
            const storage_t e = entry("/dev/" + names.at(i));
            QVERIFY(e.mounted);
            QCOMPARE(e.mountPoint, folders.at(i));
            QCOMPARE(e.label, folders.at(i).mid(7));
        }
        for (const QString &folder : folders)
            QVERIFY2(QFile::exists(root.path(folder + "/data.txt")), qPrintable(folder));
    }

    void stickPluggedWhileRunningIsMounted()
    {
        TestRoot root;
        prepare(root, "/dev/sda1 / ext4 rw 0 0\n");
        plug(root, "sda1");
        MediaMonitor monitor;
        monitor.mountAll();
        // A stick with two partitions.
        plug(root, "sdb1", "FIRST");
        plug(root, "sdb2", "SECOND");
        QTRY_VERIFY(entry("/dev/sdb1").mounted && entry("/dev/sdb2").mounted);
        QCOMPARE(entry("/dev/sdb1").mountPoint, QString("/media/FIRST"));
        QCOMPARE(entry("/dev/sdb2").mountPoint, QString("/media/SECOND"));
        QCOMPARE(MediaMonitor::devices().size(), 3);

        // A notification without a change mounts nothing again.
        const int mounts = root.calls("mount").size();
        monitor.slotUpdateDeviceLabel();
        QCOMPARE(root.calls("mount").size(), mounts);
        QCOMPARE(MediaMonitor::devices().size(), 3);
    }

    void stickPulledWhileMountedIsReleased()
    {
        TestRoot root;
        prepare(root, "/dev/sda1 / ext4 rw 0 0\n");
        plug(root, "sda1");
        plug(root, "sdb1", "DATA");
        MediaMonitor monitor;
        monitor.mountAll();
        QVERIFY(entry("/dev/sdb1").mounted);

        pull(root, "DATA");
        pull(root, "sdb1");
        QTRY_VERIFY(!listed("/dev/sdb1"));
        QCOMPARE(root.calls("umount"), (QList<QStringList>{{"/dev/sdb1"}}));
        QVERIFY(!QFileInfo::exists(root.path("/media/DATA")));
        QVERIFY(!MediaMonitor::isMounted("/dev/sdb1"));
        QVERIFY(listed("/dev/sda1"));
    }

    void stickThatWillNotUnmountStaysListed()
    {
        TestRoot root;
        prepare(root);
        plug(root, "sdb1", "DATA");
        MediaMonitor monitor;
        monitor.mountAll();
        setMode(root, "umount", "fail");
        pull(root, "DATA");
        pull(root, "sdb1");
        QTRY_COMPARE(root.calls("umount").size(), 1);
        QVERIFY(entry("/dev/sdb1").mounted);
        QVERIFY(QFile::exists(root.path("/media/DATA/data.txt")));

        // At the next start the leftover mount is stale and goes.
        setMode(root, "umount", "");
        MediaMonitor next;
        QVERIFY(!MediaMonitor::isMounted("/dev/sdb1"));
        QVERIFY(!QFileInfo::exists(root.path("/media/DATA")));
        QVERIFY(MediaMonitor::devices().isEmpty());
    }

    // Before: the handler compared counts, so one stick pulled while another was plugged
    // in kept the gone one listed and never mounted the new one.
    void swapInOneNotificationIsFollowed()
    {
        TestRoot root;
        prepare(root);
        plug(root, "sdb1", "OLD");
        MediaMonitor monitor;
        monitor.mountAll();
        QSignalBlocker quiet(&monitor);   // one notification for both changes
        pull(root, "OLD");
        pull(root, "sdb1");
        plug(root, "sdc1", "NEW");
        monitor.slotUpdateDeviceLabel();
        QVERIFY(!listed("/dev/sdb1"));
        QVERIFY(entry("/dev/sdc1").mounted);
        QCOMPARE(entry("/dev/sdc1").mountPoint, QString("/media/NEW"));
        QVERIFY(!QFileInfo::exists(root.path("/media/OLD")));
    }

    void failedMountIsNotRetried_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::newRow("mount fails") << QByteArray("fail");
        QTest::newRow("mount hangs") << QByteArray("hang");
    }

    void failedMountIsNotRetried()
    {
        QFETCH(QByteArray, mode);
        TestRoot root;
        prepare(root);
        MediaMonitor::setProgramTimeout(500);
        setMode(root, "mount", mode + " /dev/sdb1");
        plug(root, "sdb1", "BAD");
        plug(root, "sdb2", "GOOD");
        MediaMonitor monitor;
        QElapsedTimer clock;
        clock.start();
        monitor.mountAll();
        QVERIFY(clock.elapsed() < 10000);
        const storage_t bad = entry("/dev/sdb1");
        QVERIFY(!bad.mounted);
        QVERIFY(!bad.mountable);
        QVERIFY(!QFileInfo::exists(root.path("/media/BAD")));
        QVERIFY(entry("/dev/sdb2").mounted);

        // Neither mountAll nor a notification tries it again ...
        monitor.mountAll();
        monitor.slotUpdateDeviceLabel();
        QCOMPARE(root.calls("mount").size(), 2);
        QString device, mountPoint;
        QVERIFY(MediaMonitor::isConnectedUSBDrive(device, mountPoint));
        QCOMPARE(device, QString("/dev/sdb2"));

        // ... until its link goes and comes back.
        setMode(root, "mount", "");
        QSignalBlocker quiet(&monitor);
        pull(root, "sdb1");
        monitor.slotUpdateDeviceLabel();
        QVERIFY(!listed("/dev/sdb1"));
        plug(root, "sdb1");
        monitor.slotUpdateDeviceLabel();
        QVERIFY(entry("/dev/sdb1").mounted);
    }

    void noMountFolderMeansFailure()
    {
        TestRoot root;
        prepare(root);
        QDir(root.path("/media")).removeRecursively();
        plug(root, "sdb1", "DATA");
        MediaMonitor monitor;
        monitor.mountAll();
        QVERIFY(!entry("/dev/sdb1").mountable);
        QVERIFY(root.calls("mount").isEmpty());
    }

    void umountAllKeepsPresentSticks()
    {
        TestRoot root;
        prepare(root);
        plug(root, "sdb1", "DATA");
        plug(root, "sdc1", "GONE");
        MediaMonitor monitor;
        monitor.mountAll();
        QSignalBlocker quiet(&monitor);
        pull(root, "GONE");
        pull(root, "sdc1");
        monitor.umountAll();
        QCOMPARE(MediaMonitor::devices().size(), 1);
        QVERIFY(!entry("/dev/sdb1").mounted);
        QVERIFY(entry("/dev/sdb1").mountPoint.isEmpty());
        QVERIFY(root.readFile("/etc/mtab").isEmpty());
    }

    void umountAllGivesUpOnAHangingUnmount()
    {
        TestRoot root;
        prepare(root);
        plug(root, "sdb1", "DATA");
        MediaMonitor monitor;
        monitor.mountAll();
        MediaMonitor::setProgramTimeout(300);
        setMode(root, "umount", "hang");
        QElapsedTimer clock;
        clock.start();
        monitor.umountAll();
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(root.calls("umount").size(), 3);
        QVERIFY(entry("/dev/sdb1").mounted);
        setMode(root, "umount", "");
    }

    void volumeOf_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mountPoint");
        QTest::newRow("file on a stick") << "/media/DATA/run1/01_RAW.tif" << "/media/DATA";
        QTest::newRow("mount point itself") << "/media/DATA" << "/media/DATA";
        QTest::newRow("numbered twin") << "/media/DATA (1)/x" << "/media/DATA (1)";
        QTest::newRow("name sharing a prefix") << "/media/DATA2/x" << "/media/DATA2";
        QTest::newRow("internal data folder") << "/ORBELIN/run1" << "/";
        QTest::newRow("media folder") << "/media" << "/";
        QTest::newRow("not mounted name") << "/media/DAT" << "/";
        QTest::newRow("dot-dot leaves the stick") << "/media/DATA/../DATA2/x" << "/media/DATA2";
        QTest::newRow("relative path") << "media/DATA/x" << "";
        QTest::newRow("empty path") << "" << "";
    }

    void volumeOf()
    {
        QFETCH(QString, path);
        TestRoot root;
        prepare(root, "/dev/sda1 / ext4 rw 0 0\n"
                      "/dev/sdb1 /media/DATA vfat rw 0 0\n"
                      "/dev/sdc1 /media/DATA\\040(1) vfat rw 0 0\n"
                      "/dev/sdd1 /media/DATA2 vfat rw 0 0\n");
        // The internal disk is listed first, as the system lists it.
        for (const QString &name : {"sda1", "sdb1", "sdc1", "sdd1"})
            plug(root, name);
        MediaMonitor monitor;
        storage_t volume;
        const bool found = MediaMonitor::volumeOf(path, volume);
        QTEST(found ? volume.mountPoint : QString(), "mountPoint");
    }

    void freeDiskSpaceInWholeMiB()
    {
        TestRoot root;
        prepare(root);
        const QStorageInfo storage(root.root());
        const float mib = MediaMonitor::freeDiskSpace("/media");
        QCOMPARE(float(qint64(mib)), mib);
        const double expected = double(storage.bytesFree() >> 20);
        QVERIFY2(qAbs(mib - expected) <= 64, qPrintable(QString("%1 vs %2").arg(mib).arg(expected)));
        QCOMPARE(MediaMonitor::freeDiskSpace("/no/such/folder"), 0.0f);
        QCOMPARE(MediaMonitor::freeDiskSpace(QString()), 0.0f);
    }

    void listIsSafeToReadFromAnotherThread()
    {
        TestRoot root;
        prepare(root);
        MediaMonitor monitor;
        QSignalBlocker quiet(&monitor);
        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        std::thread reader([&] {
            while (!stop) {
                storage_t volume;
                MediaMonitor::volumeOf("/media/S/x", volume);
                reads += MediaMonitor::devices().size() >= 0;
            }
        });
        for (int i = 0; i < 15; ++i) {
            plug(root, "sdb1", "S");
            monitor.slotUpdateDeviceLabel();
            pull(root, "S");
            pull(root, "sdb1");
            monitor.slotUpdateDeviceLabel();
        }
        stop = true;
        reader.join();
        QVERIFY(reads > 0);
        QVERIFY(MediaMonitor::devices().isEmpty());
    }
};

QTEST_MAIN(MediaMonitorTest)
#include "tst_MediaMonitor.moc"
