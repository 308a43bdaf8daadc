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
#include <unistd.h>

namespace {

std::atomic<int> s_WriteBackTimeoutMs(FileOperator::DefaultWriteBackTimeoutMs);

// Each folder counts for one block in the room check.
const quint64 FolderBytes = 4096;
const int WriteBackPassMs = 100;

QString canonical(const QString &path)
{
    return QFileInfo(SystemPaths::map(path)).canonicalFilePath();
}

qint64 fileSize(const QString &path)
{
    const QFileInfo info(SystemPaths::map(path));
    return info.exists() ? info.size() : 0;
}

// A link to a folder is recreated with the same target text.
bool copyLink(const QString &source, const QString &target)
{
    const QByteArray from = QFile::encodeName(SystemPaths::map(source));
    QByteArray linkText(4096, '\0');
    const ssize_t length = ::readlink(from.constData(), linkText.data(), linkText.size() - 1);
    if (length < 0)
        return false;
    linkText.truncate(int(length));
    return ::symlink(linkText.constData(),
                     QFile::encodeName(SystemPaths::map(target)).constData()) == 0;
}

} // namespace

struct FileOperator::Progress
{
    int count = 0;
    quint64 bytes = 0;
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
    if (!DiskAccess::entryExists(DiskAccess::join(folder, name)))
        return name;
    const int dot = isFolder ? -1 : name.lastIndexOf(QLatin1Char('.'));
    for (int n = 1; n <= MaxNameTries; ++n) {
        const QString candidate = dot < 0
            ? QStringLiteral("%1(%2)").arg(name).arg(n)
            : QStringLiteral("%1(%2).%3").arg(name.left(dot)).arg(n).arg(name.mid(dot + 1));
        if (!DiskAccess::entryExists(DiskAccess::join(folder, candidate)))
            return candidate;
    }
    qDebug() << Q_FUNC_INFO << "no free name for" << name << "in" << folder;
    return QString();
}

void FileOperator::size(const QString &path, int *count, quint64 *bytes)
{
    if (DiskAccess::isLink(path) && QFileInfo(SystemPaths::map(path)).isDir()) {
        ++*count;   // copied as a link: nothing behind it is read
        return;
    }
    if (DiskAccess::isRealFolder(path)) {
        *bytes += FolderBytes;
        const QStringList names = DiskAccess::list(path);
        for (const QString &name : names)
            size(DiskAccess::join(path, name), count, bytes);
        return;
    }
    ++*count;
    *bytes += quint64(fileSize(path));
}

bool FileOperator::copyInto(const QString &source, const QString &folder, const QString &name,
                            Progress *progress, QStringList *copied)
{
    const QFileInfo info(SystemPaths::map(source));
    const bool folderLink = DiskAccess::isLink(source) && info.isDir();
    if (DiskAccess::isRealFolder(source)) {
        const QString target = DiskAccess::join(folder, name);
        if (!QDir().mkdir(SystemPaths::map(target))) {
            qDebug() << Q_FUNC_INFO << "cannot create" << target;
            return false;
        }
        bool complete = true;
        const QStringList names = DiskAccess::list(source);
        for (const QString &entry : names) {
            // The new folder starts empty, but a stick's file system may take "A" and "a"
            // for one name.
            const QString entryPath = DiskAccess::join(source, entry);
            const QString entryName =
                targetName(target, entry, DiskAccess::isRealFolder(entryPath));
            complete = !entryName.isEmpty()
                && copyInto(entryPath, target, entryName, progress, copied) && complete;
        }
        if (complete)
            copied->append(source);
        return complete;
    }
    if (!folderLink && !info.isFile())
        return false;
    const QString target = DiskAccess::join(folder, name);
    bool ok;
    if (folderLink) {
        ok = copyLink(source, target);
    } else {
        ok = ::copy(source.toUtf8().constData(), target.toUtf8().constData()) == 0;
        // A half-written file must not pass for a copy.
        if (!ok && DiskAccess::entryExists(target))
            QFile::remove(SystemPaths::map(target));
    }
    if (!ok) {
        qDebug() << Q_FUNC_INFO << "cannot copy" << source << "to" << target;
        return false;
    }
    ++progress->count;
    progress->bytes += folderLink ? 0 : quint64(info.size());
    emit signalSetCurrentFileCountAndSize(progress->count, progress->bytes);
    copied->append(source);
    return true;
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

    int totalCount = 0;
    quint64 totalBytes = 0;
    for (const QString &path : qAsConst(m_Paths)) {
        if (QFileInfo(SystemPaths::map(path)).exists())
            size(path, &totalCount, &totalBytes);
    }

    storage_t volume;
    if (!MediaMonitor::volumeOf(destination, volume) || volume.mountPoint.isEmpty()
        || !QFileInfo(SystemPaths::map(destination)).isDir()) {
        emit signalPasteError(PASTE_DESTINATION_NOT_FOUND);
        return;
    }

    // A folder pasted into a folder inside itself would copy itself without end.
    for (const QString &path : qAsConst(m_Paths)) {
        if (!DiskAccess::isRealFolder(path))
            continue;
        const QString source = canonical(path);
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

    Progress progress;
    QStringList toRemove;
    bool complete = true;
    for (const QString &path : qAsConst(m_Paths)) {
        if (!QFileInfo(SystemPaths::map(path)).exists())
            continue;
        if (canonical(path) == destinationCanonical) {
            emit signalPasteError(PASTE_SAME_FOLDER);
            return;
        }
        const bool isFolder = DiskAccess::isRealFolder(path);
        const QString name = targetName(destination, DiskAccess::fileName(path), isFolder);
        QStringList copied;
        if (!name.isEmpty() && copyInto(path, destination, name, &progress, &copied))
            toRemove << copied;
        else
            complete = false;
    }

    if (m_Mode == 1)
        removeCopied(toRemove);

    waitForWriteBack();
    if (complete)
        emit signalCompleted();
    else
        emit signalPasteError(PASTE_INCOMPLETE);
}
