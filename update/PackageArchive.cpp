#include "PackageArchive.h"

#include "ExternalProgram.h"
#include "MediaMonitor.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>

namespace {

const QString Tar = QStringLiteral("tar");
// What a member takes on disk beyond its bytes, at most (one file-system block).
const quint64 BlockBytes = 4096;

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

bool PackageArchive::list(const QString &archive, QList<PackageEntry> *entries, QString *error)
{
    entries->clear();
    // Names exactly as stored (--absolute-names), one unambiguous line per member.
    const ProgramResult result = ExternalProgram::run(
        Tar, {QStringLiteral("--list"), QStringLiteral("--verbose"), QStringLiteral("--gzip"),
              QStringLiteral("--file"), SystemPaths::map(archive),
              QStringLiteral("--numeric-owner"), QStringLiteral("--full-time"),
              QStringLiteral("--utc"), QStringLiteral("--quoting-style=escape"),
              QStringLiteral("--absolute-names")},
        TimeoutMs);
    if (!result.ok()) {
        *error = QStringLiteral("tar cannot read %1 (%2)").arg(archive, result.describe());
        return false;
    }
    // mode owner/group size date time name
    static const QRegularExpression line(QStringLiteral(
        "^(\\S)(\\S{9}) +\\S+ +(\\S+) +-?\\d+-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d(?:\\.\\d+)? (.*)$"));
    const QList<QByteArray> lines = result.output.split('\n');
    for (const QByteArray &raw : lines) {
        if (raw.isEmpty())
            continue;
        const QRegularExpressionMatch m = line.match(QFile::decodeName(raw));
        if (!m.hasMatch()) {
            *error = QStringLiteral("tar listed a member that cannot be read: %1")
                         .arg(QString::fromLocal8Bit(raw));
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
        entries->append(entry);
    }
    return true;
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
    if (entry.name.isEmpty())
        return QStringLiteral("a member has no name");
    if (entry.name.startsWith(QLatin1Char('/')))
        return QStringLiteral("%1 is an absolute name").arg(entry.name);
    const QStringList parts = entry.name.split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral("..")))
        return QStringLiteral("%1 leads out of its folder").arg(entry.name);
    return QString();
}

bool PackageArchive::unpack(const QString &archive, const QString &folder, QString *error)
{
    const QString realFolder = SystemPaths::map(folder);
    if (!QDir(realFolder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System
                                  | QDir::NoDotAndDotDot)
        || !QFileInfo(realFolder).isDir()) {
        *error = QStringLiteral("%1 is not an empty folder").arg(folder);
        return false;
    }
    QList<PackageEntry> entries;
    if (!list(archive, &entries, error))
        return false;
    for (const PackageEntry &entry : qAsConst(entries)) {
        const QString why = refusal(entry);
        if (!why.isEmpty()) {
            *error = QStringLiteral("%1 refused: %2").arg(archive, why);
            return false;
        }
    }
    // A small package can unpack to far more than its own size: what tar lists must fit.
    const quint64 free = quint64(MediaMonitor::freeDiskSpace(folder)) << 20;
    quint64 needed = ReserveBytes;
    for (const PackageEntry &entry : qAsConst(entries)) {
        if (entry.size < 0) {
            *error = QStringLiteral("%1 refused: no size listed for %2").arg(archive, entry.name);
            return false;
        }
        needed += quint64(entry.size) + BlockBytes;
        if (needed > free) {
            *error = QStringLiteral("%1 refused: it unpacks to more than the %2 MiB free in %3")
                         .arg(archive).arg(free >> 20).arg(folder);
            return false;
        }
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
