#include "PackageMaker.h"

#include <QMap>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace PackageMaker {

namespace {

void octal(char *field, int width, qint64 value)
{
    std::snprintf(field, size_t(width), "%0*llo", width - 1, static_cast<unsigned long long>(value));
}

void appendHeader(QByteArray &out, const QByteArray &name, char type, int mode, qint64 size,
                  const QByteArray &link = QByteArray())
{
    char header[512];
    std::memset(header, 0, sizeof header);
    std::memcpy(header, name.constData(), size_t(qMin(name.size(), 100)));
    octal(header + 100, 8, mode);
    octal(header + 108, 8, 0);
    octal(header + 116, 8, 0);
    octal(header + 124, 12, size);
    octal(header + 136, 12, 1700000000);
    header[156] = type;
    std::memcpy(header + 157, link.constData(), size_t(qMin(link.size(), 100)));
    std::memcpy(header + 257, "ustar", 6);
    std::memcpy(header + 263, "00", 2);
    std::memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : header)
        sum += c;
    octal(header + 148, 7, sum);
    header[155] = ' ';
    out.append(header, 512);
}

} // namespace

QByteArray tar(const QList<TarMember> &members)
{
    const auto append = [](QByteArray &out, const QByteArray &data) {
        out += data;
        out += QByteArray((512 - data.size() % 512) % 512, '\0');
    };
    QByteArray out;
    for (const TarMember &m : members) {
        // A name beyond the header's 100 bytes goes before it, as GNU tar writes one.
        if (m.name.size() > 100) {
            appendHeader(out, "././@LongLink", 'L', 0644, m.name.size() + 1);
            append(out, m.name + '\0');
        }
        appendHeader(out, m.name, m.type, m.mode, m.type == '0' ? m.data.size() : 0, m.link);
        if (m.type == '0')
            append(out, m.data);
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
        // Header by header: a list of members would cost more than the listing it tests.
        QByteArray out = tar({TarMember::file("ORBELIN_Vn-demo", elf("demo"))}).chopped(1024);
        out.reserve(out.size() + 512 * count + 1024);
        char name[16];
        for (int i = 1; i < count; ++i) {
            std::snprintf(name, sizeof name, "f%d", i);
            appendHeader(out, QByteArray::fromRawData(name, int(std::strlen(name))), '0', 0644, 0);
        }
        out += QByteArray(1024, '\0');
        made.insert(count, gzip(out));
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
