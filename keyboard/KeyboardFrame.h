#pragma once

#include <QFrame>
#include <QHash>
#include <QPointer>

class QAbstractButton;
class Ui_KeyboardFrame;

// The on-screen keyboard that screens and dialogs embed. Each key touch sends the target a
// key press and a key release carrying the Qt key code and no text, with the Shift modifier
// while SHIFT is on; the receiver decides what the key means for its field.
class KeyboardFrame : public QFrame
{
    Q_OBJECT

public:
    // Key code under which setEnabled() addresses the date-and-time key, which sends the
    // fourteen digits of "yyyyMMddhhmmss" rather than a code of its own.
    static constexpr int DateTimeKey = -1;

    explicit KeyboardFrame(QWidget *parent = nullptr);
    ~KeyboardFrame() override;

    void setObject(QObject *target);
    QObject *object() const { return m_Target; }

    using QWidget::setEnabled;
    // Enables or disables the key that sends the code (Qt::Key_Period, Qt::Key_Comma, ...).
    void setEnabled(int key, bool enabled);
    bool isKeyEnabled(int key) const;

    bool shiftOn() const;

    // What a key event of this keyboard stands for as a character: a letter in lower case,
    // or in upper case when Shift is held; a digit, "-", "_", " ", "." or ","; else empty.
    static QString keyText(int key, Qt::KeyboardModifiers modifiers);

private Q_SLOTS:
    void on_BUTTON_SHIFT_toggled(bool on);
    void on_BUTTON_DATETIME_clicked();

private:
    void addKey(const QString &name, int key);
    void sendKey(int key);
    QAbstractButton *button(int key) const;

    Ui_KeyboardFrame *ui;
    QPointer<QObject> m_Target;
    QHash<int, QAbstractButton *> m_Keys;
};
