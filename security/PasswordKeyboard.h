#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

// What the two password dialogs share: a touched field is emptied for new input, and the
// on-screen keyboard in password mode gives the text for it.
class PasswordKeyboard
{
public:
    // Clears the message and the field and gives the field the focus.
    static void touched(QLabel *message, QLineEdit *field);
    // Runs the keyboard centred on the screen; its text (empty when it was closed).
    static QString ask(QWidget *parent);
    // Moves a dialog to the centre of the screen.
    static void centre(QWidget *dialog);
};
