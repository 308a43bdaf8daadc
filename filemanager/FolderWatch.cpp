#include "FolderWatch.h"

#include "SystemPaths.h"

#include <QDebug>
#include <QFile>
#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <sys/stat.h>

namespace {

// The folder the kernel was asked to watch at a path: device and inode (0 when there was
// no folder), and whether the kernel took it.
struct Watched
{
    dev_t device = 0;
    ino_t inode = 0;
    bool kernel = false;
};

// GUI thread only, like every QFileSystemWatcher user.
QFileSystemWatcher *s_Watcher = nullptr;
QMultiHash<QString, FolderWatch *> s_Watches;
// Per watched real path (searching the watcher's own list for each new folder would make a
// stick with thousands of folders slow to show).
QHash<QString, Watched> s_Watched;
// Watched paths the kernel does not follow: the folder went, or could not be watched.
QSet<QString> s_Unwatched;

Watched folderAt(const QString &realPath)
{
    Watched folder;
    struct stat st;
    if (::stat(QFile::encodeName(realPath).constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
        folder.device = st.st_dev;
        folder.inode = st.st_ino;
    }
    return folder;
}

// Puts the folder now at the path under the kernel watcher, in place of the one before.
void attach(const QString &realPath)
{
    Watched &watched = s_Watched[realPath];
    if (watched.kernel)
        s_Watcher->removePath(realPath);
    watched = folderAt(realPath);
    if (watched.inode != 0) {
        watched.kernel = s_Watcher->addPath(realPath);
        if (!watched.kernel)
            qDebug() << Q_FUNC_INFO << "cannot watch" << realPath;
    }
    if (watched.kernel)
        s_Unwatched.remove(realPath);
    else
        s_Unwatched.insert(realPath);
}

// Attaches the folder at a watched path again when it is not the one watched: made again
// after removal, or dropped by the kernel (removed or unmounted), which happens only to a
// path the watcher has just reported. True when the folder there changed.
bool refresh(const QString &realPath, bool reported)
{
    const auto it = s_Watched.constFind(realPath);
    if (it == s_Watched.constEnd())
        return false;
    const Watched now = folderAt(realPath);
    bool same = now.device == it->device && now.inode == it->inode;
    // The same folder may be back (a stick plugged in again) after the kernel dropped it.
    if (same && reported && it->kernel)
        same = s_Watcher->directories().contains(realPath);
    if (same)
        return false;
    attach(realPath);
    return true;
}

QList<QPointer<FolderWatch>> watchesOf(const QString &realPath,
                                       const FolderWatch *except = nullptr)
{
    QList<QPointer<FolderWatch>> watches;
    for (FolderWatch *watch : s_Watches.values(realPath)) {
        if (watch != except)
            watches << watch;
    }
    return watches;
}

} // namespace

FolderWatch::FolderWatch(const QString &path, QObject *parent)
    : QObject(parent)
    , m_Path(path)
    , m_RealPath(SystemPaths::map(path))
{
    if (!s_Watcher) {
        s_Watcher = new QFileSystemWatcher;
        QObject::connect(s_Watcher, &QFileSystemWatcher::directoryChanged, &FolderWatch::dispatch);
    }
    s_Watches.insert(m_RealPath, this);
    if (!s_Watched.contains(m_RealPath)) {
        attach(m_RealPath);
    } else if (refresh(m_RealPath, false)) {
        // Another folder is there now: the watches made before are told once this one
        // exists.
        const QList<QPointer<FolderWatch>> others = watchesOf(m_RealPath, this);
        QTimer::singleShot(0, s_Watcher, [others]() {
            for (const QPointer<FolderWatch> &watch : others) {
                if (watch)
                    emit watch->directoryChanged(watch->m_Path);
            }
        });
    }
}

FolderWatch::~FolderWatch()
{
    s_Watches.remove(m_RealPath, this);
    if (!s_Watcher)
        return;
    if (!s_Watches.contains(m_RealPath)) {
        if (s_Watched.take(m_RealPath).kernel)
            s_Watcher->removePath(m_RealPath);
        s_Unwatched.remove(m_RealPath);
    }
    if (s_Watches.isEmpty()) {
        delete s_Watcher;
        s_Watcher = nullptr;
        s_Watched.clear();
        s_Unwatched.clear();
    }
}

int FolderWatch::sharedWatcherCount()
{
    return s_Watcher ? 1 : 0;
}

void FolderWatch::dispatch(const QString &realPath)
{
    QStringList changed{realPath};
    refresh(realPath, true);
    // A folder that went may be back by now; no event tells, since nothing watched it.
    const QSet<QString> unwatched = s_Unwatched;
    for (const QString &path : unwatched) {
        if (path != realPath && refresh(path, false))
            changed << path;
    }
    // A receiver may delete other watches (a removed subtree) while this runs.
    QList<QPointer<FolderWatch>> receivers;
    for (const QString &path : qAsConst(changed))
        receivers << watchesOf(path);
    for (const QPointer<FolderWatch> &watch : qAsConst(receivers)) {
        if (watch)
            emit watch->directoryChanged(watch->m_Path);
    }
}
