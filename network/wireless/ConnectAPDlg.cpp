#include "ConnectAPDlg.h"
#include "ui_ConnectAPDlg.h"

#include <QEvent>

namespace {
const char Placeholder[] = "Press me!";
}

ConnectAPDlg::ConnectAPDlg(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , ui(new Ui_ConnectAPDlg)
{
    ui->setupUi(this);
    clearKey();
    ui->EDIT_PASSWORD->installEventFilter(this);
}

ConnectAPDlg::~ConnectAPDlg()
{
    delete ui;
}

void ConnectAPDlg::setFocusPwd()
{
    ui->EDIT_PASSWORD->setFocus();
}

QString ConnectAPDlg::password() const
{
    return ui->EDIT_PASSWORD->text();
}

QWidget *ConnectAPDlg::passwordObject()
{
    return ui->EDIT_PASSWORD;
}

void ConnectAPDlg::setMismatchPassword(bool mismatch)
{
    if (mismatch)
        ui->LABEL_MESSAGE->setText(QStringLiteral("Password incorrect"));
    ui->LABEL_MESSAGE->setVisible(mismatch);
}

void ConnectAPDlg::clearKey()
{
    ui->LABEL_MESSAGE->hide();
    ui->EDIT_PASSWORD->clear();
    ui->EDIT_PASSWORD->setPlaceholderText(QString::fromLatin1(Placeholder));
}

void ConnectAPDlg::cancel()
{
    clearKey();
    emit signalCancel();
    QDialog::reject();
}

void ConnectAPDlg::reject()
{
    cancel();
}

void ConnectAPDlg::on_BUTTON_OK_clicked()
{
    emit signalSetPassword(ui->EDIT_PASSWORD->text());
    accept();
}

void ConnectAPDlg::on_EDIT_PASSWORD_returnPressed()
{
    on_BUTTON_OK_clicked();
}

void ConnectAPDlg::on_BUTTON_CANCEL_clicked()
{
    cancel();
}

bool ConnectAPDlg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->EDIT_PASSWORD && event->type() == QEvent::MouseButtonPress) {
        ui->EDIT_PASSWORD->setPlaceholderText(QString());
        ui->EDIT_PASSWORD->end(false);
        emit signalShowKeyboard();
        return false;
    }
    return QDialog::eventFilter(watched, event);
}
