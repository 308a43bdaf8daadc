#include "FileOperator.h"

#include "Copy.h"
#include "DiskAccess.h"
#include "ExternalProgram.h"
#include "FolderWalk.h"
#include "MediaMonitor.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::atomic<int> s_WriteBackTimeoutMs(FileOperator::DefaultWriteBackTimeoutMs);

// Each folder counts for one block in the room check.
const quint64 FolderBytes = 4096;
const int WriteBackPassMs = 100;

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
        if (!lost && (::stat(mountPoint.constData(), &st) != 0 || !FolderWalk::sameFile(st, mounted))) {
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
    FolderWalk::Folder parent;  // the folder holding it
    FolderWalk::Folder self;    // a folder source itself
    FolderWalk::Entry entry;    // the source, as an entry of "from"
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
    return FolderWalk::freeName(name, isFolder ? FolderWalk::Appended : FolderWalk::BeforeSuffix,
                                MaxNameTries, [&folder](const QString &candidate) {
                                    return !DiskAccess::entryExists(DiskAccess::join(folder, candidate));
                                });
}

std::unique_ptr<FileOperator::Source> FileOperator::openSource(const QString &path)
{
    auto source = std::make_unique<Source>();
    source->path = path;
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    source->name = FolderWalk::encodeName(path.mid(slash + 1));
    source->keep = slash <= 0 || folder == SystemPaths::mediaFolder();
    if (slash < 0 || source->name.isEmpty())
        return source;
    source->parent.reset(FolderWalk::open(folder));
    FolderWalk::Entry &entry = source->entry;
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
        source->self.reset(FolderWalk::openAt(source->parent.fd, name));
        if (source->self.fd < 0 || ::fstat(source->self.fd, &st) != 0 || !FolderWalk::sameFile(st, entry.st))
            return source;
        entry.name = ".";
        source->from = source->self.fd;
    }
    storage_t volume;
    const QString mountPoint = MediaMonitor::volumeOf(path, volume) && !volume.mountPoint.isEmpty()
        ? volume.mountPoint : folder;
    if (source->volume.pin(FolderWalk::realPath(mountPoint)))
        source->state = Source::Open;
    return source;
}

bool FileOperator::copySource(Source *source, int folder, const QByteArray &name, Job *job)
{
    FolderWalk::Copy copy;
    copy.proceed = [job, source] {
        return job->destination.attached("the destination's")
            && source->volume.attached("a source's");
    };
    copy.copyFile = [this, job, source](int from, const FolderWalk::Entry &file, int to,
                                        const QByteArray &target) {
        if (::copyAt(from, file.name.constData(), to, target.constData()) != 0) {
            qDebug() << Q_FUNC_INFO << "cannot copy" << file.name << "of" << source->path
                     << "as" << target;
            return false;
        }
        ++job->count;
        job->bytes += quint64(file.st.st_size);
        emit signalSetCurrentFileCountAndSize(job->count, job->bytes);
        return true;
    };
    // What lies behind a link is only read: a cut removes the link, not its target.
    copy.copied = [source](const QByteArray &path, const FolderWalk::Entry &entry, bool viaLink) {
        if (!viaLink)
            source->taken.append({path, entry.own});
    };
    return FolderWalk::copy(source->from, source->entry, folder, name, &copy);
}

bool FileOperator::removeCopied(Source *source)
{
    // Folders come after their entries; one that still holds anything (an entry the copy
    // did not take, such as a hidden file) stays. A volume row that was cut gives up its
    // contents but stays itself: the data folder and a stick's mount folder are kept.
    // Everything is reached from the folders opened at the start, by real folders only,
    // and removed only while it is still what was copied.
    bool complete = true;
    FolderWalk::Folder below;
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
                        below.reset(FolderWalk::openAt(below.fd, step.constData(), O_NOFOLLOW));
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
        if (!FolderWalk::sameFile(st, copied.own)) {
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

    // Every source is held open from here on: what is read, and removed for a cut, is what
    // its path led to now, on the volume it was on now.
    std::vector<std::unique_ptr<Source>> sources;
    for (const QString &path : qAsConst(m_Paths))
        sources.push_back(openSource(path));

    FolderWalk::Size size;
    for (const auto &source : sources) {
        std::set<std::pair<dev_t, ino_t>> folders;
        if (source->state == Source::Open)
            FolderWalk::measure(source->from, source->entry, &folders, &size);
    }
    const quint64 totalBytes = size.bytes + quint64(size.folders) * FolderBytes;

    // The paste stays on the volume it starts on: every target is made below this folder.
    storage_t volume;
    const bool known = MediaMonitor::volumeOf(destination, volume) && !volume.mountPoint.isEmpty();
    const FolderWalk::Folder target(known ? FolderWalk::open(destination) : -1);
    struct stat targetStat;
    Job job;
    if (target.fd < 0 || ::fstat(target.fd, &targetStat) != 0
        || !job.destination.pin(FolderWalk::realPath(volume.mountPoint))
        || targetStat.st_dev != job.destination.mounted.st_dev) {
        emit signalPasteError(PASTE_DESTINATION_NOT_FOUND);
        return;
    }

    // A folder pasted into a folder inside itself would copy itself without end; told by
    // the open folders, whatever their names.
    for (const auto &source : sources) {
        if (source->state == Source::Open && source->self.fd >= 0
            && !FolderWalk::sameFile(source->entry.st, targetStat)
            && FolderWalk::holds(source->self.fd, target.fd)) {
            emit signalPasteError(PASTE_SAME_FOLDER);
            return;
        }
    }

    if (!enoughRoom(totalBytes, MediaMonitor::freeDiskSpace(volume.mountPoint))) {
        emit signalPasteError(PASTE_INSUFFICIENT_DISK_SPACE);
        return;
    }
    emit signalSetTotalFileCountAndSize(size.files, totalBytes);

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
        if (source->state == Source::Open && FolderWalk::sameFile(now, targetStat)) {
            emit signalPasteError(PASTE_SAME_FOLDER);
            return;
        }
        // Anything else than what the path led to at the start is not taken.
        if (source->state != Source::Open || !FolderWalk::sameFile(now, source->entry.st)) {
            qDebug() << Q_FUNC_INFO << "cannot read" << source->path;
            complete = false;
            continue;
        }
        const QByteArray name = FolderWalk::encodeName(FolderWalk::freeNameAt(
            target.fd, FolderWalk::decodeName(source->name),
            S_ISDIR(source->entry.st.st_mode) ? FolderWalk::Appended : FolderWalk::BeforeSuffix,
            MaxNameTries));
        source->copiedWhole = !name.isEmpty() && copySource(source.get(), target.fd, name, &job);
        complete = source->copiedWhole && complete;
        if (job.destination.lost) {
            emit signalPasteError(PASTE_DESTINATION_NOT_FOUND);
            return;
        }
    }

    bool removed = true;
    if (m_Mode == 1) {
        if (!job.destination.attached("the destination's")) {
            emit signalPasteError(PASTE_DESTINATION_NOT_FOUND);
            return;
        }
        for (const auto &source : sources) {
            if (source->copiedWhole)
                removed = removeCopied(source.get()) && removed;
        }
    }

    waitForWriteBack();
    if (!complete)
        emit signalPasteError(PASTE_INCOMPLETE);
    else if (!removed)
        emit signalPasteError(PASTE_ORIGINALS_KEPT);
    else
        emit signalCompleted();
}
