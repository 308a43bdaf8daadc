#pragma once

#include <QDialog>

class Ui_SecurityOptionsDialog;

// Switches security mode on and off, each way behind the settings password, and leads to
// the password change. Closing writes the state and carries it in the result: accepted
// when security mode is on. However the dialog is closed, the mode it reports is one
// that was reached through the password.
class SecurityOptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SecurityOptionsDialog(QWidget *parent = nullptr);
    ~SecurityOptionsDialog() override;

    bool securityEnabled() const { return m_Enabled; }
    void setSecurityStatusUI(bool on);

public Q_SLOTS:
    void on_BUTTON_SECURITY_ENABLE_clicked();
    void on_BUTTON_PASSWORD_CHANGE_clicked();
    void on_BUTTON_CLOSE_clicked();
    // Escape or a window close: the same as BUTTON_CLOSE.
    void reject() override;

private:
    Ui_SecurityOptionsDialog *ui;
    bool m_Enabled = false;
};
