#include "FileSystemTreeWidget.h"

#include "DiskAccess.h"
#include "FileSystemItem.h"
#include "FolderWalk.h"
#include "FolderWatch.h"
#include "MessageDlg.h"
#include "SystemPaths.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>

#include <sys/stat.h>

namespace {

const char DeleteFailedText[] =
    "<p><b>Error!</b><br/><br/>Some files could not be deleted.<br/>"
    "They were left where they were.</p>";

// Folders directly under a folder, by the file manager's listing rules.
QStringList subfolders(const QString &folder, const QStringList &nameFilters = QStringList())
{
    const FolderWalk::Folder open(FolderWalk::open(folder));
    QList<FolderWalk::Entry> entries;
    if (open.fd >= 0)
        FolderWalk::list(open.fd, &entries);
    QStringList paths;
    for (const FolderWalk::Entry &entry : qAsConst(entries)) {
        const QString name = FolderWalk::decodeName(entry.name);
        if (S_ISDIR(entry.st.st_mode)
            && (nameFilters.isEmpty() || QDir::match(nameFilters, name)))
            paths << DiskAccess::join(folder, name);
    }
    return paths;
}

} // namespace

FileSystemTreeWidget::FileSystemTreeWidget(QWidget *parent)
    : QTreeWidget(parent)
    , m_RegisterORBELIN(true)
    , m_MediaWatcher(nullptr)
    , m_Dialog(nullptr)
    , m_Pasting(false)
{
}

FileSystemTreeWidget::~FileSystemTreeWidget()
{
    delete m_MediaWatcher;
}

void FileSystemTreeWidget::setRegisterORBELIN(bool enable)
{
    m_RegisterORBELIN = enable;
}

QStringList FileSystemTreeWidget::volumeFolders() const
{
    return subfolders(SystemPaths::mediaFolder());
}

void FileSystemTreeWidget::initialize()
{
    m_TopLevelNodes.clear();
    clear();
    QStringList folders;
    if (m_RegisterORBELIN)
        folders << subfolders(QStringLiteral("/"), {QStringLiteral("ORBELIN*")});
    folders << volumeFolders();
    for (const QString &folder : qAsConst(folders))
        addTopLevelNode(folder);

    delete m_MediaWatcher;
    m_MediaWatcher = new FolderWatch(SystemPaths::mediaFolder());
    connect(m_MediaWatcher, &FolderWatch::directoryChanged, this,
            &FileSystemTreeWidget::slotDirectoryChanged);
    connect(this, &QTreeWidget::expanded, this, &FileSystemTreeWidget::slotUpdateHScrollArea,
            Qt::UniqueConnection);
    connect(this, &QTreeWidget::itemClicked, this, &FileSystemTreeWidget::itemClicked,
            Qt::UniqueConnection);
    connect(this, &QTreeWidget::currentItemChanged, this,
            &FileSystemTreeWidget::slotCurrentItemChanged, Qt::UniqueConnection);
}

void FileSystemTreeWidget::addTopLevelNode(const QString &path)
{
    static const QIcon diskIcon(QStringLiteral(":/FileManager/disk icon.png"));
    auto *node = new fs::FileSystemItem;
    m_TopLevelNodes << node;
    addTopLevelItem(node);
    node->setRootPath(path);
    node->setIcon(0, diskIcon);
    node->setSizeHint(0, fs::FileSystemItem::rowSizeHint(node->text(0)));
    connect(this, &QTreeWidget::currentItemChanged, node,
            &fs::FileSystemItem::slotCurrentItemChanged);
}

void FileSystemTreeWidget::slotDirectoryChanged(const QString &)
{
    QStringList folders = volumeFolders();
    if (m_RegisterORBELIN)
        folders << subfolders(QStringLiteral("/"), {QStringLiteral("ORBELIN*")});

    // By name, not by count: one notification may carry a stick pulled and another mounted.
    for (int i = m_TopLevelNodes.size() - 1; i >= 0; --i) {
        fs::FileSystemItem *node = m_TopLevelNodes.at(i);
        if (folders.contains(node->filePath()))
            continue;
        auto *current = dynamic_cast<fs::FileSystemItem *>(currentItem());
        if (current && DiskAccess::contains(node->filePath(), current->filePath()))
            setCurrentItem(node);
        m_TopLevelNodes.removeAt(i);
        delete takeTopLevelItem(indexOfTopLevelItem(node));
    }
    for (const fs::FileSystemItem *node : qAsConst(m_TopLevelNodes))
        folders.removeAll(node->filePath());
    for (const QString &folder : qAsConst(folders))
        addTopLevelNode(folder);
}

