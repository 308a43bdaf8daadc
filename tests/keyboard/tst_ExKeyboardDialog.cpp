#include "ExKeyboardDialog.h"
#include "KeyboardTest.h"
#include "ModalAnswer.h"
#include "Resources.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class ExKeyboardDialogTest : public QObject
{
    Q_OBJECT

private:
    // Runs the dialog, touching the keys once it is up; returns exec()'s result.
    static int run(ExKeyboardDialog &dialog, const QStringList &keys)
    {
        ModalAnswer::next([keys](QWidget *modal) { touchKeys(modal, keys); });
        return dialog.exec();
    }

    static QLineEdit *field(ExKeyboardDialog &dialog)
    {
        return dialog.findChild<QLineEdit *>("EDIT_TEXT");
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void typing_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("text");
        QTest::newRow("folder name")
            << QStringList{"BUTTON_D", "BUTTON_A", "BUTTON_T", "BUTTON_A", "BUTTON_SPACE",
                           "BUTTON_2", "BUTTON_PERIOD", "BUTTON_B", "BUTTON_UNDERBAR",
                           "BUTTON_BAR"}
            << "data 2.b_-";
        QTest::newRow("Shift gives upper case")
            << QStringList{"BUTTON_SHIFT", "BUTTON_M", "BUTTON_SHIFT", "BUTTON_A"} << "Ma";
        QTest::newRow("BACK SPACE removes the last character")
            << QStringList{"BUTTON_A", "BUTTON_B", "BUTTON_BACKSPACE", "BUTTON_COMMA"} << "a,";
        QTest::newRow("BACK SPACE on an empty field")
            << QStringList{"BUTTON_BACKSPACE", "BUTTON_Z"} << "z";
        QTest::newRow("clear button empties the field")
            << QStringList{"BUTTON_A", "BUTTON_B", "BUTTON_CLEAR", "BUTTON_C"} << "c";
    }

    void typing()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, text);
        ExKeyboardDialog dialog;
        QCOMPARE(run(dialog, keys + QStringList{"BUTTON_ENTER"}), 1);
        QCOMPARE(dialog.text(), text);
    }

    void enterAcceptsAnEmptyField()
    {
        ExKeyboardDialog dialog;
        QCOMPARE(run(dialog, {"BUTTON_ENTER"}), 1);
        QVERIFY(dialog.text().isEmpty());
    }

    void closeRejectsAndClears()
    {
        ExKeyboardDialog dialog;
        QCOMPARE(run(dialog, {"BUTTON_A", "BUTTON_B", "BUTTON_CLOSE"}), 0);
        QVERIFY(dialog.text().isEmpty());
    }

    // Escape from an attached keyboard must not hand back half-typed text either.
    void escapeRejectsAndClears()
    {
        ExKeyboardDialog dialog;
        ModalAnswer::next([](QWidget *modal) {
            touchKeys(modal, {"BUTTON_A"});
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        QCOMPARE(dialog.exec(), 0);
        QVERIFY(dialog.text().isEmpty());
    }

    void attachedKeyboardTypesAndConfirms()
    {
        ExKeyboardDialog dialog;
        ModalAnswer::next([](QWidget *modal) {
            QTest::keyClicks(modal->findChild<QLineEdit *>("EDIT_TEXT"), "Usb.1");
            QTest::keyClick(modal->findChild<QLineEdit *>("EDIT_TEXT"), Qt::Key_Return);
        });
        QCOMPARE(dialog.exec(), 1);
        QCOMPARE(dialog.text(), QString("Usb.1"));
    }

    void fieldHoldsAtMost45Characters()
    {
        ExKeyboardDialog dialog;
        // Four date-and-time touches send 56 digits.
        const QStringList keys{"BUTTON_DATETIME", "BUTTON_DATETIME", "BUTTON_DATETIME",
                               "BUTTON_DATETIME", "BUTTON_X", "BUTTON_ENTER"};
        QCOMPARE(run(dialog, keys), 1);
        QCOMPARE(dialog.text().size(), 45);
        QVERIFY(!dialog.text().contains('x'));
        QCOMPARE(field(dialog)->maxLength(), 45);
    }

    void passwordMode()
    {
        ExKeyboardDialog dialog;
        dialog.setPasswordMode();
        QCOMPARE(field(dialog)->echoMode(), QLineEdit::Password);
        QVERIFY(!dialog.findChild<QPushButton *>("BUTTON_DATETIME")->isEnabled());
        ModalAnswer::next([](QWidget *modal) {
            touchKeys(modal, {"BUTTON_M", "BUTTON_A", "BUTTON_V", "BUTTON_E", "BUTTON_K"});
            auto *edit = modal->findChild<QLineEdit *>("EDIT_TEXT");
            QCOMPARE(edit->displayText().size(), 5);
            QVERIFY(!edit->displayText().contains("mavek"));
            modal->grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-exkeyboard-password.png"));
            touchKeys(modal, {"BUTTON_DATETIME", "BUTTON_ENTER"});
        });
        QCOMPARE(dialog.exec(), 1);
        QCOMPARE(dialog.text(), QString("mavek"));
    }

    void grab()
    {
        ExKeyboardDialog dialog;
        ModalAnswer::next([](QWidget *modal) {
            touchKeys(modal, {"BUTTON_SHIFT", "BUTTON_N", "BUTTON_SHIFT", "BUTTON_E", "BUTTON_W",
                          "BUTTON_SPACE", "BUTTON_F"});
            QVERIFY(modal->grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-exkeyboard.png")));
            touchKeys(modal, {"BUTTON_CLOSE"});
        });
        QCOMPARE(dialog.exec(), 0);
    }
};

QTEST_MAIN(ExKeyboardDialogTest)
#include "tst_ExKeyboardDialog.moc"
