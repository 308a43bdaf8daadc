#include "ReviewOptionsDialog.h"
#include "ui_ReviewOptionsDialog.h"

#include "PrivateProfile.h"
#include "SystemPaths.h"


ReviewOptionsDialog::ReviewOptionsDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , ui(new Ui_ReviewOptionsDialog)
{
    ui->setupUi(this);
    setFixedSize(1280, 800);
    ui->BUTTON_SCALEBAR_ENABLE->setChecked(readScaleBarEnabled());
}

ReviewOptionsDialog::~ReviewOptionsDialog()
{
    delete ui;
}

bool ReviewOptionsDialog::readScaleBarEnabled()
{
    const std::string ini = SystemPaths::settings();
    std::string value;
    ReadPrivateProfileString("Scale Bar", "Enable", "None", value, ini);
    if (value == "False")
        return false;
    if (value != "True")
        WritePrivateProfileString("Scale Bar", "Enable", "True", ini);
    return true;
}

void ReviewOptionsDialog::on_BUTTON_SCALEBAR_ENABLE_clicked(bool checked)
{
    ui->BUTTON_SCALEBAR_ENABLE->setChecked(checked);
}

void ReviewOptionsDialog::on_BUTTON_CLOSE_clicked()
{
    const bool on = ui->BUTTON_SCALEBAR_ENABLE->isChecked();
    WritePrivateProfileString("Scale Bar", "Enable", on ? "True" : "False",
                              SystemPaths::settings());
    done(on ? Accepted : Rejected);
}

void ReviewOptionsDialog::reject()
{
    // Escape (or a window close) ends the dialog like its close button: the choice on
    // show is stored, so the screens and the file never disagree.
    on_BUTTON_CLOSE_clicked();
}
