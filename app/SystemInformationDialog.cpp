#include "SystemInformationDialog.h"
#include "ui_SystemInformationDialog.h"

SystemInformationDialog::SystemInformationDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
    , ui(new Ui_SystemInformationDialog)
{
    ui->setupUi(this);
    setModal(true);
}

SystemInformationDialog::~SystemInformationDialog()
{
    delete ui;
}

void SystemInformationDialog::setSoftwareVersion(const QString &version)
{
    ui->LABEL_SOFTWARE_VERSION->setText(version);
}

QString SystemInformationDialog::softwareVersion() const
{
    return ui->LABEL_SOFTWARE_VERSION->text();
}

void SystemInformationDialog::on_BUTTON_OK_clicked()
{
    accept();
}
