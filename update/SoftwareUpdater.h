#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMetaType>
#include <QRegExp>
#include <QString>
#include <QStringList>
#include <QThread>

// One install rule: a file whose name holds a match of regExp goes into dirPath with
// the given permissions.
struct FileInfo
{
    QRegExp regExp;
    QString dirPath;            // instrument path, no trailing "/"
    QFile::Permissions permissions;
};

// The outcome of an installation. The numbers are kept stable for callers.
enum SoftwareUpdaterError {
    NoError = 0,
    NoExistUpdateFile = 1,      // the package file does not exist
    NoExistUpdateDir = 2,       // the install folder does not exist
    InvalidSettings = 3,        // a required setting is empty or unusable
    BackupFailed = 4,
    NoExistInstalledFile = 5,   // a copied file or the loader is missing afterwards
    InvalidUpdateFile = 6,      // the package cannot be unpacked, is unsafe, holds nothing,
                                // or holds a loader whose program would not be there; or
                                // the unpack folder cannot be made or removed
};
Q_DECLARE_METATYPE(SoftwareUpdaterError)

// Which number of a versioned name: the position among its runs of digits.
enum SoftwareVersionType {
    MajorVersion = 1,
    MinorVersion = 2,
    BuildVersion = 3,
    PatchVersion = 4,
};

// Installs one update package (a gzip tar of program files) into the instrument's
// folders by file-name rules, after a backup of the program folder, and keeps the
// "/root/loader" link on the newest loader. run() works on its own thread and ends with
// exactly one signalUpdated. Configure through the setters before start().
// The static part names versions from file names (ORBELIN_Vn_1_0_3 is 1.0.3) and finds
// packages on the mounted volumes.
class SoftwareUpdater : public QThread
{
    Q_OBJECT

public:
    explicit SoftwareUpdater(QObject *parent = nullptr);
    ~SoftwareUpdater() override;

    void setBackupOn(bool on) { m_BackupOn = on; }
    void setBackupFileName(const QString &name) { m_BackupFileName = name; }
    void setBackupDirPath(const QString &path) { m_BackupDir.setPath(path); }
    void setUpdateFilePath(const QString &path) { m_UpdateFilePath = path; }
    // Kept only when the folder exists; otherwise the previous value stays.
    void setUpdateDirPath(const QString &path);
    void setFileInfoList(const QList<FileInfo> &list) { m_FileInfoList = list; }
    void setCreateSymbolicLinkOfLoader(bool on) { m_CreateSymbolicLinkOfLoader = on; }
    void setLoaderAndSymbolicLink(const FileInfo &loader, const QString &linkName);

    QString updateDirPath() const { return m_UpdateDirPath; }
    SoftwareUpdaterError error() const { return m_Error; }
    static QString message(SoftwareUpdaterError error);

    // The first mounted volume (in the media monitor's order) whose top folder holds
    // plain files matching the wildcard filters (without regard to case): dir is that
    // folder, files its matches sorted by name. False when no volume holds any.
    static bool existUpdateFiles(QDir &dir, QList<QFileInfo> &files, QStringList nameFilters);

    // Whether a running process was started with exactly this program path.
    static bool isProcess(const char *path);
    // Whether the file is an ELF program.
    static bool isProgram(const char *path);

    // Archives the install folder into the backup folder, replacing the old archive only
    // once the new one is known to be good; false also when an old entry there (not
    // hidden) cannot be removed.
    bool backup();

    // Version names.
    static QString StringToSoftwareVersion(QString text, QString prefix, QString suffix);
    static int IntegerToSoftwareVersion(QString text, QString prefix, QString suffix);
    static int VersionToSoftware(SoftwareVersionType type, QString text, QString prefix,
                                 QString suffix);
    static int MajorVersionToSoftwareVersion(QString text, QString prefix, QString suffix);
    static int MinorVersionToSoftwareVersion(QString text, QString prefix, QString suffix);
    static int BuildVersionToSoftwareVersion(QString text, QString prefix, QString suffix);
    static int PatchVersionToSoftwareVersion(QString text, QString prefix, QString suffix);

    // The file name of a program: the name of its target when the path is a symbolic
    // link (ORBELIN_Vn -> ORBELIN_Vn_1_0_3 gives ORBELIN_Vn_1_0_3). The version is in it.
    static QString programFileName(const QString &programPath);
    static QString runningProgramName();    // of this program

    // The unpack folder.
    static QString workFolder();

Q_SIGNALS:
    void signalUpdated(bool ok, SoftwareUpdaterError error);

protected:
    void run() override;

private:
    // Why the backup folder or name cannot be used, or an empty string.
    QString backupSettingsRefusal() const;
    bool fail(SoftwareUpdaterError error, const QString &why);
    // Unpacks and checks the package; top is given its top-level files.
    bool unpackPackage(QStringList *top);
    // Fails unless every loader among the unpacked top-level files starts a program that the
    // package holds or that is installed.
    bool checkLoaders(const QStringList &top);
    // Why the link must not point at the loader, or an empty string: it cannot be read, or
    // a program it starts is neither among the unpacked files, to be installed executable,
    // nor installed as an executable file.
    QString loaderRefusal(const QString &loader, const QStringList &unpacked) const;
    // The first install rule whose pattern occurs in a file name.
    const FileInfo *ruleFor(const QString &name) const;
    // Where a file of that name is installed (unless its target is running).
    QString installFolder(const QString &name) const;
    // What a file of that name, unpacked at source, is given when installed.
    QFile::Permissions permissionsFor(const QString &name, const QString &source) const;
    bool installEntries(const QStringList &top, QStringList *installed);
    bool updateLoaderLink(const QStringList &installed);

    bool m_BackupOn = false;
    QString m_BackupFileName;
    QDir m_BackupDir;
    SoftwareUpdaterError m_Error = NoError;
    QString m_UpdateFilePath;
    QString m_UpdateDirPath;
    QList<FileInfo> m_FileInfoList;
    bool m_CreateSymbolicLinkOfLoader = false;
    FileInfo m_Loader;
    QString m_SymbolicLinkName;
};
