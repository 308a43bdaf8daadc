#include "SoftwareUpdater.h"

#include "FolderWalk.h"
#include "MediaMonitor.h"
#include "PackageArchive.h"
#include "SafeFile.h"
#include "SystemPaths.h"

#include <QCoreApplication>
#include <QDebug>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QFile::Permissions Executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                      | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                      | QFile::ExeOther;
const QFile::Permissions ReadWriteAll = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                        | QFile::WriteGroup | QFile::ReadOther
                                        | QFile::WriteOther;

QString stripped(QString text, const QString &prefix, const QString &suffix)
{
    if (!prefix.isEmpty())
        text.remove(prefix, Qt::CaseSensitive);
    if (!suffix.isEmpty())
        text.remove(suffix, Qt::CaseSensitive);
    return text;
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Digits read as a signed 32-bit number; 0 when empty or too large.
int toInt(const QString &digits)
{
    bool ok = false;
    const int value = digits.toInt(&ok, 10);
    return ok ? value : 0;
}

QString joined(const QString &folder, const QString &name)
{
    return folder + QLatin1Char('/') + name;
}

// Removes the unpack folder; false, logged, when anything of it is left.
bool removeWorkFolder()
{
    if (SafeFile::removeAll(SoftwareUpdater::workFolder()))
        return true;
    qDebug() << Q_FUNC_INFO << "cannot remove" << SoftwareUpdater::workFolder();
    return false;
}

// Whether the path is a plain file with an execute bit (the launcher runs as root).
bool isExecutableFile(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(SystemPaths::map(path)).constData(), &st) == 0
        && S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH));
}

// The programs a loader starts: the program files its text names, or, naming none, the
// program of its own version ("loader_1_0_4" starts "ORBELIN_Vn_1_0_4"). False when the
// loader cannot be read.
bool loaderPrograms(const QString &loader, QStringList *programs)
{
    static const QRegularExpression named(
        QStringLiteral("(?<![A-Za-z0-9_])ORBELIN_Vn(_[0-9]+){3}(?![A-Za-z0-9_])"));
    QFile file(SystemPaths::map(loader));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A loader is a short script; what lies beyond the first MiB is not read.
    QByteArray head(1 << 20, Qt::Uninitialized);
    const qint64 size = file.read(head.data(), head.size());
    if (size < 0)
        return false;
    head.resize(int(size));
    programs->clear();
    QRegularExpressionMatchIterator it = named.globalMatch(QString::fromLatin1(head));
    while (it.hasNext())
        programs->append(it.next().captured(0));
    programs->removeDuplicates();
    if (programs->isEmpty()) {
        const QString name = QFileInfo(loader).fileName();
        programs->append(QStringLiteral("ORBELIN_Vn") + name.mid(name.indexOf(QLatin1Char('_'))));
    }
    return true;
}

} // namespace

SoftwareUpdater::SoftwareUpdater(QObject *parent)
    : QThread(parent)
    , m_BackupDir(QString())
{
    qRegisterMetaType<SoftwareUpdaterError>("SoftwareUpdaterError");
}

SoftwareUpdater::~SoftwareUpdater() = default;

void SoftwareUpdater::setUpdateDirPath(const QString &path)
{
    const QFileInfo info(SystemPaths::map(path));
    if (!path.isEmpty() && info.isDir())
        m_UpdateDirPath = SystemPaths::unmap(info.absoluteFilePath());
}

void SoftwareUpdater::setLoaderAndSymbolicLink(const FileInfo &loader, const QString &linkName)
{
    m_Loader = loader;
    m_SymbolicLinkName = linkName;
}

const FileInfo *SoftwareUpdater::ruleFor(const QString &name) const
{
    for (const FileInfo &rule : m_FileInfoList) {
        if (rule.regExp.indexIn(name) >= 0)
            return &rule;
    }
    return nullptr;
}

QString SoftwareUpdater::installFolder(const QString &name) const
{
    const FileInfo *rule = ruleFor(name);
    return rule ? rule->dirPath : m_UpdateDirPath;
}

QString SoftwareUpdater::message(SoftwareUpdaterError error)
{
    switch (error) {
    case NoError: return QStringLiteral("NoError");
    case NoExistUpdateFile: return QStringLiteral("NoExistUpdateFile");
    case NoExistUpdateDir: return QStringLiteral("NoExistUpdateDir");
    case InvalidSettings: return QStringLiteral("InvalidSettings");
    case BackupFailed: return QStringLiteral("BackupFailed");
    case NoExistInstalledFile: return QStringLiteral("NoExistInstalledFile");
    case InvalidUpdateFile: return QStringLiteral("InvalidUpdateFile");
    }
    return QStringLiteral("Unknown");
}

