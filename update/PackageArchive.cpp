#include "PackageArchive.h"

#include "ExternalProgram.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

const QString Tar = QStringLiteral("tar");
// A listing line longer than this names no member of a package the instrument takes.
const int MaxListingLine = 64 * 1024;
const quint64 FnvBasis = 14695981039346656037ULL;

// 64-bit FNV-1a, carried on over the parts of a path.
quint64 fnv(quint64 hash, const QByteArray &bytes)
{
    for (const char c : bytes) {
        hash ^= uchar(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

// Every stored file and folder is either a plain file or a folder, with no link and no
// set-id bit; anything else came from a tar that did not do what it listed.
bool checkTree(const QString &realFolder, QString *error)
{
    QDirIterator it(realFolder, QDir::AllEntries | QDir::Hidden | QDir::System
                                    | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
            *error = QStringLiteral("cannot examine %1").arg(SystemPaths::unmap(path));
            return false;
        }
        const bool plain = (S_ISREG(st.st_mode) && st.st_nlink == 1) || S_ISDIR(st.st_mode);
        if (!plain || (st.st_mode & (S_ISUID | S_ISGID))) {
            *error = QStringLiteral("unpacked %1 is not a plain file or folder")
                         .arg(SystemPaths::unmap(path));
            return false;
        }
    }
    return true;
}

} // namespace

QString PackageArchive::decodeName(const QString &quoted)
{
    // Work on bytes: \ooo escapes stand for single bytes of a multi-byte name.
    const QByteArray in = QFile::encodeName(quoted);
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c != '\\' || i + 1 >= in.size()) {
            out += c;
            continue;
        }
        const char e = in.at(++i);
        if (e >= '0' && e <= '7') {
            int value = 0;
            int digits = 0;
            while (digits < 3 && i < in.size() && in.at(i) >= '0' && in.at(i) <= '7') {
                value = value * 8 + (in.at(i) - '0');
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
    return QFile::decodeName(out);
}

bool PackageArchive::list(const QString &archive,
                          const std::function<QString(const PackageEntry &)> &visit,
                          QString *error)
{
    error->clear();
    // mode owner/group size date time name
    static const QRegularExpression line(QStringLiteral(
        "^(\\S)(\\S{9}) +\\S+ +(\\S+) +-?\\d+-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d(?:\\.\\d+)? (.*)$"));
    const auto member = [&](const QByteArray &raw) {
        if (raw.isEmpty())
            return true;
        const QRegularExpressionMatch m = line.match(QFile::decodeName(raw));
        if (!m.hasMatch()) {
            *error = QStringLiteral("tar listed a member that cannot be read: %1")
                         .arg(QString::fromLocal8Bit(raw.left(200)));
            return false;
        }
        PackageEntry entry;
        entry.type = m.captured(1).at(0);
        entry.mode = m.captured(2);
        bool sized = false;
        entry.size = m.captured(3).toLongLong(&sized);
        if (!sized)
            entry.size = -1;
        QString name = m.captured(4);
        if (entry.type == QLatin1Char('l') || entry.type == QLatin1Char('h')) {
            // "name -> target" and "name link to target"; the name is not needed for a
            // member that is refused anyway, but keep it readable for the message.
            const int arrow = name.indexOf(entry.type == QLatin1Char('l')
                                               ? QStringLiteral(" -> ")
                                               : QStringLiteral(" link to "));
            if (arrow >= 0)
                name.truncate(arrow);
        }
        entry.name = decodeName(name);
        const QString why = visit(entry);
        if (!why.isEmpty())
            *error = QStringLiteral("%1 refused: %2").arg(archive, why);
        return why.isEmpty();
    };
    // Names exactly as stored (--absolute-names), one unambiguous line per member, read as
    // tar writes them: a package of a million members is refused at the first one too many.
    const ProgramResult result = ExternalProgram::runByLine(
        Tar, {QStringLiteral("--list"), QStringLiteral("--verbose"), QStringLiteral("--gzip"),
              QStringLiteral("--file"), SystemPaths::map(archive),
              QStringLiteral("--numeric-owner"), QStringLiteral("--full-time"),
              QStringLiteral("--utc"), QStringLiteral("--quoting-style=escape"),
              QStringLiteral("--absolute-names")},
        TimeoutMs, MaxListingLine, member);
    if (!error->isEmpty())
        return false;
    if (!result.ok()) {
        *error = QStringLiteral("tar cannot read %1 (%2)").arg(archive, result.describe());
        return false;
    }
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
    const QStringList parts = nameParts(entry.name);
    if (parts.contains(QStringLiteral("..")))
        return QStringLiteral("%1 leads out of its folder").arg(entry.name);
    // Only a folder may stand for the folder unpacked into ("./").
    if (entry.name.isEmpty() || (parts.isEmpty() && entry.type != QLatin1Char('d')))
        return QStringLiteral("a member has no name");
    return QString();
}

bool PackageArchive::unpack(const QString &archive, const QString &folder, const Check &check,
                            QString *error)
{
    const QString realFolder = SystemPaths::map(folder);
    if (!QDir(realFolder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System
                                  | QDir::NoDotAndDotDot)
        || !QFileInfo(realFolder).isDir()) {
        *error = QStringLiteral("%1 is not an empty folder").arg(folder);
        return false;
    }
    // Everything the listing shows is decided before anything is unpacked. Folders are told
    // apart by a hash of their path, so a package of deep names costs no memory to speak of.
    PackageContent content;
    QSet<quint64> folders;
    const auto visit = [&](const PackageEntry &entry) {
        const QString why = refusal(entry);
        if (!why.isEmpty())
            return why;
        if (entry.size < 0)
            return QStringLiteral("no size listed for %1").arg(entry.name);
        const QStringList parts = nameParts(entry.name);
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
            path = fnv(path, QFile::encodeName(parts.at(i)) + '/');
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
    if (!list(archive, visit, error))
        return false;
    QList<PackageWrite> writes{{folder, content.bytes, content.entries}};
    QString why = check(content, &writes);
    if (why.isEmpty())
        why = roomRefusal(writes);
    if (!why.isEmpty()) {
        *error = QStringLiteral("%1 refused: %2").arg(archive, why);
        return false;
    }
    const ProgramResult result = ExternalProgram::run(
        Tar, {QStringLiteral("--extract"), QStringLiteral("--gzip"), QStringLiteral("--file"),
              SystemPaths::map(archive), QStringLiteral("--directory"), realFolder,
              QStringLiteral("--no-same-owner"), QStringLiteral("--no-same-permissions")},
        TimeoutMs);
    if (!result.ok()) {
        *error = QStringLiteral("tar cannot unpack %1 (%2)").arg(archive, result.describe());
        return false;
    }
    return checkTree(realFolder, error);
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
        QByteArray real = QFile::encodeName(SystemPaths::map(write.folder));
        struct stat st;
        while (::stat(real.constData(), &st) != 0) {
            const QByteArray up = QFile::encodeName(QFileInfo(QFile::decodeName(real)).path());
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
                .arg((volume.bytes + (1 << 20) - 1) >> 20).arg(volume.folder).arg(free >> 20)
                .arg(ReserveBytes >> 20);
        // A file system that keeps no count of its inodes reports none.
        if (volume.space.f_files > 0 && volume.entries > quint64(volume.space.f_ffree))
            return QStringLiteral("it writes %1 files and folders where %2 fit, in %3")
                .arg(volume.entries).arg(quint64(volume.space.f_ffree)).arg(volume.folder);
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
