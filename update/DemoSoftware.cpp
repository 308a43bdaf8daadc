#include "DemoSoftware.h"

#include "PackageArchive.h"
#include "SafeFile.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QRegularExpression>

namespace {

const QString WorkFolder = QStringLiteral("/root/temp");
const QString DemoProgram = QStringLiteral("ORBELIN_Vn-demo");

QString inFolder(const QString &folder, const QString &name)
{
    return folder + QLatin1Char('/') + name;
}

// Why a top-level entry must not be installed, or an empty string. Files go into the
// program folder and folders to /root; neither may take a name the installed system lives
// by, whatever is there now: the loader link and the loaders, the program folder and
// program files, the work and backup folders, the settings and the results log.
QString refusal(const QString &name)
{
    static const QStringList reserved = {
        QStringLiteral("loader"), QStringLiteral("ORBELIN_Vn"), QStringLiteral("temp"),
        QStringLiteral("restore"),
        QFileInfo(SystemPaths::settingsFile()).fileName(),
        QFileInfo(SystemPaths::resultsLogFile()).fileName()};
    static const QRegularExpression versioned(
        QStringLiteral("(loader|ORBELIN_Vn)_\\d+_\\d+_\\d+"));
    if (reserved.contains(name) || versioned.match(name).hasMatch())
        return QStringLiteral("%1 would replace the program's own").arg(name);
    return QString();
}

bool checkTop(const QStringList &top, QString *error)
{
    bool demo = false;
    for (const QString &name : top) {
        const SafeFile::Kind kind = SafeFile::kind(inFolder(WorkFolder, name));
        const QString why = refusal(name);
        if (!why.isEmpty()) {
            *error = why;
            return false;
        }
        demo = demo || (name == DemoProgram && kind == SafeFile::File);
    }
    if (!demo)
        *error = QStringLiteral("no demo program in the package");
    return demo;
}

} // namespace

bool copyRecursively(QFileInfo source, QFileInfo targetFolder)
{
    const QString target = inFolder(targetFolder.absoluteFilePath(), source.fileName());
    if (source.isSymLink())
        return false;
    if (source.isFile())
        return QFile::copy(source.absoluteFilePath(), target);
    if (!source.isDir())
        return false;
    if (!QDir().mkdir(target))
        return false;
    const QFileInfoList entries = QDir(source.absoluteFilePath())
                                      .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                     QDir::Unsorted);
    for (const QFileInfo &entry : entries)
        copyRecursively(entry, QFileInfo(target));
    return true;
}

bool installDemoSoftware(QString package)
{
    const QString programFolder = SystemPaths::programFolder();
    if (!SafeFile::recreateFolder(WorkFolder)) {
        qDebug() << Q_FUNC_INFO << "cannot make" << WorkFolder;
        return false;
    }
    QString error;
    const QString realWork = SystemPaths::map(WorkFolder);
    if (!PackageArchive::unpack(SystemPaths::unmap(package), WorkFolder, &error)
        || !checkTop(QDir(realWork).entryList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                              QDir::Unsorted),
                     &error)) {
        qDebug() << Q_FUNC_INFO << "demo package refused:" << error;
        SafeFile::removeAll(WorkFolder);
        return false;
    }
    const QFileInfoList entries = QDir(realWork).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        const bool folder = entry.isDir();
        const QString destinationFolder = folder ? QStringLiteral("/root") : programFolder;
        const QString existing = inFolder(destinationFolder, entry.fileName());
        const SafeFile::Kind kind = SafeFile::kind(existing);
        // A file replaces a file or a link in the program folder, a folder only a folder
        // in /root; nothing else is replaced.
        if (kind == (folder ? SafeFile::Folder : SafeFile::File)
            || (!folder && kind == SafeFile::Link))
            SafeFile::removeAll(existing);
        if (!copyRecursively(entry, QFileInfo(SystemPaths::map(destinationFolder))))
            qDebug() << Q_FUNC_INFO << "could not install" << entry.fileName();
    }
    SafeFile::removeAll(WorkFolder);
    const QString demo = inFolder(programFolder, DemoProgram);
    if (SafeFile::kind(demo) != SafeFile::File)
        return false;
    QFile::setPermissions(SystemPaths::map(demo),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                              | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    return true;
}
