#include "FolderWatch.h"

#include "SystemPaths.h"

#include <QDebug>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>

namespace {

// GUI thread only, like every QFileSystemWatcher user.
QFileSystemWatcher *s_Watcher = nullptr;
QMultiHash<QString, FolderWatch *> s_Watches;
// The folders the kernel watches (the watcher's own list is a copy per call, too slow for
// a stick with thousands of folders).
QSet<QString> s_Watched;

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
    if (!s_Watched.contains(m_RealPath) && QFileInfo(m_RealPath).isDir()) {
        if (s_Watcher->addPath(m_RealPath))
            s_Watched.insert(m_RealPath);
        else
            qDebug() << Q_FUNC_INFO << "cannot watch" << m_RealPath;
    }
}

FolderWatch::~FolderWatch()
{
    s_Watches.remove(m_RealPath, this);
    if (!s_Watcher)
        return;
    if (!s_Watches.contains(m_RealPath) && s_Watched.remove(m_RealPath))
        s_Watcher->removePath(m_RealPath);
    if (s_Watches.isEmpty()) {
        delete s_Watcher;
        s_Watcher = nullptr;
        s_Watched.clear();
    }
}

int FolderWatch::sharedWatcherCount()
{
    return s_Watcher ? 1 : 0;
}

void FolderWatch::dispatch(const QString &realPath)
{
    // The kernel drops a folder that was deleted; one made again must be added anew.
    if (!QFileInfo(realPath).isDir())
        s_Watched.remove(realPath);
    // A receiver may delete other watches (a removed subtree) while this runs.
    QList<QPointer<FolderWatch>> receivers;
    for (FolderWatch *watch : s_Watches.values(realPath))
        receivers << watch;
    for (const QPointer<FolderWatch> &watch : receivers) {
        if (watch)
            emit watch->directoryChanged(watch->m_Path);
    }
}
