#include "DemoSoftware.h"

#include "Copy.h"
#include "PackageArchive.h"
#include "SafeFile.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QRegularExpression>

#include <cstdio>

namespace {

const QString WorkFolder = QStringLiteral("/root/temp");
const QString FolderTarget = QStringLiteral("/root");
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

// The package as its listing shows it: no reserved name, the demo program a file, and
// room for the copies of everything installed beside what they replace.
QString checkListing(const PackageContent &content, QList<PackageWrite> *copies)
{
    bool demo = false;
    for (auto it = content.top.cbegin(); it != content.top.cend(); ++it) {
        if (it.key().startsWith(QLatin1Char('.')))
            continue;
        const QString why = refusal(it.key());
        if (!why.isEmpty())
            return why;
        demo = demo || (it.key() == DemoProgram && !it->folder);
        copies->append({it->folder ? FolderTarget : SystemPaths::programFolder(), it->bytes,
                        it->entries});
    }
    return demo ? QString() : QStringLiteral("no demo program in the package");
}

bool moveEntry(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(SystemPaths::map(from)).constData(),
                       QFile::encodeName(SystemPaths::map(to)).constData())
        == 0;
}

// Copies a file, or a folder with its content that is not hidden, to target (which must
// not be there), keeping permissions. False at the first failure.
bool copyTree(const QString &source, const QString &target)
{
    const QString realSource = SystemPaths::map(source);
    switch (SafeFile::kind(source)) {
    case SafeFile::File:
        return copy(source.toUtf8().constData(), target.toUtf8().constData()) == 0
            && QFile::setPermissions(SystemPaths::map(target), QFileInfo(realSource).permissions());
    case SafeFile::Folder: {
        if (!QDir().mkdir(SystemPaths::map(target)))
            return false;
        const QStringList names = QDir(realSource).entryList(
            QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QString &name : names) {
            if (!copyTree(inFolder(source, name), inFolder(target, name)))
                return false;
        }
        return true;
    }
    default:
        return false;
    }
}

// One top-level entry of the package on its way in: copied in full beside its target,
// then put in its place, the old one set aside until everything is in.
struct Staged
{
    QString target;
    QString copy;
    QString aside;
    bool replaces = false;
};

// Puts every copy in place; when one cannot be, those already in place go back.
bool putInPlace(const QList<Staged> &staged)
{
    int done = 0;
    for (; done < staged.size(); ++done) {
        const Staged &s = staged.at(done);
        if (s.replaces && !moveEntry(s.target, s.aside))
            break;
        if (!moveEntry(s.copy, s.target)) {
            if (s.replaces)
                moveEntry(s.aside, s.target);
            break;
        }
    }
    if (done == staged.size()) {
        for (const Staged &s : staged)
            SafeFile::removeAll(s.aside);
        return true;
    }
    qDebug() << Q_FUNC_INFO << "cannot put" << staged.at(done).target << "in place";
    while (done-- > 0) {
        const Staged &s = staged.at(done);
        moveEntry(s.target, s.copy);
        if (s.replaces)
            moveEntry(s.aside, s.target);
    }
    return false;
}

} // namespace

bool copyRecursively(QFileInfo source, QFileInfo targetFolder)
{
    const QString target = SystemPaths::unmap(
        inFolder(targetFolder.absoluteFilePath(), source.fileName()));
    return SafeFile::kind(target) == SafeFile::Missing
        && copyTree(SystemPaths::unmap(source.absoluteFilePath()), target);
}

bool installDemoSoftware(QString package)
{
    const QString programFolder = SystemPaths::programFolder();
    if (!SafeFile::recreateFolder(WorkFolder)) {
        qDebug() << Q_FUNC_INFO << "cannot make" << WorkFolder;
        return false;
    }
    QString error;
    if (!PackageArchive::unpack(SystemPaths::unmap(package), WorkFolder, checkListing, &error)
        || SafeFile::kind(inFolder(WorkFolder, DemoProgram)) != SafeFile::File) {
        qDebug() << Q_FUNC_INFO << "demo package refused:" << error;
        SafeFile::removeAll(WorkFolder);
        return false;
    }
    // Nothing the demo had goes before every copy is whole.
    QList<Staged> staged;
    bool copied = true;
    const QFileInfoList entries = QDir(SystemPaths::map(WorkFolder))
                                      .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                     QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        const bool folder = entry.isDir();
        const QString destination = folder ? FolderTarget : programFolder;
        const QString name = entry.fileName();
        const QString target = inFolder(destination, name);
        const SafeFile::Kind kind = SafeFile::kind(target);
        // A file replaces a file or a link in the program folder, a folder only a folder
        // in /root; nothing else is replaced.
        if (kind != SafeFile::Missing && kind != (folder ? SafeFile::Folder : SafeFile::File)
            && (folder || kind != SafeFile::Link)) {
            qDebug() << Q_FUNC_INFO << target << "is left as it is; not installed";
            continue;
        }
        const Staged s{target, inFolder(destination, QLatin1Char('.') + name + ".demo-new"),
                       inFolder(destination, QLatin1Char('.') + name + ".demo-old"),
                       kind != SafeFile::Missing};
        if (!SafeFile::removeAll(s.copy) || !SafeFile::removeAll(s.aside)) {
            copied = false;
            break;
        }
        staged.append(s);
        if (!copyTree(inFolder(WorkFolder, name), s.copy)
            || (name == DemoProgram
                && !QFile::setPermissions(SystemPaths::map(s.copy),
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                              | QFile::ReadGroup | QFile::ExeGroup
                                              | QFile::ReadOther | QFile::ExeOther))) {
            qDebug() << Q_FUNC_INFO << "cannot copy" << name << "beside" << target;
            copied = false;
            break;
        }
    }
    const bool installed = copied && putInPlace(staged);
    if (!installed) {
        for (const Staged &s : qAsConst(staged))
            SafeFile::removeAll(s.copy);
    }
    SafeFile::removeAll(WorkFolder);
    return installed && SafeFile::kind(inFolder(programFolder, DemoProgram)) == SafeFile::File;
}
