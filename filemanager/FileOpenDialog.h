#pragma once

#include <QDialog>
#include <QString>

class Ui_FileOpenDialog;

// The touch chooser for a folder (internal data folders and USB sticks) or a PNG file
// (USB sticks only): a folder tree, a large-icon list of the chosen folder, OK, CANCEL and
// a new-folder button. The entry points return an instrument path, empty when nothing was
// chosen.
class FileOpenDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FileOpenDialog(QWidget *parent = nullptr);
    ~FileOpenDialog() override;

    QString getDirectoryOpenName();
    QString getFileOpenName();
    void setSuffixFilter(const QStringList &nameFilters);

    // A name for a new folder: not empty, not beginning or ending with "-" or ".", and
    // without "/" or characters a USB stick's file system refuses.
    static bool isAcceptableFolderName(const QString &name);

public Q_SLOTS:
    void slotCurrentItemChanged(const QString &path);

private Q_SLOTS:
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();
    void on_BUTTON_NEW_FOLDER_clicked();

private:
    QString m_Path;
    Ui_FileOpenDialog *ui;
};
