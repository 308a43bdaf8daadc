#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

// One member of a package as tar lists it.
struct PackageEntry
{
    QChar type;                 // '-' file, 'd' folder, 'l' symbolic link, 'h' hard link, ...
    QString mode;               // "rwxr-xr-x" as tar shows it
    QString name;               // as stored, escapes decoded (as FolderWalk::decodeName)
    qint64 size = -1;           // bytes it unpacks to; -1 when tar listed none
};

// What the listing of a package shows of it as a whole.
struct PackageContent
{
    // A top-level entry and what of it an installer copies (nothing hidden).
    struct Top
    {
        bool folder = false;    // listed as a folder, or members lie below it
        quint64 bytes = 0;      // of the files and folders in it that are not hidden
        quint64 entries = 0;    // those files and folders
    };
    quint64 entries = 0;        // files and folders unpacked, folders made on the way included
    quint64 bytes = 0;          // they take unpacked, at most
    QMap<QString, Top> top;     // by name
};

// Where an installer writes, beyond the unpack folder: bytes and files and folders into a
// folder (instrument path).
struct PackageWrite
{
    QString folder;
    quint64 bytes = 0;
    quint64 entries = 0;
};

// The one place that runs tar for packages (gzip tar archives): software updates, the
// demo package and the program backup. Paths are instrument paths.
//
// A package is trusted with nothing: before anything is unpacked, its listing is read
// member by member, and a package holding a link, a special file, an absolute or "../"
// name, a set-user-id or set-group-id bit, folders deeper than FolderWalk::MaxDepth, or
// more than MaxMembers files and folders, or that its installer refuses from the listing,
// is refused whole. The package file is opened once and fed to tar by this program, so
// tar unpacks the bytes it listed: a package that changes in between is refused. The
// unpacked tree is checked again afterwards, by raw names.
class PackageArchive
{
public:
    // Unpacking a large package from a slow stick takes a while; a tar still running after
    // this is taken as failed, never as done.
    static constexpr int TimeoutMs = 300000;

    // Files and folders a package may unpack to; the listing stops at the first beyond.
    static constexpr int MaxMembers = 100000;

    // Kept free on every volume an install writes to, beyond what it writes.
    static constexpr qint64 ReserveBytes = 32 * 1024 * 1024;

    // What a file or folder takes on disk beyond its bytes, at most (one block).
    static constexpr quint64 BlockBytes = 4096;

    // Hands each member to visit as tar lists it; visit answers why the package is refused,
    // or an empty string. False, with the reason, when a member is refused or tar cannot read
    // the archive to its end; the listing is never held whole.
    static bool list(const QString &archive,
                     const std::function<QString(const PackageEntry &)> &visit, QString *error);

    // Why a member must not be unpacked, or an empty string when it may.
    static QString refusal(const PackageEntry &entry);

    // The parts of a member's path as it unpacks: "./a//b/" is a, b; the folder unpacked
    // into itself has none.
    static QStringList nameParts(const QString &name);

    // An installer's verdict on a package from its listing: why it is refused, or an empty
    // string. It adds to copies what it will write beyond the unpack folder.
    using Check = std::function<QString(const PackageContent &, QList<PackageWrite> *copies)>;

    // Unpacks into folder, which must exist and be empty. Nothing is unpacked when a member
    // is refused, check refuses the package, or the unpacked members and the copies would
    // not fit on their volumes (see roomRefusal); false also when tar fails, the package
    // is not the one listed any more, the result holds anything but plain files and
    // folders, or other top-level names than listed.
    static bool unpack(const QString &archive, const QString &folder, const Check &check,
                       QString *error);

    // Why the writes do not fit, or an empty string: each volume must keep ReserveBytes
    // free beyond all that is written to it, and have an inode for each file and folder
    // where it counts them.
    static QString roomRefusal(const QList<PackageWrite> &writes);

    // Archives folder (its path inside the archive is the instrument path without the
    // leading "/") and reads the archive back; false when either fails.
    static bool create(const QString &archive, const QString &folder, QString *error);

    // Decodes tar's "escape" quoting (\\, \n, \t, \ooo, ...) into the name as FolderWalk
    // keeps it: bytes that are not UTF-8 stay, so the name leads to the unpacked entry.
    static QString decodeName(const char *quoted, int size);

private:
    class Feed;
    // list() of the package as feed gives it.
    static bool list(Feed &feed, const std::function<QString(const PackageEntry &)> &visit,
                     QString *error);
    // One line of tar's verbose listing; false when it is not one.
    static bool parseListing(const QByteArray &line, PackageEntry *entry);
    static QString refusal(const PackageEntry &entry, const QStringList &parts);
};
