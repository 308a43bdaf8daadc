#include "PrivateProfile.h"
#include "Resources.h"
#include "SaveOptionsDialog.h"
#include "TestRoot.h"

#include <QPushButton>
#include <QtTest>

class SaveOptionsDialogTest : public QObject
{
    Q_OBJECT

private:
    static QString read(const char *key)
    {
        std::string value;
        ReadPrivateProfileString("Save options", key, "<missing>", value,
                                 "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        return QString::fromStdString(value);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    void readDefaults_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("rawAfter");
        QTest::addColumn<bool>("raw");
        QTest::newRow("missing: On, written back") << QByteArray() << "On" << true;
        QTest::newRow("Off kept")
            << QByteArray("[Save options]\nRaw images=Off\n") << "Off" << false;
        QTest::newRow("unknown: On")
            << QByteArray("[Save options]\nRaw images=off\n") << "On" << true;
    }
    void readDefaults()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, rawAfter);
        QFETCH(bool, raw);
        TestRoot root;
        if (!ini.isEmpty())
            root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", ini);
        const SaveOptions options = SaveOptions::read();
        QCOMPARE(options.rawImages, raw);
        QCOMPARE(read("Raw images"), rawAfter);
        for (const char *key : {"Analysed images", "Report", "CSV"})
            QCOMPARE(read(key), QString("On"));
    }

    void closeStoresEachSwitch_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("key");
        QTest::newRow("analysed images") << "BUTTON_ANALYSED_IMAGES" << "Analysed images";
        QTest::newRow("raw images") << "BUTTON_RAW_IMAGES" << "Raw images";
        QTest::newRow("report") << "BUTTON_REPORT" << "Report";
        QTest::newRow("CSV") << "BUTTON_CSV" << "CSV";
    }
    void closeStoresEachSwitch()
    {
        QFETCH(QString, button);
        QFETCH(QString, key);
        TestRoot root;
        SaveOptionsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *toggle = dialog.findChild<QPushButton *>(button);
        QVERIFY(toggle->isChecked());
        QTest::mouseClick(toggle, Qt::LeftButton);
        if (button == "BUTTON_RAW_IMAGES")
            dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-saveoptions.png"));
        QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_CLOSE"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        for (const char *other : {"Analysed images", "Raw images", "Report", "CSV"})
            QCOMPARE(read(other), QString(key == other ? "Off" : "On"));
    }

    void escapeWritesNothing()
    {
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini",
                       "[Save options]\nAnalysed images=On\nRaw images=On\nReport=On\nCSV=On\n");
        SaveOptionsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_CSV"), Qt::LeftButton);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(read("CSV"), QString("On"));
    }
};

QTEST_MAIN(SaveOptionsDialogTest)
#include "tst_SaveOptionsDialog.moc"
