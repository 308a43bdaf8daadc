#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

// Builds gzip tar packages member by member, hostile ones included (links, device files,
// "../" and absolute names, set-user-id bits), without touching the file system. Names are
// raw bytes, of any length.
struct TarMember
{
    QByteArray name;
    char type = '0';            // '0' file, '5' folder, '2' symbolic link, '1' hard link, '3' char device
    int mode = 0644;
    QByteArray data;
    QByteArray link;

    static TarMember file(const QByteArray &name, const QByteArray &data, int mode = 0644)
    {
        return {name, '0', mode, data, {}};
    }
    static TarMember folder(const QByteArray &name) { return {name, '5', 0755, {}, {}}; }
    static TarMember symlink(const QByteArray &name, const QByteArray &target)
    {
        return {name, '2', 0777, {}, target};
    }
};

namespace PackageMaker {

QByteArray tar(const QList<TarMember> &members);
QByteArray gzip(const QByteArray &data);
inline QByteArray package(const QList<TarMember> &members) { return gzip(tar(members)); }

// A package made by tar of a small file and a sparse file of the given size (its folder
// made on the way), which takes next to no room.
QByteArray withSparseFile(const QByteArray &name, const QByteArray &data,
                          const QByteArray &sparseName, qint64 size);
// One whose hidden sparse file unpacks to more than the temporary folder's volume has free.
QByteArray oversized(const QByteArray &name, const QByteArray &data);

// A package of that many files at its top, made once per count: the demo program
// "ORBELIN_Vn-demo" and empty files.
QByteArray manyFiles(int count);

// The start of an ELF program, enough for the program test.
inline QByteArray elf(const QByteArray &tag) { return QByteArray("\x7f" "ELF\x02\x01\x01\n", 8) + tag; }

// Every entry below a folder (not following links), with its kind, mode, size, link target
// and, for all but folders, the time it was last written; equal when nothing changed.
QStringList snapshot(const QString &folder, const QStringList &skip = {});

} // namespace PackageMaker
