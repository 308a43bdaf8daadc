#pragma once

#include <QString>
#include <QStringList>

// File-system questions the file manager asks, all on instrument paths ("/media/USB/x";
// the access maps them through SystemPaths). Links are entries of their own: nothing here
// deletes or walks what a link points to. Names are kept byte for byte as FolderWalk
// keeps them: a name that is not UTF-8 leads back to the very same entry.
class DiskAccess
{
public:
    // The entry names of a folder as the file manager shows them (FolderWalk::list()).
    // ok is false when the folder could not be listed (missing, not readable, a read
    // error).
    static QStringList list(const QString &folder, bool *ok = nullptr);

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
};
