#pragma once

#include "FileOperationDialog.h"
#include "FileOperator.h"

#include <QList>
#include <QTreeWidget>

class FolderWatch;
class QModelIndex;

namespace fs {
class FileSystemItem;
}

// The file manager's folder tree: the internal data folders ("/ORBELIN*") and the USB
// volumes under "/media" as top-level rows, their folders below, following the disk by
// itself. Keeps a clipboard for cut, copy and paste, runs the paste behind its progress
// dialog, and deletes. Keys that delete only ask the owner (signalEraseRequested), which
// confirms and checks the lock before it calls erase().
class FileSystemTreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    explicit FileSystemTreeWidget(QWidget *parent = nullptr);
    ~FileSystemTreeWidget() override;

    void setRegisterORBELIN(bool enable);
    void initialize();

    // Fill the clipboard with the selected rows that still exist; false, with the clipboard
    // as it was, when there is none.
    bool cut();
    bool copy();
    bool paste();
    // Deletes the current row's file or folder; a volume row stays.
    void erase();
    // Deletes exactly this path, when it still exists and lies inside a volume row, without
    // leaving the file system it is on; says so when not all of it could be deleted.
    void erase(const QString &path);

    file_operations_t clipboard() const { return m_Clipboard; }
    FileOperationDialog *progressDialog() { return &m_Dialog; }
    QList<fs::FileSystemItem *> topLevelNodes() const { return m_TopLevelNodes; }

Q_SIGNALS:
    void signalCurrentItemChanged(const QString &path, bool isChild);
    void signalClearClipboard();
    // Backspace or Delete was released on a row inside a volume.
    void signalEraseRequested();

public Q_SLOTS:
    void slotDirectoryChanged(const QString &path);
    void slotCurrentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void itemClicked(QTreeWidgetItem *item, int column);
    void slotUpdateHScrollArea(const QModelIndex &index);

protected:
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    QStringList volumeFolders() const;
    void addTopLevelNode(const QString &path);
    bool copyToClipboard(int mode);

    bool m_RegisterORBELIN;
    QList<fs::FileSystemItem *> m_TopLevelNodes;
    FolderWatch *m_MediaWatcher;
    file_operations_t m_Clipboard;
    FileOperationDialog m_Dialog;
    bool m_Pasting;
};
