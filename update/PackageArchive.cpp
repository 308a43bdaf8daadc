#include "PackageArchive.h"

#include "ExternalProgram.h"
#include "FolderWalk.h"
#include "SystemPaths.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QVector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString Tar = QStringLiteral("tar");
// A listing line longer than this names no member of a package the instrument takes.
const int MaxListingLine = 64 * 1024;
const quint64 FnvBasis = 14695981039346656037ULL;
// tar is fed the package in pieces of this size.
const int PieceBytes = 256 * 1024;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether text has the shape of pattern: "d" one digit, "D" one or more, anything else
// stands for itself.
bool shaped(const char *text, int length, const char *pattern)
{
    int at = 0;
    for (; *pattern; ++pattern) {
        const bool digit = *pattern == 'd' || *pattern == 'D';
        if (at >= length || (digit ? !isDigit(text[at]) : text[at] != *pattern))
            return false;
        ++at;
        while (*pattern == 'D' && at < length && isDigit(text[at]))
            ++at;
    }
    return at == length;
}

// "2024-01-01" (a year may be negative) and "00:00:00" or "00:00:00.5".
bool isDate(const char *text, int length)
{
    return shaped(text, length, "D-dd-dd")
        || (length > 1 && text[0] == '-' && shaped(text + 1, length - 1, "D-dd-dd"));
}

bool isTime(const char *text, int length)
{
    return shaped(text, length, "dd:dd:dd")
        || (length > 9 && shaped(text, 9, "dd:dd:dd.") && shaped(text + 9, length - 9, "D"));
}

// 64-bit FNV-1a, carried on over the parts of a path (each ended by a unit 0).
quint64 fnv(quint64 hash, const QString &part)
{
    for (int i = 0; i <= part.size(); ++i) {
        hash ^= i < part.size() ? part.at(i).unicode() : 0u;
        hash *= 1099511628211ULL;
    }
    return hash;
}

// Every stored file and folder below the open folder (path) is a plain file or a folder,
// with no link and no set-id bit, and no folder lies deeper than a removal enters; anything
// else came from a tar that did not do what it listed.
bool checkTree(int folder, const QString &path, int depth, QString *error)
{
    QList<QByteArray> names;
    if (!FolderWalk::readFolder(folder, &names)) {
        *error = QStringLiteral("cannot list %1").arg(FolderWalk::displayName(path));
        return false;
    }
    for (const QByteArray &name : qAsConst(names)) {
        const QString inner = path + QLatin1Char('/') + FolderWalk::decodeName(name);
        struct stat st;
        if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            *error = QStringLiteral("cannot examine %1").arg(FolderWalk::displayName(inner));
            return false;
        }
        const bool plain = (S_ISREG(st.st_mode) && st.st_nlink == 1) || S_ISDIR(st.st_mode);
        if (!plain || (st.st_mode & (S_ISUID | S_ISGID))) {
            *error = QStringLiteral("unpacked %1 is not a plain file or folder")
                         .arg(FolderWalk::displayName(inner));
            return false;
        }
        if (!S_ISDIR(st.st_mode))
            continue;
        const FolderWalk::Folder below(
            depth < FolderWalk::MaxDepth ? FolderWalk::openAt(folder, name.constData(), O_NOFOLLOW)
                                         : -1);
        if (below.fd < 0) {
            *error = QStringLiteral("cannot examine %1").arg(FolderWalk::displayName(inner));
            return false;
        }
        if (!checkTree(below.fd, inner, depth + 1, error))
            return false;
    }
    return true;
}

} // namespace

// The package file, opened once and fed to each run of tar a piece at a time. The first
// reading keeps a digest of each piece; later ones give tar only pieces equal to those, so
// every run reads what the first one read, though the file be rewritten or replaced.
class PackageArchive::Feed
{
public:
    explicit Feed(const QString &archive)
        : m_archive(archive)
        , m_path(QFile::encodeName(SystemPaths::map(archive)))
    {
    }

    const QString &archive() const { return m_archive; }

