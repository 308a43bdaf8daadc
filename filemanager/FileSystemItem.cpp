#include "FileSystemItem.h"

#include "DiskAccess.h"
#include "FolderWalk.h"
#include "FolderWatch.h"
#include "SystemPaths.h"

#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QSet>
#include <QTreeWidget>

namespace fs {

namespace {

const QIcon &folderIcon()
{
    static const QIcon icon(QStringLiteral(":/FileManager/folder.png"));
    return icon;
}

const QIcon &fileIcon()
{
    static const QIcon icon(QStringLiteral(":/FileManager/file.png"));
    return icon;
}

} // namespace

FileSystemItem::FileSystemItem()
    : QObject(nullptr)
    , QTreeWidgetItem(0)
{
    clear();
}

FileSystemItem::~FileSystemItem()
{
    delete m_Watcher;
    m_Watcher = nullptr;
    // QTreeWidgetItem destroys the children next, each taking its own watch with it.
}

void FileSystemItem::clear()
{
    m_FilePath.clear();
    m_Name.clear();
    m_Type = NotSet;
    m_Scanned = false;
    m_IsChild = false;
    m_Watcher = nullptr;
}

ItemInfo FileSystemItem::item() const
{
    ItemInfo info;
    info.filePath = m_FilePath;
    info.name = m_Name;
    info.type = m_Type;
    info.scanned = m_Scanned;
    info.isChild = m_IsChild;
    return info;
}

void FileSystemItem::addChild(FileSystemItem *node)
{
    QTreeWidgetItem::addChild(node);
}

FileSystemItem *FileSystemItem::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    return dynamic_cast<FileSystemItem *>(QTreeWidgetItem::child(index));
}

QSize FileSystemItem::rowSizeHint(const QString &text)
{
    QFont font(QStringLiteral("OpenSymbol"));
    font.setPointSize(15);
    return QSize(QFontMetrics(font).horizontalAdvance(text) + 40, 40);
}

bool FileSystemItem::setRootPath(const QString &path)
{
    if (!path.contains(QLatin1Char('/')))
        return false;
    m_FilePath = path;
    m_Name = DiskAccess::fileName(path);
    if (QFileInfo(SystemPaths::map(path)).isFile()) {
        m_Type = File;
    } else {
        m_Type = Folder;
        if (!m_Scanned) {
            watch();
            searchSubItem(this);
            m_Scanned = true;
        }
    }
    setText(0, m_Name);
    return true;
}

void FileSystemItem::watch()
{
    if (m_Watcher)
        return;
    m_Watcher = new FolderWatch(m_FilePath);
    connect(m_Watcher, &FolderWatch::directoryChanged, this,
            &FileSystemItem::slotDirectoryChanged);
}

void FileSystemItem::addItem(const QString &name)
{
    const QString path = DiskAccess::join(m_FilePath, name);
    if (!DiskAccess::exists(path))
        return;
    auto *node = new FileSystemItem;
    addChild(node);
    node->m_FilePath = path;
    node->m_Name = name;
    if (DiskAccess::isFolder(path)) {
        node->m_Type = Folder;
        node->setIcon(0, folderIcon());
        node->watch();
    } else {
        node->m_Type = File;
        node->setIcon(0, fileIcon());
    }
    node->m_IsChild = true;
    const QString shown = FolderWalk::displayName(name);
    node->setText(0, shown);
    if (node->treeWidget() && node->m_Type == File)
        node->setHidden(true);
    node->setSizeHint(0, rowSizeHint(shown));
}

void FileSystemItem::removeItem(const QString &name)
{
    for (int i = 0; i < childCount(); ++i) {
        FileSystemItem *node = child(i);
        if (node && node->m_Name == name) {
            delete takeChild(i);
            return;
        }
    }
}

void FileSystemItem::differ(const QString &path, QStringList *added, QStringList *removed) const
{
    added->clear();
    removed->clear();
    if (!DiskAccess::isFolder(path))
        return;
    const QStringList listed = DiskAccess::list(path);
    const QSet<QString> onDisk(listed.cbegin(), listed.cend());
    QSet<QString> inTree;
    for (int i = 0; i < childCount(); ++i) {
        if (const FileSystemItem *node = child(i)) {
            inTree.insert(node->m_Name);
            if (!onDisk.contains(node->m_Name))
                *removed << node->m_Name;
        }
    }
    for (const QString &name : listed) {
        if (!inTree.contains(name))
            *added << name;
    }
}

void FileSystemItem::directoryChanged(DirectoryChangedAction action, const QStringList &names)
{
    for (const QString &name : names) {
        if (action == DirectoryEntriesAdded) {
            addItem(name);
            m_Scanned = true;
        } else {
            removeItem(name);
        }
    }
}

void FileSystemItem::searchSubItem(FileSystemItem *node, bool)
{
    if (!node)
        return;
    const QStringList names = DiskAccess::list(node->m_FilePath);
    for (const QString &name : names)
        node->addItem(name);
}

void FileSystemItem::slotDirectoryChanged(const QString &path)
{
    m_ChangedPath = path;
    slotDirectoryChangedTimer();
}

void FileSystemItem::slotDirectoryChangedTimer()
{
    // By name: a rename, or an entry added and another removed between two reports, leaves
    // the count as it was.
    QStringList added;
    QStringList removed;
    differ(m_ChangedPath, &added, &removed);
    directoryChanged(DirectoryEntriesRemoved, removed);
    directoryChanged(DirectoryEntriesAdded, added);
}

void FileSystemItem::slotCurrentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *)
{
    auto *node = dynamic_cast<FileSystemItem *>(current);
    if (!node || node->m_Scanned)
        return;
    searchSubItem(node);
    node->m_Scanned = true;
}

} // namespace fs
