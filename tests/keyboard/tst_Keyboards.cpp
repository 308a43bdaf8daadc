#include "ExKeyboardDialog.h"
#include "KeyboardDialog.h"
#include "KeyboardFrame.h"
#include "ModalAnswer.h"
#include "Resources.h"

#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

// A key-event target that keeps every key press and release it is sent.
class KeyRecorder : public QObject
{
public:
    struct Key
    {
        QEvent::Type type;
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
    };
    QList<Key> keys;

    // The key codes of the presses, as characters ("AB-1").
    QString pressed() const
    {
        QString codes;
        for (const Key &k : keys) {
            if (k.type == QEvent::KeyPress)
                codes += QChar(k.key);
        }
        return codes;
    }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease)
            return QObject::event(e);
        auto *k = static_cast<QKeyEvent *>(e);
        keys << Key{k->type(), k->key(), k->modifiers(), k->text()};
        return true;
    }
};

// Touches keys of a keyboard in order: "SHIFT A 1" for BUTTON_SHIFT, BUTTON_A, BUTTON_1;
// "Escape" is the attached keyboard's Escape key.
void touch(QWidget *keyboard, const QString &keys)
{
    for (const QString &name : keys.split(' ', Qt::SkipEmptyParts)) {
        if (name == "Escape") {
            QTest::keyClick(keyboard, Qt::Key_Escape);
            continue;
        }
        auto *key = keyboard->findChild<QPushButton *>("BUTTON_" + name);
        QVERIFY2(key, qPrintable(name));
        QTest::mouseClick(key, Qt::LeftButton);
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

    // Each key is a press and a release with the key code, no text, Shift while it is on.
    void frameKeys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("shift");
        QTest::newRow("letter") << "Q" << int(Qt::Key_Q) << false;
        QTest::newRow("letter with Shift") << "SHIFT Q" << int(Qt::Key_Q) << true;
        QTest::newRow("digit with Shift") << "SHIFT 0" << int(Qt::Key_0) << true;
        QTest::newRow("ENTER") << "ENTER" << int(Qt::Key_Enter) << false;
    }
    void frameKeys()
    {
        QFETCH(QString, keys);
        QFETCH(int, key);
        QFETCH(bool, shift);
        KeyboardFrame keyboard;
        KeyRecorder target;
        keyboard.setObject(&target);
        keyboard.show();
        touch(&keyboard, keys);
        QCOMPARE(target.keys.size(), 2);
        QCOMPARE(target.keys.at(0).type, QEvent::KeyPress);
        QCOMPARE(target.keys.at(1).type, QEvent::KeyRelease);
        for (const KeyRecorder::Key &k : qAsConst(target.keys)) {
            QCOMPARE(k.key, key);
            QCOMPARE(k.modifiers, Qt::KeyboardModifiers(shift ? Qt::ShiftModifier : Qt::NoModifier));
            QVERIFY(k.text.isEmpty());
        }
    }

    void dateTimeKeySendsFourteenDigits()
    {
        KeyboardFrame keyboard;
        KeyRecorder target;
        keyboard.setObject(&target);
        keyboard.show();
        const QString format = QStringLiteral("yyyyMMddhhmmss");
        const QString before = QDateTime::currentDateTime().toString(format);
        touch(&keyboard, "DATETIME");
        const QString after = QDateTime::currentDateTime().toString(format);
        QCOMPARE(target.keys.size(), 28);
        QVERIFY2(target.pressed() == before || target.pressed() == after,
                 qPrintable(target.pressed()));
        QCOMPARE(target.keys.at(27).type, QEvent::KeyRelease);
    }

    void disabledKeySendsNothing_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("button");
        QTest::newRow("full stop") << int(Qt::Key_Period) << "PERIOD";
        QTest::newRow("date and time") << int(KeyboardFrame::DateTimeKey) << "DATETIME";
    }
    void disabledKeySendsNothing()
    {
        QFETCH(int, key);
        QFETCH(QString, button);
        KeyboardFrame keyboard;
        KeyRecorder target;
        keyboard.setObject(&target);
        keyboard.show();
        keyboard.setEnabled(key, false);
        touch(&keyboard, button + " X");
        QCOMPARE(target.pressed(), QString("X"));
        keyboard.setEnabled(key, true);
        touch(&keyboard, button);
        QVERIFY(target.keys.size() > 2);
    }

    // The floating keyboard types characters into a line edit and stays up while typing.
    void dialogTypesIntoField_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("returns");
        QTest::addColumn<int>("result");     // -1: still open
        QTest::newRow("letters, digits and signs") << "A B BAR 1 UNDERBAR SPACE PERIOD COMMA"
                                                   << "ab-1_ .," << 0 << -1;
        QTest::newRow("Shift stays on until touched again, BACK SPACE with Shift on")
            << "A SHIFT B C BACKSPACE SHIFT D" << "aBd" << 0 << -1;
        QTest::newRow("ENTER passed on, then closes") << "K ENTER" << "k" << 1
                                                      << int(QDialog::Accepted);
        QTest::newRow("close key sends nothing") << "K CLOSE" << "k" << 0
                                                 << int(QDialog::Rejected);
        QTest::newRow("Escape closes") << "K Escape" << "k" << 0 << int(QDialog::Rejected);
    }
    void dialogTypesIntoField()
    {
        QFETCH(QString, keys);
        QFETCH(int, result);
        QLineEdit field;
        QSignalSpy returned(&field, &QLineEdit::returnPressed);
        KeyboardDialog keyboard;
        keyboard.setObject(&field);
        keyboard.show();
        touch(&keyboard, keys);
        QTEST(field.text(), "text");
        QTEST(int(returned.count()), "returns");
        QCOMPARE(keyboard.isVisible(), result == -1);
        if (result != -1)
            QCOMPARE(keyboard.result(), result);
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
        QTest::newRow("ENTER on an empty field") << "ENTER" << 1 << "";
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

    void modalAttachedKeyboardTypesAndConfirms()
    {
        ExKeyboardDialog dialog;
        ModalAnswer::next([](QWidget *modal) {
            QTest::keyClicks(modal->findChild<QLineEdit *>("EDIT_TEXT"), "Usb.1");
            QTest::keyClick(modal->findChild<QLineEdit *>("EDIT_TEXT"), Qt::Key_Return);
        });
        QCOMPARE(dialog.exec(), 1);
        QCOMPARE(dialog.text(), QString("Usb.1"));
    }

    void modalPasswordMode()
    {
        ExKeyboardDialog dialog;
        dialog.setPasswordMode();
        ModalAnswer::next([](QWidget *modal) {
            touch(modal, "M A V E K");
            const QString shown = modal->findChild<QLineEdit *>("EDIT_TEXT")->displayText();
            QCOMPARE(shown.size(), 5);
            QVERIFY(!shown.contains("mavek"));
            touch(modal, "DATETIME ENTER");
        });
        QCOMPARE(dialog.exec(), 1);
        QCOMPARE(dialog.text(), QString("mavek"));
    }
};

QTEST_MAIN(KeyboardsTest)
#include "tst_Keyboards.moc"
