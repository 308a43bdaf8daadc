#include "FolderWalk.h"

#include "SystemPaths.h"

#include <QDebug>
#include <QDir>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A byte kept as it is in a name that is not UTF-8.
bool isEscape(const QString &text, int i)
{
    const ushort c = text.at(i).unicode();
    return c >= 0xdc80 && c <= 0xdcff && (i == 0 || !text.at(i - 1).isHighSurrogate());
}

// The length of the UTF-8 sequence at i and its code point; 0 when it is not valid UTF-8
// (a stray byte, a cut or overlong sequence, a surrogate).
int utf8Sequence(const uchar *s, int size, int i, uint *codePoint)
{
    const uchar lead = s[i];
    int length = 0;
    uint minimum = 0;
    uint value = 0;
    if ((lead & 0xe0) == 0xc0) {
        length = 2, minimum = 0x80, value = lead & 0x1f;
    } else if ((lead & 0xf0) == 0xe0) {
        length = 3, minimum = 0x800, value = lead & 0x0f;
    } else if ((lead & 0xf8) == 0xf0) {
        length = 4, minimum = 0x10000, value = lead & 0x07;
    }
    if (length == 0 || i + length > size)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((s[i + k] & 0xc0) != 0x80)
            return 0;
        value = (value << 6) | (s[i + k] & 0x3f);
    }
    if (value < minimum || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
        return 0;
    *codePoint = value;
    return length;
}

// Folders above one, at most: a file system deeper than this is taken as a loop.
const int MaxLevelsUp = 4096;

} // namespace

void FolderWalk::Folder::reset(int other)
{
    if (fd >= 0)
        ::close(fd);
    fd = other;
}

int FolderWalk::openAt(int folder, const char *name, int flags)
{
    return ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags);
}

