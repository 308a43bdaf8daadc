#include "FileOperator.h"

#include "Copy.h"
#include "DiskAccess.h"
#include "ExternalProgram.h"
#include "MediaMonitor.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::atomic<int> s_WriteBackTimeoutMs(FileOperator::DefaultWriteBackTimeoutMs);

// Each folder counts for one block in the room check.
const quint64 FolderBytes = 4096;
const int WriteBackPassMs = 100;

QString canonical(const QString &path)
{
    return QFileInfo(SystemPaths::map(path)).canonicalFilePath();
}

// Links followed, here and in leadsToFolder().
bool statOf(const QString &path, struct stat *st)
{
    return ::stat(QFile::encodeName(SystemPaths::map(path)).constData(), st) == 0;
}

bool leadsToFolder(const QString &path)
{
    return QFileInfo(SystemPaths::map(path)).isDir();
}

QString freeName(const QString &name, bool isFolder,
                 const std::function<bool(const QString &)> &taken)
{
    if (!taken(name))
        return name;
    const int dot = isFolder ? -1 : name.lastIndexOf(QLatin1Char('.'));
    for (int n = 1; n <= FileOperator::MaxNameTries; ++n) {
        // One arg() for all parts: a "%1" in the name stays text.
        const QString number = QString::number(n);
        const QString candidate = dot < 0
            ? QStringLiteral("%1(%2)").arg(name, number)
            : QStringLiteral("%1(%2).%3").arg(name.left(dot), number, name.mid(dot + 1));
        if (!taken(candidate))
            return candidate;
    }
    qDebug() << Q_FUNC_INFO << "no free name for" << name;
    return QString();
}

// A free name in an open folder.
QString freeNameAt(int folder, const QString &name, bool isFolder)
{
    return freeName(name, isFolder, [folder](const QString &candidate) {
        struct stat st;
        return ::fstatat(folder, QFile::encodeName(candidate).constData(), &st,
                         AT_SYMLINK_NOFOLLOW) == 0;
    });
}

// An open folder, closed when it goes.
struct Folder
{
    explicit Folder(int fd) : fd(fd) {}
    ~Folder()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;
    int fd;
};

} // namespace

struct FileOperator::Job
{
    QByteArray mountPoint;      // real path of the destination's volume
    dev_t device = 0;           // that volume's device number when the paste started
    bool volumeLost = false;
    int count = 0;
    quint64 bytes = 0;
    // Real folders walked for the current clipboard entry, and those the paste made.
    std::set<std::pair<dev_t, ino_t>> folders;
};

FileOperator::FileOperator()
    : QThread(nullptr)
    , m_Mode(0)
{
    qRegisterMetaType<FileOperationPasteError>("FileOperationPasteError");
}

FileOperator::~FileOperator()
{
    wait();
}

void FileOperator::setData(const file_operations_t &data)
{
    m_Mode = data.mode;
    m_Paths = data.paths;
}

void FileOperator::setDst(const QFileInfo &destination)
{
    m_Destination = destination;
}

void FileOperator::setWriteBackTimeout(int ms)
{
    s_WriteBackTimeoutMs = ms;
}

bool FileOperator::enoughRoom(quint64 bytes, float freeMiB)
{
    return double(bytes) / 1048576.0 <= double(freeMiB);
}

QString FileOperator::targetName(const QString &folder, const QString &name, bool isFolder)
{
    return freeName(name, isFolder, [&folder](const QString &candidate) {
        return DiskAccess::entryExists(DiskAccess::join(folder, candidate));
    });
}

void FileOperator::size(const QString &path, Job *job, int *count, quint64 *bytes)
{
    struct stat st;
    if (!statOf(path, &st))
        return;
    if (S_ISDIR(st.st_mode)) {
        if (!job->folders.insert({st.st_dev, st.st_ino}).second)
            return;
        *bytes += FolderBytes;
        const QStringList names = DiskAccess::list(path);
        for (const QString &name : names)
            size(DiskAccess::join(path, name), job, count, bytes);
    } else if (S_ISREG(st.st_mode)) {
        ++*count;
        *bytes += quint64(st.st_size);
    }
}

