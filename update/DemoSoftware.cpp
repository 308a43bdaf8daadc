#include "DemoSoftware.h"

#include "FolderWalk.h"
#include "PackageArchive.h"
#include "SafeFile.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <sys/stat.h>

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

// Removes the unpack folder; false, logged, when anything of it is left.
bool removeWorkFolder()
{
    if (SafeFile::removeAll(WorkFolder))
        return true;
    qDebug() << Q_FUNC_INFO << "cannot remove" << WorkFolder;
    return false;
}

// The old entry is set aside under a name nothing else has: one an earlier install could
// not put back is never removed.
QString asideName(int folder, const QString &destination, const QString &name)
{
    const QString aside = FolderWalk::freeNameAt(folder, QLatin1Char('.') + name + ".demo-old",
                                                 FolderWalk::Appended, FolderWalk::MaxNameTries);
    return aside.isEmpty() ? QString() : inFolder(destination, aside);
}

// Copies every top-level entry of the unpacked package beside what it replaces.
bool stage(QList<SafeFile::Staged> *staged)
{
    const FolderWalk::Folder work(FolderWalk::open(WorkFolder));
    const FolderWalk::Folder files(FolderWalk::open(SystemPaths::programFolder()));
    const FolderWalk::Folder folders(FolderWalk::open(FolderTarget));
    QList<FolderWalk::Entry> entries;
    if (work.fd < 0 || files.fd < 0 || folders.fd < 0 || !FolderWalk::list(work.fd, &entries)) {
        qDebug() << Q_FUNC_INFO << "cannot list" << WorkFolder << "or open its targets";
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderWalk::Entry &a, const FolderWalk::Entry &b) { return a.name < b.name; });
    for (const FolderWalk::Entry &entry : qAsConst(entries)) {
        const bool folder = S_ISDIR(entry.st.st_mode);
        const QString destination = folder ? FolderTarget : SystemPaths::programFolder();
        const QString name = FolderWalk::decodeName(entry.name);
        const QString target = inFolder(destination, name);
        const SafeFile::Kind kind = SafeFile::kind(target);
        // A file replaces a file or a link in the program folder, a folder only a folder
        // in /root; nothing else is replaced.
        if (kind != SafeFile::Missing && kind != (folder ? SafeFile::Folder : SafeFile::File)
            && (folder || kind != SafeFile::Link)) {
            qDebug() << Q_FUNC_INFO << target << "is left as it is; not installed";
            continue;
        }
        const SafeFile::Staged s{target, inFolder(destination, QLatin1Char('.') + name + ".demo-new"),
                                 asideName(folder ? folders.fd : files.fd, destination, name),
                                 kind != SafeFile::Missing};
        if (s.aside.isEmpty()) {
            qDebug() << Q_FUNC_INFO << "no free name to set" << target << "aside";
            return false;
        }
        if (!SafeFile::removeAll(s.copy)) {
            qDebug() << Q_FUNC_INFO << "cannot remove the earlier copy" << s.copy;
            return false;
        }
        staged->append(s);
        if (!SafeFile::copyTree(inFolder(WorkFolder, name), s.copy)
            || (name == DemoProgram
                && ::chmod(FolderWalk::realPath(s.copy).constData(), 0755) != 0)) {
            qDebug() << Q_FUNC_INFO << "cannot copy" << name << "beside" << target;
            return false;
        }
    }
    return true;
}

} // namespace

bool installDemoSoftware(QString package)
{
    if (!SafeFile::recreateFolder(WorkFolder)) {
        qDebug() << Q_FUNC_INFO << "cannot make" << WorkFolder;
        return false;
    }
    QString error;
    if (!PackageArchive::unpack(SystemPaths::unmap(package), WorkFolder, checkListing, &error)
        || SafeFile::kind(inFolder(WorkFolder, DemoProgram)) != SafeFile::File) {
        qDebug() << Q_FUNC_INFO << "demo package refused:" << error;
        removeWorkFolder();
        return false;
    }
    // Nothing the demo had goes before every copy is whole. The unpack folder goes first:
    // one left behind would fail every later install.
    QList<SafeFile::Staged> staged;
    const bool copied = stage(&staged);
    const bool installed = removeWorkFolder() && copied && SafeFile::putInPlace(staged);
    if (!installed) {
        for (const SafeFile::Staged &s : qAsConst(staged)) {
            if (!SafeFile::removeAll(s.copy))
                qDebug() << Q_FUNC_INFO << "a copy is left at" << s.copy;
        }
    }
    return installed && SafeFile::kind(inFolder(SystemPaths::programFolder(), DemoProgram))
        == SafeFile::File;
}
