#include "BoardStandin.h"
#include "QtSerialPort.h"
#include "TestRoot.h"

#include <QElapsedTimer>
#include <QtTest>

// The serial link against the board stand-in.
class QtSerialPortTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        QtSerialPort::release();
    }

    // The probe asks every "/dev/ttyUSB*" for the version; what is no board is passed over.
    void probe_data()
    {
        QTest::addColumn<QString>("device");    // empty: no board
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("found");
        QTest::newRow("board") << "/dev/ttyUSB0" << "ok" << true;
        QTest::newRow("a plain file first") << "/dev/ttyUSB3" << "ok" << true;
        QTest::newRow("silent board") << "/dev/ttyUSB0" << "silent" << false;
        QTest::newRow("no board") << "" << "" << false;
    }
    void probe()
    {
        QFETCH(QString, device);
        QFETCH(QString, mode);
        QFETCH(bool, found);
        TestRoot root;
        root.mkdir("/dev");
        if (device != "/dev/ttyUSB0")
            root.writeFile("/dev/ttyUSB0", "not a terminal");
        std::unique_ptr<BoardStandin> board;
        if (!device.isEmpty()) {
            board.reset(new BoardStandin(device));
            QVERIFY(board->start());
            board->setMode(mode);
        }
        QtSerialPort *link = QtSerialPort::instance();
        QCOMPARE(link->open(), found);
        QCOMPARE(link->isOpen(), found);
        QCOMPARE(link->portName(), found ? device : QString());
        if (board)
            QCOMPARE(board->received(), QStringList{"$A#VER"});
        if (!found) {
            QCOMPARE(link->sendToSerialPortFast("$X#STAGE EJECT\n", 100), QString());
            QVERIFY(!link->sendCommand("$X#STAGE EJECT\n", 100));
        }
    }

    // A reply belongs to the command whose unit and text it names; its number is the
    // fourth part, in decimal.
    void replies_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("belongs");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");         // -1: none
        const QString eject = "$X#STAGE EJECT\n";
        QTest::newRow("NG") << "$NG#X#STAGE EJECT" << eject << true << false << -1;
        QTest::newRow("lower-case ok") << "$ok#X#STAGE EJECT" << eject << true << true << -1;
        QTest::newRow("number sent, none reported") << "$OK#Z#MOVE" << "$Z#MOVE -40\n" << true << true << -1;
        QTest::newRow("number reported") << "$OK#Z#REF#12800" << "$Z#REF\n" << true << true << 12800;
        QTest::newRow("negative number") << "$OK#Z#SLOPE#-3" << "$Z#SLOPE\n" << true << true << -3;
        QTest::newRow("not decimal") << "$OK#Z#REF#12a" << "$Z#REF\n" << true << true << -1;
        QTest::newRow("five parts") << "$OK#Z#REF#1#2" << "$Z#REF\n" << true << true << -1;
        QTest::newRow("without line feed") << "$OK#A#LED" << "$A#LED 40" << true << true << -1;
        QTest::newRow("other unit") << "$OK#Z#STAGE EJECT" << eject << false << true << -1;
        QTest::newRow("other command") << "$OK#X#STAGE INIT" << eject << false << true << -1;
        QTest::newRow("empty") << "" << eject << false << false << -1;
        QTest::newRow("malformed command") << "$OK#X#" << "STAGE" << false << true << -1;
    }
    void replies()
    {
        QFETCH(QString, reply);
        QFETCH(QString, command);
        QFETCH(bool, belongs);
        QFETCH(bool, ok);
        QFETCH(int, value);
        QCOMPARE(QtSerialPort::replyBelongsTo(reply, command), belongs);
        QCOMPARE(QtSerialPort::replyOk(reply), ok);
        int got = -1;
        QCOMPARE(QtSerialPort::replyValue(reply, &got), value != -1);
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

    // Up to three tries until the reply is OK (and carries the number asked for); line
    // noise is skipped.
    void threeTriesUntilOk_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("value");     // -1: none asked for
        QTest::addColumn<bool>("done");
        QTest::addColumn<int>("sent");
        const QString eject = "$X#STAGE EJECT\n";
        QTest::newRow("NG twice, then OK") << eject << "ng" << 2 << -1 << true << 3;
        QTest::newRow("NG three times") << eject << "ng" << 3 << -1 << false << 3;
        QTest::newRow("silent once, then OK") << eject << "silent" << 1 << -1 << true << 2;
        QTest::newRow("silent three times") << eject << "silent" << 3 << -1 << false << 3;
        QTest::newRow("value, amid noise") << "$A#LIGHT CAL\n" << "noise" << 5 << 50 << true << 1;
        QTest::newRow("value never reported") << eject << "ok" << 0 << 0 << false << 3;
    }
    void threeTriesUntilOk()
    {
        QFETCH(QString, command);
        QFETCH(QString, mode);
        QFETCH(int, failures);
        QFETCH(int, value);
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
        int got = -1;
        QCOMPARE(link->sendCommand(command, 150, value < 0 ? nullptr : &got), done);
        QCOMPARE(got, done ? value : -1);
        const QStringList received = board.received();
        QCOMPARE(int(std::count(received.begin(), received.end(), command.trimmed())), sent);
        QVERIFY(link->isOpen());
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
        QVERIFY(QtSerialPort::instance()->open());
        QCOMPARE(QtSerialPort::instance()->portName(), QString("/dev/ttyUSB2"));
        QVERIFY(other.received().isEmpty());
    }
};

QTEST_MAIN(QtSerialPortTest)
#include "tst_QtSerialPort.moc"
