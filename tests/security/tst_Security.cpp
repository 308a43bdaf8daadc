#include "ModalAnswer.h"
#include "PasswordChangeDialog.h"
#include "PasswordDialog.h"
#include "Resources.h"
#include "SecurityOptionsDialog.h"
#include "SecuritySettings.h"
#include "TestRoot.h"
#include "Touch.h"

#include <QLabel>
#include <QLineEdit>

namespace {

QLineEdit *edit(QWidget *dialog, const char *name)
{
    return dialog->findChild<QLineEdit *>(name);
}

QString message(QWidget *dialog)
{
    return dialog->findChild<QLabel *>("LABEL_MESSAGE")->text();
}

} // namespace

// The password check, the password change and the security options switch.
class SecurityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void check_data()
    {
        QTest::addColumn<QString>("storedBefore");     // null: no key
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("no key: default accepted and written back") << QString() << "mavek"
                                                                   << true << "mavek";
        QTest::newRow("case matters") << "Secret7" << "secret7" << false << "Secret7";
        QTest::newRow("default refused once changed") << "Secret7" << "mavek" << false
                                                      << "Secret7";
        const QString utf8 = QString::fromUtf8("p\xc3\xa4ss");
        QTest::newRow("UTF-8") << utf8 << utf8 << true << utf8;
    }
    void check()
    {
        QFETCH(QString, storedBefore);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        TestRoot root;
        if (!storedBefore.isNull())
            SecuritySettings::setPassword(storedBefore);
        PasswordDialog dialog;
        dialog.show();
        // Typed on an attached keyboard, each character as its key event's text.
        for (const QChar c : typed)
            QTest::sendKeyEvent(QTest::Click, edit(&dialog, "EDIT_PASSWORD"), Qt::Key_unknown, c,
                                Qt::NoModifier);
        click(&dialog, "BUTTON_OK");
        QCOMPARE(dialog.result(), accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(dialog.isVisible(), !accepted);
        QCOMPARE(message(&dialog), accepted ? QString() : QString("Incorrect password !"));
        QCOMPARE(edit(&dialog, "EDIT_PASSWORD")->text().isEmpty(), !accepted);
        QTEST(iniValue("Security", "Password"), "storedAfter");
    }

    void change_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("wrong current") << "pw2" << "Next9" << "Next9" << "BUTTON_OK"
                                       << "Incorrect password !" << "Pw2";
        QTest::newRow("mismatch") << "Pw2" << "Next9" << "next9" << "BUTTON_OK"
                                  << "Check new password !" << "Pw2";
        QTest::newRow("empty new password stored empty") << "Pw2" << "" << "" << "BUTTON_OK"
                                                         << "" << "<missing>";
        QTest::newRow("cancelled") << "Pw2" << "Next9" << "Next9" << "BUTTON_CANCEL" << ""
                                   << "Pw2";
    }
    void change()
    {
        QFETCH(QString, button);
        QFETCH(QString, shown);
        TestRoot root;
        WritePrivateProfileString("Security", "Password", "Pw2", SystemPaths::settings());
        PasswordChangeDialog dialog;
        dialog.show();
        const char *fields[] = {"EDIT_PASSWORD", "EDIT_NEW", "EDIT_CONFIRM"};
        QFETCH(QString, current);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirm);
        QTest::keyClicks(edit(&dialog, fields[0]), current);
        QTest::keyClicks(edit(&dialog, fields[1]), newPassword);
        QTest::keyClicks(edit(&dialog, fields[2]), confirm);
        click(&dialog, button);
        QCOMPARE(message(&dialog), shown);
        QCOMPARE(dialog.result() == QDialog::Accepted, shown.isEmpty() && button == "BUTTON_OK");
        for (const char *name : fields)
            QVERIFY2(shown.isEmpty() || edit(&dialog, name)->text().isEmpty(), name);
        QTEST(iniValue("Security", "Password"), "storedAfter");
    }

    // The options dialog's result is the mode it leaves (Accepted: on), also on Escape:
    // before, Escape rejected, which the screens took as security mode off while the
    // settings file kept it on.
    void switches_data()
    {
        QTest::addColumn<QString>("before");            // null: no key
        QTest::addColumn<QStringList>("passwords");     // one per touch of the switch; "-" cancels
        QTest::addColumn<QString>("close");             // "BUTTON_CLOSE" or "Escape"
        QTest::addColumn<bool>("on");
        QTest::newRow("no setting: off") << QString() << QStringList() << "BUTTON_CLOSE" << false;
        QTest::newRow("wrong password") << "False" << QStringList{"Mavek"} << "BUTTON_CLOSE"
                                        << false;
        QTest::newRow("cancelled") << "True" << QStringList{"-"} << "BUTTON_CLOSE" << true;
        QTest::newRow("on, then a wrong try") << "False" << QStringList{"mavek", "nope"}
                                              << "BUTTON_CLOSE" << true;
        QTest::newRow("on, Escape: stays on") << "True" << QStringList() << "Escape" << true;
        QTest::newRow("switched on, then Escape") << "False" << QStringList{"mavek"} << "Escape"
                                                  << true;
    }
    void switches()
    {
        QFETCH(QString, before);
        QFETCH(QStringList, passwords);
        QFETCH(QString, close);
        QFETCH(bool, on);
        TestRoot root;
        if (!before.isNull())
            WritePrivateProfileString("Security", "Enable", before.toStdString(), SystemPaths::settings());
        bool shownOn = !on;
        ModalAnswer::next([&](QWidget *options) {
            for (const QString &password : passwords) {
                // The password dialog: the password typed, then OK, or CANCEL for "-".
                ModalAnswer::next([=](QWidget *check) {
                    if (password != "-") {
                        QTest::keyClicks(edit(check, "EDIT_PASSWORD"), password);
                        click(check, "BUTTON_OK");
                    }
                    if (check->isVisible())
                        click(check, "BUTTON_CANCEL");
                });
                click(options, "BUTTON_SECURITY_ENABLE");
            }
            shownOn = options->findChild<QWidget *>("BUTTON_SECURITY_ENABLE")->styleSheet()
                          .contains("/on_checked.png");
            if (close == "Escape")
                QTest::keyClick(options, Qt::Key_Escape);
            else
                click(options, "BUTTON_CLOSE");
        });
        SecurityOptionsDialog dialog;
        QCOMPARE(dialog.exec(), on ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(shownOn, on);
        QCOMPARE(iniValue("Security", "Enable"), on ? QString("True") : QString("False"));
    }
};

QTEST_MAIN(SecurityTest)
#include "tst_Security.moc"
