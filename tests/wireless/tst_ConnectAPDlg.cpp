#include "ConnectAPDlg.h"
#include "Resources.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

// The key dialog driven as the operator does: typing, Return, touches, CANCEL, Escape.
class ConnectAPDlgTest : public QObject
{
    Q_OBJECT

private:
    struct Shown
    {
        Shown()
            : typed(&dialog, &ConnectAPDlg::signalSetPassword)
            , cancelled(&dialog, &ConnectAPDlg::signalCancel)
            , keyboard(&dialog, &ConnectAPDlg::signalShowKeyboard)
        {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            dialog.setFocusPwd();
        }
        QLineEdit *edit() { return dialog.findChild<QLineEdit *>("EDIT_PASSWORD"); }
        QLabel *message() { return dialog.findChild<QLabel *>("LABEL_MESSAGE"); }
        ConnectAPDlg dialog;
        QSignalSpy typed;
        QSignalSpy cancelled;
        QSignalSpy keyboard;
    };

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    void returnActsAsOk()
    {
        Shown s;
        QTest::keyClicks(s.edit(), "cell count 1");
        QTest::keyClick(s.edit(), Qt::Key_Return);
        QCOMPARE(s.typed.count(), 1);
        QCOMPARE(s.typed.at(0).at(0).toString(), QString("cell count 1"));
        QCOMPARE(s.cancelled.count(), 0);
        QVERIFY(!s.dialog.isVisible());
        // The key stays for the next request.
        QCOMPARE(s.dialog.password(), QString("cell count 1"));
    }

    void okPassesAnEmptyKey()
    {
        Shown s;
        QTest::mouseClick(s.dialog.findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
        QCOMPARE(s.typed.count(), 1);
        QCOMPARE(s.typed.at(0).at(0).toString(), QString());
    }

    void atMost63Characters()
    {
        Shown s;
        QTest::keyClicks(s.edit(), QString(70, QChar('k')));
        QCOMPARE(s.dialog.password().size(), 63);
        QCOMPARE(s.edit()->echoMode(), QLineEdit::Password);
    }

    void touchesAskForTheKeyboard()
    {
        Shown s;
        QCOMPARE(s.edit()->placeholderText(), QString("Press me!"));
        QTest::mouseClick(s.edit(), Qt::LeftButton);
        QTest::mouseClick(s.edit(), Qt::LeftButton);
        QCOMPARE(s.keyboard.count(), 2);
        QCOMPARE(s.edit()->placeholderText(), QString());
    }

    // Before, closing by Escape sent neither signal and left the connection run waiting.
    void everyCloseIsACancel_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("CANCEL") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close request") << "close";
    }
    void everyCloseIsACancel()
    {
        QFETCH(QString, how);
        Shown s;
        QTest::keyClicks(s.edit(), "secret-key");
        s.dialog.setMismatchPassword(true);
        if (how == "cancel")
            QTest::mouseClick(s.dialog.findChild<QPushButton *>("BUTTON_CANCEL"), Qt::LeftButton);
        else if (how == "escape")
            QTest::keyClick(&s.dialog, Qt::Key_Escape);
        else
            s.dialog.close();
        QCOMPARE(s.cancelled.count(), 1);
        QCOMPARE(s.typed.count(), 0);
        QVERIFY(!s.dialog.isVisible());
        QCOMPARE(s.dialog.password(), QString());
        QVERIFY(s.message()->isHidden());
        QCOMPARE(s.edit()->placeholderText(), QString("Press me!"));
    }

    void wrongKeyShowsTheMessageAndKeepsTheKey()
    {
        Shown s;
        QVERIFY(s.message()->isHidden());
        QTest::keyClicks(s.edit(), "not-the-key");
        QTest::keyClick(s.edit(), Qt::Key_Return);
        s.dialog.setMismatchPassword(true);
        s.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.dialog));
        QVERIFY(s.message()->isVisible());
        QCOMPARE(s.message()->text(), QString("Password incorrect"));
        QCOMPARE(s.dialog.password(), QString("not-the-key"));
        QVERIFY(s.dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-connectapdlg.png")));
        s.dialog.setMismatchPassword(false);
        QVERIFY(s.message()->isHidden());
    }
};

QTEST_MAIN(ConnectAPDlgTest)
#include "tst_ConnectAPDlg.moc"
