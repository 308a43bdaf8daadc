#include "KeyboardDialog.h"
#include "KeyboardTest.h"
#include "Resources.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class KeyboardDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void typesIntoLineEdit_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("text");
        QTest::newRow("lower case, digits, - and _")
            << QStringList{"BUTTON_A", "BUTTON_B", "BUTTON_BAR", "BUTTON_1", "BUTTON_UNDERBAR"}
            << "ab-1_";
        QTest::newRow("Shift gives upper case")
            << QStringList{"BUTTON_A", "BUTTON_SHIFT", "BUTTON_B", "BUTTON_C", "BUTTON_SHIFT",
                           "BUTTON_D"}
            << "aBCd";
        QTest::newRow("space, full stop and comma")
            << QStringList{"BUTTON_X", "BUTTON_SPACE", "BUTTON_PERIOD", "BUTTON_COMMA"}
            << "x .,";
        QTest::newRow("BACK SPACE, also with Shift on")
            << QStringList{"BUTTON_A", "BUTTON_B", "BUTTON_BACKSPACE", "BUTTON_SHIFT",
                           "BUTTON_C", "BUTTON_BACKSPACE", "BUTTON_D"}
            << "aD";
    }

    void typesIntoLineEdit()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, text);
        QLineEdit field;
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        KeyboardDialog keyboard;
        keyboard.setObject(&field);
        keyboard.show();
        touchKeys(&keyboard, keys);
        QCOMPARE(field.text(), text);
        QVERIFY(keyboard.isVisible());
    }

    void dateTimeKeyTypesDigits()
    {
        QLineEdit field;
        KeyboardDialog keyboard;
        keyboard.setObject(&field);
        keyboard.show();
        touchKeys(&keyboard, {"BUTTON_DATETIME"});
        QCOMPARE(field.text().size(), 14);
        QVERIFY(field.text().startsWith(QString::number(QDate::currentDate().year())));
    }

    void enterIsPassedOnAndCloses()
    {
        QLineEdit field;
        QSignalSpy returned(&field, &QLineEdit::returnPressed);
        KeyboardDialog keyboard;
        QSignalSpy accepted(&keyboard, &QDialog::accepted);
        keyboard.setObject(&field);
        keyboard.show();
        touchKeys(&keyboard, {"BUTTON_K", "BUTTON_ENTER"});
        QCOMPARE(field.text(), QString("k"));
        QCOMPARE(returned.count(), 1);
        QCOMPARE(accepted.count(), 1);
        QVERIFY(!keyboard.isVisible());
    }

    void closeKeySendsNothing()
    {
        QLineEdit field;
        QSignalSpy returned(&field, &QLineEdit::returnPressed);
        KeyboardDialog keyboard;
        keyboard.setObject(&field);
        keyboard.show();
        touchKeys(&keyboard, {"BUTTON_CLOSE"});
        QVERIFY(!keyboard.isVisible());
        QCOMPARE(keyboard.result(), int(QDialog::Rejected));
        QCOMPARE(returned.count(), 0);
        QVERIFY(field.text().isEmpty());
    }

    void floatsWithoutTakingFocus()
    {
        QLineEdit field;
        field.show();
        field.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&field));
        field.setFocus();
        KeyboardDialog keyboard;
        keyboard.setObject(&field);
        QVERIFY(keyboard.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(keyboard.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(keyboard.windowFlags() & Qt::WindowDoesNotAcceptFocus);
        QCOMPARE(keyboard.windowType(), Qt::Tool);
        QVERIFY(keyboard.testAttribute(Qt::WA_ShowWithoutActivating));
        keyboard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&keyboard));
        touchKeys(&keyboard, {"BUTTON_O", "BUTTON_K"});
        // The offscreen platform activates every window it shows; a real display does not.
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QCOMPARE(QApplication::focusWidget(), &field);
        QCOMPARE(field.text(), QString("ok"));
        QVERIFY(keyboard.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-keyboarddialog.png")));
    }

    // The Wi-Fi key dialog runs the keyboard as a modal pop-up.
    void runsModallyAsPopup()
    {
        QLineEdit field;
        auto *keyboard = new KeyboardDialog;
        keyboard->setObject(&field);
        keyboard->setWindowFlags(Qt::Popup);
        QTimer::singleShot(0, keyboard, [keyboard] {
            touchKeys(keyboard, {"BUTTON_W", "BUTTON_1", "BUTTON_ENTER"});
        });
        QCOMPARE(keyboard->exec(), int(QDialog::Accepted));
        delete keyboard;
        QCOMPARE(field.text(), QString("w1"));
    }

    void deletedTargetIsHarmless()
    {
        auto *field = new QLineEdit;
        KeyboardDialog keyboard;
        keyboard.setObject(field);
        keyboard.show();
        delete field;
        touchKeys(&keyboard, {"BUTTON_A", "BUTTON_ENTER"});
        QVERIFY(!keyboard.object());
    }
};

QTEST_MAIN(KeyboardDialogTest)
#include "tst_KeyboardDialog.moc"
