#pragma once

#include "ModalAnswer.h"
#include "PrivateProfile.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <memory>

// Shared by the security tests: the settings keys, and the on-screen keyboard typed on
// key by key as the operator does.
namespace SecurityTest {

inline QString stored(const char *key)
{
    std::string value;
    ReadPrivateProfileString("Security", key, "<missing>", value, "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
    return QString::fromStdString(value);
}

inline void store(const char *key, const QString &value)
{
    WritePrivateProfileString("Security", key, value.toStdString(), "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
}

inline void click(QWidget *dialog, const char *name)
{
    QTest::mouseClick(dialog->findChild<QAbstractButton *>(name), Qt::LeftButton);
}

inline QString message(QWidget *dialog)
{
    return dialog->findChild<QLabel *>("LABEL_MESSAGE")->text();
}

// Answers the next keyboard: letters and digits on its keys (Shift for capitals), then
// ENTER; with close set, the close key instead of ENTER. The flag returned is set once
// the keyboard has been answered.
inline std::shared_ptr<bool> typeOnNextKeyboard(const QString &text, bool close = false,
                                                bool *passwordMode = nullptr)
{
    auto answered = std::make_shared<bool>(false);
    ModalAnswer::next([=](QWidget *keyboard) {
        if (passwordMode) {
            auto *field = keyboard->findChild<QLineEdit *>("EDIT_TEXT");
            *passwordMode = field && field->echoMode() == QLineEdit::Password;
        }
        for (const QChar c : text) {
            const bool capital = c.isUpper();
            if (capital)
                click(keyboard, "BUTTON_SHIFT");
            click(keyboard, qPrintable(QStringLiteral("BUTTON_") + c.toUpper()));
            if (capital)
                click(keyboard, "BUTTON_SHIFT");
        }
        click(keyboard, close ? "BUTTON_CLOSE" : "BUTTON_ENTER");
        *answered = true;
    });
    return answered;
}

} // namespace SecurityTest