QString SoftwareUpdater::workFolder()
{
    return QStringLiteral("/root/.temp");
}

// ---- version names ----------------------------------------------------------------------

QString SoftwareUpdater::StringToSoftwareVersion(QString text, QString prefix, QString suffix)
{
    QString result;
    for (const QChar c : stripped(text, prefix, suffix)) {
        if (isDigit(c))
            result += c;
        else if (c == QLatin1Char('_'))
            result += QLatin1Char('.');
    }
    return result;
}

int SoftwareUpdater::IntegerToSoftwareVersion(QString text, QString prefix, QString suffix)
{
    QString digits;
    for (const QChar c : stripped(text, prefix, suffix)) {
        if (isDigit(c))
            digits += c;
    }
    return toInt(digits);
}

int SoftwareUpdater::VersionToSoftware(SoftwareVersionType type, QString text, QString prefix,
                                       QString suffix)
{
    const QString rest = stripped(text, prefix, suffix);
    int run = 0;
    bool inRun = false;
    QString digits;
    for (const QChar c : rest) {
        if (isDigit(c)) {
            if (!inRun)
                ++run;
            inRun = true;
            if (run == int(type))
                digits += c;
        } else {
            inRun = false;
            if (run == int(type))
                break;
        }
    }
    return run >= int(type) && int(type) >= 1 ? toInt(digits) : -1;
}

int SoftwareUpdater::MajorVersionToSoftwareVersion(QString text, QString prefix, QString suffix)
{
    return VersionToSoftware(MajorVersion, text, prefix, suffix);
}

int SoftwareUpdater::MinorVersionToSoftwareVersion(QString text, QString prefix, QString suffix)
{
    return VersionToSoftware(MinorVersion, text, prefix, suffix);
}

int SoftwareUpdater::BuildVersionToSoftwareVersion(QString text, QString prefix, QString suffix)
{
    return VersionToSoftware(BuildVersion, text, prefix, suffix);
}

int SoftwareUpdater::PatchVersionToSoftwareVersion(QString text, QString prefix, QString suffix)
{
    return VersionToSoftware(PatchVersion, text, prefix, suffix);
}

QString SoftwareUpdater::programFileName(const QString &programPath)
{
    const QFileInfo info(programPath);
    if (info.isSymLink())
        return QFileInfo(info.symLinkTarget()).fileName();
    return programPath.mid(programPath.lastIndexOf(QLatin1Char('/')) + 1);
}

QString SoftwareUpdater::runningProgramName()
{
    return programFileName(QCoreApplication::applicationFilePath());
}

// ---- search and process tests -----------------------------------------------------------

bool SoftwareUpdater::existUpdateFiles(QDir &dir, QList<QFileInfo> &files, QStringList nameFilters)
{
    QList<QRegExp> patterns;
    for (const QString &filter : qAsConst(nameFilters))
        patterns << QRegExp(filter, Qt::CaseInsensitive, QRegExp::Wildcard);
    const QList<storage_t> volumes = MediaMonitor::devices();
    for (const storage_t &volume : volumes) {
        if (!volume.mounted || volume.mountPoint.isEmpty())
            continue;
        const FolderWalk::Folder top(FolderWalk::open(volume.mountPoint));
        QList<FolderWalk::Entry> entries;
        if (top.fd < 0 || !FolderWalk::list(top.fd, &entries))
            qDebug() << Q_FUNC_INFO << "cannot list all of" << volume.mountPoint;
        QStringList names;
        for (const FolderWalk::Entry &entry : qAsConst(entries)) {
            // Plain files only: a link on a stick could point anywhere on the instrument.
            const QString name = FolderWalk::decodeName(entry.name);
            if (!entry.link && S_ISREG(entry.st.st_mode)
                && std::any_of(patterns.begin(), patterns.end(),
                               [&name](const QRegExp &pattern) { return pattern.exactMatch(name); }))
                names << name;
        }
        if (!names.isEmpty()) {
            names.sort();
            dir = QDir(SystemPaths::map(volume.mountPoint));
            files.clear();
            for (const QString &name : qAsConst(names))
                files << QFileInfo(dir, name);
            return true;
        }
    }
    return false;
}

