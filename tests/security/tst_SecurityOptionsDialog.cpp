#include "Resources.h"
#include "SecurityOptionsDialog.h"
#include "SecurityTestSupport.h"
#include "TestRoot.h"

#include <QPushButton>
#include <QtTest>

using namespace SecurityTest;

class SecurityOptionsDialogTest : public QObject
{
    Q_OBJECT

private:
    static bool shownOn(QWidget *dialog)
    {
        return dialog->findChild<QPushButton *>("BUTTON_SECURITY_ENABLE")->styleSheet().contains("/on_checked.png");
    }

    // Touches the switch and answers the password dialog: the password typed into its
    // field, then OK, or CANCEL when password is null.
    static void touchSwitch(QWidget *options, const QString &password)
    {
        ModalAnswer::next([=](QWidget *check) {
            if (password.isNull()) {
                click(check, "BUTTON_CANCEL");
                return;
            }
            QTest::keyClicks(check->findChild<QLineEdit *>("EDIT_PASSWORD"), password);
            click(check, "BUTTON_OK");
            // A wrong password leaves the dialog open: give up on it.
            if (check->isVisible())
                click(check, "BUTTON_CANCEL");
        });
        click(options, "BUTTON_SECURITY_ENABLE");
    }

    // Runs the dialog as the settings screen does; the steps get the open dialog.
    static int run(const std::function<void(QWidget *)> &steps)
    {
        ModalAnswer::next(steps);
        SecurityOptionsDialog dialog;
        return dialog.exec();
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    void noSectionShowsOff()
    {
        TestRoot root;
        bool on = true;
        const int result = run([&](QWidget *options) {
            on = shownOn(options);
            options->grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-securityoptions.png"));
            click(options, "BUTTON_CLOSE");
        });
        QVERIFY(!on);
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(stored("Enable"), QString("False"));
    }

    void switches_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("passwords");     // one per touch of the switch; "-" cancels
        QTest::addColumn<bool>("on");
        QTest::newRow("on with the password") << "False" << QStringList{"mavek"} << true;
        QTest::newRow("off with the password") << "True" << QStringList{"mavek"} << false;
        QTest::newRow("wrong password") << "False" << QStringList{"Mavek"} << false;
        QTest::newRow("cancelled") << "True" << QStringList{"-"} << true;
        QTest::newRow("on and off again") << "False" << QStringList{"mavek", "mavek"} << false;
        QTest::newRow("on, then a wrong try") << "False" << QStringList{"mavek", "nope"} << true;
    }
    void switches()
    {
        QFETCH(QString, before);
        QFETCH(QStringList, passwords);
        QFETCH(bool, on);
        TestRoot root;
        store("Enable", before);
        bool shown = !on;
        const int result = run([&](QWidget *options) {
            for (const QString &password : passwords)
                touchSwitch(options, password == "-" ? QString() : password);
            shown = shownOn(options);
            click(options, "BUTTON_CLOSE");
        });
        QCOMPARE(shown, on);
        QCOMPARE(result, on ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(stored("Enable"), on ? QString("True") : QString("False"));
    }

    // Escape used to close the dialog rejected, which the screens took as security mode
    // off while the settings file kept it on.
    void escapeKeepsTheModeReachedThroughThePassword_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("switchWithPassword");
        QTest::addColumn<bool>("on");
        QTest::newRow("on stays on") << "True" << false << true;
        QTest::newRow("off stays off") << "False" << false << false;
        QTest::newRow("switched on, then Escape") << "False" << true << true;
    }
    void escapeKeepsTheModeReachedThroughThePassword()
    {
        QFETCH(QString, before);
        QFETCH(bool, switchWithPassword);
        QFETCH(bool, on);
        TestRoot root;
        store("Enable", before);
        const int result = run([&](QWidget *options) {
            if (switchWithPassword)
                touchSwitch(options, "mavek");
            QTest::keyClick(options, Qt::Key_Escape);
        });
        QCOMPARE(result, on ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(stored("Enable"), on ? QString("True") : QString("False"));
    }

    void passwordChangeOpened()
    {
        TestRoot root;
        store("Enable", "True");
        const int result = run([&](QWidget *options) {
            ModalAnswer::next([](QWidget *change) {
                QTest::keyClicks(change->findChild<QLineEdit *>("EDIT_PASSWORD"), "mavek");
                QTest::keyClicks(change->findChild<QLineEdit *>("EDIT_NEW"), "Pw2");
                QTest::keyClicks(change->findChild<QLineEdit *>("EDIT_CONFIRM"), "Pw2");
                click(change, "BUTTON_OK");
            });
            click(options, "BUTTON_PASSWORD_CHANGE");
            // The new password switches the mode from now on.
            touchSwitch(options, "Pw2");
            click(options, "BUTTON_CLOSE");
        });
        QCOMPARE(stored("Password"), QString("Pw2"));
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(stored("Enable"), QString("False"));
    }
};

QTEST_MAIN(SecurityOptionsDialogTest)
#include "tst_SecurityOptionsDialog.moc"