    // Only a plain file is read; a FIFO in its place is not waited on.
    bool open(QString *error)
    {
        const int fd = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 || ::fstat(fd, &m_opened) != 0 || !S_ISREG(m_opened.st_mode)
            || !m_file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered,
                            QFileDevice::AutoCloseHandle)) {
            if (fd >= 0)
                ::close(fd);
            *error = QStringLiteral("%1 is not a file that can be read").arg(m_archive);
            return false;
        }
        return true;
    }

    ExternalProgram::Input input()
    {
        return [this](QByteArray *piece) { return give(piece); };
    }

    // Reads what the first reading left of the file, then goes back to its start: from
    // then on, what is given must be what the first reading read.
    bool rewind(QString *error)
    {
        QByteArray piece;
        do {
            if (!give(&piece)) {
                *error = m_error;
                return false;
            }
        } while (!piece.isEmpty());
        m_checking = true;
        m_next = 0;
        if (!m_file.seek(0)) {
            *error = unreadable();
            return false;
        }
        return true;
    }

    // Whether every piece given was readable and, after a rewind, the same as before, and
    // the package's path still names the file opened.
    bool unchanged(QString *error)
    {
        struct stat now;
        if (m_error.isEmpty()
            && (::stat(m_path.constData(), &now) != 0
                || now.st_dev != m_opened.st_dev || now.st_ino != m_opened.st_ino))
            m_error = changed();
        *error = m_error;
        return m_error.isEmpty();
    }

    // Why no more could be given, or an empty string.
    const QString &error() const { return m_error; }

private:
    QString unreadable() const
    {
        return QStringLiteral("cannot read %1 (%2)").arg(m_archive, m_file.errorString());
    }

    QString changed() const
    {
        return QStringLiteral("%1 changed while it was installed").arg(m_archive);
    }

    bool give(QByteArray *piece)
    {
        piece->resize(PieceBytes);
        const qint64 size = m_file.read(piece->data(), PieceBytes);
        if (size < 0) {
            m_error = unreadable();
            return false;
        }
        piece->resize(int(size));
        if (!m_checking) {
            if (size > 0)
                m_digests << QCryptographicHash::hash(*piece, QCryptographicHash::Sha256);
            return true;
        }
        // A piece cut short, one beyond the first reading's end, or other bytes.
        const bool same = size == 0
            ? m_next == m_digests.size()
            : m_next < m_digests.size()
                && m_digests.at(m_next) == QCryptographicHash::hash(*piece, QCryptographicHash::Sha256);
        ++m_next;
        if (!same)
            m_error = changed();
        return same;
    }

    QString m_archive;
    QByteArray m_path;
    QFile m_file;
    struct stat m_opened {};
    QVector<QByteArray> m_digests;
    bool m_checking = false;
    int m_next = 0;
    QString m_error;
};

QString PackageArchive::decodeName(const char *in, int size)
{
    // Work on bytes: \ooo escapes stand for single bytes of a multi-byte name.
    QByteArray out;
    out.reserve(size);
    for (int i = 0; i < size; ++i) {
        const char c = in[i];
        if (c != '\\' || i + 1 >= size) {
            out += c;
            continue;
        }
        const char e = in[++i];
        if (e >= '0' && e <= '7') {
            int value = 0;
            int digits = 0;
            while (digits < 3 && i < size && in[i] >= '0' && in[i] <= '7') {
                value = value * 8 + (in[i] - '0');
                ++i;
                ++digits;
            }
            --i;
            out += char(value);
            continue;
        }
        switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case 'b': out += '\b'; break;
        case 'a': out += '\a'; break;
        case '?': out += char(127); break;
        default: out += e; break;      // "\\", "\ " and the like stand for the character
        }
    }
    return FolderWalk::decodeName(out);
}

bool PackageArchive::list(const QString &archive,
                          const std::function<QString(const PackageEntry &)> &visit,
                          QString *error)
{
    Feed feed(archive);
    return feed.open(error) && list(feed, visit, error);
}