bool SoftwareUpdater::isProcess(const char *path)
{
    const QByteArray wanted(path);
    const FolderWalk::Folder proc(FolderWalk::open(QStringLiteral("/proc")));
    QList<QByteArray> entries;
    if (proc.fd < 0 || !FolderWalk::readFolder(proc.fd, &entries)) {
        std::fputs("[ERROR] Can't open /proc.\n", stderr);
        return false;
    }
    for (const QByteArray &entry : qAsConst(entries)) {
        bool isNumber = false;
        const long pid = entry.toLong(&isNumber, 10);
        if (!isNumber || entry.startsWith('+') || entry.startsWith('-'))
            continue;
        QFile cmdline(SystemPaths::map(QString::asprintf("/proc/%ld/cmdline", pid)));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        QByteArray line = cmdline.readLine(1024);
        const int nul = line.indexOf('\0');
        if (nul >= 0)
            line.truncate(nul);
        const QList<QByteArray> words = line.simplified().split(' ');
        if (!words.isEmpty() && !words.first().isEmpty() && words.first() == wanted)
            return true;
    }
    return false;
}

bool SoftwareUpdater::isProgram(const char *path)
{
    const int fd = ::open(FolderWalk::realPath(FolderWalk::decodeName(path)).constData(),
                          O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char head[4];
    const bool elf = ::read(fd, head, sizeof head) == sizeof head
        && std::memcmp(head, "\x7f" "ELF", sizeof head) == 0;
    ::close(fd);
    return elf;
}

// ---- backup -----------------------------------------------------------------------------

QString SoftwareUpdater::backupSettingsRefusal() const
{
    const QString folder = QDir::cleanPath(m_BackupDir.path());
    const QString install = QDir::cleanPath(m_UpdateDirPath);
    if (m_BackupFileName.isEmpty() || m_BackupFileName.contains(QLatin1Char('/'))
        || m_BackupFileName.startsWith(QLatin1Char('.')) || m_BackupDir.path().isEmpty()
        || !folder.startsWith(QLatin1Char('/')) || install.isEmpty() || folder == install
        || folder.startsWith(install + QLatin1Char('/')))
        return QStringLiteral("invalid backup folder %1 or name %2").arg(folder, m_BackupFileName);
    // The old backup is deleted: through a link that would be whatever the link points at.
    if (SafeFile::throughLink(folder))
        return QStringLiteral("backup folder %1 is or lies under a symbolic link").arg(folder);
    return QString();
}

bool SoftwareUpdater::backup()
{
    const QString refusal = backupSettingsRefusal();
    if (!refusal.isEmpty()) {
        m_Error = InvalidSettings;
        qDebug() << Q_FUNC_INFO << refusal;
        return false;
    }
    const QString folder = QDir::cleanPath(m_BackupDir.path());
    const QString install = QDir::cleanPath(m_UpdateDirPath);
    if (!QDir().mkpath(SystemPaths::map(folder))) {
        m_Error = BackupFailed;
        qDebug() << Q_FUNC_INFO << "cannot create" << folder;
        return false;
    }
    // The old archive goes only once the new one is complete and readable.
    const QString partial = joined(folder, QLatin1Char('.') + m_BackupFileName + QStringLiteral(".part"));
    QString error;
    if (!SafeFile::removeAll(partial)) {
        m_Error = BackupFailed;
        qDebug() << Q_FUNC_INFO << "cannot remove" << partial;
        return false;
    }
    if (!PackageArchive::create(partial, install, &error)) {
        m_Error = BackupFailed;
        qDebug() << Q_FUNC_INFO << error;
        if (!SafeFile::removeAll(partial))
            qDebug() << Q_FUNC_INFO << "cannot remove" << partial;
        return false;
    }
    // In one step over an archive of its name; the other old entries go after it.
    const QString archive = joined(folder, m_BackupFileName);
    if (!SafeFile::moveEntry(partial, archive)) {
        m_Error = BackupFailed;
        qDebug() << Q_FUNC_INFO << "cannot put the archive in place in" << folder;
        return false;
    }
    const FolderWalk::Folder opened(FolderWalk::open(folder));
    QList<QByteArray> names;
    if (opened.fd < 0 || !FolderWalk::readFolder(opened.fd, &names)) {
        m_Error = BackupFailed;
        qDebug() << Q_FUNC_INFO << "cannot list" << folder;
        return false;
    }
    bool removed = true;
    for (const QByteArray &name : qAsConst(names)) {
        const QString old = joined(folder, FolderWalk::decodeName(name));
        if (name.startsWith('.') || old == archive)
            continue;
        if (!SafeFile::removeAll(old)) {
            qDebug() << Q_FUNC_INFO << "cannot remove the old backup" << old;
            m_Error = BackupFailed;
            removed = false;
        }
    }
    return removed;
}

// ---- installation -----------------------------------------------------------------------

bool SoftwareUpdater::fail(SoftwareUpdaterError error, const QString &why)
{
    qDebug() << Q_FUNC_INFO << message(error) << why;
    m_Error = error;
    emit signalUpdated(false, error);
    return false;
}

bool SoftwareUpdater::unpackPackage(QStringList *top)
{
    if (!SafeFile::recreateFolder(workFolder()))
        return fail(InvalidUpdateFile, QStringLiteral("cannot make the unpack folder"));
    // Only plain files at the top are installed; a folder there, or nothing to install,
    // means a broken package, refused from its listing before anything is unpacked.
    const auto check = [this](const PackageContent &content, QList<PackageWrite> *copies) {
        bool any = false;
        for (auto it = content.top.cbegin(); it != content.top.cend(); ++it) {
            if (it.key().startsWith(QLatin1Char('.')))
                continue;
            if (it->folder)
                return QStringLiteral("%1 is a folder").arg(it.key());
            copies->append({installFolder(it.key()), it->bytes, it->entries});
            any = true;
        }
        return any ? QString() : QStringLiteral("the package holds nothing to install");
    };
    QString error;
    if (!PackageArchive::unpack(m_UpdateFilePath, workFolder(), check, &error))
        return fail(InvalidUpdateFile, error);
    // What was unpacked must be what was listed: plain files at the top, by raw names.
    const FolderWalk::Folder work(FolderWalk::open(workFolder()));
    QList<QByteArray> names;
    if (work.fd < 0 || !FolderWalk::readFolder(work.fd, &names))
        return fail(InvalidUpdateFile, QStringLiteral("cannot list the unpack folder"));
    for (const QByteArray &name : qAsConst(names)) {
        if (name.startsWith('.'))
            continue;
        struct stat st;
        if (::fstatat(work.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(st.st_mode))
            return fail(InvalidUpdateFile, FolderWalk::displayName(FolderWalk::decodeName(name))
                                               + QStringLiteral(" is not a plain file"));
        top->append(FolderWalk::decodeName(name));
    }
    if (top->isEmpty())
        return fail(InvalidUpdateFile, QStringLiteral("the package holds nothing to install"));
    return checkLoaders(*top);
}

bool SoftwareUpdater::checkLoaders(const QStringList &top)
{
    if (!m_CreateSymbolicLinkOfLoader)
        return true;
    for (const QString &name : top) {
        if (!m_Loader.regExp.exactMatch(name))
            continue;
        const QString why = loaderRefusal(joined(workFolder(), name), top);
        if (!why.isEmpty()) {
            SafeFile::removeAll(workFolder());
            return fail(InvalidUpdateFile, why);
        }
    }
    return true;
}

QString SoftwareUpdater::loaderRefusal(const QString &loader, const QStringList &unpacked) const
{
    // A loader whose program is not there would leave the instrument unable to start once
    // the link points at it; one that cannot be read may start anything.
    QStringList programs;
    if (!loaderPrograms(loader, &programs))
        return QStringLiteral("%1 cannot be read").arg(loader);
    for (const QString &program : qAsConst(programs)) {
        const bool packed = unpacked.contains(program)
            && (permissionsFor(program, joined(workFolder(), program))
                & (QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
        const QString installed = joined(installFolder(program), program);
        if (!packed && !isExecutableFile(installed))
            return QStringLiteral("%1 starts %2, which is neither in the package nor an "
                                  "installed executable file").arg(loader, installed);
    }
    return QString();
}

QFile::Permissions SoftwareUpdater::permissionsFor(const QString &name, const QString &source) const
{
    if (const FileInfo *rule = ruleFor(name))
        return rule->permissions;
    return isProgram(FolderWalk::encodeName(source).constData()) ? Executable : ReadWriteAll;
}

bool SoftwareUpdater::installEntries(const QStringList &top, QStringList *installed)
{
    QStringList failed;
    for (const QString &name : top) {
        const QString source = joined(workFolder(), name);
        QString target;
        QFile::Permissions permissions;
        bool matched = false;
        for (const FileInfo &rule : qAsConst(m_FileInfoList)) {
            if (rule.regExp.indexIn(name) < 0)
                continue;
            matched = true;
            const QString candidate = joined(rule.dirPath, name);
            if (isProcess(FolderWalk::encodeName(candidate).constData())) {
                qDebug() << Q_FUNC_INFO << candidate << "is running; not replaced";
                continue;
            }
            target = candidate;
            permissions = rule.permissions;
            break;
        }
        if (!matched) {
            permissions = permissionsFor(name, source);
            target = joined(m_UpdateDirPath, name);
            if (permissions == Executable && isProcess(FolderWalk::encodeName(target).constData())) {
                qDebug() << Q_FUNC_INFO << target << "is running; not replaced";
                target.clear();
            }
        }
        if (target.isEmpty())
            continue;
        QString error;
        if (!SafeFile::replaceFile(source, target, permissions, &error)) {
            qDebug() << Q_FUNC_INFO << error;
            failed.append(target);
        }
        installed->append(target);
    }
    // A file that could not be copied counts as missing even when an older one is there.
    for (const QString &target : qAsConst(*installed)) {
        if (failed.contains(target) || SafeFile::kind(target) != SafeFile::File)
            return fail(NoExistInstalledFile, target + QStringLiteral(" is missing"));
    }
    return true;
}

bool SoftwareUpdater::updateLoaderLink(const QStringList &installed)
{
    const QString link = joined(m_Loader.dirPath, m_SymbolicLinkName);
    for (const QString &target : installed) {
        const QString name = QFileInfo(target).fileName();
        // Only a file whose whole name is a loader name may become the link's target.
        if (!m_Loader.regExp.exactMatch(name))
            continue;
        const QString loader = joined(m_Loader.dirPath, name);
        if (SafeFile::kind(loader) != SafeFile::File)
            return fail(NoExistInstalledFile, loader + QStringLiteral(" is missing"));
        const SafeFile::Kind existing = SafeFile::kind(link);
        if (existing == SafeFile::Link) {
            const QString old = QFileInfo(QFile::symLinkTarget(SystemPaths::map(link))).fileName();
            if (old == name)
                break;
        } else if (existing != SafeFile::Missing) {
            qDebug() << Q_FUNC_INFO << link << "is not a link; left as it is";
            continue;
        }
        // The link goes to a loader only when what it starts is there to start.
        const QString why = loaderRefusal(loader, QStringList());
        if (!why.isEmpty())
            return fail(InvalidUpdateFile, why);
        // Switched in one step: a failure leaves the old link as it was.
        QString error;
        if (!SafeFile::replaceLink(link, loader, &error))
            return fail(NoExistInstalledFile, error);
    }
    return true;
}

void SoftwareUpdater::run()
{
    if (m_UpdateDirPath.isEmpty() || m_UpdateFilePath.isEmpty()) {
        fail(InvalidSettings, QStringLiteral("no install folder or package"));
        return;
    }
    if (SafeFile::kind(m_UpdateDirPath) != SafeFile::Folder) {
        fail(NoExistUpdateDir, m_UpdateDirPath);
        return;
    }
    if (!QFileInfo(SystemPaths::map(m_UpdateFilePath)).isFile()) {
        fail(NoExistUpdateFile, m_UpdateFilePath);
        return;
    }
    if (m_CreateSymbolicLinkOfLoader
        && (m_Loader.regExp.isEmpty() || m_Loader.dirPath.isEmpty() || m_SymbolicLinkName.isEmpty()
            || m_SymbolicLinkName.contains(QLatin1Char('/')))) {
        fail(InvalidSettings, QStringLiteral("no loader rule"));
        return;
    }
    if (m_BackupOn) {
        const QString refusal = backupSettingsRefusal();
        if (!refusal.isEmpty()) {
            fail(BackupFailed, refusal);
            return;
        }
    }
    // The package is unpacked and checked before the backup replaces the last one, so a
    // bad package changes nothing outside the unpack folder.
    QStringList top;
    if (!unpackPackage(&top)) {
        removeWorkFolder();
        return;
    }
    if (m_BackupOn && !backup()) {
        removeWorkFolder();
        fail(BackupFailed, QStringLiteral("backup of ") + m_UpdateDirPath);
        return;
    }
    QStringList installed;
    const bool copied = installEntries(top, &installed);
    // The unpack folder goes before the loader link moves: one left behind would fail every
    // later update.
    if (!removeWorkFolder()) {
        if (copied)
            fail(InvalidUpdateFile, QStringLiteral("cannot remove the unpack folder"));
        return;
    }
    if (!copied)
        return;
    if (m_CreateSymbolicLinkOfLoader && !updateLoaderLink(installed))
        return;
    for (const QString &target : qAsConst(installed))
        SafeFile::syncFileSystem(QFileInfo(target).path());
    SafeFile::syncFileSystem(m_UpdateDirPath);
    emit signalUpdated(true, NoError);
}
