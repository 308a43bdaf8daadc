#include "MediaMonitor.h"

#include "FolderWalk.h"
#include "TestRoot.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QtTest>

#include <atomic>
#include <memory>
#include <sys/stat.h>
#include <thread>

// The monitor against fake partitions (links in the root's /dev/disk) and the project's
// mount and umount stand-ins, which keep the root's /etc/mtab.
class MediaMonitorTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_Root;

    // The mount table, then partitions /dev/<name> plugged.
    void prepare(const QByteArray &mtab, const QStringList &plugged = {})
    {
        for (const char *folder : {"/media", "/dev/disk/by-uuid", "/dev/disk/by-label", "/run"})
            m_Root->mkdir(folder);
        m_Root->writeFile("/etc/mtab", mtab);
        for (const char *program : {"_record", "_usbstick", "mount", "umount"})
            m_Root->installStandin(program);
        for (const QString &name : plugged)
            plug(name);
    }

    // A partition with its content in /sticks/<name>; udev points a label shared by two
    // sticks at the one plugged last.
    void plug(const QString &name, const QString &label = QString())
    {
        m_Root->writeFile("/sticks/" + name + "/data.txt", name.toUtf8());
        const QString byLabel =
            m_Root->path("/dev/disk/by-label/" + QString(label).replace(" ", "\\x20"));
        QFile::remove(byLabel);
        if (!label.isEmpty())
            QFile::link("../../" + name, byLabel);
        QFile::link("../../" + name, m_Root->path("/dev/disk/by-uuid/UUID-" + name));
    }

    // sdb1, then sdb10 with the same label, each waited for until the running monitor has
    // mounted it.
    void plugTwins(const QString &label)
    {
        plug("sdb1", label);
        QTRY_VERIFY(entry("/dev/sdb1").mounted);
        plug("sdb10", label);
        QTRY_VERIFY(entry("/dev/sdb10").mounted);
    }

    void pull(const QString &name) { QFile::remove(m_Root->path("/dev/disk/by-uuid/UUID-" + name)); }

    static storage_t entry(const QString &device)
    {
        for (const storage_t &e : MediaMonitor::devices()) {
            if (e.device == device)
                return e;
        }
        return storage_t();
    }

    bool exists(const QString &path) const { return QFileInfo::exists(m_Root->path(path)); }