bool FileOperator::volumeAttached(Job *job)
{
    struct stat st;
    if (!job->volumeLost
        && (::stat(job->mountPoint.constData(), &st) != 0 || st.st_dev != job->device)) {
        qDebug() << Q_FUNC_INFO << "the destination's volume is no longer at" << job->mountPoint;
        job->volumeLost = true;
    }
    return !job->volumeLost;
}

bool FileOperator::copyInto(const QString &source, int folder, const QString &name, bool viaLink,
                            Job *job, QStringList *copied)
{
    struct stat st;
    if (!volumeAttached(job) || !statOf(source, &st))
        return false;
    bool ok = false;
    if (S_ISDIR(st.st_mode)) {
        // A folder met again (a loop, or two links to one folder) is copied once.
        ok = !job->folders.insert({st.st_dev, st.st_ino}).second
            || copyFolder(source, folder, name, viaLink || DiskAccess::isLink(source), job, copied);
    } else if (S_ISREG(st.st_mode)) {
        ok = ::copyAt(source.toUtf8().constData(), folder, name.toUtf8().constData()) == 0;
        if (ok) {
            ++job->count;
            job->bytes += quint64(st.st_size);
            emit signalSetCurrentFileCountAndSize(job->count, job->bytes);
        } else {
            qDebug() << Q_FUNC_INFO << "cannot copy" << source << "as" << name;
        }
    }
    // What lies behind a link is only read: a cut removes the link, not its target.
    if (ok && !viaLink)
        copied->append(source);
    return ok;
}

bool FileOperator::copyFolder(const QString &source, int folder, const QString &name, bool viaLink,
                              Job *job, QStringList *copied)
{
    const QByteArray target = QFile::encodeName(name);
    struct stat st;
    Folder made(::mkdirat(folder, target.constData(), 0777) == 0
                    ? ::openat(folder, target.constData(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                    : -1);
    if (made.fd < 0 || ::fstat(made.fd, &st) != 0) {
        qDebug() << Q_FUNC_INFO << "cannot create" << name << "for" << source;
        return false;
    }
    // Never walk into what this paste makes.
    job->folders.insert({st.st_dev, st.st_ino});
    bool complete = true;
    const QStringList names = DiskAccess::list(source);
    for (const QString &entry : names) {
        // The new folder starts empty, but a stick's file system may take "A" and "a"
        // for one name.
        const QString entryPath = DiskAccess::join(source, entry);
        const QString entryName = freeNameAt(made.fd, entry, leadsToFolder(entryPath));
        complete = !entryName.isEmpty()
            && copyInto(entryPath, made.fd, entryName, viaLink, job, copied) && complete;
        if (job->volumeLost)
            return false;
    }
    return complete;
}

void FileOperator::removeCopied(const QStringList &copied)
{
    // Folders come after their entries; one that still holds anything (an entry the copy
    // did not take, such as a hidden file) stays. A volume row that was cut gives up its
    // contents but stays itself: the data folder and a stick's mount folder are kept.
    for (const QString &path : copied) {
        const QByteArray real = QFile::encodeName(SystemPaths::map(path));
        if (DiskAccess::isRealFolder(path)) {
            const QString parent = path.left(path.lastIndexOf(QLatin1Char('/')));
            if (!parent.isEmpty() && parent != SystemPaths::mediaFolder())
                ::rmdir(real.constData());
        } else if (::unlink(real.constData()) != 0) {
            qDebug() << Q_FUNC_INFO << "cannot remove" << path;
        }
    }
}

long FileOperator::meminfoValue(const QString &field)
{
    const ProgramResult result = ExternalProgram::run(
        QStringLiteral("awk"),
        {QStringLiteral("/%1:/ { print $2 }").arg(field),
         SystemPaths::map(QStringLiteral("/proc/meminfo"))},
        ExternalProgram::DefaultTimeoutMs);
    bool ok = false;
    const long value = QString::fromLatin1(result.output).trimmed().toLong(&ok);
    return ok ? value : 0;
}

void FileOperator::waitForWriteBack()
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        ::sync();
        const long writeback = meminfoValue(QStringLiteral("Writeback"));
        const long dirty = meminfoValue(QStringLiteral("Dirty"));
        if (writeback == 0 && dirty == 0)
            return;
        if (clock.elapsed() >= s_WriteBackTimeoutMs) {
            // Every copied file was flushed on its own already; other writers may keep
            // the counters above 0 for ever.
            qDebug() << Q_FUNC_INFO << "still" << dirty << "kB dirty," << writeback
                     << "kB writeback; giving up the wait";
            return;
        }
        QThread::msleep(WriteBackPassMs);
    }
}

