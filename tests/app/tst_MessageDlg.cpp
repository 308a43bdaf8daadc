#include "MessageDlg.h"
#include "ModalAnswer.h"
#include "Resources.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class MessageDlgTest : public QObject
{
    Q_OBJECT

private:
    static QString visibleButtons(MessageDlg &dialog)
    {
        QStringList names;
        for (const char *name : {"BUTTON_OK", "BUTTON_SKIP", "BUTTON_CANCEL"}) {
            auto *button = dialog.findChild<QPushButton *>(QString::fromLatin1(name));
            if (button && button->isVisibleTo(&dialog))
                names << QString::fromLatin1(name).mid(7);
        }
        return names.join(QLatin1Char(' '));
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void numberedMessages_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "OK"
            << "The DEFAULT protocol cannot be edited or deleted.\nPlease select another protocol.";
        QTest::newRow("1") << 1 << "OK" << "The selected protocol has been loaded.";
        QTest::newRow("3") << 3 << "OK CANCEL"
            << "Are you sure you want to delete the\nthe selected protocol?";
        QTest::newRow("4") << 4 << "OK CANCEL"
            << "There is already a file with the same name in this location. Do you want to replace it?";
        QTest::newRow("13") << 13 << "OK" << "The results were successfully exported.";
        QTest::newRow("14") << 14 << "OK CANCEL"
            << "<p><b>Warning!</b><br/><br/>All previous count results stored on this instrument will be permanently deleted.</p>";
        QTest::newRow("15") << 15 << "OK" << "<p><b>Error!</b><br/><br/>Insert a USB drive.</p>";
        QTest::newRow("19") << 19 << "OK" << "The date you specified does not exist.\nPlease enter a valid date.";
        QTest::newRow("20") << 20 << "OK" << "The time you specified does not exist.\nPlease enter a valid time.";
        QTest::newRow("23") << 23 << ""
            << "<p><b>Connecting...</b><br/><br/><br/>Depending on your network speed, this may take from a few seconds to a couple of minutes.</p>";
        QTest::newRow("25") << 25 << "OK SKIP CANCEL"
            << "<p>Demo program is already installed.<br/>If you want to overwrite it, press OK.<br/>If you want to run it, press Skip.<br/>Otherwise, press Cancel.";
        QTest::newRow("26") << 26 << "OK CANCEL" << "A demo software has been found.<br/>Do you want to install it?";
        QTest::newRow("27") << 27 << "OK"
            << "<p><b>Error!</b><br/><br/>Unacceptable folder name is used.<br/>Please try again.</p>";
        QTest::newRow("28") << 28 << "OK" << "Debug Autofocus enabled";
        QTest::newRow("29") << 29 << "OK" << "Debug Autofocus disabled";
        QTest::newRow("30") << 30 << "OK" << "Debug Calibration enabled";
        QTest::newRow("31") << 31 << "OK" << "Debug Calibration disabled";
    }
    void numberedMessages()
    {
        QFETCH(int, type);
        QFETCH(QString, buttons);
        QFETCH(QString, text);
        MessageDlg dialog(MessageType(type), nullptr);
        QCOMPARE(dialog.message(), text);
        QCOMPARE(visibleButtons(dialog), buttons);
        auto *label = dialog.findChild<QLabel *>("LABEL_MESSAGE");
        // Message 26 showed its "<br/>" as text.
        QCOMPARE(label->textFormat(), text.contains("<br/>") ? Qt::RichText : Qt::PlainText);
    }

    void pressedButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("pressed");
        QTest::newRow("OK") << "BUTTON_OK" << 1 << 0;
        QTest::newRow("SKIP") << "BUTTON_SKIP" << 1 << 1;
        QTest::newRow("CANCEL") << "BUTTON_CANCEL" << 0 << 2;
    }
    void pressedButtons()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        QFETCH(int, pressed);
        MessageDlg dialog(MSG_DEMO_INSTALLED);
        ModalAnswer::clickNext(button);
        QCOMPARE(dialog.exec(), result);
        QCOMPARE(dialog.pressedType(), pressed);
    }

    void escapeIsCancel()
    {
        MessageDlg dialog(MSG_ERASE_ALL);
        ModalAnswer::next([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QCOMPARE(dialog.exec(), 0);
        QCOMPARE(dialog.pressedType(), int(MSG_PRESSED_CANCEL));
    }

    void freeTextAndSwitchingType()
    {
        MessageDlg dialog;
        dialog.setMessage("Delete /USB/run1?");
        dialog.setMessageButtonVisibility(MSG_BUTTON_OK_CANCEL);
        QCOMPARE(visibleButtons(dialog), QString("OK CANCEL"));
        QCOMPARE(dialog.findChild<QLabel *>("LABEL_MESSAGE")->text(), QString("Delete /USB/run1?"));
        dialog.setMessageType(MSG_PROTOCOL_LOADED);
        QCOMPARE(visibleButtons(dialog), QString("OK"));
        dialog.setMessageButtonVisibility(MSG_BUTTON_CANCEL);
        QCOMPARE(visibleButtons(dialog), QString("CANCEL"));
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
