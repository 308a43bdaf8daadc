#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTreeWidgetItem>

class FolderWatch;

namespace fs {

// What other classes read of a tree node.
struct ItemInfo
{
    QString filePath;       // instrument path
    QString name;
    int type = -1;          // 1 file, 0 folder, -1 not set
    bool scanned = false;
    bool isChild = false;   // made as a child of another node (false for a volume row)
};

enum DirectoryChangedAction {
    DirectoryEntriesAdded = 0,
    DirectoryEntriesRemoved = 1,
};

// One file or folder of the file manager's folder tree. A folder lists its entries one
// level at a time, when it becomes a volume row or is first selected, and follows the
// disk through its folder watch. File nodes exist but are hidden in the tree.
class FileSystemItem : public QObject, public QTreeWidgetItem
{
    Q_OBJECT

public:
    enum { File = 1, Folder = 0, NotSet = -1 };

    FileSystemItem();
    ~FileSystemItem() override;

    void clear();
    ItemInfo item() const;
    QString filePath() const { return m_FilePath; }

    void addChild(FileSystemItem *node);
    FileSystemItem *child(int index) const;

    // Makes this a top-level node for an instrument path; false for a path without "/".
    bool setRootPath(const QString &path);
    void addItem(const QString &name);
    void removeItem(const QString &name);
    // The names of the folder on disk that have no child yet, and the children whose name
    // is no longer there; both empty when the folder is gone.
    void differ(const QString &path, QStringList *added, QStringList *removed) const;
    void directoryChanged(DirectoryChangedAction action, const QStringList &names);
    void searchSubItem(FileSystemItem *node, bool unused = false);

    // Row text size: text width + 40 by 40 pixels in the tree's font.
    static QSize rowSizeHint(const QString &text);

public Q_SLOTS:
    void slotDirectoryChanged(const QString &path);
    void slotDirectoryChangedTimer();
    void slotCurrentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);

private:
    void watch();

    QString m_FilePath;
    QString m_Name;
    int m_Type;
    bool m_Scanned;
    bool m_IsChild;
    FolderWatch *m_Watcher;
    QString m_ChangedPath;
};

} // namespace fs
