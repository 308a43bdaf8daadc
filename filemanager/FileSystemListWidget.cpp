#include "FileSystemListWidget.h"

#include "DiskAccess.h"
#include "FolderWalk.h"
#include "SystemPaths.h"

#include <QDir>
#include <QIcon>
#include <QImageReader>
#include <QTextDocument>

#include <sys/stat.h>

namespace {

const QSize IconSize(100, 100);

// A thumbnail of an image file; the file icon for one that is damaged or too large to
// decode.
QIcon imageIcon(const QString &realPath)
{
    QImageReader reader(realPath);
    const QSize size = reader.size();
    if (size.isValid()
        && qint64(size.width()) * size.height() <= FileSystemListWidget::MaxIconPixels) {
        if (size.width() > IconSize.width() || size.height() > IconSize.height())
            reader.setScaledSize(size.scaled(IconSize, Qt::KeepAspectRatio));
        const QImage image = reader.read();
        if (!image.isNull())
            return QIcon(QPixmap::fromImage(image));
    }
    return QIcon(QStringLiteral(":/FileManager/file.png"));
}

} // namespace

FileSystemListWidget::FileSystemListWidget(QWidget *parent)
    : QListWidget(parent)
    , m_ImageSuffixes({QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("bmp"),
                       QStringLiteral("tif")})
    , m_ViewType(VIEW_FILES)
{
    setViewMode(QListView::IconMode);
    setIconSize(IconSize);
    setGridSize(IconSize);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setDragEnabled(false);
    connect(this, &QListWidget::itemClicked, this, &FileSystemListWidget::slotItemClicked);
}

QString FileSystemListWidget::pathOf(int row) const
{
    if (row < 0 || row >= m_Entries.size())
        return QString();
    return m_Entries.at(row).path;
}

void FileSystemListWidget::addRow(const Row &row, const QIcon &icon)
{
    const QString name = FolderWalk::displayName(DiskAccess::fileName(row.path));
    auto *item = new QListWidgetItem(icon, name, this);
    // A tooltip with tags would be rich text: the name is shown as it is.
    item->setToolTip(Qt::convertFromPlainText(name));
    m_Entries << row;
}

bool FileSystemListWidget::isImageName(const QString &name) const
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && m_ImageSuffixes.contains(name.mid(dot + 1))
        && (m_NameFilters.isEmpty() || QDir::match(m_NameFilters, FolderWalk::displayName(name)));
}

void FileSystemListWidget::slotCurrentItemChanged(const QString &path, bool)
{
    clear();
    m_Entries.clear();
    m_CurrentFolder = path;
    if (path.isEmpty())
        return;
    static const QIcon folderIcon(QStringLiteral(":/FileManager/folder.png"));
    // By raw names, so names written by another computer are listed too.
    QStringList folders;
    QStringList files;
    const QStringList names = DiskAccess::list(path);
    for (const QString &name : names) {
        const QString entry = DiskAccess::join(path, name);
        if (DiskAccess::isFolder(entry))
            folders << name;
        else if (isImageName(name))
            files << name;
    }
    folders.sort();
    files.sort();
    for (const QString &name : qAsConst(folders))
        addRow(Row{DiskAccess::join(path, name), true}, folderIcon);
    if (m_ViewType == VIEW_FILES) {
        for (const QString &name : qAsConst(files)) {
            const QString entry = DiskAccess::join(path, name);
            addRow(Row{entry, false}, imageIcon(SystemPaths::map(entry)));
        }
        if (count() > 0)
            setCurrentRow(0);
    }
    emit signalCurrentItemChanged(path);
}

bool FileSystemListWidget::open(QString &path)
{
    const int row = currentRow();
    if (row < 0 || row >= m_Entries.size()) {
        if (m_ViewType == VIEW_FOLDERS && !m_CurrentFolder.isEmpty()) {
            path = m_CurrentFolder;
            return true;
        }
        return false;
    }
    const Row entry = m_Entries.at(row);
    if (entry.folder) {
        slotCurrentItemChanged(entry.path);
        return false;
    }
    path = entry.path;
    return true;
}

bool FileSystemListWidget::createNewFolder(const QString &name)
{
    if (m_CurrentFolder.isEmpty())
        return false;
    const QString made = FolderWalk::freeName(
        name, FolderWalk::Appended, MaxNameTries, [this](const QString &candidate) {
            return ::mkdir(FolderWalk::realPath(DiskAccess::join(m_CurrentFolder, candidate))
                               .constData(),
                           0777)
                == 0;
        });
    if (made.isEmpty())
        return false;
    static const QIcon folderIcon(QStringLiteral(":/FileManager/folder.png"));
    addRow(Row{DiskAccess::join(m_CurrentFolder, made), true}, folderIcon);
    return true;
}

void FileSystemListWidget::slotItemClicked(QListWidgetItem *)
{
    QString scratch;
    open(scratch);
}
