#include "ExKeyboardDialog.h"
#include "ui_ExKeyboardDialog.h"

#include "KeyboardFrame.h"

#include <QKeyEvent>

ExKeyboardDialog::ExKeyboardDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
    , ui(new Ui_ExKeyboardDialog)
{
    ui->setupUi(this);
    setModal(true);
    ui->EDIT_TEXT->setMaxLength(MaxLength);
    ui->Keyboard->setObject(this);
    ui->EDIT_TEXT->setFocus();
}

ExKeyboardDialog::~ExKeyboardDialog()
{
    delete ui;
}

void ExKeyboardDialog::setPasswordMode()
{
    ui->EDIT_TEXT->setEchoMode(QLineEdit::Password);
    ui->Keyboard->setEnabled(KeyboardFrame::DateTimeKey, false);
}

QString ExKeyboardDialog::text() const
{
    return ui->EDIT_TEXT->text();
}

void ExKeyboardDialog::reject()
{
    ui->EDIT_TEXT->clear();
    QDialog::reject();
}

void ExKeyboardDialog::keyPressEvent(QKeyEvent *event)
{
    // Also reached by Return from an attached keyboard, which the field passes on.
    switch (event->key()) {
    case Qt::Key_Enter:
    case Qt::Key_Return:
        accept();
        return;
    case Qt::Key_Escape:
        reject();
        return;
    case Qt::Key_Backspace:
        ui->EDIT_TEXT->backspace();
        return;
    default:
        break;
    }
    // Typing goes in at the cursor; insert() keeps the field's length limit.
    const QString text = KeyboardFrame::keyText(event->key(), event->modifiers());
    if (!text.isEmpty())
        ui->EDIT_TEXT->insert(text);
}

void ExKeyboardDialog::on_BUTTON_CLEAR_clicked()
{
    ui->EDIT_TEXT->clear();
}

void ExKeyboardDialog::on_BUTTON_CLOSE_clicked()
{
    reject();
}
