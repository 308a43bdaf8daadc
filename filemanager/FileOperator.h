#pragma once

#include "FolderWalk.h"

#include <QFileInfo>
#include <QMetaType>
#include <QStringList>
#include <QThread>

#include <memory>

// The file manager's clipboard and one paste job.
struct file_operations_t
{
    int mode = 0;           // 1 cut, 0 copy
    QStringList paths;      // instrument paths of the sources
};

// Why a paste stopped, or ended without copying everything.
enum FileOperationPasteError {
    PASTE_SAME_FOLDER = 1,              // a source is the destination or holds it
    PASTE_INSUFFICIENT_DISK_SPACE = 2,
    PASTE_DESTINATION_NOT_FOUND = 3,    // on no mounted volume, or gone
    PASTE_INCOMPLETE = 4,               // some entries could not be copied; they were left in place
    PASTE_ORIGINALS_KEPT = 5,           // a cut copied everything, but some originals stayed
};
Q_DECLARE_METATYPE(FileOperationPasteError)

// Copies, or moves for a cut, the clipboard's files and folders into one folder of a
// mounted volume, in its own thread. Every file is flushed to the device as it is copied,
// and completion waits until the kernel has no dirty or writeback pages left (bounded).
// Ends with exactly one of signalCompleted() and signalPasteError(). Paths are instrument
// paths. Every target is made through the destination folder opened at the start, so
// nothing is written outside the volume the paste started on; when that volume is no
// longer mounted where it was, the paste stops with error 3 and a cut removes nothing.
// Each source is opened at the start too and read, and for a cut removed, only through
// that: folders are walked by their raw names, and nothing is removed once the source's
// volume is no longer the one mounted where it was (a stick swapped for another of the
// same name); what was not removed stays, and the paste ends with error 4, or with error 5
// when everything was copied. A folder that
// cannot be listed is not copied, like a file that cannot be read.
// Links are followed: what a link points to is copied, each real folder at most once per
// clipboard entry (loops end); a cut removes the link itself, never what it points to.
class FileOperator : public QThread
{
    Q_OBJECT

public:
    FileOperator();
    ~FileOperator() override;

    void setData(const file_operations_t &data);
    // Only the path of the QFileInfo is read (an instrument path).
    void setDst(const QFileInfo &destination);

    // The name under which an entry called name goes into folder: name itself, or with
    // "(n)" before the last "." of a file ("report(1).pdf") or after a folder's name
    // ("run(1)"). Empty when no free name was found within the bound.
    static QString targetName(const QString &folder, const QString &name, bool isFolder);
    // Room check: true when bytes fit into freeMiB (exactly equal fits).
    static bool enoughRoom(quint64 bytes, float freeMiB);

    // The wait a paste ends with: sync until "/proc/meminfo" shows no dirty or writeback
    // pages, at most the write-back timeout.
    static void waitForWriteBack();
    // Bound of the write-back wait in milliseconds; tests shorten it.
    static void setWriteBackTimeout(int ms);

    static constexpr int MaxNameTries = FolderWalk::MaxNameTries;
    static constexpr int DefaultWriteBackTimeoutMs = 120000;

Q_SIGNALS:
    void signalSetTotalFileCountAndSize(int count, quint64 bytes);
    void signalSetCurrentFileCountAndSize(int count, quint64 bytes);
    void signalCompleted();
    void signalPasteError(FileOperationPasteError error);

protected:
    void run() override;

private:
    struct Job;
    struct Source;

    static std::unique_ptr<Source> openSource(const QString &path);
    // Copies a source whole into the folder as name; true when all of it arrived.
    bool copySource(Source *source, int folder, const QByteArray &name, Job *job);
    static bool removeCopied(Source *source);
    static long meminfoValue(const QString &field);

    int m_Mode;
    QStringList m_Paths;
    QFileInfo m_Destination;
};
