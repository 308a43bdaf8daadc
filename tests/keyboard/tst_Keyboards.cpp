#include "ExKeyboardDialog.h"
#include "KeyboardDialog.h"
#include "ModalAnswer.h"
#include "Resources.h"
#include "Touch.h"

#include <QDateTime>
#include <QLineEdit>

namespace {

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

// The floating keyboard and the modal keyboard with a field of its own; the embedded
// keyboard frame is typed on through both and through the protocol name dialog.
class KeyboardsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    // The embedded keyboard's date-and-time key types the time to the second.
    void dateTimeKeyTypesFourteenDigits()
    {
        ExKeyboardDialog dialog;
        const QString before = QDateTime::currentDateTime().toString("yyyyMMddhhmmss");
        QCOMPARE(run(dialog, "DATETIME ENTER"), 1);
        const QString after = QDateTime::currentDateTime().toString("yyyyMMddhhmmss");
        QVERIFY2(dialog.text() == before || dialog.text() == after, qPrintable(dialog.text()));
    }

    // The floating keyboard types into a line edit; Shift stays on until touched again,
    // also over BACK SPACE; Escape closes it.
    void floatingKeyboard()
    {
        QLineEdit field;
        KeyboardDialog keyboard;
        keyboard.setObject(&field);
        keyboard.show();
        touch(&keyboard, "A SHIFT B C BACKSPACE SHIFT D BAR 1 UNDERBAR SPACE PERIOD COMMA");
        QCOMPARE(field.text(), QString("aBd-1_ .,"));
        QVERIFY(keyboard.isVisible());
        touch(&keyboard, "Escape");
        QVERIFY(!keyboard.isVisible());
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
