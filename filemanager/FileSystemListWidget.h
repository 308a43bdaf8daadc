#pragma once

#include <QFileInfo>
#include <QList>
#include <QListWidget>
#include <QStringList>

// The chooser's large-icon view of one folder: its subfolders, and in the files view also
// its image files. Touching a folder enters it. Paths in and out are instrument paths.
class FileSystemListWidget : public QListWidget
{
    Q_OBJECT

public:
    enum EViewType {
        VIEW_FILES = 0,     // folders and image files
        VIEW_FOLDERS = 1,   // folders only
    };

    explicit FileSystemListWidget(QWidget *parent = nullptr);

    void setViewType(EViewType type) { m_ViewType = type; }
    EViewType viewType() const { return m_ViewType; }
    void setFilter(const QStringList &nameFilters) { m_NameFilters = nameFilters; }
    QString currentFolder() const { return m_CurrentFolder; }
    // The instrument path a row stands for.
    QString pathOf(int row) const;

    bool open(QString &path);
    // Makes the folder in the current folder, numbered "name(1)", "name(2)", ... when the
    // name is taken; false when none could be made.
    bool createNewFolder(const QString &name);

    static constexpr int MaxNameTries = 1000;
    // Images larger than this are shown with the file icon instead of being decoded.
    static constexpr qint64 MaxIconPixels = 40LL * 1000 * 1000;

public Q_SLOTS:
    void slotCurrentItemChanged(const QString &path, bool isChild = false);
    void slotItemClicked(QListWidgetItem *item);

Q_SIGNALS:
    void signalCurrentItemChanged(const QString &path);

private:
    struct Row
    {
        QString path;               // instrument path
        bool folder = false;
    };

    void addRow(const Row &row, const QIcon &icon);
    bool isImageName(const QString &name) const;

    QStringList m_NameFilters;
    QStringList m_ImageSuffixes;
    QList<Row> m_Entries;           // one per row
    EViewType m_ViewType;
    QString m_CurrentFolder;
};
