#include "DiskAccess.h"

#include "SystemPaths.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool lstatOf(const QString &path, struct stat *st)
{
    return ::lstat(QFile::encodeName(SystemPaths::map(path)).constData(), st) == 0;
}

// Removes below a real folder without following links; depth bounded by the tree itself,
// since links are never entered.
bool removeRealPath(const QByteArray &real)
{
    struct stat st;
    if (::lstat(real.constData(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(real.constData()) == 0;
    bool ok = true;
    if (DIR *dir = ::opendir(real.constData())) {
        while (dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            ok = removeRealPath(real + '/' + name) && ok;
        }
        ::closedir(dir);
    } else {
        ok = false;
    }
    return ::rmdir(real.constData()) == 0 && ok;
}

} // namespace

QStringList DiskAccess::list(const QString &folder)
{
    return QDir(SystemPaths::map(folder))
        .entryList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
}

bool DiskAccess::entryExists(const QString &path)
{
    struct stat st;
    return lstatOf(path, &st);
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
    return removeRealPath(QFile::encodeName(SystemPaths::map(path)));
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
