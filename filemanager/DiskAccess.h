#pragma once

#include <QString>
#include <QStringList>

// File-system questions the file manager asks, all on instrument paths ("/media/USB/x";
// the access maps them through SystemPaths). Links are entries of their own: nothing here
// deletes or walks what a link points to.
class DiskAccess
{
public:
    // The entry names of a folder as the file manager shows them: folders and files,
    // links to either included; ".", "..", hidden entries, device files, pipes, sockets
    // and broken links left out; in the order the file system gives them.
    static QStringList list(const QString &folder);

    // Something of any kind (a broken link too) has this name.
    static bool entryExists(const QString &path);
    static bool isLink(const QString &path);
    // A folder that is not reached through a link.
    static bool isRealFolder(const QString &path);

    // Deletes a file or link, or a folder with everything in it (hidden entries too);
    // a link is removed itself, never what it points to. True when nothing is left.
    static bool remove(const QString &path);

    // The text after the last "/" ("/" for the path "/").
    static QString fileName(const QString &path);
    // path + "/" + name, without a double "/" under the root.
    static QString join(const QString &folder, const QString &name);
    // True when path is folder or lies inside it ("/media/USB" does not hold "/media/USB (1)").
    static bool contains(const QString &folder, const QString &path);
};
