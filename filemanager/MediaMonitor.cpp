#include "MediaMonitor.h"

#include "ExternalProgram.h"
#include "FolderWalk.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const char ByUuidFolder[] = "/dev/disk/by-uuid";
const char ByLabelFolder[] = "/dev/disk/by-label";
const char MountTableFile[] = "/etc/mtab";
const char MediaPrefix[] = "/media/";
const char NoLabel[] = "Removable Disk";

// Names tried for a mount folder ("DATA", "DATA (1)", ...) before a mount counts as failed.
const int MaxFolderNumber = 99;
// Tries of one unmount in umountAll() before the entry is left mounted.
const int UmountTries = 3;

// USB partitions; the first disk is the instrument's own.
const QRegularExpression UsbPartition(QStringLiteral("^/dev/sd(\\S)(\\d+)$"));
const QRegularExpression FirstDiskPartition(QStringLiteral("^/dev/sda(\\d+)$"));

struct DeviceList
{
    QMutex mutex;   // the paste worker reads the list from its own thread
    QList<storage_t> entries;
};

DeviceList &deviceList()
{
    static DeviceList list;
    return list;
}

int s_ProgramTimeoutMs = MediaMonitor::DefaultProgramTimeoutMs;

bool isUsbPartition(const QString &device)
{
    return UsbPartition.match(device).hasMatch();
}

bool isFirstDisk(const QString &device)
{
    return FirstDiskPartition.match(device).hasMatch();
}

struct Link
{
    QString name;
    QString target;     // instrument path
};

// The symbolic links of a folder, in the order the system lists them; hidden entries
// are skipped. Relative targets ("../../sdb1", as udev writes them) are resolved
// against the folder.
QList<Link> links(const QString &folder)
{
    QList<Link> result;
    const QString real = SystemPaths::map(folder);
    const QStringList names = QDir(real).entryList(
        QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString &name : names) {
        char buffer[4096];
        const QByteArray path = QFile::encodeName(real + QLatin1Char('/') + name);
        const ssize_t size = ::readlink(path.constData(), buffer, sizeof(buffer) - 1);
        if (size <= 0)
            continue;
        QString target = QFile::decodeName(QByteArray(buffer, int(size)));
        if (target.startsWith(QLatin1Char('/')))
            target = SystemPaths::unmap(QDir::cleanPath(target));
        else
            target = QDir::cleanPath(folder + QLatin1Char('/') + target);
        result << Link{name, target};
    }
    return result;
}

// Device -> label from /dev/disk/by-label, where a blank of the label is "\x20".
QHash<QString, QString> labels()
{
    QHash<QString, QString> result;
    for (const Link &link : links(QString::fromLatin1(ByLabelFolder))) {
        if (!isUsbPartition(link.target) || result.contains(link.target))
            continue;
        QString label = link.name;
        label.replace(QLatin1String("\\x20"), QLatin1String(" "));
        result.insert(link.target, label);
    }
    return result;
}

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

} // namespace

MediaMonitor::MediaMonitor(QWidget *parent)
    : QWidget(parent)
    , m_Watcher(new QFileSystemWatcher(this))
{
    const QString folder = SystemPaths::map(QString::fromLatin1(ByUuidFolder));
    if (!m_Watcher->addPath(folder))
        qDebug() << Q_FUNC_INFO << "cannot watch" << folder;
    connect(m_Watcher, &QFileSystemWatcher::directoryChanged, this,
            &MediaMonitor::slotUpdateDeviceLabel);
    initialize();
    cleanUp();
}

MediaMonitor::~MediaMonitor()
{
    release();
}

QList<storage_t> MediaMonitor::devices()
{
    DeviceList &list = deviceList();
    QMutexLocker lock(&list.mutex);
    return list.entries;
}

void MediaMonitor::setDevices(const QList<storage_t> &entries)
{
    DeviceList &list = deviceList();
    QMutexLocker lock(&list.mutex);
    list.entries = entries;
}

