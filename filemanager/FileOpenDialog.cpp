#include "FileOpenDialog.h"

#include "ExKeyboardDialog.h"
#include "FileSystemItem.h"
#include "MessageDlg.h"
#include "ui_FileOpenDialog.h"

#include <QScrollBar>

FileOpenDialog::FileOpenDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
    , ui(new Ui_FileOpenDialog)
{
    ui->setupUi(this);
    connect(ui->DIR_VIEW_WIDGET, &FileSystemTreeWidget::signalCurrentItemChanged,
            ui->FILE_VIEW_WIDGET, &FileSystemListWidget::slotCurrentItemChanged);
    connect(ui->FILE_VIEW_WIDGET, &FileSystemListWidget::signalCurrentItemChanged, this,
            &FileOpenDialog::slotCurrentItemChanged);
    ui->DIR_VIEW_WIDGET->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: 44px; background: gray;}"));
    ui->FILE_VIEW_WIDGET->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: 44px; background: gray;}"));
    ui->DIR_VIEW_WIDGET->horizontalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:horizontal { height: 44px; background: gray;}"));
}

FileOpenDialog::~FileOpenDialog()
{
    delete ui;
}

QString FileOpenDialog::getDirectoryOpenName()
{
    ui->DIR_VIEW_WIDGET->setRegisterORBELIN(true);
    ui->DIR_VIEW_WIDGET->initialize();
    ui->FILE_VIEW_WIDGET->setViewType(FileSystemListWidget::VIEW_FOLDERS);
    exec();
    return m_Path;
}

QString FileOpenDialog::getFileOpenName()
{
    ui->DIR_VIEW_WIDGET->setRegisterORBELIN(false);
    ui->DIR_VIEW_WIDGET->initialize();
    ui->FILE_VIEW_WIDGET->setViewType(FileSystemListWidget::VIEW_FILES);
    setSuffixFilter({QStringLiteral("*.png")});
    exec();
    return m_Path;
}

void FileOpenDialog::setSuffixFilter(const QStringList &nameFilters)
{
    ui->FILE_VIEW_WIDGET->setFilter(nameFilters);
}

bool FileOpenDialog::isAcceptableFolderName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (const QChar end : {name.front(), name.back()}) {
        if (end == QLatin1Char('-') || end == QLatin1Char('.'))
            return false;
    }
    // What FAT and exFAT sticks refuse, and the path separator.
    static const QString refused = QStringLiteral("/\\:*?\"<>|");
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || refused.contains(c))
            return false;
    }
    return true;
}

void FileOpenDialog::slotCurrentItemChanged(const QString &path)
{
    QString relative = path;
    if (relative.startsWith(QLatin1String("/ORBELIN")))
        relative = relative.mid(1);
    else if (relative.startsWith(QLatin1String("/media/")))
        relative = relative.mid(7);
    const QStringList parts = relative.split(QLatin1Char('/'));

    FileSystemTreeWidget *tree = ui->DIR_VIEW_WIDGET;
    QTreeWidgetItem *target = nullptr;
    for (int i = 0; i < tree->topLevelItemCount() && !target; ++i) {
        if (tree->topLevelItem(i)->text(0) == parts.first())
            target = tree->topLevelItem(i);
    }
    if (!target)
        return;
    for (int p = 1; p < parts.size(); ++p) {
        for (int c = 0; c < target->childCount(); ++c) {
            // By the name on disk: the row's text shows foreign bytes as U+FFFD.
            const auto *node = dynamic_cast<const fs::FileSystemItem *>(target->child(c));
            if (node && node->item().name == parts.at(p)) {
                target = target->child(c);
                break;
            }
        }
    }
    if (QTreeWidgetItem *current = tree->currentItem())
        current->setSelected(false);
    tree->scrollToItem(target);
    tree->setCurrentItem(target);
    tree->expandItem(target);
}

void FileOpenDialog::on_BUTTON_OK_clicked()
{
    m_Path.clear();
    if (ui->FILE_VIEW_WIDGET->viewType() == FileSystemListWidget::VIEW_FOLDERS
        && ui->DIR_VIEW_WIDGET->hasFocus()) {
        auto *node = dynamic_cast<fs::FileSystemItem *>(ui->DIR_VIEW_WIDGET->currentItem());
        if (!node)
            return;
        m_Path = node->item().filePath;
        accept();
        return;
    }
    if (ui->FILE_VIEW_WIDGET->hasFocus()) {
        if (ui->FILE_VIEW_WIDGET->open(m_Path))
            accept();
    }
}

void FileOpenDialog::on_BUTTON_CANCEL_clicked()
{
    m_Path.clear();
    reject();
}

void FileOpenDialog::on_BUTTON_NEW_FOLDER_clicked()
{
    if (ui->FILE_VIEW_WIDGET->currentFolder().isEmpty())
        return;
    ExKeyboardDialog keyboard(this);
    if (keyboard.exec() != 1)
        return;
    const QString name = keyboard.text().trimmed();
    if (!isAcceptableFolderName(name)) {
        MessageDlg message(MSG_UNACCEPTABLE_FOLDER_NAME, this);
        message.exec();
        return;
    }
    if (!ui->FILE_VIEW_WIDGET->createNewFolder(name)) {
        MessageDlg message(this);
        message.setMessage(
            QStringLiteral("<p><b>Error!</b><br/><br/>The folder could not be made.</p>"));
        message.setMessageButtonVisibility(MSG_BUTTON_OK);
        message.exec();
    }
}
