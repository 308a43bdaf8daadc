#pragma once

#include "MessageType.h"

#include <QDialog>

class QTimer;
class Ui_MessageDlg;

// The modal, frameless message box used for every error, question and notice.
// exec() returns 1 for OK and SKIP, 0 for CANCEL; pressedType() tells which.
class MessageDlg : public QDialog
{
    Q_OBJECT

public:
    explicit MessageDlg(QWidget *parent = nullptr);
    MessageDlg(MessageType type, QWidget *parent = nullptr);
    ~MessageDlg() override;

    // Auto: a text with tags is rich text. A text holding a name (a path, a label) is given
    // as Qt::PlainText, so that "run<br>other" shows as it is named.
    void setMessage(const QString &text, Qt::TextFormat format = Qt::AutoText);
    void setMessageButtonVisibility(MessageButtonVisibility visibility);
    void setMessageType(MessageType type);

    QString message() const;
    MessageButtonVisibility buttonVisibility() const { return m_Visibility; }
    int pressedType() const { return m_Pressed; }

    // The fixed text and button set of a numbered message; false for an unknown number.
    static bool lookup(MessageType type, QString *text, MessageButtonVisibility *visibility);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void reject() override;

private Q_SLOTS:
    void on_BUTTON_OK_clicked();
    void on_BUTTON_SKIP_clicked();
    void on_BUTTON_CANCEL_clicked();
    void slotAnimate();

private:
    void init();

    Ui_MessageDlg *ui;
    MessageButtonVisibility m_Visibility = MSG_BUTTON_OK_CANCEL;
    int m_Pressed = MSG_PRESSED_CANCEL;
    QString m_Text;
    bool m_Busy = false;
    int m_Dots = 0;
    QTimer *m_RaiseTimer;
    QTimer *m_BusyTimer;
};