bool MediaMonitor::volumeOf(const QString &path, storage_t &volume)
{
    if (!path.startsWith(QLatin1Char('/')))
        return false;
    const QString clean = QDir::cleanPath(path);
    int best = -1;
    const QList<storage_t> entries = devices();
    for (const storage_t &entry : entries) {
        if (!entry.mounted || entry.mountPoint.isEmpty())
            continue;
        const QString mountPoint = QDir::cleanPath(entry.mountPoint);
        const QString inside = mountPoint.endsWith(QLatin1Char('/'))
            ? mountPoint : mountPoint + QLatin1Char('/');
        if (clean != mountPoint && !clean.startsWith(inside))
            continue;
        if (mountPoint.size() > best) {
            best = mountPoint.size();
            volume = entry;
        }
    }
    return best >= 0;
}

float MediaMonitor::freeDiskSpace(const QString &path)
{
    if (path.isEmpty())
        return 0;
    struct statvfs st;
    const QByteArray real = SystemPaths::map(path).toUtf8();
    if (::statvfs(real.constData(), &st) != 0)
        return 0;
    // Free blocks count in fragment units; on the instrument's file systems those equal
    // the block size.
    const quint64 unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    const quint64 bytes = quint64(st.f_bfree) * unit;
    return float(bytes >> 20);
}

bool MediaMonitor::isConnectedUSBDrive(QString &device, QString &mountPoint)
{
    const QList<storage_t> entries = devices();
    for (const storage_t &entry : entries) {
        if (isFirstDisk(entry.device) || !entry.mountable || !entry.mounted)
            continue;
        if (!QDir(SystemPaths::map(entry.mountPoint)).exists())
            continue;
        device = entry.device;
        mountPoint = entry.mountPoint;
        return true;
    }
    return false;
}

QString MediaMonitor::decodeMountPath(const QString &text)
{
    const QByteArray in = text.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        if (in.at(i) == '\\' && i + 3 < in.size() && isOctal(in.at(i + 1))
            && isOctal(in.at(i + 2)) && isOctal(in.at(i + 3))) {
            out += char(((in.at(i + 1) - '0') << 6) | ((in.at(i + 2) - '0') << 3)
                        | (in.at(i + 3) - '0'));
            i += 3;
        } else {
            out += in.at(i);
        }
    }
    return QString::fromUtf8(out);
}

QList<MountEntry> MediaMonitor::mountTable()
{
    QList<MountEntry> result;
    QFile file(SystemPaths::map(QString::fromLatin1(MountTableFile)));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    QByteArray text = file.readAll();
    const int nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 2 || fields.at(0).isEmpty())
            continue;
        result << MountEntry{decodeMountPath(QString::fromUtf8(fields.at(0))),
                             decodeMountPath(QString::fromUtf8(fields.at(1)))};
    }
    return result;
}

bool MediaMonitor::isMounted(const QString &device)
{
    const QList<MountEntry> table = mountTable();
    for (const MountEntry &line : table) {
        if (line.device == device)
            return true;
    }
    return false;
}

bool MediaMonitor::isMountPoint(const QString &folder)
{
    const QString clean = QDir::cleanPath(folder);
    const QList<MountEntry> table = mountTable();
    for (const MountEntry &line : table) {
        if (QDir::cleanPath(line.mountPoint) == clean)
            return true;
    }
    return false;
}

bool MediaMonitor::connectedDevice(const QString &device)
{
    const QList<Link> present = links(QString::fromLatin1(ByUuidFolder));
    for (const Link &link : present) {
        if (link.target == device)
            return true;
    }
    return false;
}

QStringList MediaMonitor::mountPoints()
{
    QStringList folders;
    const QList<MountEntry> table = mountTable();
    for (const MountEntry &line : table)
        folders << QDir::cleanPath(line.mountPoint);
    return folders;
}

void MediaMonitor::setProgramTimeout(int ms)
{
    s_ProgramTimeoutMs = ms;
}

