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
    static QString read(const char *key)
    {
        std::string value;
        ReadPrivateProfileString("Counting options", key, "<missing>", value,
                                 "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        return QString::fromStdString(value);
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

    void defaultsWrittenBack_data()
    {
        QTest::addColumn<QString>("autofocus");
        QTest::addColumn<QString>("ejectOn");
        QTest::addColumn<QString>("autofocusAfter");
        QTest::addColumn<QString>("ejectOnAfter");
        QTest::newRow("missing") << QString() << QString() << "1" << "no";
        QTest::newRow("unknown values") << "maybe" << "YES" << "1" << "no";
        QTest::newRow("kept") << "0" << "yes" << "0" << "yes";
    }
    void defaultsWrittenBack()
    {
        QFETCH(QString, autofocus);
        QFETCH(QString, ejectOn);
        QFETCH(QString, autofocusAfter);
        QFETCH(QString, ejectOnAfter);
        TestRoot root;
        if (!autofocus.isEmpty())
            write("Autofocus", autofocus);
        if (!ejectOn.isEmpty())
            write("Eject on", ejectOn);
        CountingOptionsDialog dialog;
        QCOMPARE(read("Autofocus"), autofocusAfter);
        QCOMPARE(read("Eject on"), ejectOnAfter);
        QCOMPARE(button(dialog, "BUTTON_AUTOFOCUS_EVERY")->isChecked(), autofocusAfter == "1");
        QCOMPARE(button(dialog, "BUTTON_AUTOFOCUS_FIRST")->isChecked(), autofocusAfter == "0");
        QCOMPARE(button(dialog, "BUTTON_EJECT_ON")->isChecked(), ejectOnAfter == "yes");
    }

    // CLOSE stores the choice; Escape stores nothing. Touching the chosen one again keeps it.
    void closing_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("CLOSE") << false;
        QTest::newRow("Escape") << true;
    }
    void closing()
    {
        QFETCH(bool, escape);
        TestRoot root;
        write("Counting field", "12");
        CountingOptionsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
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
        QCOMPARE(read("Autofocus"), QString(escape ? "1" : "0"));
        QCOMPARE(read("Eject on"), QString(escape ? "no" : "yes"));
        QCOMPARE(read("Counting field"), QString("12"));
    }
};

QTEST_MAIN(CountingOptionsDialogTest)
#include "tst_CountingOptionsDialog.moc"
