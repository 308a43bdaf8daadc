#pragma once

#include <QFile>
#include <QList>
#include <QString>

// File operations for installing packages that never act through a symbolic link.
// Paths are instrument paths (mapped through SystemPaths here); names that are not UTF-8
// are kept byte for byte as FolderWalk keeps them.
class SafeFile
{
public:
    enum Kind { Missing, File, Folder, Link, Other };

    // What the path itself is (a link is a link, whatever it points at).
    static Kind kind(const QString &path);

    // Whether the path, or a folder on the way to it, is a symbolic link.
    static bool throughLink(const QString &path);

    // Removes a file, a link (not what it points at) or a folder with everything in it,
    // by raw names (links inside are removed, never followed; no mount point or other file
    // system is entered). True when nothing is left.
    static bool removeAll(const QString &path);

    // Removes the path if it is there, then creates it as an empty folder.
    static bool recreateFolder(const QString &path);

    // Copies source over target in one step: the copy is written beside the target with
    // the given permissions and renamed onto it, so the target is never missing and a link
    // at the target is replaced, not written through.
    static bool replaceFile(const QString &source, const QString &target,
                            QFile::Permissions permissions, QString *error);

    // Points a symbolic link at target in one step (made beside it, renamed onto it).
    static bool replaceLink(const QString &link, const QString &target, QString *error);

    // Flushes the file system that holds the path.
    static void syncFileSystem(const QString &path);

    // Copies a file, or a folder with its content that is not hidden, to target (which
    // must not be there), keeping the permissions of files. False when anything of it
    // was not copied.
    static bool copyTree(const QString &source, const QString &target);

    // Renames an entry within its file system; false, logged, when it stays where it is.
    static bool moveEntry(const QString &from, const QString &to);

    // One entry on its way in: copied in full beside its target, then put in its place,
    // the old one set aside (under a name no other entry has) until everything is in.
    struct Staged
    {
        QString target;
        QString copy;
        QString aside;
        bool replaces = false;
    };

    // Puts every copy in place and removes the old entries set aside; when one cannot be
    // put in place, those already in place go back. False when not all are in place, or
    // an old entry set aside cannot be removed. An old entry that cannot go back stays
    // set aside, and the log says where.
    static bool putInPlace(const QList<Staged> &staged);
};
