#pragma once

#include <QList>
#include <QString>

// One member of a package as tar lists it.
struct PackageEntry
{
    QChar type;                 // '-' file, 'd' folder, 'l' symbolic link, 'h' hard link, ...
    QString mode;               // "rwxr-xr-x" as tar shows it
    QString name;               // as stored, escapes decoded
    qint64 size = -1;           // bytes it unpacks to; -1 when tar listed none
};

// The one place that runs tar for packages (gzip tar archives): software updates, the
// demo package and the program backup. Paths are instrument paths.
//
// A package is trusted with nothing: before anything is unpacked, every member is
// checked, and a package holding a link, a special file, an absolute or "../" name, or
// a set-user-id or set-group-id bit is refused whole. The unpacked tree is checked again
// afterwards.
class PackageArchive
{
public:
    // Unpacking a large package from a slow stick takes a while; a tar still running after
    // this is taken as failed, never as done.
    static constexpr int TimeoutMs = 300000;

    // Lists the members; false when tar cannot read the archive to its end.
    static bool list(const QString &archive, QList<PackageEntry> *entries, QString *error);

    // Why a member must not be unpacked, or an empty string when it may.
    static QString refusal(const PackageEntry &entry);

    // Kept free when a package is unpacked, beyond what its members take.
    static constexpr qint64 ReserveBytes = 32 * 1024 * 1024;

    // Unpacks into folder, which must exist and be empty. Nothing is unpacked when any
    // member is refused or the members would not fit on the folder's volume (with a
    // block per member and ReserveBytes to spare); false also when tar fails or the
    // result holds anything but plain files and folders.
    static bool unpack(const QString &archive, const QString &folder, QString *error);

    // Archives folder (its path inside the archive is the instrument path without the
    // leading "/") and reads the archive back; false when either fails.
    static bool create(const QString &archive, const QString &folder, QString *error);

    // Decodes tar's "escape" quoting (\\, \n, \t, \ooo, ...) into the raw name.
    static QString decodeName(const QString &quoted);
};
