#pragma once

#include <QDialog>

class Ui_PasswordDialog;

// Asks for the settings password; accepted only when it is typed right. Touching the
// field opens the on-screen keyboard in password mode.
class PasswordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PasswordDialog(QWidget *parent = nullptr);
    ~PasswordDialog() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    void sig_showKeyboard();

public Q_SLOTS:
    void slot_showKeyboard();
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();

private:
    Ui_PasswordDialog *ui;
};
