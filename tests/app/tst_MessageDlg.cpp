#include "MessageDlg.h"
#include "ModalAnswer.h"
#include "Resources.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class MessageDlgTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    // One message of each button set and text kind.
    void numberedMessages_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "OK"
            << "The DEFAULT protocol cannot be edited or deleted.\nPlease select another protocol.";
        QTest::newRow("3") << 3 << "OK CANCEL"
            << "Are you sure you want to delete the\nthe selected protocol?";
        QTest::newRow("14") << 14 << "OK CANCEL"
            << "<p><b>Warning!</b><br/><br/>All previous count results stored on this instrument will be permanently deleted.</p>";
        QTest::newRow("23") << 23 << ""
            << "<p><b>Connecting...</b><br/><br/><br/>Depending on your network speed, this may take from a few seconds to a couple of minutes.</p>";
        QTest::newRow("25") << 25 << "OK SKIP CANCEL"
            << "<p>Demo program is already installed.<br/>If you want to overwrite it, press OK.<br/>If you want to run it, press Skip.<br/>Otherwise, press Cancel.";
        QTest::newRow("26") << 26 << "OK CANCEL" << "A demo software has been found.<br/>Do you want to install it?";
        QTest::newRow("31") << 31 << "OK" << "Debug Calibration disabled";
    }
    void numberedMessages()
    {
        QFETCH(int, type);
        QFETCH(QString, buttons);
        QFETCH(QString, text);
        MessageDlg dialog(MessageType(type), nullptr);
        QCOMPARE(dialog.message(), text);
        QStringList shown;
        for (const char *name : {"BUTTON_OK", "BUTTON_SKIP", "BUTTON_CANCEL"}) {
            if (dialog.findChild<QPushButton *>(name)->isVisibleTo(&dialog))
                shown << QString::fromLatin1(name).mid(7);
        }
        QCOMPARE(shown.join(' '), buttons);
        // Message 26 showed its "<br/>" as text.
        QCOMPARE(dialog.findChild<QLabel *>("LABEL_MESSAGE")->textFormat(),
                 text.contains("<br/>") ? Qt::RichText : Qt::PlainText);
    }

    void answers_data()
    {
        QTest::addColumn<QString>("button");     // empty: Escape
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("pressed");
        QTest::newRow("OK") << "BUTTON_OK" << 1 << 0;
        QTest::newRow("SKIP") << "BUTTON_SKIP" << 1 << 1;
        QTest::newRow("CANCEL") << "BUTTON_CANCEL" << 0 << 2;
        QTest::newRow("Escape") << "" << 0 << 2;
    }
    void answers()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        QFETCH(int, pressed);
        MessageDlg dialog(MSG_DEMO_INSTALLED);
        ModalAnswer::next([&](QWidget *modal) {
            if (button.isEmpty())
                QTest::keyClick(modal, Qt::Key_Escape);
            else
                QTest::mouseClick(modal->findChild<QPushButton *>(button), Qt::LeftButton);
        });
        QCOMPARE(dialog.exec(), result);
        QCOMPARE(dialog.pressedType(), pressed);
    }

    void boxWithoutButtonsWaitsForOwner()
    {
        MessageDlg dialog(MSG_CONNECTING);
        // Escape closed it before.
        ModalAnswer::next([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QTimer::singleShot(700, &dialog, &QDialog::accept);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(dialog.exec(), 1);
        QVERIFY(clock.elapsed() >= 650);
        // The busy dots moved while it waited.
        QVERIFY(!dialog.findChild<QLabel *>("LABEL_BUSY")->text().isEmpty());
    }
};

QTEST_MAIN(MessageDlgTest)
#include "tst_MessageDlg.moc"
