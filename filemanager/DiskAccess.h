#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

// File-system questions the file manager asks, all on instrument paths ("/media/USB/x";
// the access maps them through SystemPaths). Links are entries of their own: nothing here
// deletes or walks what a link points to.
//
// Names on disk are bytes. A name that is not valid UTF-8 (a stick written by another
// computer) keeps each byte that does not decode as the lone surrogate U+DC00 + byte in
// the QString, so a path made from a listing leads back to the very same entry; what
// the user reads shows those bytes as U+FFFD (displayName()).
class DiskAccess
{
public:
    // The entry names of a folder as the file manager shows them: folders and files,
    // links to either included; ".", "..", hidden entries, device files, pipes, sockets
    // and broken links left out; in the order the file system gives them. ok is false
    // when the folder could not be listed (missing, not readable, a read error).
    static QStringList list(const QString &folder, bool *ok = nullptr);

    // One entry of an open folder's listing.
    struct Entry
    {
        QByteArray name;
        struct stat own;        // the entry itself
        struct stat st;         // what it leads to (a link followed)
        bool link = false;
    };
    // The listing above of an open folder, by raw names. False when the folder could not
    // be read to its end, or an entry (not a broken link) could not be examined.
    static bool listAt(int folder, QList<Entry> *entries);
    // Every name of an open folder but "." and "..", hidden ones included.
    static bool readFolder(int folder, QList<QByteArray> *names);

    // Something of any kind (a broken link too) has this name.
    static bool entryExists(const QString &path);
    // A file or folder, links followed.
    static bool exists(const QString &path);
    // A folder, links followed.
    static bool isFolder(const QString &path);
    static bool isLink(const QString &path);
    // A folder that is not reached through a link.
    static bool isRealFolder(const QString &path);

    // Deletes a file or link, or a folder with everything in it (hidden entries too),
    // without leaving the file system of the folder holding it: a link is removed itself,
    // never what it points to, and a file system mounted inside keeps its data. True when
    // nothing is left.
    static bool remove(const QString &path);

    // The text after the last "/" ("/" for the path "/").
    static QString fileName(const QString &path);
    // path + "/" + name, without a double "/" under the root.
    static QString join(const QString &folder, const QString &name);
    // True when path is folder or lies inside it ("/media/USB" does not hold "/media/USB (1)").
    static bool contains(const QString &folder, const QString &path);

    // A name or path on disk as the file manager keeps it, and back, byte for byte.
    static QString decodeName(const QByteArray &name);
    static QByteArray encodeName(const QString &name);
    // The real path (through SystemPaths) of an instrument path, as bytes for the system.
    static QByteArray realPath(const QString &path);
    // A name or path as shown: bytes that are not UTF-8 read U+FFFD.
    static QString displayName(const QString &name);
};
