#pragma once

#include <QDialog>
#include <QPointer>

class Ui_KeyboardDialog;

// The floating on-screen keyboard: a frameless tool window that stays on top and takes no
// focus, so the field it types into keeps it. Its keys reach the target as key events that
// carry their character, which is what line edits insert. ENTER is passed on and then
// closes the keyboard; so does the close key, without passing anything on.
class KeyboardDialog : public QDialog
{
    Q_OBJECT

public:
    explicit KeyboardDialog(QWidget *parent = nullptr);
    ~KeyboardDialog() override;

    void setObject(QObject *target);
    QObject *object() const { return m_Target; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private Q_SLOTS:
    void on_BUTTON_CLOSE_clicked();

private:
    void forward(QKeyEvent *event);

    Ui_KeyboardDialog *ui;
    QPointer<QObject> m_Target;
};
