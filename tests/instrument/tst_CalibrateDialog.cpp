#include "BoardStandin.h"
#include "CalibrateDialog.h"
#include "ModalAnswer.h"
#include "PrivateProfile.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "TestRoot.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

namespace {
const char Ini[] = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";

QString read(const char *section, const char *key)
{
    std::string value;
    ReadPrivateProfileString(section, key, "<missing>", value, Ini);
    return QString::fromStdString(value);
}

const QStringList Sequence{"$A#VER", "$Z#STAGE INIT", "$Z#REF", "$Z#SLOPE", "$A#LIGHT CAL",
                           "$A#LED 0"};
} // namespace

class CalibrateDialogTest : public QObject
{
    Q_OBJECT

private:
    static void click(CalibrateDialog &dialog, const char *name)
    {
        auto *button = dialog.findChild<QPushButton *>(name);
        QVERIFY2(button->isVisible() && button->isEnabled(), name);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    static QString message(CalibrateDialog &dialog)
    {
        return dialog.findChild<QLabel *>("LABEL_MESSAGE")->text();
    }
    static void expectNothingWritten()
    {
        QCOMPARE(read("Calibration", "Value"), QString("<missing>"));
        QCOMPARE(read("Calibration", "Last Update"), QString("<missing>"));
        QCOMPARE(read("Reference position", "Value"), QString("<missing>"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    void cleanup()
    {
        QtSerialPort::release();
    }

    // Through exec() as the settings screen runs it, confirmed by OK or Enter once done.
    void completedAndConfirmed_data()
    {
        QTest::addColumn<bool>("enter");
        QTest::newRow("OK") << false;
        QTest::newRow("Enter") << true;
    }
    void completedAndConfirmed()
    {
        QFETCH(bool, enter);
        TestRoot root;
        root.writeFile(Ini, "[Calibration]\nExposure Olympus=160\n");
        BoardStandin board;
        QVERIFY(board.start());
        // The caller's link is open, as the settings screen's would be.
        QVERIFY(QtSerialPort::instance()->open());
        CalibrateDialog dialog;
        ModalAnswer::next([&](QWidget *) {
            QTRY_COMPARE_WITH_TIMEOUT(dialog.state(), CalibrateDialog::STATE_COMPLETED, 10000);
            if (enter)
                QTest::keyClick(&dialog, Qt::Key_Enter);
            else
                click(dialog, "BUTTON_OK");
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));

        QCOMPARE(board.received(), (QStringList{"$A#VER"} + Sequence));
        QCOMPARE(read("Calibration", "Value"), QString("50"));
        QCOMPARE(read("Reference position", "Value"), QString("12800"));
        QCOMPARE(read("Reference position", "Slope"), QString("0"));
        QCOMPARE(read("Calibration", "Exposure Meiji"), QString("100"));
        QCOMPARE(read("Calibration", "Exposure Olympus"), QString("160"));
        QVERIFY2(QRegularExpression("^\\d\\d [A-Z]{3} \\d{4} \\d\\d:\\d\\d$")
                     .match(read("Calibration", "Last Update")).hasMatch(),
                 qPrintable(read("Calibration", "Last Update")));
    }

    void failure_data()
    {
        QTest::addColumn<QStringList>("modes");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("key");   // 0: the OK button
        QTest::newRow("no focus reference, OK") << QStringList{"ok 2", "ng"} << 3 << 0;
        QTest::newRow("no LED level, Enter")
            << QStringList{"ok 4", "ng"} << 5 << int(Qt::Key_Enter);
        QTest::newRow("unplugged mid-run") << QStringList{"ok 3", "vanish"} << 1 << 0;
        QTest::newRow("silent board") << QStringList{"silent"} << 1 << int(Qt::Key_Return);
        QTest::newRow("focus reference 0") << QStringList{"ok 2", "report:0 1"} << 6 << 0;
        QTest::newRow("LED level 101") << QStringList{"ok 4", "report:101 1"} << 6 << 0;
    }
    void failure()
    {
        QFETCH(QStringList, modes);
        QFETCH(int, error);
        QFETCH(int, key);
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        for (const QString &mode : modes)
            board.thenMode(mode.section(' ', 0, 0), mode.section(' ', 1).toInt());
        CalibrateDialog dialog;
        dialog.open();
        QTRY_COMPARE_WITH_TIMEOUT(dialog.state(), CalibrateDialog::STATE_FAILED, 10000);
        QCOMPARE(dialog.error(), error);
        QVERIFY2(message(dialog).contains(QString("error %1").arg(error)),
                 qPrintable(message(dialog)));
        QVERIFY(!dialog.findChild<QPushButton *>("BUTTON_CANCEL")->isVisible());
        if (key)
            QTest::keyClick(&dialog, Qt::Key(key));
        else
            click(dialog, "BUTTON_OK");
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        expectNothingWritten();
    }

    void cancelStopsTheRun_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("CANCEL") << false;
        QTest::newRow("Escape") << true;
    }
    void cancelStopsTheRun()
    {
        QFETCH(bool, escape);
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        board.setMode("late:150");
        CalibrateDialog dialog;
        dialog.open();
        QTRY_VERIFY_WITH_TIMEOUT(board.received().contains("$Z#STAGE INIT"), 5000);
        QCOMPARE(dialog.state(), CalibrateDialog::STATE_RUNNING);
        // Enter does nothing while the run goes on.
        QTest::keyClick(&dialog, Qt::Key_Enter);
        QVERIFY(dialog.isVisible());
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            click(dialog, "BUTTON_CANCEL");
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 5000);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.error(), int(CALIBRATION_CANCELED));
        QVERIFY(!board.received().contains("$A#LIGHT CAL"));
        expectNothingWritten();
    }
};

QTEST_MAIN(CalibrateDialogTest)
#include "tst_CalibrateDialog.moc"
