#include "TestRoot.h"

#include "FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <ftw.h>

namespace {

// Each argument ends with a NUL; a call ends with a record separator and a NUL.
const char RecordPreamble[] =
    "#!/usr/bin/env bash\n"
    "mkdir -p \"$ORBELIN_ROOT/calls\"\n"
    "{ for a in \"$@\"; do printf '%s\\0' \"$a\"; done; printf '\\036\\0'; }"
    " >> \"$ORBELIN_ROOT/calls/$(basename \"$0\").log\"\n";

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    ::remove(path);
    return 0;
}

} // namespace

TestRoot::TestRoot()
    : m_Dir(QDir::tempPath() + QStringLiteral("/orbelin-test-XXXXXX"))
    , m_OldRoot(qgetenv("ORBELIN_ROOT"))
    , m_OldPath(qgetenv("PATH"))
    , m_HadRoot(qEnvironmentVariableIsSet("ORBELIN_ROOT"))
{
    QDir().mkpath(bin());
    qputenv("ORBELIN_ROOT", m_Dir.path().toLocal8Bit());
    qputenv("PATH", bin().toLocal8Bit() + ':' + m_OldPath);
}

TestRoot::~TestRoot()
{
    // By raw names, which Qt's own removal passes over when they are not UTF-8; nothing
    // on another file system.
    ::nftw(QFile::encodeName(m_Dir.path()).constData(), removeEntry, 32,
           FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
    if (m_HadRoot)
        qputenv("ORBELIN_ROOT", m_OldRoot);
    else
        qunsetenv("ORBELIN_ROOT");
    qputenv("PATH", m_OldPath);
}

QString TestRoot::bin() const
{
    return m_Dir.path() + QStringLiteral("/bin");
}

QString TestRoot::path(const QString &instrumentPath) const
{
    return m_Dir.path() + instrumentPath;
}

bool TestRoot::writeFile(const QString &instrumentPath, const QByteArray &content) const
{
    const QString real = path(instrumentPath);
    QDir().mkpath(QFileInfo(real).absolutePath());
    QFile file(real);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content) == content.size();
}

QByteArray TestRoot::readFile(const QString &instrumentPath) const
{
    QFile file(path(instrumentPath));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool TestRoot::mkdir(const QString &instrumentPath) const
{
    return QDir().mkpath(path(instrumentPath));
}

QString TestRoot::renameRaw(const QString &instrumentPath, const QByteArray &name) const
{
    const QString folder = instrumentPath.left(instrumentPath.lastIndexOf('/') + 1);
    const QByteArray to = FolderWalk::realPath(folder) + name;
    if (::rename(FolderWalk::realPath(instrumentPath).constData(), to.constData()) != 0)
        return QString();
    return folder + FolderWalk::decodeName(name);
}

void TestRoot::fakeProgramScript(const QString &name, const QByteArray &bashBody) const
{
    const QString file = bin() + QLatin1Char('/') + name;
    QFile script(file);
    script.open(QIODevice::WriteOnly | QIODevice::Truncate);
    script.write(RecordPreamble);
    script.write(bashBody);
    script.write("\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                          | QFile::ReadGroup | QFile::ExeGroup);
}

void TestRoot::fakeProgram(const QString &name, const QByteArray &output, int exitCode) const
{
    QByteArray body;
    if (!output.isEmpty()) {
        const QString outFile = bin() + QStringLiteral("/.") + name + QStringLiteral(".out");
        QFile out(outFile);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(output);
        body += "cat \"" + outFile.toLocal8Bit() + "\"\n";
    }
    body += "exit " + QByteArray::number(exitCode);
    fakeProgramScript(name, body);
}

void TestRoot::installStandin(const QString &name) const
{
    const QString source = QStringLiteral(ORBELIN_STANDINS_DIR "/bin/") + name;
    const QString target = bin() + QLatin1Char('/') + name;
    QFile::remove(target);
    QFile::copy(source, target);
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QList<QStringList> TestRoot::calls(const QString &program) const
{
    QList<QStringList> result;
    QFile log(m_Dir.path() + QStringLiteral("/calls/") + program + QStringLiteral(".log"));
    if (!log.open(QIODevice::ReadOnly))
        return result;
    const QList<QByteArray> tokens = log.readAll().split('\0');
    QStringList current;
    for (const QByteArray &token : tokens) {
        if (token == "\036") {
            result << current;
            current.clear();
        } else {
            current << QString::fromUtf8(token);
        }
    }
    return result;
}

void TestRoot::clearCalls(const QString &program) const
{
    QFile::remove(m_Dir.path() + QStringLiteral("/calls/") + program + QStringLiteral(".log"));
}
