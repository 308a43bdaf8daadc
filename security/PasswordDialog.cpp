#include "PasswordDialog.h"
#include "ui_PasswordDialog.h"

#include "PasswordKeyboard.h"
#include "SecuritySettings.h"

#include <QMouseEvent>

PasswordDialog::PasswordDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
    , ui(new Ui_PasswordDialog)
{
    ui->setupUi(this);
    ui->EDIT_PASSWORD->installEventFilter(this);
    // Queued, so that the touched field has the focus before the keyboard opens.
    connect(this, &PasswordDialog::sig_showKeyboard, this, &PasswordDialog::slot_showKeyboard,
            Qt::QueuedConnection);
    PasswordKeyboard::centre(this);
}

PasswordDialog::~PasswordDialog()
{
    delete ui;
}

bool PasswordDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->EDIT_PASSWORD && event->type() == QEvent::MouseButtonPress) {
        PasswordKeyboard::touched(ui->LABEL_MESSAGE, ui->EDIT_PASSWORD);
        emit sig_showKeyboard();
    }
    return QDialog::eventFilter(watched, event);
}

void PasswordDialog::slot_showKeyboard()
{
    ui->EDIT_PASSWORD->setText(PasswordKeyboard::ask(this));
}

void PasswordDialog::on_BUTTON_OK_clicked()
{
    if (ui->EDIT_PASSWORD->text() == SecuritySettings::password()) {
        accept();
        return;
    }
    ui->LABEL_MESSAGE->setText(QStringLiteral("Incorrect password !"));
    ui->EDIT_PASSWORD->clear();
}

void PasswordDialog::on_BUTTON_CANCEL_clicked()
{
    reject();
}
