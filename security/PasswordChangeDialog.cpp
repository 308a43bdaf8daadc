#include "PasswordChangeDialog.h"
#include "ui_PasswordChangeDialog.h"

#include "PasswordKeyboard.h"
#include "SecuritySettings.h"

#include <QMouseEvent>

PasswordChangeDialog::PasswordChangeDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
    , ui(new Ui_PasswordChangeDialog)
{
    ui->setupUi(this);
    for (QLineEdit *edit : {ui->EDIT_PASSWORD, ui->EDIT_NEW, ui->EDIT_CONFIRM})
        edit->installEventFilter(this);
    // Queued, so that the touched field has the focus before the keyboard opens.
    connect(this, &PasswordChangeDialog::sig_showKeyboard, this,
            &PasswordChangeDialog::slot_showKeyboard, Qt::QueuedConnection);
    PasswordKeyboard::centre(this);
}

PasswordChangeDialog::~PasswordChangeDialog()
{
    delete ui;
}

bool PasswordChangeDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress
        && (watched == ui->EDIT_PASSWORD || watched == ui->EDIT_NEW || watched == ui->EDIT_CONFIRM)) {
        PasswordKeyboard::touched(ui->LABEL_MESSAGE, static_cast<QLineEdit *>(watched));
        emit sig_showKeyboard();
    }
    return QDialog::eventFilter(watched, event);
}

void PasswordChangeDialog::slot_showKeyboard()
{
    const QString text = PasswordKeyboard::ask(this);
    QWidget *focus = focusWidget();
    for (QLineEdit *edit : {ui->EDIT_PASSWORD, ui->EDIT_NEW, ui->EDIT_CONFIRM}) {
        if (focus == edit)
            edit->setText(text);
    }
}

void PasswordChangeDialog::clearAll(const QString &message)
{
    ui->LABEL_MESSAGE->setText(message);
    ui->EDIT_PASSWORD->clear();
    ui->EDIT_NEW->clear();
    ui->EDIT_CONFIRM->clear();
}

void PasswordChangeDialog::on_BUTTON_OK_clicked()
{
    if (ui->EDIT_PASSWORD->text() != SecuritySettings::password()) {
        clearAll(QStringLiteral("Incorrect password !"));
        return;
    }
    if (ui->EDIT_NEW->text() != ui->EDIT_CONFIRM->text()) {
        clearAll(QStringLiteral("Check new password !"));
        return;
    }
    SecuritySettings::setPassword(ui->EDIT_NEW->text());
    accept();
}

void PasswordChangeDialog::on_BUTTON_CANCEL_clicked()
{
    reject();
}
