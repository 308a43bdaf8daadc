#include "KeyboardTest.h"
#include "KeyboardFrame.h"
#include "Resources.h"

#include <QDateTime>
#include <QPushButton>
#include <QtTest>

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

class KeyboardFrameTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void keySendsPressAndRelease_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<int>("key");
        QTest::newRow("letter") << "BUTTON_Q" << false << int(Qt::Key_Q);
        QTest::newRow("letter with Shift") << "BUTTON_Q" << true << int(Qt::Key_Q);
        QTest::newRow("last letter") << "BUTTON_Z" << false << int(Qt::Key_Z);
        QTest::newRow("digit") << "BUTTON_7" << false << int(Qt::Key_7);
        QTest::newRow("digit with Shift") << "BUTTON_0" << true << int(Qt::Key_0);
        QTest::newRow("BAR") << "BUTTON_BAR" << false << int(Qt::Key_Minus);
        QTest::newRow("UNDER BAR") << "BUTTON_UNDERBAR" << false << int(Qt::Key_Underscore);
        QTest::newRow("SPACE") << "BUTTON_SPACE" << false << int(Qt::Key_Space);
        QTest::newRow("BACK SPACE") << "BUTTON_BACKSPACE" << false << int(Qt::Key_Backspace);
        QTest::newRow("ENTER") << "BUTTON_ENTER" << false << int(Qt::Key_Enter);
        QTest::newRow("full stop") << "BUTTON_PERIOD" << false << int(Qt::Key_Period);
        QTest::newRow("comma") << "BUTTON_COMMA" << true << int(Qt::Key_Comma);
    }

    void keySendsPressAndRelease()
    {
        QFETCH(QString, button);
        QFETCH(bool, shift);
        QFETCH(int, key);
        KeyboardFrame keyboard;
        KeyRecorder target;
        keyboard.setObject(&target);
        keyboard.show();
        if (shift)
            touchKeys(&keyboard, {"BUTTON_SHIFT"});
        QCOMPARE(keyboard.shiftOn(), shift);
        touchKeys(&keyboard, {button});

        const Qt::KeyboardModifiers modifiers = shift ? Qt::ShiftModifier : Qt::NoModifier;
        QCOMPARE(target.keys.size(), 2);
        QCOMPARE(target.keys.at(0).type, QEvent::KeyPress);
        QCOMPARE(target.keys.at(1).type, QEvent::KeyRelease);
        for (const KeyRecorder::Key &k : qAsConst(target.keys)) {
            QCOMPARE(k.key, key);
            QCOMPARE(k.modifiers, modifiers);
            QVERIFY(k.text.isEmpty());
        }
    }

    void shiftStaysOnUntilTouchedAgain()
    {
        KeyboardFrame keyboard;
        KeyRecorder target;
        keyboard.setObject(&target);
        keyboard.show();
        auto *a = keyboard.findChild<QPushButton *>("BUTTON_A");
        QCOMPARE(a->text(), QString("a"));

        touchKeys(&keyboard, {"BUTTON_SHIFT"});
        QCOMPARE(a->text(), QString("A"));
        touchKeys(&keyboard, {"BUTTON_A"});
        touchKeys(&keyboard, {"BUTTON_B"});
        touchKeys(&keyboard, {"BUTTON_SHIFT"});
        QCOMPARE(a->text(), QString("a"));
        touchKeys(&keyboard, {"BUTTON_C"});

        QCOMPARE(target.pressed(), QString("ABC"));
        QCOMPARE(target.keys.at(0).modifiers, Qt::KeyboardModifiers(Qt::ShiftModifier));
        QCOMPARE(target.keys.at(2).modifiers, Qt::KeyboardModifiers(Qt::ShiftModifier));
        QCOMPARE(target.keys.at(4).modifiers, Qt::KeyboardModifiers(Qt::NoModifier));
    }

    void dateTimeKeySendsFourteenDigits()
    {
        KeyboardFrame keyboard;
        KeyRecorder target;
        keyboard.setObject(&target);
        keyboard.show();
        const QString format = QStringLiteral("yyyyMMddhhmmss");
        const QString before = QDateTime::currentDateTime().toString(format);
        touchKeys(&keyboard, {"BUTTON_DATETIME"});
        const QString after = QDateTime::currentDateTime().toString(format);

        QCOMPARE(target.keys.size(), 28);
        const QString digits = target.pressed();
        QVERIFY2(digits == before || digits == after, qPrintable(digits));
        for (int i = 0; i < target.keys.size(); i += 2) {
            QCOMPARE(target.keys.at(i).type, QEvent::KeyPress);
            QCOMPARE(target.keys.at(i + 1).type, QEvent::KeyRelease);
            QCOMPARE(target.keys.at(i + 1).key, target.keys.at(i).key);
            QVERIFY(target.keys.at(i).text.isEmpty());
        }
    }

    void disabledKeySendsNothing_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("button");
        QTest::newRow("full stop") << int(Qt::Key_Period) << "BUTTON_PERIOD";
        QTest::newRow("comma") << int(Qt::Key_Comma) << "BUTTON_COMMA";
        QTest::newRow("letter") << int(Qt::Key_M) << "BUTTON_M";
        QTest::newRow("date and time") << int(KeyboardFrame::DateTimeKey) << "BUTTON_DATETIME";
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
        QVERIFY(!keyboard.isKeyEnabled(key));
        touchKeys(&keyboard, {button});
        QVERIFY(target.keys.isEmpty());
        // The other keys still work.
        touchKeys(&keyboard, {"BUTTON_X"});
        QCOMPARE(target.pressed(), QString("X"));

        keyboard.setEnabled(key, true);
        touchKeys(&keyboard, {button});
        QVERIFY(target.keys.size() > 2);
    }

    void noTargetIsHarmless()
    {
        KeyboardFrame keyboard;
        keyboard.show();
        touchKeys(&keyboard, {"BUTTON_A"});
        KeyRecorder *target = new KeyRecorder;
        keyboard.setObject(target);
        delete target;
        touchKeys(&keyboard, {"BUTTON_DATETIME"});
        QVERIFY(!keyboard.object());
    }

    void keyText_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("text");
        const Qt::KeyboardModifiers none = Qt::NoModifier;
        const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
        QTest::newRow("letter") << int(Qt::Key_G) << none << "g";
        QTest::newRow("letter with Shift") << int(Qt::Key_G) << shift << "G";
        QTest::newRow("digit with Shift") << int(Qt::Key_5) << shift << "5";
        QTest::newRow("BAR") << int(Qt::Key_Minus) << none << "-";
        QTest::newRow("UNDER BAR") << int(Qt::Key_Underscore) << shift << "_";
        QTest::newRow("SPACE") << int(Qt::Key_Space) << none << " ";
        QTest::newRow("full stop") << int(Qt::Key_Period) << none << ".";
        QTest::newRow("comma") << int(Qt::Key_Comma) << none << ",";
        QTest::newRow("BACK SPACE") << int(Qt::Key_Backspace) << none << "";
        QTest::newRow("ENTER") << int(Qt::Key_Enter) << none << "";
        QTest::newRow("other punctuation") << int(Qt::Key_Slash) << none << "";
    }

    void keyText()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, text);
        QCOMPARE(KeyboardFrame::keyText(key, modifiers), text);
    }

    void grab()
    {
        KeyboardFrame keyboard;
        keyboard.resize(892, 377);      // as the protocol name dialog places it
        keyboard.setEnabled(Qt::Key_Period, false);
        keyboard.setEnabled(Qt::Key_Comma, false);
        keyboard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&keyboard));
        QVERIFY(keyboard.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-keyboardframe.png")));
        touchKeys(&keyboard, {"BUTTON_SHIFT"});
        QVERIFY(keyboard.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-keyboardframe-shift.png")));
    }
};

QTEST_MAIN(KeyboardFrameTest)
#include "tst_KeyboardFrame.moc"
