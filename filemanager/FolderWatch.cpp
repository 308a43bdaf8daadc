#include "FolderWatch.h"

#include "SystemPaths.h"

#include <QDebug>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QPointer>

namespace {

// GUI thread only, like every QFileSystemWatcher user.
QFileSystemWatcher *s_Watcher = nullptr;
QMultiHash<QString, FolderWatch *> s_Watches;

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
    // The kernel forgets a folder that was deleted; one made again under the same path
    // has to be added anew.
    if (!s_Watcher->directories().contains(m_RealPath) && QFileInfo(m_RealPath).isDir()
        && !s_Watcher->addPath(m_RealPath))
        qDebug() << Q_FUNC_INFO << "cannot watch" << m_RealPath;
}

FolderWatch::~FolderWatch()
{
    s_Watches.remove(m_RealPath, this);
    if (!s_Watcher)
        return;
    if (!s_Watches.contains(m_RealPath))
        s_Watcher->removePath(m_RealPath);
    if (s_Watches.isEmpty()) {
        delete s_Watcher;
        s_Watcher = nullptr;
    }
}

int FolderWatch::sharedWatcherCount()
{
    return s_Watcher ? 1 : 0;
}

void FolderWatch::dispatch(const QString &realPath)
{
    // A receiver may delete other watches (a removed subtree) while this runs.
    QList<QPointer<FolderWatch>> receivers;
    for (FolderWatch *watch : s_Watches.values(realPath))
        receivers << watch;
    for (const QPointer<FolderWatch> &watch : receivers) {
        if (watch)
            emit watch->directoryChanged(watch->m_Path);
    }
}
