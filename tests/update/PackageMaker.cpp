#include "PackageMaker.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <cstring>
#include <sys/stat.h>
#include <zlib.h>

TarMember TarMember::file(const QByteArray &name, const QByteArray &data, int mode)
{
    TarMember m;
    m.name = name;
    m.data = data;
    m.mode = mode;
    return m;
}

TarMember TarMember::folder(const QByteArray &name)
{
    TarMember m;
    m.name = name;
    m.type = '5';
    m.mode = 0755;
    return m;
}

TarMember TarMember::symlink(const QByteArray &name, const QByteArray &target)
{
    TarMember m;
    m.name = name;
    m.type = '2';
    m.mode = 0777;
    m.link = target;
    return m;
}

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
        if (m.type == '3') {
            octal(header + 329, 8, 1);
            octal(header + 337, 8, 3);
        }
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
    z_stream z;
    std::memset(&z, 0, sizeof z);
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(data.size()))) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(int(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray oversized(const QByteArray &name, const QByteArray &data)
{
    QTemporaryDir dir;
    QFile small(dir.filePath(QString::fromUtf8(name)));
    QFile filler(dir.filePath(QStringLiteral(".filler")));
    const qint64 size = QStorageInfo(dir.path()).bytesFree() + (qint64(1) << 30);
    if (!small.open(QIODevice::WriteOnly) || small.write(data) != data.size()
        || !filler.open(QIODevice::WriteOnly) || !filler.resize(size))
        qFatal("cannot write the files of an oversized package");
    small.close();
    filler.close();
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("--sparse"), QStringLiteral("-czf"),
                                      QStringLiteral("-"), QStringLiteral("-C"), dir.path(),
                                      QString::fromUtf8(name), QStringLiteral(".filler")});
    // A package that is not made must not pass for a refused one.
    if (!tar.waitForFinished(60000) || tar.exitCode() != 0)
        qFatal("tar cannot make an oversized package");
    return tar.readAllStandardOutput();
}

QByteArray elf(const QByteArray &tag)
{
    return QByteArray("\x7f" "ELF\x02\x01\x01\n", 8) + tag;
}

QMap<QString, QString> snapshot(const QString &folder, const QStringList &skip)
{
    QMap<QString, QString> result;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(folder.size());
        bool skipped = false;
        for (const QString &s : skip)
            skipped = skipped || relative == s || relative.startsWith(s + QLatin1Char('/'));
        if (skipped)
            continue;
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        QString value = QString::number(st.st_mode, 8);
        if (S_ISLNK(st.st_mode)) {
            value += QStringLiteral(" -> ") + QFile::symLinkTarget(path);
        } else if (S_ISREG(st.st_mode)) {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            value += QLatin1Char(' ')
                     + QString::fromLatin1(QCryptographicHash::hash(file.readAll(),
                                                                    QCryptographicHash::Md5).toHex());
        }
        result.insert(relative, value);
    }
    return result;
}

} // namespace PackageMaker
