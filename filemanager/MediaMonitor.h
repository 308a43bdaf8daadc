#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QFileSystemWatcher;

// One disk partition the instrument can see. Paths are instrument paths.
struct storage_t
{
    QString device;         // "/dev/sdb1": the target of its link in /dev/disk/by-uuid
    QString label;          // name of its mount folder; "Removable Disk" when none is known
    QString mountPoint;     // "/media/DATA"; meaningful only while mounted
    bool mounted = false;
    bool mountable = false; // the monitor may mount and unmount it (never the internal disk)
};

// One line of the mount table, octal escapes ("\040") decoded.
struct MountEntry
{
    QString device;
    QString mountPoint;
};

// Keeps the process-wide list of disk partitions, mounts USB partitions under /media as
// they appear in /dev/disk/by-uuid and unmounts them as they go. The main window owns
// the one instance; everything else reads the list through the static functions, which
// are safe to call from any thread.
class MediaMonitor : public QWidget
{
    Q_OBJECT

public:
    static constexpr int DefaultProgramTimeoutMs = 30000;

    explicit MediaMonitor(QWidget *parent = nullptr);
    ~MediaMonitor() override;

    // A copy of the list, internal disk included, in list order.
    static QList<storage_t> devices();
    // The mounted entry holding the path: the one with the longest mount point that
    // equals the path or is followed by "/" in it. False when none holds it.
    static bool volumeOf(const QString &path, storage_t &volume);
    // Free space in whole MiB of the file system holding the path; 0 when unknown.
    static float freeDiskSpace(const QString &path);
    // The first mounted USB partition whose mount folder exists.
    static bool isConnectedUSBDrive(QString &device, QString &mountPoint);

    // "/etc/mtab", one entry per line; empty when it cannot be read.
    static QList<MountEntry> mountTable();
    // The device is mounted (its path is the device field of a mount-table line).
    static bool isMounted(const QString &device);
    // Some mount-table line mounts a file system on this folder.
    static bool isMountPoint(const QString &folder);
    // Some link in /dev/disk/by-uuid names exactly this device.
    static bool connectedDevice(const QString &device);
    // "/media/MY\040STICK" -> "/media/MY STICK": every three-digit octal escape.
    static QString decodeMountPath(const QString &text);
    // The folders some mount-table line mounts a file system on: what a removal must not
    // enter.
    static QStringList mountPoints();

    // Bound for each run of mount and umount; tests shorten it.
    static void setProgramTimeout(int ms);

    void mountAll();
    void release();
    void umountAll();
    void initialize();
    void cleanUp();

    bool mount(storage_t &entry);
    bool umount(const storage_t &entry);
    bool umount(const QString &device);

public Q_SLOTS:
    void slotUpdateDeviceLabel();

private:
    static void setDevices(const QList<storage_t> &list);
    static void removeMountFolder(const QString &mountPoint);
    static bool runProgram(const QString &program, const QStringList &arguments);

    QFileSystemWatcher *m_Watcher;
};
