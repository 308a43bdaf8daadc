#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <set>
#include <sys/stat.h>
#include <utility>

// Folder trees walked by their raw names on open folders: each folder is opened from the
// one holding it, so a folder swapped for a link meanwhile is never followed, and every
// name, UTF-8 or not, is kept byte for byte. The file manager, the review, the
// re-analysis, the installers and the media monitor walk their trees here.
//
// Paths are instrument paths ("/media/USB/x", mapped through SystemPaths). A name on disk
// that is not valid UTF-8 (a stick written by another computer) keeps each byte that does
// not decode as the lone surrogate U+DC00 + byte in the QString, so a path made from a
// listing leads back to the very same entry; what the user reads shows those bytes as
// U+FFFD (displayName()).
class FolderWalk
{
public:
    // Folder levels below the top that a copy or a removal enters; deeper content is left
    // as it is (a copy of it fails, a removal keeps it).
    static constexpr int MaxDepth = 256;
    // Numbers tried for a free name inside a copy.
    static constexpr int MaxNameTries = 10000;

    // An open folder, closed when it goes.
    struct Folder
    {
        explicit Folder(int fd = -1) : fd(fd) {}
        ~Folder() { reset(); }
        Folder(const Folder &) = delete;
        Folder &operator=(const Folder &) = delete;
        void reset(int other = -1);
        int fd;
    };

    // Opens the folder name of an open folder (O_NOFOLLOW in flags: not through a link).
    static int openAt(int folder, const char *name, int flags = 0);
    // Opens a folder by its instrument path; -1 when it cannot be.
    static int open(const QString &path);
    // The same file: same device and inode.
    static bool sameFile(const struct stat &a, const struct stat &b);

    // Every name of an open folder but "." and "..", hidden ones included. False when the
    // folder could not be read to its end.
    static bool readFolder(int folder, QList<QByteArray> *names);

    // One entry of an open folder's listing.
    struct Entry
    {
        QByteArray name;
        struct stat own;        // the entry itself
        struct stat st;         // what it leads to (a link followed)
        bool link = false;
    };
    // The files and folders of an open folder, links to either included; ".", "..",
    // hidden entries, device files, pipes, sockets and broken links left out; in the order
    // the file system gives them. False when the folder could not be read to its end, or
    // an entry (not a broken link) could not be examined.
    static bool list(int folder, QList<Entry> *entries);

    // Empties and removes the entry name of an open folder: a file or link is removed
    // itself (never what a link points to); a folder with everything in it, hidden entries
    // included, without entering a folder of another file system than fileSystem, a
    // folder in mountPoints (instrument paths; path is the entry's) or one deeper than
    // MaxDepth. True when nothing of it is left.
    static bool removeAt(int folder, const QByteArray &name, const QString &path,
                         dev_t fileSystem, const QStringList &mountPoints);
    // The same by instrument path, on the file system of the folder holding it.
    static bool remove(const QString &path, const QStringList &mountPoints);

    // True when the open folder inner is the open folder outer or lies inside it, by the
    // folders above inner ("..", mount points crossed), whatever the names on the way.
    static bool holds(int outer, int inner);

    // How a number is added to a name that is taken.
    enum Numbering {
        Appended,       // "run(1)"
        BeforeSuffix,   // "report(1).pdf"; a name without "." as Appended
        Spaced,         // "USB (1)"
    };
    // name, else name with 1, 2, ... up to tries laid out by numbering: the first that
    // take() accepts (take reports a name free, or takes it, as mkdir does). Empty when
    // none was. One arg() makes each name, so a "%1" in the name stays as it is.
    static QString freeName(const QString &name, Numbering numbering, int tries,
                            const std::function<bool(const QString &)> &take);
    // A free name in an open folder: no entry of any kind has it.
    static QString freeNameAt(int folder, const QString &name, Numbering numbering, int tries);

    // A copy of a tree from open folders into an open folder (see copy()).
    struct Copy
    {
        // Copies one file into the folder under the new name; true when all of it arrived.
        std::function<bool(int from, const Entry &file, int folder, const QByteArray &name)>
            copyFile;
        // Asked before each entry; false ends the copy, which then fails.
        std::function<bool()> proceed;
        // Each entry copied whole: its path below the top ("" for the top itself), and
        // whether it was reached through a link.
        std::function<void(const QByteArray &path, const Entry &entry, bool viaLink)> copied;
        // Real folders copied (each once: loops end) and made (never walked into).
        std::set<std::pair<dev_t, ino_t>> folders;
        bool ended = false;
    };
    // Copies the entry of the open folder from (a file, or a folder with its listing as
    // list() gives it, links followed) into the open folder to as the new entry name. A
    // folder that cannot be listed is not made; an entry inside a new folder whose name
    // the folder's file system takes for one already there is numbered as a file or
    // folder. True when the entry and everything in it were copied whole.
    static bool copy(int from, const Entry &entry, int to, const QByteArray &name, Copy *job);

    // The files (count, bytes) and folders a copy of the entry would make, each real folder
    // once and none deeper than MaxDepth; folders holds those already counted.
    struct Size
    {
        int files = 0;
        int folders = 0;
        quint64 bytes = 0;
    };
    static void measure(int from, const Entry &entry, std::set<std::pair<dev_t, ino_t>> *folders,
                        Size *size);

    // A name or path on disk as it is kept, and back, byte for byte.
    static QString decodeName(const QByteArray &name);
    static QByteArray encodeName(const QString &name);
    // The real path (through SystemPaths) of an instrument path, as bytes for the system.
    static QByteArray realPath(const QString &path);
    // A name or path as shown: bytes that are not UTF-8 read U+FFFD.
    static QString displayName(const QString &name);

private:
    static bool removeAt(int folder, const QByteArray &name, const QString &path,
                         dev_t fileSystem, const QStringList &mountPoints, int depth);
    static bool copy(int from, const Entry &entry, const QByteArray &path, int to,
                     const QByteArray &name, bool viaLink, Copy *job, int depth);
    static void measure(int from, const Entry &entry, std::set<std::pair<dev_t, ino_t>> *folders,
                        Size *size, int depth);
};
