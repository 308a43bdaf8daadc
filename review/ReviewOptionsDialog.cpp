#include "ReviewOptionsDialog.h"
#include "ui_ReviewOptionsDialog.h"

#include "PrivateProfile.h"
#include "SystemPaths.h"

#include <QDebug>

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
    // Escape or a window close: nothing is written, so the result must tell what the file
    // still says, or the screens would hide a scale bar that stays enabled.
    const bool on = readScaleBarEnabled();
    qDebug() << Q_FUNC_INFO << "closed without saving; scale bar" << on;
    done(on ? Accepted : Rejected);
}
