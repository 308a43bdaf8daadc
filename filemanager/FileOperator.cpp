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
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::atomic<int> s_WriteBackTimeoutMs(FileOperator::DefaultWriteBackTimeoutMs);

// Each folder counts for one block in the room check.
const quint64 FolderBytes = 4096;
// Folder levels a paste walks into; deeper folders are not copied.
const int MaxFolderDepth = 256;
const int WriteBackPassMs = 100;

QString canonical(const QString &path)
{
    return QFileInfo(SystemPaths::map(path)).canonicalFilePath();
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
        return ::fstatat(folder, DiskAccess::encodeName(candidate).constData(), &st,
                         AT_SYMLINK_NOFOLLOW) == 0;
    });
}

// An open folder, closed when it goes.
struct Folder
{
    explicit Folder(int fd = -1) : fd(fd) {}
    ~Folder() { reset(); }
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;
    void reset(int other = -1)
    {
        if (fd >= 0)
            ::close(fd);
        fd = other;
    }
    int fd;
};

int openFolderAt(int folder, const char *name, int flags = 0)
{
    return ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags);
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A volume as the paste found it at the start: the folder it is mounted on, and what was
// mounted there.
struct VolumePin
{
    bool pin(const QByteArray &folder)
    {
        mountPoint = folder;
        return ::stat(mountPoint.constData(), &mounted) == 0;
    }

    // Still the same volume mounted there; once not, never again.
    bool attached(const char *what)
    {
        struct stat st;
        if (!lost && (::stat(mountPoint.constData(), &st) != 0 || !sameFile(st, mounted))) {
            qDebug() << Q_FUNC_INFO << what << "volume is no longer at" << mountPoint;
            lost = true;
        }
        return !lost;
    }

    QByteArray mountPoint;      // real path
    struct stat mounted = {};
    bool lost = false;
};

} // namespace

struct FileOperator::Job
{
    VolumePin destination;
    int count = 0;
    quint64 bytes = 0;
    // Real folders walked for the current clipboard entry, and those the paste made.
    std::set<std::pair<dev_t, ino_t>> folders;
};

// One clipboard entry, held open from the start of the paste.
struct FileOperator::Source
{
    enum State { Missing, Failed, Open };

    // An entry the copy took completely, for a cut to remove: its path below the source
    // ("" for the source itself) and what it was.
    struct Copied
    {
        QByteArray path;
        struct stat own;
    };