bool PackageArchive::list(Feed &feed, const std::function<QString(const PackageEntry &)> &visit,
                          QString *error)
{
    const QString &archive = feed.archive();
    error->clear();
    const auto member = [&](const QByteArray &line) {
        if (line.isEmpty())
            return true;
        PackageEntry entry;
        if (!parseListing(line, &entry)) {
            *error = QStringLiteral("tar listed a member that cannot be read: %1")
                         .arg(QString::fromLocal8Bit(line.left(200)));
            return false;
        }
        const QString why = visit(entry);
        if (!why.isEmpty())
            *error = QStringLiteral("%1 refused: %2").arg(archive, why);
        return why.isEmpty();
    };
    // Names exactly as stored (--absolute-names), one unambiguous line per member, read as
    // tar writes them: a package of a million members is refused at the first one too many.
    const ProgramResult result = ExternalProgram::runByLine(
        Tar, {QStringLiteral("--list"), QStringLiteral("--verbose"), QStringLiteral("--gzip"),
              QStringLiteral("--file"), QStringLiteral("-"),
              QStringLiteral("--numeric-owner"), QStringLiteral("--full-time"),
              QStringLiteral("--utc"), QStringLiteral("--quoting-style=escape"),
              QStringLiteral("--absolute-names")},
        TimeoutMs, MaxListingLine, member, feed.input());
    if (!error->isEmpty())
        return false;
    if (!result.ok()) {
        *error = feed.error().isEmpty()
            ? QStringLiteral("tar cannot read %1 (%2)").arg(archive, result.describe())
            : feed.error();
        return false;
    }
    return true;
}

bool PackageArchive::parseListing(const QByteArray &line, PackageEntry *entry)
{
    // "-rw-r--r-- 0/0   1234 2024-01-01 00:00:00.5 name": type and mode, then owner, size,
    // date and time each after blanks, then one blank and the name. Read without copies:
    // a listing has up to MaxMembers lines.
    const int size = line.size();
    if (size < 11 || line.at(10) != ' ')
        return false;
    for (int i = 0; i < 10; ++i) {
        if (isBlank(line.at(i)))
            return false;
    }
    int at = 10;
    int starts[4];
    int lengths[4];
    for (int f = 0; f < 4; ++f) {
        if (at >= size || line.at(at) != ' ')
            return false;
        while (at < size && line.at(at) == ' ')
            ++at;
        starts[f] = at;
        while (at < size && !isBlank(line.at(at)))
            ++at;
        lengths[f] = at - starts[f];
    }
    const char *data = line.constData();
    if (at >= size || line.at(at) != ' ' || !lengths[0] || !lengths[1]
        || !isDate(data + starts[2], lengths[2]) || !isTime(data + starts[3], lengths[3]))
        return false;
    entry->type = QLatin1Char(line.at(0));
    entry->mode = QString::fromLatin1(data + 1, 9);
    // A device lists "major,minor" for its size: no size.
    entry->size = -1;
    if (shaped(data + starts[1], lengths[1], "D") && lengths[1] <= 18) {
        entry->size = 0;
        for (int i = starts[1]; i < starts[1] + lengths[1]; ++i)
            entry->size = entry->size * 10 + (data[i] - '0');
    }
    int nameEnd = size;
    if (entry->type == QLatin1Char('l') || entry->type == QLatin1Char('h')) {
        // "name -> target" and "name link to target"; the name is not needed for a member
        // that is refused anyway, but keep it readable for the message.
        const int arrow = line.indexOf(entry->type == QLatin1Char('l') ? " -> " : " link to ",
                                       at + 1);
        if (arrow >= 0)
            nameEnd = arrow;
    }
    entry->name = decodeName(data + at + 1, nameEnd - at - 1);
    return true;
}

QStringList PackageArchive::nameParts(const QString &name)
{
    QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    return parts;
}

QString PackageArchive::refusal(const PackageEntry &entry)
{
    return refusal(entry, nameParts(entry.name));
}