int FolderWalk::open(const QString &path)
{
    return ::open(realPath(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool FolderWalk::sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool FolderWalk::readFolder(int folder, QList<QByteArray> *names)
{
    // An offset of its own: the caller's descriptor may be read again.
    const int fd = openAt(folder, ".");
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            ok = errno == 0;
            break;
        }
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names->append(name);
    }
    ::closedir(dir);
    return ok;
}

bool FolderWalk::list(int folder, QList<Entry> *entries)
{
    QList<QByteArray> names;
    bool ok = readFolder(folder, &names);
    for (const QByteArray &name : qAsConst(names)) {
        if (name.startsWith('.'))
            continue;
        Entry entry;
        entry.name = name;
        if (::fstatat(folder, name.constData(), &entry.own, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = ok && errno == ENOENT;     // gone meanwhile
            continue;
        }
        entry.link = S_ISLNK(entry.own.st_mode);
        if (!entry.link) {
            entry.st = entry.own;
        } else if (::fstatat(folder, name.constData(), &entry.st, 0) != 0) {
            // A broken link is no entry; a target that cannot be read is a failure.
            ok = ok && (errno == ENOENT || errno == ELOOP || errno == ENOTDIR);
            continue;
        }
        if (S_ISDIR(entry.st.st_mode) || S_ISREG(entry.st.st_mode))
            entries->append(entry);
    }
    return ok;
}

bool FolderWalk::removeAt(int folder, const QByteArray &name, const QString &path,
                          dev_t fileSystem, const QStringList &mountPoints)
{
    return removeAt(folder, name, path, fileSystem, mountPoints, 0);
}

bool FolderWalk::removeAt(int folder, const QByteArray &name, const QString &path,
                          dev_t fileSystem, const QStringList &mountPoints, int depth)
{
    struct stat st;
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(folder, name.constData(), 0) == 0 || errno == ENOENT;
    if (st.st_dev != fileSystem || mountPoints.contains(path) || depth > MaxDepth) {
        qDebug() << Q_FUNC_INFO << "kept" << path;
        return false;
    }
    const Folder opened(openAt(folder, name.constData(), O_NOFOLLOW));
    struct stat now;
    QList<QByteArray> names;
    bool all = opened.fd >= 0 && ::fstat(opened.fd, &now) == 0 && sameFile(now, st)
        && readFolder(opened.fd, &names);
    for (const QByteArray &entry : qAsConst(names))
        all = removeAt(opened.fd, entry, path + QLatin1Char('/') + decodeName(entry), fileSystem,
                       mountPoints, depth + 1)
            && all;
    return all && ::unlinkat(folder, name.constData(), AT_REMOVEDIR) == 0;
}

bool FolderWalk::remove(const QString &path, const QStringList &mountPoints)
{
    const QString clean = QDir::cleanPath(path);
    const int slash = clean.lastIndexOf(QLatin1Char('/'));
    const QByteArray name = encodeName(clean.mid(slash + 1));
    if (slash < 0 || name.isEmpty())
        return false;
    const Folder parent(open(slash == 0 ? QStringLiteral("/") : clean.left(slash)));
    struct stat st;
    if (parent.fd < 0 || ::fstat(parent.fd, &st) != 0)
        return errno == ENOENT;
    QStringList cleanMounts;
    for (const QString &mountPoint : mountPoints)
        cleanMounts << QDir::cleanPath(mountPoint);
    return removeAt(parent.fd, name, clean, st.st_dev, cleanMounts, 0);
}

bool FolderWalk::holds(int outer, int inner)
{
    struct stat target;
    struct stat st;
    if (::fstat(outer, &target) != 0)
        return false;
    Folder step(::dup(inner));
    for (int level = 0; step.fd >= 0 && level < MaxLevelsUp; ++level) {
        if (::fstat(step.fd, &st) != 0)
            return false;
        if (sameFile(st, target))
            return true;
        Folder up(openAt(step.fd, ".."));
        struct stat above;
        if (up.fd < 0 || ::fstat(up.fd, &above) != 0 || sameFile(above, st))
            return false;       // the root
        step.reset(up.fd);
        up.fd = -1;
    }
    return false;
}

QString FolderWalk::freeName(const QString &name, Numbering numbering, int tries,
                             const std::function<bool(const QString &)> &take)
{
    if (take(name))
        return name;
    const int dot = numbering == BeforeSuffix ? name.lastIndexOf(QLatin1Char('.')) : -1;
    for (int n = 1; n <= tries; ++n) {
        const QString number = QString::number(n);
        QString candidate;
        if (dot >= 0)
            candidate = QStringLiteral("%1(%2).%3").arg(name.left(dot), number, name.mid(dot + 1));
        else if (numbering == Spaced)
            candidate = QStringLiteral("%1 (%2)").arg(name, number);
        else
            candidate = QStringLiteral("%1(%2)").arg(name, number);
        if (take(candidate))
            return candidate;
    }
    qDebug() << Q_FUNC_INFO << "no free name for" << name;
    return QString();
}

QString FolderWalk::freeNameAt(int folder, const QString &name, Numbering numbering, int tries)
{
    return freeName(name, numbering, tries, [folder](const QString &candidate) {
        struct stat st;
        return ::fstatat(folder, encodeName(candidate).constData(), &st, AT_SYMLINK_NOFOLLOW)
            != 0;
    });
}

bool FolderWalk::copy(int from, const Entry &entry, int to, const QByteArray &name, Copy *job)
{
    return copy(from, entry, QByteArray(), to, name, false, job, 0);
}

bool FolderWalk::copy(int from, const Entry &entry, const QByteArray &path, int to,
                      const QByteArray &name, bool viaLink, Copy *job, int depth)
{
    if (job->ended || (job->proceed && !job->proceed())) {
        job->ended = true;
        return false;
    }
    bool ok = false;
    if (S_ISREG(entry.st.st_mode)) {
        ok = job->copyFile(from, entry, to, name);
    } else if (S_ISDIR(entry.st.st_mode)) {
        // A folder met again (a loop, or two links to one folder) is copied once.
        if (!job->folders.insert({entry.st.st_dev, entry.st.st_ino}).second) {
            ok = true;
        } else {
            // Listed before anything is made: a folder that cannot be listed is not copied.
            const Folder in(depth <= MaxDepth ? openAt(from, entry.name.constData()) : -1);
            struct stat st;
            QList<Entry> entries;
            if (in.fd < 0 || ::fstat(in.fd, &st) != 0 || !sameFile(st, entry.st)
                || !list(in.fd, &entries)) {
                qDebug() << Q_FUNC_INFO << "cannot list" << decodeName(path);
                return false;
            }
            const Folder made(::mkdirat(to, name.constData(), 0777) == 0
                                  ? openAt(to, name.constData(), O_NOFOLLOW) : -1);
            if (made.fd < 0 || ::fstat(made.fd, &st) != 0) {
                qDebug() << Q_FUNC_INFO << "cannot make" << decodeName(name) << "for"
                         << decodeName(path);
                return false;
            }
            // Never walk into what this copy makes.
            job->folders.insert({st.st_dev, st.st_ino});
            ok = true;
            for (const Entry &inner : qAsConst(entries)) {
                // The new folder starts empty, but a stick's file system may take "A" and
                // "a" for one name.
                const QByteArray innerName = encodeName(
                    freeNameAt(made.fd, decodeName(inner.name),
                               S_ISDIR(inner.st.st_mode) ? Appended : BeforeSuffix, MaxNameTries));
                const QByteArray innerPath = path.isEmpty() ? inner.name : path + '/' + inner.name;
                ok = !innerName.isEmpty()
                    && copy(in.fd, inner, innerPath, made.fd, innerName, viaLink || entry.link,
                            job, depth + 1)
                    && ok;
                if (job->ended)
                    return false;
            }
        }
    }
    if (ok && job->copied)
        job->copied(path, entry, viaLink);
    return ok;
}

void FolderWalk::measure(int from, const Entry &entry, std::set<std::pair<dev_t, ino_t>> *folders,
                         Size *size)
{
    measure(from, entry, folders, size, 0);
}

void FolderWalk::measure(int from, const Entry &entry, std::set<std::pair<dev_t, ino_t>> *folders,
                         Size *size, int depth)
{
    if (S_ISREG(entry.st.st_mode)) {
        ++size->files;
        size->bytes += quint64(entry.st.st_size);
        return;
    }
    if (!S_ISDIR(entry.st.st_mode) || depth > MaxDepth
        || !folders->insert({entry.st.st_dev, entry.st.st_ino}).second)
        return;
    ++size->folders;
    const Folder folder(openAt(from, entry.name.constData()));
    QList<Entry> entries;
    if (folder.fd >= 0)
        list(folder.fd, &entries);
    for (const Entry &inner : qAsConst(entries))
        measure(folder.fd, inner, folders, size, depth + 1);
}

QString FolderWalk::decodeName(const QByteArray &name)
{
    const auto *s = reinterpret_cast<const uchar *>(name.constData());
    const int size = name.size();
    QString text;
    text.reserve(size);
    for (int i = 0; i < size;) {
        uint codePoint = s[i];
        const int length = codePoint < 0x80 ? 1 : utf8Sequence(s, size, i, &codePoint);
        if (length == 0) {
            text += QChar(ushort(0xdc00 + s[i]));
            ++i;
            continue;
        }
        if (QChar::requiresSurrogates(codePoint)) {
            text += QChar(QChar::highSurrogate(codePoint));
            text += QChar(QChar::lowSurrogate(codePoint));
        } else {
            text += QChar(ushort(codePoint));
        }
        i += length;
    }
    return text;
}

QByteArray FolderWalk::encodeName(const QString &name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    int start = 0;
    for (int i = 0; i < name.size(); ++i) {
        if (!isEscape(name, i))
            continue;
        bytes += name.midRef(start, i - start).toUtf8();
        bytes += char(name.at(i).unicode() - 0xdc00);
        start = i + 1;
    }
    bytes += name.midRef(start).toUtf8();
    return bytes;
}

QByteArray FolderWalk::realPath(const QString &path)
{
    return encodeName(SystemPaths::map(path));
}

QString FolderWalk::displayName(const QString &name)
{
    QString text = name;
    for (int i = 0; i < text.size(); ++i) {
        if (isEscape(name, i))
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}
