#pragma once

#include <QDialog>

class Ui_ConnectAPDlg;

// The small frameless dialog in which the user types the key of a secured Wi-Fi network.
// It hands the key, or a cancel, on through its signals and never judges the key itself.
// Every way of closing it other than OK (CANCEL, Escape, a close request) is a cancel.
class ConnectAPDlg : public QDialog
{
    Q_OBJECT

public:
    explicit ConnectAPDlg(QWidget *parent = nullptr);
    ~ConnectAPDlg() override;

    void setFocusPwd();
    QString password() const;
    QWidget *passwordObject();
    void setMismatchPassword(bool mismatch);
    // Empties the key and hides the mismatch text. A new connection run starts so, and a key
    // asked again within a run keeps the key typed before.
    void clearKey();
    // Empties the key, hides the mismatch text, emits signalCancel() and closes.
    void cancel();

Q_SIGNALS:
    void signalSetPassword(const QString &key);
    void signalCancel();
    void signalShowKeyboard();

public Q_SLOTS:
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();
    void on_EDIT_PASSWORD_returnPressed();

private:
    Ui_ConnectAPDlg *ui;
};
