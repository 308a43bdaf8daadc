#include "SecurityOptionsDialog.h"
#include "ui_SecurityOptionsDialog.h"

#include "PasswordChangeDialog.h"
#include "PasswordDialog.h"
#include "SecuritySettings.h"

namespace {

const char ImageFolder[] = ":/SettingsMenu/Security Options/Security Options/";

} // namespace

SecurityOptionsDialog::SecurityOptionsDialog(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , ui(new Ui_SecurityOptionsDialog)
{
    ui->setupUi(this);
    setFixedSize(1280, 800);
    m_Enabled = SecuritySettings::enabled();
    setSecurityStatusUI(m_Enabled);
}

SecurityOptionsDialog::~SecurityOptionsDialog()
{
    delete ui;
}

void SecurityOptionsDialog::setSecurityStatusUI(bool on)
{
    const QString state = on ? QStringLiteral("on") : QStringLiteral("off");
    ui->BUTTON_SECURITY_ENABLE->setStyleSheet(
        QStringLiteral("QPushButton { border: none; border-image: url(\"%1%2_checked.png\"); }\n"
                       "QPushButton:pressed { border-image: url(\"%1%2_pressed.png\"); }")
            .arg(QLatin1String(ImageFolder), state));
}

void SecurityOptionsDialog::on_BUTTON_SECURITY_ENABLE_clicked()
{
    PasswordDialog password;
    if (password.exec() != QDialog::Accepted)
        return;
    m_Enabled = !m_Enabled;
    setSecurityStatusUI(m_Enabled);
}

void SecurityOptionsDialog::on_BUTTON_PASSWORD_CHANGE_clicked()
{
    PasswordChangeDialog change;
    change.exec();
}

void SecurityOptionsDialog::on_BUTTON_CLOSE_clicked()
{
    SecuritySettings::setEnabled(m_Enabled);
    done(m_Enabled ? Accepted : Rejected);
}

void SecurityOptionsDialog::reject()
{
    // Ends like BUTTON_CLOSE: a plain reject would report security mode off and unlock the
    // screens without the password.
    on_BUTTON_CLOSE_clicked();
}