    QString path;
    State state = Failed;
    QByteArray name;            // in its folder
    Folder parent;              // the folder holding it
    Folder self;                // a folder source itself
    DiskAccess::Entry entry;    // the source, as an entry of "from"
    int from = -1;              // self for a folder ("."), else parent
    bool keep = false;          // a volume row: its contents go, the folder stays
    VolumePin volume;
    bool copiedWhole = false;
    QList<Copied> taken;
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

std::unique_ptr<FileOperator::Source> FileOperator::openSource(const QString &path)
{
    auto source = std::make_unique<Source>();
    source->path = path;
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    source->name = DiskAccess::encodeName(path.mid(slash + 1));
    source->keep = slash <= 0 || folder == SystemPaths::mediaFolder();
    if (slash < 0 || source->name.isEmpty())
        return source;
    source->parent.reset(::open(DiskAccess::realPath(folder).constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DiskAccess::Entry &entry = source->entry;
    const char *name = source->name.constData();
    if (source->parent.fd < 0
        || ::fstatat(source->parent.fd, name, &entry.own, AT_SYMLINK_NOFOLLOW) != 0
        || ::fstatat(source->parent.fd, name, &entry.st, 0) != 0) {
        // Gone since the cut or copy, or a broken link: passed over.
        if (errno == ENOENT || errno == ELOOP)
            source->state = Source::Missing;
        return source;
    }
    entry.link = S_ISLNK(entry.own.st_mode);
    entry.name = source->name;
    source->from = source->parent.fd;
    if (S_ISDIR(entry.st.st_mode)) {
        struct stat st;
        source->self.reset(openFolderAt(source->parent.fd, name));
        if (source->self.fd < 0 || ::fstat(source->self.fd, &st) != 0 || !sameFile(st, entry.st))
            return source;
        entry.name = ".";
        source->from = source->self.fd;
    }
    storage_t volume;
    const QString mountPoint = MediaMonitor::volumeOf(path, volume) && !volume.mountPoint.isEmpty()
        ? volume.mountPoint : folder;
    if (source->volume.pin(DiskAccess::realPath(mountPoint)))
        source->state = Source::Open;
    return source;
}

void FileOperator::size(int from, const DiskAccess::Entry &entry, Job *job, int *count,
                        quint64 *bytes, int depth)
{
    if (S_ISDIR(entry.st.st_mode)) {
        if (depth > MaxFolderDepth
            || !job->folders.insert({entry.st.st_dev, entry.st.st_ino}).second)
            return;
        *bytes += FolderBytes;
        const Folder folder(openFolderAt(from, entry.name.constData()));
        QList<DiskAccess::Entry> entries;
        if (folder.fd >= 0)
            DiskAccess::listAt(folder.fd, &entries);
        for (const DiskAccess::Entry &inner : qAsConst(entries))
            size(folder.fd, inner, job, count, bytes, depth + 1);
    } else if (S_ISREG(entry.st.st_mode)) {
        ++*count;
        *bytes += quint64(entry.st.st_size);
    }
}

bool FileOperator::copyInto(Source *source, int from, const DiskAccess::Entry &entry,
                            const QByteArray &relative, int folder, const QByteArray &name,
                            bool viaLink, Job *job, int depth)
{
    if (!job->destination.attached("the destination's") || !source->volume.attached("a source's"))
        return false;
    bool ok = false;
    if (S_ISDIR(entry.st.st_mode)) {
        // A folder met again (a loop, or two links to one folder) is copied once.
        if (!job->folders.insert({entry.st.st_dev, entry.st.st_ino}).second) {
            ok = true;
        } else {
            const Folder in(depth <= MaxFolderDepth ? openFolderAt(from, entry.name.constData())
                                                    : -1);
            struct stat st;
            ok = in.fd >= 0 && ::fstat(in.fd, &st) == 0 && sameFile(st, entry.st)
                && copyFolder(source, in.fd, relative, folder, name, viaLink || entry.link, job,
                              depth);
            if (in.fd < 0)
                qDebug() << Q_FUNC_INFO << "cannot open" << source->path << relative;
        }
    } else if (S_ISREG(entry.st.st_mode)) {
        ok = ::copyAt(from, entry.name.constData(), folder, name.constData()) == 0;
        if (ok) {
            ++job->count;
            job->bytes += quint64(entry.st.st_size);
            emit signalSetCurrentFileCountAndSize(job->count, job->bytes);
        } else {
            qDebug() << Q_FUNC_INFO << "cannot copy" << source->path << relative << "as" << name;
        }
    }
    // What lies behind a link is only read: a cut removes the link, not its target.
    if (ok && !viaLink)
        source->taken.append({relative, entry.own});
    return ok;
}

bool FileOperator::copyFolder(Source *source, int in, const QByteArray &relative, int folder,
                              const QByteArray &name, bool viaLink, Job *job, int depth)
{
    // Listed before anything is made: a folder that cannot be listed is not copied.
    QList<DiskAccess::Entry> entries;
    if (!DiskAccess::listAt(in, &entries)) {
        qDebug() << Q_FUNC_INFO << "cannot list" << source->path << relative;
        return false;
    }
    struct stat st;
    Folder made(::mkdirat(folder, name.constData(), 0777) == 0
                    ? openFolderAt(folder, name.constData(), O_NOFOLLOW) : -1);
    if (made.fd < 0 || ::fstat(made.fd, &st) != 0) {
        qDebug() << Q_FUNC_INFO << "cannot create" << name << "for" << source->path << relative;
        return false;
    }
    // Never walk into what this paste makes.
    job->folders.insert({st.st_dev, st.st_ino});
    bool complete = true;
    for (const DiskAccess::Entry &entry : qAsConst(entries)) {
        // The new folder starts empty, but a stick's file system may take "A" and "a"
        // for one name.
        const QByteArray entryName = DiskAccess::encodeName(
            freeNameAt(made.fd, DiskAccess::decodeName(entry.name), S_ISDIR(entry.st.st_mode)));
        const QByteArray entryPath = relative.isEmpty() ? entry.name : relative + '/' + entry.name;
        complete = !entryName.isEmpty()
            && copyInto(source, in, entry, entryPath, made.fd, entryName, viaLink, job, depth + 1)
            && complete;
        if (job->destination.lost || source->volume.lost)
            return false;
    }
    return complete;
}

bool FileOperator::removeCopied(Source *source)
{
    // Folders come after their entries; one that still holds anything (an entry the copy
    // did not take, such as a hidden file) stays. A volume row that was cut gives up its
    // contents but stays itself: the data folder and a stick's mount folder are kept.
    // Everything is reached from the folders opened at the start, by real folders only,
    // and removed only while it is still what was copied.
    bool complete = true;
    Folder below;
    QByteArray belowPath;
    for (const Source::Copied &copied : qAsConst(source->taken)) {
        if (!source->volume.attached("a source's"))
            return false;
        int folder = source->self.fd;
        QByteArray name = copied.path;
        if (copied.path.isEmpty()) {
            if (source->keep)
                continue;
            folder = source->parent.fd;
            name = source->name;
        } else if (copied.path.contains('/')) {
            const int slash = copied.path.lastIndexOf('/');
            name = copied.path.mid(slash + 1);
            if (below.fd < 0 || belowPath != copied.path.left(slash)) {
                belowPath = copied.path.left(slash);
                below.reset(::dup(source->self.fd));
                for (const QByteArray &step : belowPath.split('/')) {
                    if (below.fd >= 0)
                        below.reset(openFolderAt(below.fd, step.constData(), O_NOFOLLOW));
                }
            }
            folder = below.fd;
        }
        struct stat st;
        if (folder < 0 || ::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                complete = false;
            continue;
        }
        if (!sameFile(st, copied.own)) {
            qDebug() << Q_FUNC_INFO << "changed since it was copied:" << source->path
                     << copied.path;
            complete = false;
        } else if (S_ISDIR(st.st_mode)) {
            if (::unlinkat(folder, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY
                && errno != EEXIST)
                complete = false;
        } else if (::unlinkat(folder, name.constData(), 0) != 0) {
            qDebug() << Q_FUNC_INFO << "cannot remove" << source->path << copied.path;
            complete = false;
        }
    }
    return complete;
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

    // Every source is held open from here on: what is read, and removed for a cut, is what
    // its path led to now, on the volume it was on now.
    std::vector<std::unique_ptr<Source>> sources;
    for (const QString &path : qAsConst(m_Paths))
        sources.push_back(openSource(path));

    Job job;
    int totalCount = 0;
    quint64 totalBytes = 0;
    for (const auto &source : sources) {
        job.folders.clear();
        if (source->state == Source::Open)
            size(source->from, source->entry, &job, &totalCount, &totalBytes, 0);
    }

    // The paste stays on the volume it starts on: every target is made below this folder.
    storage_t volume;
    const bool known = MediaMonitor::volumeOf(destination, volume) && !volume.mountPoint.isEmpty();
    const Folder target(known ? ::open(DiskAccess::realPath(destination).constData(),
                                       O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                              : -1);
    struct stat targetStat;
    if (target.fd < 0 || ::fstat(target.fd, &targetStat) != 0
        || !job.destination.pin(DiskAccess::realPath(volume.mountPoint))
        || targetStat.st_dev != job.destination.mounted.st_dev) {
        emit signalPasteError(PASTE_DESTINATION_NOT_FOUND);
        return;
    }

    // A folder pasted into a folder inside itself would copy itself without end.
    for (const QString &path : qAsConst(m_Paths)) {
        const QString source = DiskAccess::isFolder(path) ? canonical(path) : QString();
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

    bool complete = true;
    for (const auto &source : sources) {
        if (source->state == Source::Missing)
            continue;
        struct stat now;
        if (source->state == Source::Open
            && ::fstatat(source->parent.fd, source->name.constData(), &now, 0) != 0) {
            if (errno == ENOENT)
                continue;       // gone since the start
            source->state = Source::Failed;
        }
        if (source->state == Source::Open && sameFile(now, targetStat)) {
            emit signalPasteError(PASTE_SAME_FOLDER);
            return;
        }
        // Anything else than what the path led to at the start is not taken.
        if (source->state != Source::Open || !sameFile(now, source->entry.st)) {
            qDebug() << Q_FUNC_INFO << "cannot read" << source->path;
            complete = false;
            continue;
        }
        job.folders.clear();
        const QByteArray name = DiskAccess::encodeName(
            freeNameAt(target.fd, DiskAccess::decodeName(source->name),
                       S_ISDIR(source->entry.st.st_mode)));
        source->copiedWhole = !name.isEmpty()
            && copyInto(source.get(), source->from, source->entry, QByteArray(), target.fd, name,
                        false, &job, 0);
        complete = source->copiedWhole && complete;
        if (job.destination.lost) {
            emit signalPasteError(PASTE_DESTINATION_NOT_FOUND);
            return;
        }
    }

    if (m_Mode == 1) {
        if (!job.destination.attached("the destination's")) {
            emit signalPasteError(PASTE_DESTINATION_NOT_FOUND);
            return;
        }
        for (const auto &source : sources) {
            if (source->copiedWhole)
                complete = removeCopied(source.get()) && complete;
        }
    }

    waitForWriteBack();
    if (complete)
        emit signalCompleted();
    else
        emit signalPasteError(PASTE_INCOMPLETE);
}
