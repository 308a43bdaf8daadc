#include "ModalAnswer.h"
#include "Resources.h"
#include "SaveAsDlg.h"
#include "TestRoot.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class SaveAsDlgTest : public QObject
{
    Q_OBJECT

private:
    static QLineEdit *field(QWidget *dialog)
    {
        return dialog->findChild<QLineEdit *>("EDIT_FILENAME");
    }

    // Touches keys of the dialog's on-screen keyboard, by object name.
    static void touch(QWidget *dialog, const QStringList &keys)
    {
        for (const QString &name : keys) {
            auto *key = dialog->findChild<QPushButton *>(name);
            QVERIFY2(key && key->isEnabled(), qPrintable(name));
            QTest::mouseClick(key, Qt::LeftButton);
        }
    }

    static void show(SaveAsDlg &dialog)
    {
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void onScreenKeys_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("text");
        QTest::newRow("Shift off") << QStringList{"BUTTON_A", "BUTTON_B", "BUTTON_BAR", "BUTTON_1",
                                                  "BUTTON_UNDERBAR"}
                                   << "ab-1_";
        QTest::newRow("Shift on") << QStringList{"BUTTON_SHIFT", "BUTTON_A", "BUTTON_B", "BUTTON_1"}
                                  << "AB1";
        QTest::newRow("space dropped") << QStringList{"BUTTON_X", "BUTTON_SPACE", "BUTTON_Y"}
                                       << "xy";
        QTest::newRow("back space") << QStringList{"BUTTON_X", "BUTTON_Y", "BUTTON_BACKSPACE"}
                                    << "x";
        QTest::newRow("date and time key") << QStringList{"BUTTON_DATETIME"} << "<stamp>";
    }

    void onScreenKeys()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, text);
        SaveAsDlg dialog{QString()};
        show(dialog);
        const QString before = QDateTime::currentDateTime().toString("yyyyMMddhhmmss");
        touch(&dialog, keys);
        if (text == "<stamp>") {
            QCOMPARE(field(&dialog)->text().size(), 14);
            QVERIFY(field(&dialog)->text() >= before);
        } else {
            QCOMPARE(field(&dialog)->text(), text);
        }
    }

    void fullStopAndCommaKeysAreDisabled()
    {
        SaveAsDlg dialog{QString()};
        QVERIFY(!dialog.findChild<QPushButton *>("BUTTON_PERIOD")->isEnabled());
        QVERIFY(!dialog.findChild<QPushButton *>("BUTTON_COMMA")->isEnabled());
    }

    // Before: an attached keyboard typed straight into the field, any character included.
    void attachedKeyboardIsFiltered_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::newRow("letters and digits") << "Yeast2" << "Yeast2";
        QTest::newRow("path separators") << "../etc/x" << "etcx";
        QTest::newRow("blank, full stop, comma") << "a b.c,d" << "abcd";
        QTest::newRow("other characters") << "*?%$\"'\\" << "";
        QTest::newRow("dash and underscore") << "a-b_c" << "a-b_c";
    }

    void attachedKeyboardIsFiltered()
    {
        QFETCH(QString, typed);
        SaveAsDlg dialog{QString()};
        show(dialog);
        QTest::keyClicks(field(&dialog), typed);
        QTEST(field(&dialog)->text(), "text");
    }

    void controlKeysTypeNothing()
    {
        SaveAsDlg dialog("abc");
        show(dialog);
        QKeyEvent umlaut(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("\u00e4"));
        QCoreApplication::sendEvent(field(&dialog), &umlaut);
        // Caps Lock: a capital without Shift.
        QKeyEvent capital(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, QStringLiteral("C"));
        QCoreApplication::sendEvent(field(&dialog), &capital);
        QTest::keyClick(field(&dialog), Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(field(&dialog), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field(&dialog), Qt::Key_Backspace);
        QCOMPARE(field(&dialog)->text(), QString("abc"));
    }

    void nameLengthIsLimited()
    {
        SaveAsDlg dialog{QString()};
        show(dialog);
        QTest::keyClicks(&dialog, QString(40, 'x'));
        QCOMPARE(field(&dialog)->text(), QString(37, 'x'));
    }

    void names_data()
    {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("message");
        QTest::newRow("typed name") << "" << "yeast-2_b" << true << "";
        QTest::newRow("lower-case default is a name") << "" << "default" << true << "";
        QTest::newRow("37 characters") << "" << QString(37, 'a') << true << "";
        QTest::newRow("existing name unchanged") << "Yeast" << "" << true << "";
        QTest::newRow("DEFAULT typed with Shift") << "" << "DEFAULT" << false
                                                  << "The DEFAULT protocol cannot be edited";
        QTest::newRow("DEFAULT unchanged") << "DEFAULT" << "" << false
                                           << "The DEFAULT protocol cannot be edited";
        QTest::newRow("empty name") << "" << "" << false << "1 to 37 letters";
        QTest::newRow("listed name with a blank") << "my protocol" << "" << false
                                                  << "1 to 37 letters";
    }

    void names()
    {
        QFETCH(QString, initial);
        QFETCH(QString, typed);
        QFETCH(bool, saved);
        QFETCH(QString, message);
        SaveAsDlg dialog(initial);
        show(dialog);
        QSignalSpy spy(&dialog, &SaveAsDlg::signalSave);
        QTest::keyClicks(&dialog, typed);
        QString shown;
        if (!saved)
            ModalAnswer::clickNext("BUTTON_OK", &shown);
        QTest::keyClick(&dialog, Qt::Key_Enter);
        QCOMPARE(spy.count(), saved ? 1 : 0);
        if (saved) {
            QCOMPARE(spy.at(0).at(0).toString(), initial + typed);
            // Waiting for the protocol screen's answer.
            QVERIFY(!dialog.isEnabled());
        } else {
            QVERIFY2(shown.contains(message), qPrintable(shown));
            QVERIFY(dialog.isEnabled());
            QVERIFY(dialog.isVisible());
            QCOMPARE(field(&dialog)->text(), initial + typed);
        }
    }

    // Before: Return from an attached keyboard ran the name check in the field and again
    // in the dialog, so one press stored the protocol twice.
    void returnPressedOnceSavesOnce()
    {
        SaveAsDlg dialog{QString()};
        show(dialog);
        QSignalSpy spy(&dialog, &SaveAsDlg::signalSave);
        connect(&dialog, &SaveAsDlg::signalSave, &dialog, &SaveAsDlg::slotSaveFailed);
        QTest::keyClicks(field(&dialog), "run1");
        QTest::keyClick(field(&dialog), Qt::Key_Return);
        QCOMPARE(spy.count(), 1);
        touch(&dialog, {"BUTTON_ENTER"});
        QCOMPARE(spy.count(), 2);
    }

    void answersOfTheProtocolScreen()
    {
        SaveAsDlg dialog("yeast");
        show(dialog);
        QTest::keyClick(&dialog, Qt::Key_Enter);
        QVERIFY(!dialog.isEnabled());
        dialog.slotSaveFailed();
        QVERIFY(dialog.isEnabled());
        QVERIFY(dialog.isVisible());
        QCOMPARE(field(&dialog)->text(), QString("yeast"));
        dialog.slotSaveCompleted();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void escapeKeepsItOpenAndCloseButtonCloses()
    {
        SaveAsDlg dialog("yeast");
        show(dialog);
        QSignalSpy spy(&dialog, &SaveAsDlg::signalSave);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::keyClick(field(&dialog), Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_EXIT"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(spy.count(), 0);
    }

    void looksRight()
    {
        SaveAsDlg dialog("yeast-2");
        show(dialog);
        QCOMPARE(dialog.size(), QSize(958, 619));
        QVERIFY(dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-saveasdlg.png")));
    }
};

QTEST_MAIN(SaveAsDlgTest)
#include "tst_SaveAsDlg.moc"
