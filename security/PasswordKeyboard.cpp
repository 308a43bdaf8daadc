#include "PasswordKeyboard.h"

#include "ExKeyboardDialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

void PasswordKeyboard::touched(QLabel *message, QLineEdit *field)
{
    message->clear();
    field->clear();
    field->window()->activateWindow();
    field->setFocus(Qt::MouseFocusReason);
}

QString PasswordKeyboard::ask(QWidget *parent)
{
    ExKeyboardDialog keyboard(parent);
    keyboard.setPasswordMode();
    centre(&keyboard);
    keyboard.exec();
    return keyboard.text();
}

void PasswordKeyboard::centre(QWidget *dialog)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        dialog->move(screen->geometry().center() - dialog->rect().center());
}
