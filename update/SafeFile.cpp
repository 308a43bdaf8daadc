#include "SafeFile.h"

#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

SafeFile::Kind SafeFile::kind(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(SystemPaths::map(path)).constData(), &st) != 0)
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
    const QString real = SystemPaths::map(path);
    switch (kind(path)) {
    case Missing:
        return true;
    case Folder:
        // Entries that are links are removed as links.
        return QDir(real).removeRecursively();
    default:
        return ::unlink(QFile::encodeName(real).constData()) == 0;
    }
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
    const QString realTarget = SystemPaths::map(target);
    QFile in(SystemPaths::map(source));
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(source, in.errorString());
        return false;
    }
    const QFileInfo info(realTarget);
    QTemporaryFile out(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                       + QStringLiteral(".XXXXXX"));
    if (!out.open()) {
        *error = QStringLiteral("cannot write beside %1: %2").arg(target, out.errorString());
        return false;
    }
    char buffer[65536];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0 || (n > 0 && out.write(buffer, n) != n)) {
            *error = QStringLiteral("cannot copy %1 to %2").arg(source, target);
            return false;
        }
        if (n == 0)
            break;
    }
    if (!out.flush() || ::fsync(out.handle()) != 0 || !out.setPermissions(permissions)) {
        *error = QStringLiteral("cannot finish %1").arg(target);
        return false;
    }
    if (::rename(QFile::encodeName(out.fileName()).constData(),
                 QFile::encodeName(realTarget).constData()) != 0) {
        *error = QStringLiteral("cannot replace %1: %2").arg(target,
                                                             QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    out.setAutoRemove(false);
    return true;
}

bool SafeFile::replaceLink(const QString &link, const QString &target, QString *error)
{
    const QByteArray realLink = QFile::encodeName(SystemPaths::map(link));
    const QByteArray temporary = realLink + ".new";
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(SystemPaths::map(target)).constData(), temporary.constData()) != 0
        || ::rename(temporary.constData(), realLink.constData()) != 0) {
        *error = QStringLiteral("cannot point %1 at %2: %3")
                     .arg(link, target, QString::fromLocal8Bit(strerror(errno)));
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

void SafeFile::syncFileSystem(const QString &path)
{
    const int fd = ::open(QFile::encodeName(SystemPaths::map(path)).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::syncfs(fd);
    ::close(fd);
}
