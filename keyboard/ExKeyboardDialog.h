#pragma once

#include <QDialog>

class Ui_ExKeyboardDialog;

// The modal on-screen keyboard with a one-line field of its own (at most 45 characters).
// exec() returns 1 when the keyboard's ENTER confirms; the close key rejects and empties
// the field first, so a caller that only reads text() gets nothing from a cancel.
class ExKeyboardDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MaxLength = 45;

    explicit ExKeyboardDialog(QWidget *parent = nullptr);
    ~ExKeyboardDialog() override;

    // Password echo; the date-and-time key is of no use for a password and is disabled.
    void setPasswordMode();
    QString text() const;

public Q_SLOTS:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private Q_SLOTS:
    void on_BUTTON_CLEAR_clicked();
    void on_BUTTON_CLOSE_clicked();

private:
    Ui_ExKeyboardDialog *ui;
};