bool MediaMonitor::runProgram(const QString &program, const QStringList &arguments)
{
    // Success is judged from the mount table afterwards, not from the exit status.
    const ProgramResult result = ExternalProgram::run(program, arguments, s_ProgramTimeoutMs);
    if (!result.ok())
        qDebug() << Q_FUNC_INFO << program << arguments << result.describe();
    return result.ok();
}

void MediaMonitor::removeMountFolder(const QString &mountPoint)
{
    const QString clean = QDir::cleanPath(mountPoint);
    if (!clean.startsWith(QLatin1String(MediaPrefix)))
        return;
    // rmdir leaves a folder that still holds anything.
    QDir().rmdir(SystemPaths::map(clean));
}

void MediaMonitor::initialize()
{
    const QList<MountEntry> table = mountTable();
    const QList<Link> present = links(QString::fromLatin1(ByUuidFolder));
    QSet<QString> targets;
    for (const Link &link : present)
        targets.insert(link.target);

    // Stale mounts: USB partitions in the mount table whose stick has gone. The first
    // disk is never unmounted.
    QSet<QString> stale;
    for (const MountEntry &line : table) {
        if (isUsbPartition(line.device) && !isFirstDisk(line.device)
            && !targets.contains(line.device) && !stale.contains(line.device)) {
            stale.insert(line.device);
            umount(line.device);
        }
    }

    const QHash<QString, QString> knownLabels = labels();
    QList<MountEntry> remaining = mountTable();
    QList<storage_t> entries;
    for (const Link &link : present) {
        storage_t entry;
        entry.device = link.target;
        for (int i = 0; i < remaining.size(); ++i) {
            if (remaining.at(i).device != entry.device)
                continue;
            entry.mountPoint = remaining.at(i).mountPoint;
            entry.mounted = true;
            entry.label = entry.mountPoint.mid(entry.mountPoint.lastIndexOf(QLatin1Char('/')) + 1);
            remaining.removeAt(i);
            break;
        }
        if (!entry.mounted) {
            entry.label = knownLabels.value(entry.device);
            if (entry.label.isEmpty())
                entry.label = QString::fromLatin1(NoLabel);
        }
        // Only USB partitions are ours to mount; a file system the system mounted
        // elsewhere than /media stays the system's.
        entry.mountable = isUsbPartition(entry.device) && !isFirstDisk(entry.device)
            && !(entry.mounted && !entry.mountPoint.startsWith(QLatin1String(MediaPrefix)));
        entries << entry;
    }
    setDevices(entries);
}

