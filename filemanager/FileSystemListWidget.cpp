#include "FileSystemListWidget.h"

#include "DiskAccess.h"
#include "SystemPaths.h"

#include <QDir>
#include <QIcon>
#include <QImageReader>
#include <QTextDocument>

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
    return SystemPaths::unmap(m_Entries.at(row).filePath());
}

void FileSystemListWidget::addRow(const QFileInfo &entry, const QIcon &icon)
{
    auto *row = new QListWidgetItem(icon, entry.fileName(), this);
    // A tooltip with tags would be rich text: the name is shown as it is.
    row->setToolTip(Qt::convertFromPlainText(entry.fileName()));
    m_Entries << entry;
}

void FileSystemListWidget::slotCurrentItemChanged(const QString &path, bool)
{
    clear();
    m_Entries.clear();
    m_CurrentFolder = path;
    if (path.isEmpty())
        return;
    static const QIcon folderIcon(QStringLiteral(":/FileManager/folder.png"));
    const QDir dir(SystemPaths::map(path));
    const QFileInfoList folders = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &folder : folders)
        addRow(folder, folderIcon);
    if (m_ViewType == VIEW_FILES) {
        const QFileInfoList files = dir.entryInfoList(m_NameFilters, QDir::Files, QDir::Name);
        for (const QFileInfo &file : files) {
            if (file.isFile() && m_ImageSuffixes.contains(file.suffix()))
                addRow(file, imageIcon(file.filePath()));
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
    const QFileInfo entry = m_Entries.at(row);
    if (entry.isDir()) {
        slotCurrentItemChanged(SystemPaths::unmap(entry.filePath()));
        return false;
    }
    path = SystemPaths::unmap(entry.filePath());
    return true;
}

bool FileSystemListWidget::createNewFolder(const QString &name)
{
    if (m_CurrentFolder.isEmpty())
        return false;
    for (int n = 0; n <= MaxNameTries; ++n) {
        const QString candidate =
            n == 0 ? name : QStringLiteral("%1(%2)").arg(name, QString::number(n));
        const QString real = SystemPaths::map(DiskAccess::join(m_CurrentFolder, candidate));
        if (QDir().mkdir(real)) {
            static const QIcon folderIcon(QStringLiteral(":/FileManager/folder.png"));
            addRow(QFileInfo(real), folderIcon);
            return true;
        }
    }
    return false;
}

void FileSystemListWidget::slotItemClicked(QListWidgetItem *)
{
    QString scratch;
    open(scratch);
}
