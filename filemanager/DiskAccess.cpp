#include "DiskAccess.h"

#include "MediaMonitor.h"
#include "SystemPaths.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool lstatOf(const QString &path, struct stat *st)
{
    return ::lstat(DiskAccess::realPath(path).constData(), st) == 0;
}

bool statOf(const QString &path, struct stat *st)
{
    return ::stat(DiskAccess::realPath(path).constData(), st) == 0;
}

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

} // namespace

bool DiskAccess::readFolder(int folder, QList<QByteArray> *names)
{
    // An offset of its own: the caller's descriptor may be read again.
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

bool DiskAccess::listAt(int folder, QList<Entry> *entries)
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

QStringList DiskAccess::list(const QString &folder, bool *ok)
{
    QStringList names;
    const int fd = ::open(realPath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QList<Entry> entries;
    const bool listed = fd >= 0 && listAt(fd, &entries);
    if (fd >= 0)
        ::close(fd);
    for (const Entry &entry : qAsConst(entries))
        names << decodeName(entry.name);
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
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    struct stat st;
    if (!statOf(folder, &st))
        return !entryExists(path);
    return MediaMonitor::removeTree(path, quint64(st.st_dev));
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

QString DiskAccess::decodeName(const QByteArray &name)
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

QByteArray DiskAccess::encodeName(const QString &name)
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

QByteArray DiskAccess::realPath(const QString &path)
{
    return encodeName(SystemPaths::map(path));
}

QString DiskAccess::displayName(const QString &name)
{
    QString text = name;
    for (int i = 0; i < text.size(); ++i) {
        if (isEscape(name, i))
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}
