#include "PasswordChangeDialog.h"
#include "PasswordDialog.h"
#include "Resources.h"
#include "SecurityTestSupport.h"
#include "TestRoot.h"

#include <QtTest>

using namespace SecurityTest;

class PasswordDialogsTest : public QObject
{
    Q_OBJECT

private:
    static QLineEdit *edit(QWidget *dialog, const char *name)
    {
        return dialog->findChild<QLineEdit *>(name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    void check_data()
    {
        QTest::addColumn<QString>("storedBefore");     // null: no key
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("no key: default written back and accepted") << QString() << "mavek" << true << "mavek";
        QTest::newRow("empty key counts as missing") << "" << "mavek" << true << "mavek";
        QTest::newRow("right") << "Secret7" << "Secret7" << true << "Secret7";
        QTest::newRow("case matters") << "Secret7" << "secret7" << false << "Secret7";
        QTest::newRow("default refused once changed") << "Secret7" << "mavek" << false << "Secret7";
        QTest::newRow("no partial match") << "Secret7" << "Secret" << false << "Secret7";
        QTest::newRow("UTF-8") << QString::fromUtf8("p\xc3\xa4ss") << QString::fromUtf8("p\xc3\xa4ss") << true
                               << QString::fromUtf8("p\xc3\xa4ss");
        QTest::newRow("capitals refused") << "mavek" << "MAVEK" << false << "mavek";
    }
    void check()
    {
        QFETCH(QString, storedBefore);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, storedAfter);
        TestRoot root;
        if (!storedBefore.isNull())
            store("Password", storedBefore);
        PasswordDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // Typed on an attached keyboard, each character as its key event's text.
        for (const QChar c : typed)
            QTest::sendKeyEvent(QTest::Click, edit(&dialog, "EDIT_PASSWORD"), Qt::Key_unknown, c,
                                Qt::NoModifier);
        click(&dialog, "BUTTON_OK");
        QCOMPARE(dialog.isVisible(), !accepted);
        QCOMPARE(dialog.result(), accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(message(&dialog), accepted ? QString() : QString("Incorrect password !"));
        if (!accepted)
            QVERIFY(edit(&dialog, "EDIT_PASSWORD")->text().isEmpty());
        QCOMPARE(stored("Password"), storedAfter);
    }

    void typedOnTheKeyboard()
    {
        TestRoot root;
        store("Password", "Pw2");
        PasswordDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QLineEdit *field = edit(&dialog, "EDIT_PASSWORD");
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QCOMPARE(field->maxLength(), 63);
        QTest::keyClicks(field, "wrong");
        click(&dialog, "BUTTON_OK");
        QCOMPARE(message(&dialog), QString("Incorrect password !"));

        // A touch clears the message and the field and opens the keyboard in password mode.
        bool passwordMode = false;
        typeOnNextKeyboard("Pw2", false, &passwordMode);
        QTest::mousePress(field, Qt::LeftButton);
        QVERIFY(message(&dialog).isEmpty());
        QTRY_COMPARE(field->text(), QString("Pw2"));
        QVERIFY(passwordMode);
        dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-password.png"));
        click(&dialog, "BUTTON_OK");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void keyboardClosedLeavesTheFieldEmpty()
    {
        TestRoot root;
        PasswordDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QLineEdit *field = edit(&dialog, "EDIT_PASSWORD");
        field->setText("typed before");
        const auto answered = typeOnNextKeyboard("mavek", true);
        QTest::mousePress(field, Qt::LeftButton);
        QTRY_VERIFY(*answered);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(field->text().isEmpty());
    }

    void cancelChangesNothing()
    {
        TestRoot root;
        store("Password", "Pw2");
        PasswordDialog check;
        check.show();
        QTest::keyClicks(edit(&check, "EDIT_PASSWORD"), "Pw2");
        click(&check, "BUTTON_CANCEL");
        QCOMPARE(check.result(), int(QDialog::Rejected));
        PasswordChangeDialog change;
        change.show();
        QTest::keyClicks(edit(&change, "EDIT_PASSWORD"), "Pw2");
        QTest::keyClicks(edit(&change, "EDIT_NEW"), "x");
        QTest::keyClicks(edit(&change, "EDIT_CONFIRM"), "x");
        click(&change, "BUTTON_CANCEL");
        QCOMPARE(change.result(), int(QDialog::Rejected));
        QCOMPARE(stored("Password"), QString("Pw2"));
    }

    void change_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("changed") << "Pw2" << "Next9" << "Next9" << "" << "Next9";
        QTest::newRow("wrong current") << "pw2" << "Next9" << "Next9" << "Incorrect password !" << "Pw2";
        QTest::newRow("mismatch") << "Pw2" << "Next9" << "next9" << "Check new password !" << "Pw2";
        QTest::newRow("wrong current reported before mismatch") << "x" << "a" << "b" << "Incorrect password !" << "Pw2";
        QTest::newRow("empty new password stored empty, read as none") << "Pw2" << "" << "" << "" << "<missing>";
    }
    void change()
    {
        QFETCH(QString, current);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirm);
        QFETCH(QString, shown);
        QFETCH(QString, storedAfter);
        TestRoot root;
        store("Password", "Pw2");
        PasswordChangeDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClicks(edit(&dialog, "EDIT_PASSWORD"), current);
        QTest::keyClicks(edit(&dialog, "EDIT_NEW"), newPassword);
        QTest::keyClicks(edit(&dialog, "EDIT_CONFIRM"), confirm);
        click(&dialog, "BUTTON_OK");
        QCOMPARE(message(&dialog), shown);
        QCOMPARE(dialog.result(), shown.isEmpty() ? int(QDialog::Accepted) : int(QDialog::Rejected));
        if (!shown.isEmpty()) {
            for (const char *name : {"EDIT_PASSWORD", "EDIT_NEW", "EDIT_CONFIRM"})
                QVERIFY2(edit(&dialog, name)->text().isEmpty(), name);
        }
        QCOMPARE(stored("Password"), storedAfter);
    }

    // An empty password counts as none: the default applies from the next check on.
    void emptyPasswordFallsBackToTheDefault()
    {
        TestRoot root;
        store("Password", "");
        PasswordDialog dialog;
        dialog.show();
        QTest::keyClicks(edit(&dialog, "EDIT_PASSWORD"), "mavek");
        click(&dialog, "BUTTON_OK");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(stored("Password"), QString("mavek"));
    }

    void keyboardTextGoesToTheTouchedField()
    {
        TestRoot root;
        store("Password", "Pw2");
        PasswordChangeDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const char *fields[] = {"EDIT_PASSWORD", "EDIT_NEW", "EDIT_CONFIRM"};
        const QString texts[] = {"Pw2", "Abc1", "Abc1"};
        for (int i = 0; i < 3; ++i) {
            typeOnNextKeyboard(texts[i]);
            QTest::mousePress(edit(&dialog, fields[i]), Qt::LeftButton);
            QTRY_COMPARE(edit(&dialog, fields[i])->text(), texts[i]);
            for (int j = 0; j < i; ++j)
                QCOMPARE(edit(&dialog, fields[j])->text(), texts[j]);
        }
        QCOMPARE(edit(&dialog, "EDIT_CONFIRM")->text(), QString("Abc1"));
        dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-passwordchange.png"));
        click(&dialog, "BUTTON_OK");
        QCOMPARE(stored("Password"), QString("Abc1"));
    }
};

QTEST_MAIN(PasswordDialogsTest)
#include "tst_PasswordDialogs.moc"
