#include "SaveOptionsDialog.h"
#include "ui_SaveOptionsDialog.h"

#include "PrivateProfile.h"
#include "SystemPaths.h"

namespace {

const char Section[] = "Save options";

bool readSwitch(const char *key)
{
    const std::string ini = SystemPaths::settings();
    std::string value;
    const bool found = ReadPrivateProfileString(Section, key, "On", value, ini);
    if (found && value == "Off")
        return false;
    if (!found || value != "On")
        WritePrivateProfileString(Section, key, "On", ini);
    return true;
}

void writeSwitch(const char *key, bool on)
{
    WritePrivateProfileString(Section, key, on ? "On" : "Off", SystemPaths::settings());
}

} // namespace

SaveOptions SaveOptions::read()
{
    SaveOptions options;
    options.analysedImages = readSwitch("Analysed images");
    options.rawImages = readSwitch("Raw images");
    options.report = readSwitch("Report");
    options.csv = readSwitch("CSV");
    return options;
}

void SaveOptions::write() const
{
    writeSwitch("Analysed images", analysedImages);
    writeSwitch("Raw images", rawImages);
    writeSwitch("Report", report);
    writeSwitch("CSV", csv);
}

SaveOptionsDialog::SaveOptionsDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , ui(new Ui_SaveOptionsDialog)
{
    ui->setupUi(this);
    setFixedSize(1280, 800);
    const SaveOptions options = SaveOptions::read();
    ui->BUTTON_ANALYSED_IMAGES->setChecked(options.analysedImages);
    ui->BUTTON_RAW_IMAGES->setChecked(options.rawImages);
    ui->BUTTON_REPORT->setChecked(options.report);
    ui->BUTTON_CSV->setChecked(options.csv);
}

SaveOptionsDialog::~SaveOptionsDialog()
{
    delete ui;
}

void SaveOptionsDialog::on_BUTTON_CLOSE_clicked()
{
    SaveOptions options;
    options.analysedImages = ui->BUTTON_ANALYSED_IMAGES->isChecked();
    options.rawImages = ui->BUTTON_RAW_IMAGES->isChecked();
    options.report = ui->BUTTON_REPORT->isChecked();
    options.csv = ui->BUTTON_CSV->isChecked();
    options.write();
    accept();
}
