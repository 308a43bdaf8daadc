#include "BoardStandin.h"
#include "CalibrateDialog.h"
#include "ModalAnswer.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "SettingsFrame.h"
#include "TestRoot.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

const QString Eject = QStringLiteral("$X#STAGE EJECT");
const QString Probe = QStringLiteral("$A#VER");
// What the calibration dialog's own run sends.
const QStringList Run{"$A#VER", "$Z#STAGE INIT", "$Z#REF", "$Z#SLOPE", "$A#LIGHT CAL",
                      "$A#LED 0"};
const QByteArray Before = "[Calibration]\nLast Update=01 JAN 2020 10:00\nValue=40\n"
                          "[Reference position]\nValue=12000\nSlope=1\n";

} // namespace

// The settings screen's calibration: slide out, calibration dialog, slide out again,
// against the controller-board stand-in.
class SettingsCalibrationTest : public QObject
{
    Q_OBJECT

private:
    static void enter(SettingsFrame &frame)
    {
        frame.resize(1280, 720);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.initialize();
    }

    static QString label(SettingsFrame &frame, const char *name)
    {
        return frame.findChild<QLabel *>(name)->text();
    }

    static void calibrate(SettingsFrame &frame)
    {
        QTest::mouseClick(frame.findChild<QPushButton *>("BUTTON_CALIBRATE"), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    void cleanup()
    {
        QtSerialPort::release();
        SettingsFrame::SetSlideEjection(false);
    }

    void firstEjectFailsNoDialog_data()
    {
        QTest::addColumn<bool>("board");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("received");
        QTest::newRow("eject refused") << true << "ng" << QStringList{Probe, Eject, Eject, Eject};
        QTest::newRow("eject unanswered") << true << "silent"
                                          << QStringList{Probe, Eject, Eject, Eject};
        QTest::newRow("no board") << false << "" << QStringList();
    }

    void firstEjectFailsNoDialog()
    {
        QFETCH(bool, board);
        QFETCH(QString, mode);
        QFETCH(QStringList, received);
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", Before);
        BoardStandin standin;
        if (board) {
            QVERIFY(standin.start());
            standin.setMode("ok", 1);
            standin.thenMode(mode);
        }
        SettingsFrame frame;
        enter(frame);
        QSignalSpy completed(&frame, &SettingsFrame::signalCalibrationCompleted);
        // A dialog would run its own event loop inside the click; this closes it there.
        bool dialogOpened = false;
        QTimer guard;
        connect(&guard, &QTimer::timeout, this, [&dialogOpened]() {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                dialogOpened = true;
                modal->close();
            }
        });
        guard.start(10);
        calibrate(frame);
        QVERIFY(!dialogOpened);
        QCOMPARE(standin.received(), received);
        QCOMPARE(completed.count(), 0);
        QVERIFY(!SettingsFrame::slideEjection());
        QCOMPARE(label(frame, "LABEL_LAST_CALIBRATION_DATETIME"), QString("01 JAN 2020 10:00"));
    }

    void calibration_data()
    {
        QTest::addColumn<QString>("button");        // pressed in the calibration dialog
        QTest::addColumn<int>("okReplies");         // then the board refuses everything
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("ejectedAfter");
        QTest::newRow("completed and confirmed") << "BUTTON_OK" << 0 << true << true;
        QTest::newRow("cancelled: the slide still comes out") << "BUTTON_CANCEL" << 0 << false
                                                              << true;
        // Probe and eject, the dialog's run, the probe before the closing eject.
        QTest::newRow("closing eject refused") << "BUTTON_OK" << 2 + 6 + 1 << true << false;
    }

    void calibration()
    {
        QFETCH(QString, button);
        QFETCH(int, okReplies);
        QFETCH(bool, accepted);
        QFETCH(bool, ejectedAfter);
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", Before);
        BoardStandin standin;
        QVERIFY(standin.start());
        if (okReplies) {
            standin.setMode("ok", okReplies);
            standin.thenMode("ng");
        }
        SettingsFrame frame;
        enter(frame);
        frame.slotEnableSecurityMode(true);     // calibration stays open to everyone
        QSignalSpy completed(&frame, &SettingsFrame::signalCalibrationCompleted);
        QString opened;
        ModalAnswer::next([&](QWidget *modal) {
            opened = modal->metaObject()->className();
            auto *dialog = qobject_cast<CalibrateDialog *>(modal);
            if (accepted)
                QTRY_COMPARE_WITH_TIMEOUT(dialog->state(), CalibrateDialog::STATE_COMPLETED, 10000);
            QTest::mouseClick(modal->findChild<QPushButton *>(button), Qt::LeftButton);
        });
        calibrate(frame);
        QCOMPARE(opened, QString("CalibrateDialog"));
        QVERIFY(!QApplication::activeModalWidget());

        const QStringList received = standin.received();
        QCOMPARE(received.mid(0, 2), (QStringList{Probe, Eject}));
        QCOMPARE(received.at(2), Probe);            // the dialog's own link
        const QStringList closing = ejectedAfter ? QStringList{Probe, Eject}
                                                 : QStringList{Probe, Eject, Eject, Eject};
        QCOMPARE(received.mid(received.lastIndexOf(Probe)), closing);
        if (accepted)
            QCOMPARE(received.mid(2, Run.size()), Run);
        QCOMPARE(SettingsFrame::slideEjection(), ejectedAfter);
        QCOMPARE(completed.count(), accepted ? 1 : 0);
        if (accepted) {
            QVERIFY(label(frame, "LABEL_LAST_CALIBRATION_DATETIME") != "01 JAN 2020 10:00");
            QCOMPARE(label(frame, "LABEL_CALIBRATED_VALUES"), QString("12800, 0, 50, 100"));
        } else {
            QCOMPARE(label(frame, "LABEL_LAST_CALIBRATION_DATETIME"),
                     QString("01 JAN 2020 10:00"));
            QCOMPARE(label(frame, "LABEL_CALIBRATED_VALUES"), QString("12000, 1, 40, 100"));
        }
    }
};

QTEST_MAIN(SettingsCalibrationTest)
#include "tst_SettingsCalibration.moc"