void FileOperator::run()
{
    const QString destination = m_Destination.filePath();
    const QString destinationCanonical = canonical(destination);

    Job job;
    int totalCount = 0;
    quint64 totalBytes = 0;
    for (const QString &path : qAsConst(m_Paths)) {
        job.folders.clear();
        size(path, &job, &totalCount, &totalBytes);
    }

    // The paste stays on the volume it starts on: every target is made below this folder.
    storage_t volume;
    const bool known = MediaMonitor::volumeOf(destination, volume) && !volume.mountPoint.isEmpty();
    const Folder target(known ? ::open(QFile::encodeName(SystemPaths::map(destination)).constData(),
                                       O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                              : -1);
    struct stat st;
    if (target.fd >= 0 && ::fstat(target.fd, &st) == 0) {
        job.mountPoint = QFile::encodeName(SystemPaths::map(volume.mountPoint));
        job.device = st.st_dev;
    }
    if (target.fd < 0 || job.mountPoint.isEmpty() || !volumeAttached(&job)) {
        emit signalPasteError(PASTE_DESTINATION_NOT_FOUND);
        return;
    }

    // A folder pasted into a folder inside itself would copy itself without end.
    for (const QString &path : qAsConst(m_Paths)) {
        const QString source = leadsToFolder(path) ? canonical(path) : QString();
        if (!source.isEmpty() && source != destinationCanonical
            && DiskAccess::contains(source, destinationCanonical)) {
            emit signalPasteError(PASTE_SAME_FOLDER);
            return;
        }
    }

    if (!enoughRoom(totalBytes, MediaMonitor::freeDiskSpace(volume.mountPoint))) {
        emit signalPasteError(PASTE_INSUFFICIENT_DISK_SPACE);
        return;
    }
    emit signalSetTotalFileCountAndSize(totalCount, totalBytes);

    QStringList toRemove;
    bool complete = true;
    for (const QString &path : qAsConst(m_Paths)) {
        if (!QFileInfo(SystemPaths::map(path)).exists())
            continue;
        if (canonical(path) == destinationCanonical) {
            emit signalPasteError(PASTE_SAME_FOLDER);
            return;
        }
        job.folders.clear();
        const QString name = freeNameAt(target.fd, DiskAccess::fileName(path), leadsToFolder(path));
        QStringList copied;
        if (!name.isEmpty() && copyInto(path, target.fd, name, false, &job, &copied))
            toRemove << copied;
        else
            complete = false;
        if (job.volumeLost) {
            emit signalPasteError(PASTE_DESTINATION_NOT_FOUND);
            return;
        }
    }

    if (m_Mode == 1) {
        if (!volumeAttached(&job)) {
            emit signalPasteError(PASTE_DESTINATION_NOT_FOUND);
            return;
        }
        removeCopied(toRemove);
    }

    waitForWriteBack();
    if (complete)
        emit signalCompleted();
    else
        emit signalPasteError(PASTE_INCOMPLETE);
}