private Q_SLOTS:
    void init()
    {
        m_Root.reset(new TestRoot);
        MediaMonitor::setProgramTimeout(MediaMonitor::DefaultProgramTimeoutMs);
    }

    void cleanup() { m_Root.reset(); }

    void startupScan_data()
    {
        QTest::addColumn<QByteArray>("mtab");
        QTest::addColumn<QString>("device");            // sda2, sdb1 and sdb10 are plugged
        QTest::addColumn<QString>("mountPoint");        // empty: not mounted
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("ours");                 // mountable, and offered for export
        QTest::newRow("internal partition under /media")
            << QByteArray("/dev/sda2 /media/BACKUP ext4 rw 0 0\n") << "/dev/sda2"
            << "/media/BACKUP" << "BACKUP" << false;
        QTest::newRow("blank, tab and backslash escaped")
            << QByteArray("/dev/sdb1 /media/A\\040B\\011C\\134D vfat rw 0 0\n") << "/dev/sdb1"
            << "/media/A B\tC\\D" << "A B\tC\\D" << true;
        // Before: "/dev/sdb1" was found inside the line of "/dev/sdb10".
        QTest::newRow("sdb1 is not sdb10") << QByteArray("/dev/sdb10 /media/TEN vfat rw 0 0\n")
            << "/dev/sdb1" << "" << "Removable Disk" << true;
        QTest::newRow("mounted elsewhere than /media: not ours")
            << QByteArray("/dev/sdb1 /srv/data ext4 rw 0 0\n") << "/dev/sdb1" << "/srv/data"
            << "data" << false;
    }
    void startupScan()
    {
        QFETCH(QByteArray, mtab);
        QFETCH(QString, device);
        QFETCH(bool, ours);
        prepare(mtab, {"sda2", "sdb1", "sdb10"});
        // A mounted folder exists, as it would on the instrument.
        for (const char *folder : {"/media/A B\tC\\D", "/media/TEN", "/media/BACKUP"})
            m_Root->mkdir(folder);
        MediaMonitor monitor;
        const storage_t e = entry(device);
        QTEST(e.mounted ? e.mountPoint : QString(), "mountPoint");
        QTEST(e.label, "label");
        QCOMPARE(e.mountable, ours);
        QString offered;
        QCOMPARE(MediaMonitor::isConnectedUSBDrive(offered, offered), ours);
        QCOMPARE(MediaMonitor::devices().size(), 3);
        QVERIFY(m_Root->calls("umount").isEmpty());
    }

    // The internal disk is never mounted nor offered for export, even under /media; a
    // stick mounted before start is not mounted again.
    void mountAllAndRelease()
    {
        prepare("/dev/sda1 / ext4 rw 0 0\n/dev/sda2 /media/BACKUP ext4 rw 0 0\n"
                "/dev/sdb1 /media/DATA vfat rw 0 0\n", {"sda1", "sda2", "sdb1", "sdc1"});
        m_Root->mkdir("/media/BACKUP");
        m_Root->mkdir("/media/DATA");
        MediaMonitor monitor;
        monitor.mountAll();
        QCOMPARE(m_Root->calls("mount"), (QList<QStringList>{{"/dev/sdc1", "/media/Removable Disk"}}));
        QVERIFY(exists("/media/Removable Disk/data.txt"));
        QString device, mountPoint;
        QVERIFY(MediaMonitor::isConnectedUSBDrive(device, mountPoint));
        QCOMPARE(device + mountPoint, QString("/dev/sdb1/media/DATA"));

        monitor.release();
        QCOMPARE(m_Root->calls("umount"), (QList<QStringList>{{"/dev/sdb1"}, {"/dev/sdc1"}}));
        QVERIFY(MediaMonitor::devices().isEmpty());
        QCOMPARE(QDir(m_Root->path("/media")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"BACKUP"});
        // What was written on the stick went back to it.
        QVERIFY(exists("/sticks/sdc1/data.txt"));
    }

    // At start: a stick mounted by an earlier run that has gone is unmounted, the internal
    // disk's partitions never; the clean-up of /media deletes neither inside a mount point
    // nor through a link, nor on another file system whatever the mount table says.
    void startCleansUpWhatAnEarlierRunLeft()
    {
        prepare("/dev/sda1 / ext4 rw 0 0\n/dev/sda3 /data ext4 rw 0 0\n"
                "/dev/sdc1 /media/OLD vfat rw 0 0\n/dev/sdb1 /media/odd\\134name vfat rw 0 0\n",
                {"sda1", "sdb1"});
        m_Root->writeFile("/sticks/sdc1/data.txt", "x");
        m_Root->writeFile("/media/OLD/leftover.txt", "1");
        m_Root->writeFile("/media/odd\\name/count.csv", "2");
        m_Root->writeFile("/media/STALE/sub/old.tif", "3");
        m_Root->writeFile("/ORBELIN/precious/result.csv", "4");
        QFile::link(m_Root->path("/ORBELIN/precious"), m_Root->path("/media/LINK"));
        MediaMonitor monitor;
        QCOMPARE(m_Root->calls("umount"), (QList<QStringList>{{"/dev/sdc1"}}));
        QVERIFY(!m_Root->readFile("/etc/mtab").contains("sdc1"));
        QCOMPARE(QDir(m_Root->path("/media")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries
                                                        | QDir::System),
                 QStringList{"odd\\name"});
        QVERIFY(exists("/media/odd\\name/count.csv") && exists("/ORBELIN/precious/result.csv"));

        m_Root->writeFile("/media/OLD/a.txt", "a");
        m_Root->writeFile("/media/OLD/inner/b.txt", "b");
        struct stat st;
        const FolderWalk::Folder media(FolderWalk::open("/media"));
        QVERIFY(media.fd >= 0 && ::fstat(media.fd, &st) == 0);
        QVERIFY(!FolderWalk::removeAt(media.fd, "OLD", "/media/OLD", st.st_dev + 1, {}));
        QVERIFY(exists("/media/OLD/a.txt"));
        m_Root->writeFile("/etc/mtab", "/dev/sdb1 /media/OLD/inner vfat rw 0 0\n");
        QVERIFY(!FolderWalk::remove("/media/OLD", MediaMonitor::mountPoints()));
        QVERIFY(!exists("/media/OLD/a.txt") && exists("/media/OLD/inner/b.txt"));
    }

    // Before: the handler compared counts, so one stick pulled while another was plugged
    // in kept the gone one listed and never mounted the new one.
    void plugAndPullWhileRunning()
    {
        prepare("/dev/sda1 / ext4 rw 0 0\n", {"sda1"});
        MediaMonitor monitor;
        monitor.mountAll();
        plugTwins("MY DATA");
        QCOMPARE(entry("/dev/sdb1").mountPoint, QString("/media/MY DATA"));
        QCOMPARE(entry("/dev/sdb10").mountPoint, QString("/media/MY DATA (1)"));
        // A notification without a change mounts nothing again.
        monitor.slotUpdateDeviceLabel();
        QCOMPARE(m_Root->calls("mount").size(), 2);
        pull("sdb1");
        QTRY_VERIFY(entry("/dev/sdb1").device.isEmpty());
        QVERIFY(!MediaMonitor::isMounted("/dev/sdb1") && !exists("/media/MY DATA"));

        QSignalBlocker quiet(&monitor);   // one notification for both changes
        pull("sdb10");
        plug("sdc1", "NEW");
        monitor.slotUpdateDeviceLabel();
        QVERIFY(entry("/dev/sdb10").device.isEmpty());
        QCOMPARE(entry("/dev/sdc1").mountPoint, QString("/media/NEW"));
        QVERIFY(!exists("/media/MY DATA (1)"));
        QCOMPARE(MediaMonitor::devices().size(), 2);
    }

    // Before: the label went through chained arg() calls, so a second stick labelled
    // "LAB%1" was mounted at "/media/LAB1 (%2)".
    void twinLabelsKeepPercentSigns()
    {
        prepare("/dev/sda1 / ext4 rw 0 0\n", {"sda1"});
        MediaMonitor monitor;
        monitor.mountAll();
        plugTwins("LAB%1");
        QCOMPARE(entry("/dev/sdb1").mountPoint + "|" + entry("/dev/sdb10").mountPoint,
                 QString("/media/LAB%1|/media/LAB%1 (1)"));
        QVERIFY(exists("/media/LAB%1 (1)/data.txt"));
    }

    // A hanging mount is given up and not tried again, by mountAll nor by a notification.
    // At exit a present stick stays listed, unmounted; a gone one is dropped; a hanging
    // unmount is tried three times, then left.
    void hangingMountAndUmount()
    {
        prepare("");
        MediaMonitor::setProgramTimeout(300);
        m_Root->writeFile("/run/mount.mode", "hang /dev/sdb1");   // or "fail", for some devices
        plug("sdb1", "BAD");
        plug("sdb2", "DATA");
        plug("sdc1", "GONE");
        MediaMonitor monitor;
        monitor.mountAll();
        QVERIFY(!entry("/dev/sdb1").mounted && !exists("/media/BAD"));
        QVERIFY(entry("/dev/sdb2").mounted);
        monitor.mountAll();
        monitor.slotUpdateDeviceLabel();
        QCOMPARE(m_Root->calls("mount").size(), 3);
        QSignalBlocker quiet(&monitor);
        pull("sdc1");
        m_Root->writeFile("/run/umount.mode", "hang /dev/sdb2");
        monitor.umountAll();
        QCOMPARE(m_Root->calls("umount"), (QList<QStringList>{{"/dev/sdb2"}, {"/dev/sdb2"},
                                                              {"/dev/sdb2"}, {"/dev/sdc1"}}));
        QVERIFY(entry("/dev/sdb2").mounted);
        m_Root->writeFile("/run/umount.mode", "");
        monitor.umountAll();
        QCOMPARE(MediaMonitor::devices().size(), 2);
        QVERIFY(!entry("/dev/sdb2").mounted);
        QVERIFY(m_Root->readFile("/etc/mtab").isEmpty());
    }

    // The longest mount point equal to the path or followed by "/"; free space in whole
    // MiB of the volume, 0 where it cannot be queried.
    void volumeOfAndFreeSpace_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mountPoint");
        QTest::newRow("numbered twin") << "/media/DATA (1)/x" << "/media/DATA (1)";
        QTest::newRow("not mounted name") << "/media/DATAX/y" << "/";
        QTest::newRow("dot-dot leaves the stick") << "/media/DATA/../DATA2/x" << "/media/DATA2";
        QTest::newRow("relative path") << "media/DATA/x" << "";
    }
    void volumeOfAndFreeSpace()
    {
        prepare("/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/DATA vfat rw 0 0\n"
                "/dev/sdc1 /media/DATA\\040(1) vfat rw 0 0\n/dev/sdd1 /media/DATA2 vfat rw 0 0\n",
                {"sda1", "sdb1", "sdc1", "sdd1"});
        MediaMonitor monitor;
        storage_t volume;
        QFETCH(QString, path);
        QTEST(MediaMonitor::volumeOf(path, volume) ? volume.mountPoint : QString(), "mountPoint");

        const float mib = MediaMonitor::freeDiskSpace("/media");
        QCOMPARE(float(qint64(mib)), mib);
        const double expected = double(QStorageInfo(m_Root->root()).bytesFree() >> 20);
        QVERIFY2(qAbs(mib - expected) <= 64, qPrintable(QString("%1 vs %2").arg(mib).arg(expected)));
        QCOMPARE(MediaMonitor::freeDiskSpace("/no/such/folder"), 0.0f);
    }

    // The paste worker reads the list while the monitor changes it; without the lock this
    // crashes within a few rounds.
    void listIsSafeToReadFromAnotherThread()
    {
        prepare("");
        MediaMonitor monitor;
        QSignalBlocker quiet(&monitor);
        std::atomic<bool> stop{false};
        std::atomic<int> seen[2] = {{0}, {0}};    // reads without and with the stick
        std::atomic<int> wrong{0};
        std::thread reader([&] {
            while (!stop) {
                storage_t volume;
                const bool found = MediaMonitor::volumeOf("/media/S/x", volume);
                wrong += found && volume.mountPoint != "/media/S";
                ++seen[found];
            }
        });
        for (int i = 0; i < 30; ++i) {
            plug("sdb1", "S");
            monitor.slotUpdateDeviceLabel();
            pull("sdb1");
            monitor.slotUpdateDeviceLabel();
        }
        stop = true;
        reader.join();
        QVERIFY(seen[0] > 0 && seen[1] > 0);
        QCOMPARE(wrong.load(), 0);
    }
};

QTEST_MAIN(MediaMonitorTest)
#include "tst_MediaMonitor.moc"