QString PackageArchive::refusal(const PackageEntry &entry, const QStringList &parts)
{
    if (entry.type != QLatin1Char('-') && entry.type != QLatin1Char('d')) {
        return entry.type == QLatin1Char('l') || entry.type == QLatin1Char('h')
                   ? QStringLiteral("%1 is a link").arg(entry.name)
                   : QStringLiteral("%1 is not a plain file or folder").arg(entry.name);
    }
    const QChar userExec = (entry.mode.size() > 2 ? entry.mode.at(2) : QChar());
    const QChar groupExec = (entry.mode.size() > 5 ? entry.mode.at(5) : QChar());
    if (userExec == QLatin1Char('s') || userExec == QLatin1Char('S')
        || groupExec == QLatin1Char('s') || groupExec == QLatin1Char('S'))
        return QStringLiteral("%1 has a set-user-id or set-group-id bit").arg(entry.name);
    if (entry.name.startsWith(QLatin1Char('/')))
        return QStringLiteral("%1 is an absolute name").arg(entry.name);
    if (parts.contains(QStringLiteral("..")))
        return QStringLiteral("%1 leads out of its folder").arg(entry.name);
    // Only a folder may stand for the folder unpacked into ("./").
    if (entry.name.isEmpty() || (parts.isEmpty() && entry.type != QLatin1Char('d')))
        return QStringLiteral("a member has no name");
    // Deeper folders would be left behind by the removal of the unpack folder.
    if (parts.size() - (entry.type == QLatin1Char('d') ? 0 : 1) > FolderWalk::MaxDepth)
        return QStringLiteral("%1 lies more than %2 folders deep")
            .arg(entry.name, QString::number(FolderWalk::MaxDepth));
    return QString();
}

bool PackageArchive::unpack(const QString &archive, const QString &folder, const Check &check,
                            QString *error)
{
    const QString realFolder = SystemPaths::map(folder);
    const FolderWalk::Folder target(FolderWalk::open(folder));
    QList<QByteArray> present;
    if (target.fd < 0 || !FolderWalk::readFolder(target.fd, &present) || !present.isEmpty()) {
        *error = QStringLiteral("%1 is not an empty folder").arg(folder);
        return false;
    }
    // Everything the listing shows is decided before anything is unpacked. Folders are told
    // apart by a hash of their path, so a package of deep names costs no memory to speak of.
    PackageContent content;
    QSet<quint64> folders;
    const auto visit = [&](const PackageEntry &entry) {
        const QStringList parts = nameParts(entry.name);
        const QString why = refusal(entry, parts);
        if (!why.isEmpty())
            return why;
        if (entry.size < 0)
            return QStringLiteral("no size listed for %1").arg(entry.name);
        if (parts.isEmpty())
            return QString();
        const bool isFolder = entry.type == QLatin1Char('d');
        PackageContent::Top &top = content.top[parts.first()];
        top.folder = top.folder || isFolder || parts.size() > 1;
        bool hidden = false;
        quint64 path = FnvBasis;
        const auto add = [&](quint64 bytes) {
            ++content.entries;
            content.bytes += bytes;
            if (!hidden) {
                ++top.entries;
                top.bytes += bytes;
            }
        };
        for (int i = 0; i < parts.size(); ++i) {
            hidden = hidden || parts.at(i).startsWith(QLatin1Char('.'));
            path = fnv(path, parts.at(i));
            if (i + 1 == parts.size() && !isFolder)
                add(quint64(entry.size) + BlockBytes);
            else if (!folders.contains(path)) {
                // A folder, listed or made on the way to a member.
                folders.insert(path);
                add(BlockBytes);
            }
        }
        if (content.entries > quint64(MaxMembers))
            return QStringLiteral("it holds more than %1 files and folders").arg(MaxMembers);
        return QString();
    };
    Feed feed(archive);
    if (!feed.open(error) || !list(feed, visit, error))
        return false;
    QList<PackageWrite> writes{{folder, content.bytes, content.entries}};
    QString why = check(content, &writes);
    if (why.isEmpty())
        why = roomRefusal(writes);
    if (!why.isEmpty()) {
        *error = QStringLiteral("%1 refused: %2").arg(archive, why);
        return false;
    }
    if (!feed.rewind(error))
        return false;
    const ProgramResult result = ExternalProgram::runByLine(
        Tar, {QStringLiteral("--extract"), QStringLiteral("--gzip"), QStringLiteral("--file"),
              QStringLiteral("-"), QStringLiteral("--directory"), realFolder,
              QStringLiteral("--no-same-owner"), QStringLiteral("--no-same-permissions")},
        TimeoutMs, MaxListingLine, [](const QByteArray &) { return true; }, feed.input());
    // Whatever tar made of a package that is not the one listed is not looked at.
    if (!feed.unchanged(error))
        return false;
    if (!result.ok()) {
        *error = QStringLiteral("tar cannot unpack %1 (%2)").arg(archive, result.describe());
        return false;
    }
    if (!checkTree(target.fd, folder, 0, error))
        return false;
    // What was unpacked is what was listed, name for name at the top.
    QSet<QByteArray> listed;
    for (auto it = content.top.cbegin(); it != content.top.cend(); ++it)
        listed.insert(FolderWalk::encodeName(it.key()));
    QList<QByteArray> unpacked;
    if (!FolderWalk::readFolder(target.fd, &unpacked)) {
        *error = QStringLiteral("cannot list %1").arg(folder);
        return false;
    }
    for (const QByteArray &name : qAsConst(unpacked)) {
        if (!listed.remove(name)) {
            *error = QStringLiteral("unpacked %1, which was not listed")
                         .arg(FolderWalk::displayName(FolderWalk::decodeName(name)));
            return false;
        }
    }
    if (!listed.isEmpty()) {
        *error = QStringLiteral("listed %1, which was not unpacked")
                     .arg(FolderWalk::displayName(FolderWalk::decodeName(*listed.cbegin())));
        return false;
    }
    return true;
}