void MediaMonitor::cleanUp()
{
    const FolderWalk::Folder media(FolderWalk::open(SystemPaths::mediaFolder()));
    struct stat mediaStat;
    QList<QByteArray> names;
    if (media.fd < 0 || ::fstat(media.fd, &mediaStat) != 0
        || !FolderWalk::readFolder(media.fd, &names))
        return;
    const QStringList mounted = mountPoints();
    for (const QByteArray &name : qAsConst(names)) {
        const QString folder = QLatin1String(MediaPrefix) + FolderWalk::decodeName(name);
        struct stat st;
        if (::fstatat(media.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        // A file or a link goes (never what a link points to); a folder on another file
        // system is a mount point, whatever the table says, and stays.
        if (S_ISDIR(st.st_mode) && (st.st_dev != mediaStat.st_dev || mounted.contains(folder)))
            continue;
        FolderWalk::removeAt(media.fd, name, folder, mediaStat.st_dev, mounted);
    }
}

bool MediaMonitor::mount(storage_t &entry)
{
    const QString label = entry.label.isEmpty() ? QString::fromLatin1(NoLabel) : entry.label;
    const QString name = FolderWalk::freeName(
        label, FolderWalk::Spaced, MaxFolderNumber, [](const QString &candidate) {
            return ::mkdir(FolderWalk::realPath(QLatin1String(MediaPrefix) + candidate).constData(),
                           0777)
                == 0;
        });
    const QString mountPoint = name.isEmpty() ? QString() : QLatin1String(MediaPrefix) + name;
    if (mountPoint.isEmpty()) {
        qDebug() << Q_FUNC_INFO << "no mount folder for" << entry.device << label;
        return false;
    }
    entry.mountPoint = mountPoint;
    runProgram(QStringLiteral("mount"), {entry.device, mountPoint});

    bool mounted = false;
    const QList<MountEntry> table = mountTable();
    for (const MountEntry &line : table)
        mounted = mounted || (line.device == entry.device && line.mountPoint == mountPoint);
    if (!mounted)
        removeMountFolder(mountPoint);
    return mounted;
}

bool MediaMonitor::umount(const storage_t &entry)
{
    runProgram(QStringLiteral("umount"), {entry.device});
    if (isMounted(entry.device))
        return false;
    removeMountFolder(entry.mountPoint);
    return true;
}

bool MediaMonitor::umount(const QString &device)
{
    runProgram(QStringLiteral("umount"), {device});
    if (isMounted(device))
        return false;
    const QList<storage_t> entries = devices();
    for (const storage_t &entry : entries) {
        if (entry.device == device)
            removeMountFolder(entry.mountPoint);
    }
    return true;
}

void MediaMonitor::mountAll()
{
    QList<storage_t> entries = devices();
    for (storage_t &entry : entries) {
        if (!entry.mountable || entry.mounted)
            continue;
        if (mount(entry)) {
            entry.mounted = true;
        } else {
            entry.mountable = false;
            entry.mountPoint.clear();
        }
        setDevices(entries);
    }
}

void MediaMonitor::umountAll()
{
    QList<storage_t> entries = devices();
    for (int i = 0; i < entries.size();) {
        const storage_t entry = entries.at(i);
        if (!entry.mountable || !entry.mounted) {
            ++i;
            continue;
        }
        bool done = false;
        for (int attempt = 0; attempt < UmountTries && !done; ++attempt)
            done = umount(entry);
        if (!done) {
            ++i;
            continue;
        }
        if (connectedDevice(entry.device)) {
            entries[i].mounted = false;
            entries[i].mountPoint.clear();
            ++i;
        } else {
            entries.removeAt(i);
        }
        setDevices(entries);
    }
}

void MediaMonitor::release()
{
    umountAll();
    cleanUp();
    setDevices(QList<storage_t>());
}

void MediaMonitor::slotUpdateDeviceLabel()
{
    const QList<Link> present = links(QString::fromLatin1(ByUuidFolder));
    QSet<QString> targets;
    for (const Link &link : present)
        targets.insert(link.target);

    // Partitions whose link has gone: unmounted and dropped. One that will not unmount
    // stays listed as mounted; the next start treats it as a stale mount.
    QList<storage_t> entries = devices();
    for (int i = 0; i < entries.size();) {
        const storage_t entry = entries.at(i);
        if (targets.contains(entry.device)) {
            ++i;
            continue;
        }
        if (entry.mounted && entry.mountable && !umount(entry)) {
            ++i;
            continue;
        }
        entries.removeAt(i);
        setDevices(entries);
    }

    // New USB partitions: mounted in the order the system lists their links.
    const QHash<QString, QString> knownLabels = labels();
    for (const Link &link : present) {
        if (!isUsbPartition(link.target))
            continue;
        bool known = false;
        for (const storage_t &entry : qAsConst(entries))
            known = known || entry.device == link.target;
        if (known)
            continue;
        storage_t entry;
        entry.device = link.target;
        entry.label = knownLabels.value(entry.device, QString::fromLatin1(NoLabel));
        entry.mountable = !isFirstDisk(entry.device);
        if (entry.mountable) {
            if (mount(entry)) {
                entry.mounted = true;
            } else {
                entry.mountable = false;
                entry.mountPoint.clear();
            }
        }
        entries << entry;
        setDevices(entries);
    }
}
