#include "BoardStandin.h"
#include "QtSerialPort.h"
#include "TestRoot.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

class QtSerialPortTest : public QObject
{
    Q_OBJECT

private:
    static int countOf(const QStringList &lines, const QString &line)
    {
        return int(std::count(lines.begin(), lines.end(), line));
    }

private Q_SLOTS:
    void cleanup()
    {
        QtSerialPort::release();
    }

    void probeFindsTheBoard()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        QtSerialPort *link = QtSerialPort::instance();
        QVERIFY(link->open());
        QCOMPARE(link->portName(), QString("/dev/ttyUSB0"));
        QCOMPARE(board.received(), QStringList{"$A#VER"});
    }

    void probeSkipsWhatIsNotABoard()
    {
        TestRoot root;
        // A plain file is no serial port; the board sits on a later device.
        root.writeFile("/dev/ttyUSB0", "not a terminal");
        BoardStandin board("/dev/ttyUSB3");
        QVERIFY(board.start());
        QVERIFY(QtSerialPort::instance()->open());
        QCOMPARE(QtSerialPort::instance()->portName(), QString("/dev/ttyUSB3"));
    }

    void noBoard()
    {
        TestRoot root;
        root.mkdir("/dev");
        QVERIFY(!QtSerialPort::instance()->open());
        QVERIFY(!QtSerialPort::instance()->isOpen());
        QCOMPARE(QtSerialPort::instance()->sendToSerialPortFast("$X#STAGE EJECT\n", 100),
                 QString());
        QVERIFY(!QtSerialPort::instance()->sendCommand("$X#STAGE EJECT\n", 100));
    }

    void silentBoardIsNotFound()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        board.setMode("silent");
        QVERIFY(!QtSerialPort::instance()->open());
        QCOMPARE(board.received(), QStringList{"$A#VER"});
    }

    void replyBelongsToItsCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reply");
        QTest::newRow("plain command") << "$X#STAGE EJECT\n" << "$OK#X#STAGE EJECT";
        QTest::newRow("number sent, none reported") << "$Z#MOVE 1200\n" << "$OK#Z#MOVE";
        QTest::newRow("negative number sent") << "$Z#MOVE -40\n" << "$OK#Z#MOVE";
        QTest::newRow("number reported") << "$Z#REF\n" << "$OK#Z#REF#12800";
        QTest::newRow("version") << "$A#VER\n" << "$OK#A#VER#100";
        QTest::newRow("without line feed") << "$A#LED 40" << "$OK#A#LED";
    }
    void replyBelongsToItsCommand()
    {
        QFETCH(QString, command);
        QFETCH(QString, reply);
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        QtSerialPort *link = QtSerialPort::instance();
        QVERIFY(link->open());
        QCOMPARE(link->sendToSerialPortFast(command, 1000), reply);
        QVERIFY(QtSerialPort::replyBelongsTo(reply, command));
    }

    void matching_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("belongs");
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK") << "$OK#X#STAGE EJECT" << "$X#STAGE EJECT\n" << true << true;
        QTest::newRow("NG") << "$NG#X#STAGE EJECT" << "$X#STAGE EJECT\n" << true << false;
        QTest::newRow("lower-case ok") << "$ok#X#STAGE EJECT" << "$X#STAGE EJECT\n" << true << true;
        QTest::newRow("other unit") << "$OK#Z#STAGE EJECT" << "$X#STAGE EJECT\n" << false << true;
        QTest::newRow("other command") << "$OK#X#STAGE INIT" << "$X#STAGE EJECT\n" << false << true;
        QTest::newRow("cut short") << "$OK#X" << "$X#STAGE EJECT\n" << false << true;
        QTest::newRow("empty") << "" << "$X#STAGE EJECT\n" << false << false;
        QTest::newRow("malformed command") << "$OK#X#" << "STAGE" << false << true;
    }
    void matching()
    {
        QFETCH(QString, reply);
        QFETCH(QString, command);
        QFETCH(bool, belongs);
        QFETCH(bool, ok);
        QCOMPARE(QtSerialPort::replyBelongsTo(reply, command), belongs);
        QCOMPARE(QtSerialPort::replyOk(reply), ok);
    }

    void replyValue_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("number") << "$OK#Z#REF#12800" << true << 12800;
        QTest::newRow("negative") << "$OK#Z#SLOPE#-3" << true << -3;
        QTest::newRow("no number") << "$OK#Z#REF" << false << 0;
        QTest::newRow("not decimal") << "$OK#Z#REF#12a" << false << 0;
        QTest::newRow("empty number") << "$OK#Z#REF#" << false << 0;
        QTest::newRow("five parts") << "$OK#Z#REF#1#2" << false << 0;
    }
    void replyValue()
    {
        QFETCH(QString, reply);
        QFETCH(bool, ok);
        QFETCH(int, value);
        int got = 0;
        QCOMPARE(QtSerialPort::replyValue(reply, &got), ok);
        QCOMPARE(got, value);
    }

    // A reply that comes after its command gave up must not answer the next command.
    void lateReplyIsNotTakenForTheNextCommand()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        QtSerialPort *link = QtSerialPort::instance();
        QVERIFY(link->open());
        board.setMode("late:400", 1);
        QCOMPARE(link->sendToSerialPortFast("$X#STAGE EJECT\n", 100), QString());
        QCOMPARE(link->sendToSerialPortFast("$Z#REF\n", 2000), QString("$OK#Z#REF#12800"));
    }

    void noiseIsSkipped()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        board.setMode("noise");
        QtSerialPort *link = QtSerialPort::instance();
        QVERIFY(link->open());
        QCOMPARE(link->sendToSerialPortFast("$X#STAGE EJECT\n", 1000),
                 QString("$OK#X#STAGE EJECT"));
        int value = 0;
        QVERIFY(link->sendCommand("$A#LIGHT CAL\n", 1000, &value));
        QCOMPARE(value, 50);
    }

    void silenceTimesOut()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        QtSerialPort *link = QtSerialPort::instance();
        QVERIFY(link->open());
        board.setMode("silent");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link->sendToSerialPortFast("$X#STAGE EJECT\n", 200), QString());
        QVERIFY2(clock.elapsed() >= 190 && clock.elapsed() < 1500,
                 qPrintable(QString::number(clock.elapsed())));
        QVERIFY(link->isOpen());
    }

    void threeTriesUntilOk_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("failures");
        QTest::addColumn<bool>("done");
        QTest::addColumn<int>("sent");
        QTest::newRow("OK at once") << "ng" << 0 << true << 1;
        QTest::newRow("NG twice, then OK") << "ng" << 2 << true << 3;
        QTest::newRow("NG three times") << "ng" << 3 << false << 3;
        QTest::newRow("silent once, then OK") << "silent" << 1 << true << 2;
        QTest::newRow("silent three times") << "silent" << 3 << false << 3;
    }
    void threeTriesUntilOk()
    {
        QFETCH(QString, mode);
        QFETCH(int, failures);
        QFETCH(bool, done);
        QFETCH(int, sent);
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        QtSerialPort *link = QtSerialPort::instance();
        QVERIFY(link->open());
        board.clearReceived();
        if (failures > 0)
            board.setMode(mode, failures);
        QCOMPARE(link->sendCommand("$X#STAGE EJECT\n", 150), done);
        QCOMPARE(countOf(board.received(), "$X#STAGE EJECT"), sent);
    }

    void valueMustBeReported()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        QtSerialPort *link = QtSerialPort::instance();
        QVERIFY(link->open());
        int value = -1;
        QVERIFY(link->sendCommand("$Z#REF\n", 500, &value));
        QCOMPARE(value, 12800);
        board.clearReceived();
        QVERIFY(!link->sendCommand("$X#STAGE EJECT\n", 500, &value));
        QCOMPARE(countOf(board.received(), "$X#STAGE EJECT"), 3);
    }

    void boardVanishesMidCommand()
    {
        TestRoot root;
        QtSerialPort *link = QtSerialPort::instance();
        {
            BoardStandin board;
            QVERIFY(board.start());
            QVERIFY(link->open());
            board.setMode("vanish");
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(link->sendToSerialPortFast("$X#STAGE EJECT\n", 5000), QString());
            QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
            QTRY_VERIFY(!board.isRunning());
        }
        QTRY_VERIFY(!link->isOpen());
        QVERIFY(!link->sendCommand("$X#STAGE EJECT\n", 5000));
        QVERIFY(!link->open());

        // Plugged in again: found again.
        BoardStandin again;
        QVERIFY(again.start());
        QVERIFY(link->open());
        QVERIFY(link->sendCommand("$X#STAGE EJECT\n", 1000));
    }

    void nextHolderAsksTheLastPortFirst()
    {
        TestRoot root;
        BoardStandin board("/dev/ttyUSB2");
        QVERIFY(board.start());
        QVERIFY(QtSerialPort::instance()->open());
        QtSerialPort::release();

        BoardStandin other("/dev/ttyUSB0");
        QVERIFY(other.start());
        board.clearReceived();
        QVERIFY(QtSerialPort::instance()->open());
        QCOMPARE(QtSerialPort::instance()->portName(), QString("/dev/ttyUSB2"));
        QVERIFY(QtSerialPort::instance()->sendCommand("$X#STAGE EJECT\n", 1000));
        QCOMPARE(board.received(), (QStringList{"$A#VER", "$X#STAGE EJECT"}));
        QVERIFY(other.received().isEmpty());
    }

    // The counting run and the calibration take the link over in their own threads.
    void linkInAWorkerThread()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        QVERIFY(QtSerialPort::instance()->open());
        QtSerialPort::release();
        int value = 0;
        bool sent = false;
        QThread *worker = QThread::create([&] {
            QtSerialPort *link = QtSerialPort::instance();
            sent = link->open() && link->sendCommand("$Z#REF\n", 1000, &value);
            QtSerialPort::release();
        });
        worker->start();
        QVERIFY(worker->wait(10000));
        delete worker;
        QVERIFY(sent);
        QCOMPARE(value, 12800);
    }
};

QTEST_MAIN(QtSerialPortTest)
#include "tst_QtSerialPort.moc"
