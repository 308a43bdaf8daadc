#pragma once

#include <QObject>
#include <QString>

class QFileSystemWatcher;

// Watches one folder (an instrument path) for entries coming and going. Every FolderWatch
// of the program shares one QFileSystemWatcher, so a stick with thousands of folders costs
// one kernel watcher instance, not one per folder. A folder removed and made again (or a
// stick plugged in again) is watched again, and its watches are told.
class FolderWatch : public QObject
{
    Q_OBJECT

public:
    explicit FolderWatch(const QString &path, QObject *parent = nullptr);
    ~FolderWatch() override;

    QString path() const { return m_Path; }

    // Kernel watcher instances the program holds for folder watching (0 or 1).
    static int sharedWatcherCount();

Q_SIGNALS:
    // The folder's entries changed; carries the instrument path.
    void directoryChanged(const QString &path);

private:
    static void dispatch(const QString &realPath);

    QString m_Path;
    QString m_RealPath;
};
