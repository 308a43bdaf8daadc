#include "PrivateProfile.h"
#include "Resources.h"
#include "SaveOptionsDialog.h"
#include "TestRoot.h"

#include <QPushButton>
#include <QtTest>

class SaveOptionsDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void switchesAndSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("button");    // touched once, if any
        QTest::addColumn<bool>("escape");       // left with Escape, else with CLOSE
        QTest::addColumn<QString>("stored");    // analysed, raw, report, CSV afterwards
        QTest::newRow("missing keys written back as On") << QByteArray() << "" << true << "On On On On";
        QTest::newRow("unknown value written back as On")
            << QByteArray("[Save options]\nRaw images=off\n") << "" << true << "On On On On";
        QTest::newRow("Off kept") << QByteArray("[Save options]\nReport=Off\n") << "" << false
                                  << "On On Off On";
        QTest::newRow("analysed") << QByteArray() << "BUTTON_ANALYSED_IMAGES" << false << "Off On On On";
        QTest::newRow("raw") << QByteArray() << "BUTTON_RAW_IMAGES" << false << "On Off On On";
        QTest::newRow("report") << QByteArray() << "BUTTON_REPORT" << false << "On On Off On";
        QTest::newRow("CSV") << QByteArray() << "BUTTON_CSV" << false << "On On On Off";
        QTest::newRow("Escape writes nothing") << QByteArray() << "BUTTON_CSV" << true << "On On On On";
    }
    void switchesAndSettingsFile()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, button);
        QFETCH(bool, escape);
        TestRoot root;
        const std::string file = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
        QVERIFY(ini.isEmpty() || root.writeFile(QString::fromStdString(file), ini));
        SaveOptionsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        if (!button.isEmpty())
            QTest::mouseClick(dialog.findChild<QPushButton *>(button), Qt::LeftButton);
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_CLOSE"), Qt::LeftButton);
        QCOMPARE(dialog.isVisible() ? -1 : dialog.result(),
                 int(escape ? QDialog::Rejected : QDialog::Accepted));
        QStringList stored;
        for (const char *key : {"Analysed images", "Raw images", "Report", "CSV"}) {
            std::string value;
            ReadPrivateProfileString("Save options", key, "<missing>", value, file);
            stored << QString::fromStdString(value);
        }
        QTEST(stored.join(' '), "stored");
    }
};

QTEST_MAIN(SaveOptionsDialogTest)
#include "tst_SaveOptionsDialog.moc"
