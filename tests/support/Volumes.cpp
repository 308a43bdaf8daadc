#include "Volumes.h"

#include "FileSystemItem.h"
#include "TestRoot.h"

#include <QFile>
#include <QTreeWidget>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

namespace {

QString privateNamespace()
{
    static const QString refused = []() -> QString {
        if (::unshare(CLONE_NEWNS) != 0)
            return QStringLiteral("no private mount namespace: %1").arg(std::strerror(errno));
        // Mounts must not propagate back to the host's namespace.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return QStringLiteral("mounts cannot be made private: %1").arg(std::strerror(errno));
        return QString();
    }();
    return refused;
}

} // namespace

Volumes::Volumes(const TestRoot &root, const QStringList &sticks)
{
    root.fakeProgram(QStringLiteral("mount"));
    root.fakeProgram(QStringLiteral("umount"));
    root.mkdir(QStringLiteral("/dev/disk/by-label"));
    root.mkdir(QStringLiteral("/dev/disk/by-uuid"));
    root.mkdir(QStringLiteral("/ORBELIN"));
    QByteArray mtab("/dev/sda1 / ext4 rw 0 0\n");
    QFile::link(QStringLiteral("../../sda1"), root.path(QStringLiteral("/dev/disk/by-uuid/UUID-sda1")));
    char letter = 'b';
    for (const QString &name : sticks) {
        const QString device = QStringLiteral("sd%1%2").arg(QLatin1Char(letter++)).arg(1);
        root.mkdir(QStringLiteral("/media/") + name);
        QFile::link(QStringLiteral("../../") + device,
                    root.path(QStringLiteral("/dev/disk/by-uuid/UUID-") + device));
        mtab += "/dev/" + device.toUtf8() + " /media/"
            + name.toUtf8().replace(" ", "\\040") + " vfat rw 0 0\n";
    }
    root.mkdir(QStringLiteral("/media"));
    root.writeFile(QStringLiteral("/etc/mtab"), mtab);
    setMeminfo(root, 0, 0);
    m_Monitor.reset(new MediaMonitor);
}

Volumes::~Volumes()
{
    for (const QString &folder : qAsConst(m_Mounts))
        unmount(folder);
}

void Volumes::setMeminfo(const TestRoot &root, int dirtyKb, int writebackKb)
{
    root.writeFile(QStringLiteral("/proc/meminfo"),
                   QStringLiteral("MemTotal:        8000000 kB\nDirty:  %1 kB\n"
                                  "Writeback:  %2 kB\nWritebackTmp:  7 kB\n")
                       .arg(dirtyKb).arg(writebackKb).toLatin1());
}

bool Volumes::mount(const QString &realFolder, QString *why, const QByteArray &options)
{
    *why = privateNamespace();
    if (!why->isEmpty())
        return false;
    if (::mount("tmpfs", QFile::encodeName(realFolder), "tmpfs", 0,
                options.isEmpty() ? nullptr : options.constData()) != 0) {
        *why = QStringLiteral("cannot mount a tmpfs: %1").arg(std::strerror(errno));
        return false;
    }
    m_Mounts << realFolder;
    return true;
}

bool Volumes::unmount(const QString &realFolder)
{
    return ::umount2(QFile::encodeName(realFolder), MNT_DETACH) == 0;
}

bool Volumes::remount(const QString &realFolder, bool readOnly)
{
    return ::mount(nullptr, QFile::encodeName(realFolder), nullptr,
                   MS_REMOUNT | MS_BIND | (readOnly ? MS_RDONLY : 0), nullptr)
        == 0;
}

bool Volumes::refuseLinks()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
#ifdef __NR_symlink
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_symlink, 1, 0),
#endif
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_symlinkat, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program = {sizeof filter / sizeof filter[0], filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
        && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

fs::FileSystemItem *Volumes::row(const QTreeWidget *tree, const QString &path)
{
    const auto leadsTo = [&path](const fs::FileSystemItem *node) {
        return path == node->filePath() || path.startsWith(node->filePath() + QLatin1Char('/'));
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        auto *node = dynamic_cast<fs::FileSystemItem *>(tree->topLevelItem(i));
        while (node && leadsTo(node) && node->filePath() != path) {
            node->slotCurrentItemChanged(node, nullptr);
            fs::FileSystemItem *next = nullptr;
            for (int c = 0; c < node->childCount() && !next; ++c)
                next = leadsTo(node->child(c)) ? node->child(c) : nullptr;
            node = next;
        }
        if (node && node->filePath() == path)
            return node;
    }
    return nullptr;
}
