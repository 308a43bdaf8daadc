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
} // namespace

// The calibration against the board stand-in, through exec() as the settings screen runs it.
class CalibrateDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    void cleanup()
    {
        QtSerialPort::release();
    }

    // Once done, OK or Enter accept and the values are written. After a failure, given
    // by number, OK, Enter and Return all close it and nothing is written; so do CANCEL
    // and Escape while it runs (Enter then does nothing).
    void calibration_data()
    {
        QTest::addColumn<QStringList>("modes");     // the board's answers, in turn
        QTest::addColumn<int>("key");               // 0: the OK or CANCEL button
        QTest::addColumn<int>("error");
        const int enter = Qt::Key_Enter;
        const int cancelled = CALIBRATION_CANCELED;
        QTest::newRow("completed, OK") << QStringList() << 0 << 0;
        QTest::newRow("completed, Enter") << QStringList() << enter << 0;
        QTest::newRow("no focus reference, OK") << QStringList{"ok 2", "ng"} << 0 << 3;
        QTest::newRow("no LED level, Enter") << QStringList{"ok 4", "ng"} << enter << 5;
        QTest::newRow("unplugged mid-run") << QStringList{"ok 3", "vanish"} << 0 << 1;
        QTest::newRow("silent board, Return") << QStringList{"silent"} << int(Qt::Key_Return) << 1;
        QTest::newRow("focus reference 0") << QStringList{"ok 2", "report:0 1"} << 0 << 6;
        QTest::newRow("LED level 101") << QStringList{"ok 4", "report:101 1"} << 0 << 6;
        QTest::newRow("CANCEL while running") << QStringList{"late:150"} << 0 << cancelled;
        QTest::newRow("Escape while running") << QStringList{"late:150"} << int(Qt::Key_Escape)
                                              << cancelled;
    }
    void calibration()
    {
        QFETCH(QStringList, modes);
        QFETCH(int, key);
        QFETCH(int, error);
        TestRoot root;
        root.writeFile(Ini, "[Calibration]\nExposure Olympus=160\n");
        BoardStandin board;
        QVERIFY(board.start());
        // The caller's link is open, as the settings screen's would be.
        QVERIFY(QtSerialPort::instance()->open());
        for (const QString &mode : modes)
            board.thenMode(mode.section(' ', 0, 0), mode.section(' ', 1).toInt());
        CalibrateDialog dialog;
        const bool cancel = error == CALIBRATION_CANCELED;
        QString message;
        ModalAnswer::next([&](QWidget *) {
            if (cancel) {
                QTRY_VERIFY_WITH_TIMEOUT(board.received().contains("$Z#STAGE INIT"), 5000);
                QCOMPARE(dialog.state(), CalibrateDialog::STATE_RUNNING);
                QTest::keyClick(&dialog, Qt::Key_Enter);
                QVERIFY(dialog.isVisible());
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(dialog.state() != CalibrateDialog::STATE_RUNNING, 10000);
            }
            message = dialog.findChild<QLabel *>("LABEL_MESSAGE")->text();
            auto *button = dialog.findChild<QPushButton *>(cancel ? "BUTTON_CANCEL" : "BUTTON_OK");
            if (key)
                QTest::keyClick(&dialog, Qt::Key(key));
            else if (button->isVisible())
                QTest::mouseClick(button, Qt::LeftButton);
            if (!QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000))
                dialog.done(-1);    // it stayed open: end it so that the test can say so
        });
        QCOMPARE(dialog.exec(), int(error ? QDialog::Rejected : QDialog::Accepted));
        QCOMPARE(dialog.error(), error);
        if (error) {
            if (cancel)
                QVERIFY(!board.received().contains("$A#LIGHT CAL"));
            else
                QVERIFY2(message.contains(QString("error %1").arg(error)), qPrintable(message));
            QCOMPARE(read("Calibration", "Value"), QString("<missing>"));
            QCOMPARE(read("Calibration", "Last Update"), QString("<missing>"));
            QCOMPARE(read("Reference position", "Value"), QString("<missing>"));
            return;
        }
        QCOMPARE(board.received(), QStringList({"$A#VER", "$A#VER", "$Z#STAGE INIT", "$Z#REF",
                                                "$Z#SLOPE", "$A#LIGHT CAL", "$A#LED 0"}));
        QCOMPARE(read("Calibration", "Value"), QString("50"));
        QCOMPARE(read("Reference position", "Value"), QString("12800"));
        QCOMPARE(read("Reference position", "Slope"), QString("0"));
        QCOMPARE(read("Calibration", "Exposure Meiji"), QString("100"));
        QCOMPARE(read("Calibration", "Exposure Olympus"), QString("160"));
        QVERIFY2(QRegularExpression("^\\d\\d [A-Z]{3} \\d{4} \\d\\d:\\d\\d$")
                     .match(read("Calibration", "Last Update")).hasMatch(),
                 qPrintable(read("Calibration", "Last Update")));
    }
};

QTEST_MAIN(CalibrateDialogTest)
#include "tst_CalibrateDialog.moc"
