#include "CountingOptionsDialog.h"
#include "PrivateProfile.h"
#include "Resources.h"
#include "TestRoot.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class CountingOptionsDialogTest : public QObject
{
    Q_OBJECT

private:
    static QString readKey(const char *key)
    {
        std::string value;
        ReadPrivateProfileString("Counting options", key, "<missing>", value,
                                 "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        return QString::fromStdString(value);
    }
    static QString stored()
    {
        return readKey("Autofocus") + ' ' + readKey("Eject on");
    }
    static void write(const char *key, const QString &value)
    {
        WritePrivateProfileString("Counting options", key, value.toStdString(),
                                  "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
    }
    static QPushButton *button(QDialog &dialog, const char *name)
    {
        return dialog.findChild<QPushButton *>(name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    // Missing or unknown choices read as the defaults and are written back at once; CLOSE
    // stores the choice, Escape nothing. Touching the chosen one again keeps it.
    void choices_data()
    {
        QTest::addColumn<QString>("autofocus");     // in the file; null: missing
        QTest::addColumn<QString>("ejectOn");
        QTest::addColumn<bool>("escape");
        QTest::addColumn<QString>("read");          // "Autofocus" and "Eject on" as read
        QTest::newRow("missing, CLOSE") << QString() << QString() << false << "1 no";
        QTest::newRow("unknown values, Escape") << "maybe" << "YES" << true << "1 no";
        QTest::newRow("kept, CLOSE") << "0" << "yes" << false << "0 yes";
    }
    void choices()
    {
        QFETCH(QString, autofocus);
        QFETCH(QString, ejectOn);
        QFETCH(bool, escape);
        QFETCH(QString, read);
        TestRoot root;
        write("Counting field", "12");
        if (!autofocus.isNull())
            write("Autofocus", autofocus);
        if (!ejectOn.isNull())
            write("Eject on", ejectOn);
        CountingOptionsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(stored(), read);
        QCOMPARE(button(dialog, "BUTTON_AUTOFOCUS_EVERY")->isChecked(), read.startsWith("1"));
        QCOMPARE(button(dialog, "BUTTON_AUTOFOCUS_FIRST")->isChecked(), read.startsWith("0"));
        QCOMPARE(button(dialog, "BUTTON_EJECT_ON")->isChecked(), read.endsWith("yes"));
        QCOMPARE(dialog.findChild<QLabel *>("LABEL_COUNTING_FIELD_VALUE")->text(), QString("12"));
        QTest::mouseClick(button(dialog, "BUTTON_AUTOFOCUS_FIRST"), Qt::LeftButton);
        QTest::mouseClick(button(dialog, "BUTTON_AUTOFOCUS_FIRST"), Qt::LeftButton);
        QVERIFY(button(dialog, "BUTTON_AUTOFOCUS_FIRST")->isChecked());
        QVERIFY(!button(dialog, "BUTTON_AUTOFOCUS_EVERY")->isChecked());
        QTest::mouseClick(button(dialog, "BUTTON_EJECT_ON"), Qt::LeftButton);
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(button(dialog, "BUTTON_CLOSE"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(escape ? QDialog::Rejected : QDialog::Accepted));
        QCOMPARE(stored(), escape ? read : QString(read.endsWith("yes") ? "0 no" : "0 yes"));
        QCOMPARE(readKey("Counting field"), QString("12"));
    }
};

QTEST_MAIN(CountingOptionsDialogTest)
#include "tst_CountingOptionsDialog.moc"