QString PackageArchive::roomRefusal(const QList<PackageWrite> &writes)
{
    struct Volume
    {
        QString folder;
        quint64 bytes = 0;
        quint64 entries = 0;
        struct statvfs space;
    };
    QMap<dev_t, Volume> volumes;
    for (const PackageWrite &write : writes) {
        // The volume of the folder, or of the folder above it that it will be made in.
        QByteArray real = FolderWalk::realPath(write.folder);
        struct stat st;
        while (::stat(real.constData(), &st) != 0) {
            const int slash = real.lastIndexOf('/');
            const QByteArray up = slash > 0 ? real.left(slash) : QByteArray(slash == 0 ? "/" : ".");
            if (up == real)
                return QStringLiteral("cannot examine %1").arg(write.folder);
            real = up;
        }
        Volume &volume = volumes[st.st_dev];
        if (volume.folder.isEmpty()) {
            volume.folder = write.folder;
            if (::statvfs(real.constData(), &volume.space) != 0)
                return QStringLiteral("cannot examine %1").arg(write.folder);
        }
        volume.bytes += write.bytes;
        volume.entries += write.entries;
    }
    for (const Volume &volume : qAsConst(volumes)) {
        const quint64 unit = volume.space.f_frsize ? volume.space.f_frsize : volume.space.f_bsize;
        const quint64 free = quint64(volume.space.f_bfree) * unit;
        if (volume.bytes + quint64(ReserveBytes) > free)
            return QStringLiteral("it writes %1 MiB in %2, where %3 MiB are free and %4 MiB "
                                  "are kept free")
                .arg(QString::number((volume.bytes + (1 << 20) - 1) >> 20), volume.folder,
                     QString::number(free >> 20), QString::number(ReserveBytes >> 20));
        // A file system that keeps no count of its inodes reports none.
        if (volume.space.f_files > 0 && volume.entries > quint64(volume.space.f_ffree))
            return QStringLiteral("it writes %1 files and folders where %2 fit, in %3")
                .arg(QString::number(volume.entries),
                     QString::number(quint64(volume.space.f_ffree)), volume.folder);
    }
    return QString();
}

bool PackageArchive::create(const QString &archive, const QString &folder, QString *error)
{
    const QString member = QDir::cleanPath(folder).mid(1);
    if (!folder.startsWith(QLatin1Char('/')) || member.isEmpty()) {
        *error = QStringLiteral("%1 cannot be archived").arg(folder);
        return false;
    }
    ProgramResult result = ExternalProgram::run(
        Tar, {QStringLiteral("--create"), QStringLiteral("--gzip"), QStringLiteral("--file"),
              SystemPaths::map(archive), QStringLiteral("--directory"),
              SystemPaths::map(QStringLiteral("/")), member},
        TimeoutMs);
    if (!result.ok()) {
        *error = QStringLiteral("tar cannot archive %1 (%2)").arg(folder, result.describe());
        return false;
    }
    result = ExternalProgram::run(Tar, {QStringLiteral("--list"), QStringLiteral("--gzip"),
                                        QStringLiteral("--file"), SystemPaths::map(archive)},
                                  TimeoutMs);
    if (!result.ok() || result.output.isEmpty()) {
        *error = QStringLiteral("%1 cannot be read back (%2)").arg(archive, result.describe());
        return false;
    }
    return true;
}
