#include "ExKeyboardDialog.h"
#include "KeyboardDialog.h"
#include "KeyboardFrame.h"
#include "ModalAnswer.h"
#include "Resources.h"
#include "Touch.h"

#include <QDateTime>
#include <QLineEdit>

namespace {

// Keeps the key events it is sent: "Q" for a press of Q, "/Q" for its release, "+" in
// front while Shift is held, "!" behind when the event carries text.
class KeyRecorder : public QObject
{
public:
    QStringList keys;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease)
            return QObject::event(e);
        auto *k = static_cast<QKeyEvent *>(e);
        keys << QString(e->type() == QEvent::KeyRelease ? "/" : "")
                    + (k->modifiers() & Qt::ShiftModifier ? "+" : "")
                    + QKeySequence(k->key()).toString() + (k->text().isEmpty() ? "" : "!");
        return true;
    }
};

// Touches keys of a keyboard in order: "SHIFT A 1" for BUTTON_SHIFT, BUTTON_A, BUTTON_1.
// On an attached keyboard: "Escape", "Return", and "=text" typed into its field.
void touch(QWidget *keyboard, const QString &keys)
{
    auto *field = keyboard->findChild<QLineEdit *>();
    for (const QString &name : keys.split(' ', Qt::SkipEmptyParts)) {
        if (name == "Escape")
            QTest::keyClick(keyboard, Qt::Key_Escape);
        else if (name == "Return")
            QTest::keyClick(field, Qt::Key_Return);
        else if (name.startsWith('='))
            QTest::keyClicks(field, name.mid(1));
        else
            click(keyboard, "BUTTON_" + name);
    }
}

// Runs the modal keyboard, touching the keys once it is up; returns exec()'s result.
int run(ExKeyboardDialog &dialog, const QString &keys)
{
    ModalAnswer::next([keys](QWidget *modal) { touch(modal, keys); });
    return dialog.exec();
}

} // namespace

// The three on-screen keyboards: the embedded frame, the floating dialog and the modal
// keyboard with a field of its own.
class KeyboardsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    // Each key is a press and a release with the key code, no text, Shift while it is on;
    // a disabled key sends nothing.
    void frameKeys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("disabled");
        QTest::addColumn<QString>("sent");
        QTest::newRow("letter") << "Q" << 0 << "Q /Q";
        QTest::newRow("digit with Shift") << "SHIFT 0" << 0 << "+0 /+0";
        QTest::newRow("ENTER") << "ENTER" << 0 << "Enter /Enter";
        QTest::newRow("full stop disabled") << "PERIOD X" << int(Qt::Key_Period) << "X /X";
        QTest::newRow("date and time disabled") << "DATETIME X" << int(KeyboardFrame::DateTimeKey)
                                                << "X /X";
    }
    void frameKeys()
    {
        QFETCH(QString, keys);
        QFETCH(int, disabled);
        KeyboardFrame keyboard;
        KeyRecorder target;
        keyboard.setObject(&target);
        keyboard.show();
        if (disabled)
            keyboard.setEnabled(disabled, false);
        touch(&keyboard, keys);
        QTEST(target.keys.join(' '), "sent");
    }

    void dateTimeKeySendsFourteenDigits()
    {
        KeyboardFrame keyboard;
        KeyRecorder target;
        keyboard.setObject(&target);
        keyboard.show();
        QStringList sent[2];
        for (int i = 0; i < 2; ++i) {
            for (const QChar c : QDateTime::currentDateTime().toString("yyyyMMddhhmmss"))
                sent[i] << c << "/" + QString(c);
            if (i == 0)
                touch(&keyboard, "DATETIME");
        }
        QVERIFY2(target.keys == sent[0] || target.keys == sent[1], qPrintable(target.keys.join(' ')));
    }

    // The floating keyboard types characters into a line edit and stays up while typing.
    void dialogTypesIntoField_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("open");
        QTest::newRow("letters, digits and signs") << "A B BAR 1 UNDERBAR SPACE PERIOD COMMA"
                                                   << "ab-1_ .," << true;
        QTest::newRow("Shift stays on until touched again, BACK SPACE with Shift on")
            << "A SHIFT B C BACKSPACE SHIFT D" << "aBd" << true;
        QTest::newRow("Escape closes") << "K Escape" << "k" << false;
    }
    void dialogTypesIntoField()
    {
        QFETCH(QString, keys);
        QLineEdit field;
        KeyboardDialog keyboard;
        keyboard.setObject(&field);
        keyboard.show();
        touch(&keyboard, keys);
        QTEST(field.text(), "text");
        QTEST(keyboard.isVisible(), "open");
    }

    // The modal keyboard: exec() is 1 on ENTER; a cancel empties the field first.
    void modalTyping_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("text");
        QTest::newRow("folder name") << "D A T A SPACE 2 PERIOD B UNDERBAR BAR ENTER" << 1
                                     << "data 2.b_-";
        QTest::newRow("Shift: capitals, digits unchanged") << "SHIFT M 5 SHIFT A ENTER" << 1
                                                           << "M5a";
        QTest::newRow("BACK SPACE, also on an empty field")
            << "BACKSPACE A B BACKSPACE COMMA ENTER" << 1 << "a,";
        QTest::newRow("clear key") << "A B CLEAR C ENTER" << 1 << "c";
        QTest::newRow("attached keyboard") << "=Usb.1 Return" << 1 << "Usb.1";
        QTest::newRow("close key rejects and clears") << "A B CLOSE" << 0 << "";
        QTest::newRow("Escape rejects and clears") << "A Escape" << 0 << "";
    }
    void modalTyping()
    {
        QFETCH(QString, keys);
        ExKeyboardDialog dialog;
        QTEST(run(dialog, keys), "result");
        QTEST(dialog.text(), "text");
    }

    void modalFieldHoldsAtMost45Characters()
    {
        ExKeyboardDialog dialog;
        // Four date-and-time touches send 56 digits.
        QCOMPARE(run(dialog, "DATETIME DATETIME DATETIME DATETIME X ENTER"), 1);
        QCOMPARE(dialog.text().size(), 45);
        QVERIFY(!dialog.text().contains('x'));
    }

    void modalPasswordMode()
    {
        ExKeyboardDialog dialog;
        dialog.setPasswordMode();
        QString shown;
        ModalAnswer::next([&shown](QWidget *modal) {
            touch(modal, "M A V E K");
            shown = modal->findChild<QLineEdit *>()->displayText();
            touch(modal, "DATETIME ENTER");
        });
        QCOMPARE(dialog.exec(), 1);
        QCOMPARE(shown.size(), 5);
        QVERIFY(!shown.contains("mavek"));
        QCOMPARE(dialog.text(), QString("mavek"));
    }
};

QTEST_MAIN(KeyboardsTest)
#include "tst_Keyboards.moc"