void FileSystemTreeWidget::slotCurrentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *)
{
    for (const QString &path : qAsConst(m_Clipboard.paths)) {
        if (!DiskAccess::exists(path)) {
            emit signalClearClipboard();
            break;
        }
    }
    auto *node = dynamic_cast<fs::FileSystemItem *>(current);
    if (!node) {
        emit signalCurrentItemChanged(QString(), false);
        return;
    }
    emit signalCurrentItemChanged(node->filePath(), node->QTreeWidgetItem::parent() != nullptr);
}

void FileSystemTreeWidget::itemClicked(QTreeWidgetItem *item, int)
{
    auto *node = dynamic_cast<fs::FileSystemItem *>(item);
    if (!node)
        return;
    node->setExpanded(!node->isExpanded());
    emit signalCurrentItemChanged(node->filePath(), node->item().isChild);
}

void FileSystemTreeWidget::slotUpdateHScrollArea(const QModelIndex &index)
{
    resizeColumnToContents(index.column());
}

bool FileSystemTreeWidget::copyToClipboard(int mode)
{
    if (!currentItem())
        return false;
    QStringList paths;
    const QList<QTreeWidgetItem *> rows = selectedItems();
    for (QTreeWidgetItem *row : rows) {
        auto *node = dynamic_cast<fs::FileSystemItem *>(row);
        if (node && DiskAccess::exists(node->filePath()))
            paths << node->filePath();
    }
    // Mode and paths change together: a cut on a row whose folder has gone must not turn an
    // earlier copy into a move.
    if (paths.isEmpty())
        return false;
    m_Clipboard.mode = mode;
    m_Clipboard.paths = paths;
    return true;
}

bool FileSystemTreeWidget::cut()
{
    return copyToClipboard(1);
}

bool FileSystemTreeWidget::copy()
{
    return copyToClipboard(0);
}

bool FileSystemTreeWidget::paste()
{
    auto *node = dynamic_cast<fs::FileSystemItem *>(currentItem());
    if (!node || m_Pasting)
        return false;
    QString destination = node->filePath();
    if (DiskAccess::exists(destination) && !DiskAccess::isFolder(destination))
        destination = destination.left(destination.lastIndexOf(QLatin1Char('/')));

    auto *worker = new FileOperator;
    connect(worker, &FileOperator::signalSetTotalFileCountAndSize, &m_Dialog,
            &FileOperationDialog::slotSetTotalFileCountAndSize);
    connect(worker, &FileOperator::signalSetCurrentFileCountAndSize, &m_Dialog,
            &FileOperationDialog::slotSetCurrentFileCountAndSize);
    connect(worker, &FileOperator::signalCompleted, &m_Dialog,
            &FileOperationDialog::slotCompleted);
    connect(worker, &FileOperator::signalPasteError, &m_Dialog,
            &FileOperationDialog::slotPasteError);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->setData(m_Clipboard);
    worker->setDst(QFileInfo(destination));

    m_Pasting = true;
    m_Dialog.initialize();
    m_Dialog.start();
    worker->start(QThread::InheritPriority);
    const int result = m_Dialog.exec();
    m_Pasting = false;
    return result == QDialog::Accepted;
}

void FileSystemTreeWidget::erase()
{
    auto *node = dynamic_cast<fs::FileSystemItem *>(currentItem());
    if (node && node->QTreeWidgetItem::parent())
        erase(node->filePath());
}

void FileSystemTreeWidget::erase(const QString &path)
{
    bool insideVolume = false;
    for (const fs::FileSystemItem *node : qAsConst(m_TopLevelNodes))
        insideVolume = insideVolume
            || (path != node->filePath() && DiskAccess::contains(node->filePath(), path));
    if (!insideVolume || !DiskAccess::entryExists(path) || DiskAccess::remove(path))
        return;
    qDebug() << Q_FUNC_INFO << "cannot remove all of" << path;
    MessageDlg message;
    message.setMessage(QString::fromLatin1(DeleteFailedText));
    message.setMessageButtonVisibility(MSG_BUTTON_OK);
    message.exec();
}

void FileSystemTreeWidget::keyReleaseEvent(QKeyEvent *event)
{
    const bool control = event->modifiers() == Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_X:
        if (control)
            cut();
        break;
    case Qt::Key_C:
        if (control)
            copy();
        break;
    case Qt::Key_V:
        if (control)
            paste();
        break;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        // A volume row cannot be deleted: nothing to ask.
        if (currentItem() && currentItem()->parent())
            emit signalEraseRequested();
        break;
    default:
        break;
    }
}
