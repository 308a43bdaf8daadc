#include "PrivateProfile.h"
#include "Resources.h"
#include "ReviewOptionsDialog.h"
#include "TestRoot.h"

#include <QPushButton>
#include <QtTest>

class ReviewOptionsDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void closingStoresTheSwitch_data()
    {
        QTest::addColumn<QString>("before");    // null: no key
        QTest::addColumn<int>("touches");
        QTest::addColumn<bool>("escape");       // left with Escape, else with CLOSE
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("result");
        const int on = QDialog::Accepted;
        const int off = QDialog::Rejected;
        QTest::newRow("key missing: True") << QString() << 0 << false << "True" << on;
        QTest::newRow("unknown value: True") << "yes" << 0 << false << "True" << on;
        QTest::newRow("switched off") << "True" << 1 << false << "False" << off;
        QTest::newRow("switched on") << "False" << 1 << false << "True" << on;
        QTest::newRow("toggled twice") << "False" << 2 << false << "False" << off;
        // Escape used to reject without writing, so the screens hid the scale bar while
        // the file still said "True".
        QTest::newRow("Escape") << "True" << 0 << true << "True" << on;
        QTest::newRow("switched off, Escape") << "True" << 1 << true << "False" << off;
        QTest::newRow("switched on, Escape") << "False" << 1 << true << "True" << on;
    }
    void closingStoresTheSwitch()
    {
        QFETCH(QString, before);
        QFETCH(int, touches);
        QFETCH(bool, escape);
        TestRoot root;
        const std::string file = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
        if (!before.isNull())
            WritePrivateProfileString("Scale Bar", "Enable", before.toStdString(), file);
        ReviewOptionsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (int i = 0; i < touches; ++i)
            QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_SCALEBAR_ENABLE"),
                              Qt::LeftButton);
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_CLOSE"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QTEST(dialog.result(), "result");
        std::string value;
        ReadPrivateProfileString("Scale Bar", "Enable", "<missing>", value, file);
        QTEST(QString::fromStdString(value), "after");
    }
};

QTEST_MAIN(ReviewOptionsDialogTest)
#include "tst_ReviewOptionsDialog.moc"
