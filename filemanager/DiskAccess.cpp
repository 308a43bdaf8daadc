#include "DiskAccess.h"

#include "FolderWalk.h"
#include "MediaMonitor.h"

#include <sys/stat.h>

namespace {

bool lstatOf(const QString &path, struct stat *st)
{
    return ::lstat(FolderWalk::realPath(path).constData(), st) == 0;
}

bool statOf(const QString &path, struct stat *st)
{
    return ::stat(FolderWalk::realPath(path).constData(), st) == 0;
}

} // namespace

QStringList DiskAccess::list(const QString &folder, bool *ok)
{
    QStringList names;
    const FolderWalk::Folder open(FolderWalk::open(folder));
    QList<FolderWalk::Entry> entries;
    const bool listed = open.fd >= 0 && FolderWalk::list(open.fd, &entries);
    for (const FolderWalk::Entry &entry : qAsConst(entries))
        names << FolderWalk::decodeName(entry.name);
    if (ok)
        *ok = listed;
    return names;
}

bool DiskAccess::entryExists(const QString &path)
{
    struct stat st;
    return lstatOf(path, &st);
}

bool DiskAccess::exists(const QString &path)
{
    struct stat st;
    return statOf(path, &st) && (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode));
}

bool DiskAccess::isFolder(const QString &path)
{
    struct stat st;
    return statOf(path, &st) && S_ISDIR(st.st_mode);
}

bool DiskAccess::isLink(const QString &path)
{
    struct stat st;
    return lstatOf(path, &st) && S_ISLNK(st.st_mode);
}

bool DiskAccess::isRealFolder(const QString &path)
{
    struct stat st;
    return lstatOf(path, &st) && S_ISDIR(st.st_mode);
}

bool DiskAccess::remove(const QString &path)
{
    return FolderWalk::remove(path, MediaMonitor::mountPoints());
}

QString DiskAccess::fileName(const QString &path)
{
    if (path == QLatin1String("/"))
        return path;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString DiskAccess::join(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

bool DiskAccess::contains(const QString &folder, const QString &path)
{
    if (path == folder)
        return true;
    if (folder.endsWith(QLatin1Char('/')))
        return path.startsWith(folder);
    return path.startsWith(folder + QLatin1Char('/'));
}
