#include "CountingOptionsDialog.h"
#include "ui_CountingOptionsDialog.h"

#include "PrivateProfile.h"
#include "SystemPaths.h"

namespace {

const char Section[] = "Counting options";

// The key's value when it is one of the two known ones; otherwise the default, written back.
std::string readChoice(const char *key, const char *on, const char *off, const char *fallback)
{
    const std::string ini = SystemPaths::settings();
    std::string value;
    const bool found = ReadPrivateProfileString(Section, key, fallback, value, ini);
    if (!found || (value != on && value != off)) {
        value = fallback;
        WritePrivateProfileString(Section, key, value, ini);
    }
    return value;
}

} // namespace

CountingOptions CountingOptions::read()
{
    CountingOptions options;
    const std::string ini = SystemPaths::settings();
    std::string value;
    const bool found = ReadPrivateProfileString(Section, "Counting field", "10", value, ini);
    bool ok = false;
    const int fields = QString::fromStdString(value).toInt(&ok);
    if (!found || !ok || fields < 1 || fields > 20)
        WritePrivateProfileString(Section, "Counting field", "10", ini);
    else
        options.countingField = fields;
    options.autofocusEveryField = readChoice("Autofocus", "1", "0", "1") == "1";
    options.ejectOn = readChoice("Eject on", "yes", "no", "no") == "yes";
    return options;
}

void CountingOptions::write() const
{
    const std::string ini = SystemPaths::settings();
    WritePrivateProfileString(Section, "Counting field", std::to_string(countingField), ini);
    WritePrivateProfileString(Section, "Autofocus", autofocusEveryField ? "1" : "0", ini);
    WritePrivateProfileString(Section, "Eject on", ejectOn ? "yes" : "no", ini);
}

CountingOptionsDialog::CountingOptionsDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , ui(new Ui_CountingOptionsDialog)
{
    ui->setupUi(this);
    setFixedSize(1280, 800);
    const CountingOptions options = CountingOptions::read();
    ui->LABEL_COUNTING_FIELD_VALUE->setText(QString::number(options.countingField));
    ui->BUTTON_AUTOFOCUS_EVERY->setChecked(options.autofocusEveryField);
    ui->BUTTON_AUTOFOCUS_FIRST->setChecked(!options.autofocusEveryField);
    ui->BUTTON_EJECT_ON->setChecked(options.ejectOn);
}

CountingOptionsDialog::~CountingOptionsDialog()
{
    delete ui;
}

void CountingOptionsDialog::on_BUTTON_CLOSE_clicked()
{
    CountingOptions options = CountingOptions::read();
    options.autofocusEveryField = ui->BUTTON_AUTOFOCUS_EVERY->isChecked();
    options.ejectOn = ui->BUTTON_EJECT_ON->isChecked();
    options.write();
    accept();
}
