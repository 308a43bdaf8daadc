#pragma once

#include <QFile>
#include <QString>

// File operations for installing packages that never act through a symbolic link.
// Paths are instrument paths (mapped through SystemPaths here).
class SafeFile
{
public:
    enum Kind { Missing, File, Folder, Link, Other };

    // What the path itself is (a link is a link, whatever it points at).
    static Kind kind(const QString &path);

    // Whether the path, or a folder on the way to it, is a symbolic link.
    static bool throughLink(const QString &path);

    // Removes a file, a link (not what it points at) or a folder with everything in it
    // (links inside are removed, never followed). True when nothing is left.
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
};
