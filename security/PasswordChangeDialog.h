#pragma once

#include <QDialog>

class Ui_PasswordChangeDialog;

// Changes the settings password: the current one, then the new one twice. Touching a
// field opens the on-screen keyboard in password mode for that field.
class PasswordChangeDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PasswordChangeDialog(QWidget *parent = nullptr);
    ~PasswordChangeDialog() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    void sig_showKeyboard();

public Q_SLOTS:
    void slot_showKeyboard();
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();

private:
    void clearAll(const QString &message);

    Ui_PasswordChangeDialog *ui;
};
