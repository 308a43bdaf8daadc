#include "PackageMaker.h"

#include <QMap>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>

namespace PackageMaker {

namespace {

void octal(char *field, int width, qint64 value)
{
    const QByteArray text = QByteArray::number(value, 8).rightJustified(width - 1, '0');
    std::memcpy(field, text.constData(), size_t(width - 1));
    field[width - 1] = '\0';
}

} // namespace

QByteArray tar(const QList<TarMember> &members)
{
    QByteArray out;
    for (const TarMember &m : members) {
        char header[512];
        std::memset(header, 0, sizeof header);
        std::memcpy(header, m.name.constData(), size_t(qMin(m.name.size(), 100)));
        octal(header + 100, 8, m.mode);
        octal(header + 108, 8, 0);
        octal(header + 116, 8, 0);
        octal(header + 124, 12, m.type == '0' ? m.data.size() : 0);
        octal(header + 136, 12, 1700000000);
        header[156] = m.type;
        std::memcpy(header + 157, m.link.constData(), size_t(qMin(m.link.size(), 100)));
        std::memcpy(header + 257, "ustar", 6);
        std::memcpy(header + 263, "00", 2);
        std::memset(header + 148, ' ', 8);
        unsigned sum = 0;
        for (unsigned char c : header)
            sum += c;
        octal(header + 148, 7, sum);
        header[155] = ' ';
        out.append(header, 512);
        if (m.type == '0') {
            out += m.data;
            out += QByteArray((512 - m.data.size() % 512) % 512, '\0');
        }
    }
    out += QByteArray(1024, '\0');
    return out;
}

QByteArray gzip(const QByteArray &data)
{
    QProcess gz;
    gz.start(QStringLiteral("gzip"), {QStringLiteral("-c")});
    gz.write(data);
    gz.closeWriteChannel();
    if (!gz.waitForFinished(60000) || gz.exitCode() != 0)
        qFatal("gzip cannot make a package");
    return gz.readAllStandardOutput();
}

QByteArray withSparseFile(const QByteArray &name, const QByteArray &data,
                          const QByteArray &sparseName, qint64 size)
{
    QTemporaryDir dir;
    QProcess tar;
    tar.start(QStringLiteral("bash"),
              {QStringLiteral("-c"),
               QStringLiteral("cd \"$1\" && cat > \"$2\" && mkdir -p \"$(dirname \"$4\")\""
                              " && truncate -s $3 \"$4\" && tar --sparse -czf - \"$2\" \"$4\""),
               QStringLiteral("-"), dir.path(), QString::fromUtf8(name), QString::number(size),
               QString::fromUtf8(sparseName)});
    tar.write(data);
    tar.closeWriteChannel();
    // A package that is not made must not pass for a refused one.
    if (!tar.waitForFinished(60000) || tar.exitCode() != 0)
        qFatal("cannot make a package with a sparse file");
    return tar.readAllStandardOutput();
}

QByteArray oversized(const QByteArray &name, const QByteArray &data)
{
    QTemporaryDir dir;
    return withSparseFile(name, data, ".filler",
                          QStorageInfo(dir.path()).bytesFree() + (qint64(1) << 30));
}

QByteArray manyFiles(int count)
{
    static QMap<int, QByteArray> made;
    if (!made.contains(count)) {
        QList<TarMember> members{TarMember::file("ORBELIN_Vn-demo", elf("demo"))};
        members.reserve(count);
        for (int i = 1; i < count; ++i)
            members << TarMember::file("f" + QByteArray::number(i), QByteArray());
        made.insert(count, package(members));
    }
    return made.value(count);
}

QStringList snapshot(const QString &folder, const QStringList &skip)
{
    // Folders by name and mode only: their times change as the unpack folder comes and goes.
    QProcess find;
    find.start(QStringLiteral("find"), {folder, QStringLiteral("-mindepth"), QStringLiteral("1"),
                                        QStringLiteral("-type"), QStringLiteral("d"),
                                        QStringLiteral("-printf"), QStringLiteral("/%P %M\\n"),
                                        QStringLiteral("-o"), QStringLiteral("-printf"),
                                        QStringLiteral("/%P %M %s %l %T@\\n")});
    if (!find.waitForFinished(60000) || find.exitCode() != 0)
        qFatal("find cannot list a folder");
    QStringList entries;
    for (const QString &entry : QString::fromUtf8(find.readAllStandardOutput()).split('\n')) {
        if (!entry.isEmpty() && std::none_of(skip.begin(), skip.end(), [&](const QString &s) {
                return entry.startsWith(s + ' ') || entry.startsWith(s + '/');
            }))
            entries << entry;
    }
    entries.sort();
    return entries;
}

} // namespace PackageMaker
