#pragma once

#include "MediaMonitor.h"

#include <QStringList>

#include <memory>

class QTreeWidget;
class TestRoot;
namespace fs { class FileSystemItem; }

// The instrument's disks for a file-manager test: the internal disk mounted at "/" and one
// stick per name mounted at "/media/<name>", known to a media monitor built on them.
// mount and umount are fakes that only record their calls.
class Volumes
{
public:
    Volumes(const TestRoot &root, const QStringList &sticks);
    ~Volumes();

    // "/proc/meminfo" as the paste's write-back wait reads it.
    static void setMeminfo(const TestRoot &root, int dirtyKb, int writebackKb);

    // Mounts a new tmpfs on a real folder, with tmpfs options ("size=40m,nr_inodes=100")
    // when given. The first call moves the test into a private mount namespace, so nothing
    // mounted here reaches the host. False, with the reason, where the kernel refuses.
    // Mounts are detached again with the volumes.
    bool mount(const QString &realFolder, QString *why, const QByteArray &options = QByteArray());
    // Detaches a mount at once, as a pulled stick's mount goes while files are open.
    static bool unmount(const QString &realFolder);
    // Makes a mount read-only, as a disk with errors turns, or writable again.
    static bool remount(const QString &realFolder, bool readOnly);
    // The calling thread, and the threads it starts, can no longer make symbolic links,
    // as on a FAT stick (which not every test machine's kernel can mount).
    static bool refuseLinks();

    // The row of an instrument path in a file tree, listing the folders on the way as a
    // touch would; null when there is none.
    static fs::FileSystemItem *row(const QTreeWidget *tree, const QString &path);

private:
    std::unique_ptr<MediaMonitor> m_Monitor;
    QStringList m_Mounts;
};
