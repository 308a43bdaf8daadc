#include "SafeFile.h"

#include "Copy.h"
#include "FolderWalk.h"
#include "MediaMonitor.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QDir>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

QString reason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The folder holding an instrument path, open, and the last name of the path as it is
// on disk.
struct Place
{
    explicit Place(const QString &path)
    {
        const QString clean = QDir::cleanPath(path);
        const int slash = clean.lastIndexOf(QLatin1Char('/'));
        name = FolderWalk::encodeName(clean.mid(slash + 1));
        if (slash >= 0 && !name.isEmpty() && name != "..")
            folder.reset(FolderWalk::open(slash == 0 ? QStringLiteral("/") : clean.left(slash)));
    }
    FolderWalk::Folder folder;
    QByteArray name;
};

mode_t modeOf(QFile::Permissions permissions)
{
    const std::pair<QFile::Permission, mode_t> bits[] = {
        {QFile::ReadOwner, S_IRUSR}, {QFile::WriteOwner, S_IWUSR}, {QFile::ExeOwner, S_IXUSR},
        {QFile::ReadGroup, S_IRGRP}, {QFile::WriteGroup, S_IWGRP}, {QFile::ExeGroup, S_IXGRP},
        {QFile::ReadOther, S_IROTH}, {QFile::WriteOther, S_IWOTH}, {QFile::ExeOther, S_IXOTH}};
    mode_t mode = 0;
    for (const auto &bit : bits) {
        if (permissions & bit.first)
            mode |= bit.second;
    }
    return mode;
}

} // namespace

SafeFile::Kind SafeFile::kind(const QString &path)
{
    struct stat st;
    if (::lstat(FolderWalk::realPath(path).constData(), &st) != 0)
        return Missing;
    if (S_ISLNK(st.st_mode))
        return Link;
    if (S_ISREG(st.st_mode))
        return File;
    if (S_ISDIR(st.st_mode))
        return Folder;
    return Other;
}

bool SafeFile::throughLink(const QString &path)
{
    const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString step;
    for (const QString &part : parts) {
        step += QLatin1Char('/') + part;
        if (kind(step) == Link)
            return true;
    }
    return false;
}

bool SafeFile::removeAll(const QString &path)
{
    return FolderWalk::remove(path, MediaMonitor::mountPoints());
}

bool SafeFile::recreateFolder(const QString &path)
{
    if (!removeAll(path)) {
        qDebug() << Q_FUNC_INFO << "cannot remove" << path;
        return false;
    }
    return QDir().mkpath(SystemPaths::map(path));
}

bool SafeFile::replaceFile(const QString &source, const QString &target,
                           QFile::Permissions permissions, QString *error)
{
    const Place place(target);
    if (place.folder.fd < 0) {
        *error = QStringLiteral("cannot open the folder of %1: %2").arg(target, reason());
        return false;
    }
    const QByteArray beside = FolderWalk::encodeName(FolderWalk::freeNameAt(
        place.folder.fd, QLatin1Char('.') + FolderWalk::decodeName(place.name) + ".new",
        FolderWalk::Appended, FolderWalk::MaxNameTries));
    if (beside.isEmpty()) {
        *error = QStringLiteral("no free name beside %1").arg(target);
        return false;
    }
    if (::copyAt(AT_FDCWD, FolderWalk::realPath(source).constData(), place.folder.fd,
                 beside.constData()) != 0) {
        *error = QStringLiteral("cannot copy %1 to %2").arg(source, target);
        return false;
    }
    if (::fchmodat(place.folder.fd, beside.constData(), modeOf(permissions), 0) != 0
        || ::renameat(place.folder.fd, beside.constData(), place.folder.fd,
                      place.name.constData()) != 0) {
        *error = QStringLiteral("cannot replace %1: %2").arg(target, reason());
        ::unlinkat(place.folder.fd, beside.constData(), 0);
        return false;
    }
    return true;
}

bool SafeFile::replaceLink(const QString &link, const QString &target, QString *error)
{
    const QByteArray realLink = FolderWalk::realPath(link);
    const QByteArray temporary = realLink + ".new";
    ::unlink(temporary.constData());
    if (::symlink(FolderWalk::realPath(target).constData(), temporary.constData()) != 0
        || ::rename(temporary.constData(), realLink.constData()) != 0) {
        *error = QStringLiteral("cannot point %1 at %2: %3").arg(link, target, reason());
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

void SafeFile::syncFileSystem(const QString &path)
{
    const FolderWalk::Folder folder(FolderWalk::open(path));
    if (folder.fd >= 0)
        ::syncfs(folder.fd);
}

bool SafeFile::copyTree(const QString &source, const QString &target)
{
    const Place from(source);
    const Place to(target);
    FolderWalk::Entry entry;
    entry.name = from.name;
    if (from.folder.fd < 0 || to.folder.fd < 0
        || ::fstatat(from.folder.fd, entry.name.constData(), &entry.own, AT_SYMLINK_NOFOLLOW) != 0
        || S_ISLNK(entry.own.st_mode))
        return false;
    entry.st = entry.own;
    FolderWalk::Copy job;
    job.copyFile = [](int folder, const FolderWalk::Entry &file, int into, const QByteArray &name) {
        return ::copyAt(folder, file.name.constData(), into, name.constData()) == 0
            && ::fchmodat(into, name.constData(), file.st.st_mode & 0777, 0) == 0;
    };
    return FolderWalk::copy(from.folder.fd, entry, to.folder.fd, to.name, &job);
}

bool SafeFile::moveEntry(const QString &from, const QString &to)
{
    if (std::rename(FolderWalk::realPath(from).constData(), FolderWalk::realPath(to).constData())
        == 0)
        return true;
    qDebug() << Q_FUNC_INFO << "cannot move" << from << "to" << to << reason();
    return false;
}

bool SafeFile::putInPlace(const QList<Staged> &staged)
{
    int done = 0;
    for (; done < staged.size(); ++done) {
        const Staged &s = staged.at(done);
        if (s.replaces && !moveEntry(s.target, s.aside))
            break;
        if (!moveEntry(s.copy, s.target)) {
            if (s.replaces && !moveEntry(s.aside, s.target))
                qDebug() << Q_FUNC_INFO << "the old" << s.target << "is kept at" << s.aside;
            break;
        }
    }
    if (done == staged.size()) {
        bool removed = true;
        for (const Staged &s : staged) {
            if (s.replaces && !removeAll(s.aside)) {
                qDebug() << Q_FUNC_INFO << "the old" << s.target << "set aside at" << s.aside
                         << "cannot be removed";
                removed = false;
            }
        }
        return removed;
    }
    qDebug() << Q_FUNC_INFO << "cannot put" << staged.at(done).target << "in place";
    // Newest first, each new entry back beside its target, then the old one back in.
    while (done-- > 0) {
        const Staged &s = staged.at(done);
        if (!moveEntry(s.target, s.copy))
            qDebug() << Q_FUNC_INFO << "the new" << s.target << "stays in place";
        if (s.replaces && !moveEntry(s.aside, s.target))
            qDebug() << Q_FUNC_INFO << "the old" << s.target << "is kept at" << s.aside;
    }
    return false;
}
