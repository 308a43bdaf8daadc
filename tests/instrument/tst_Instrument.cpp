#include "BoardStandin.h"
#include "CalibrateDialog.h"
#include "CountFrame.h"
#include "CountingManager.h"
#include "Dialog.h"
#include "ImReaderWriter.h"
#include "ModalAnswer.h"
#include "NetworkManager.h"
#include "PrivateProfile.h"
#include "ProgramExit.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "ReviewFrame.h"
#include "SyntheticField.h"
#include "TestRoot.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <memory>
#include <vector>

namespace {
const char Ini[] = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
const QString Eject = QStringLiteral("$X#STAGE EJECT\n");

QString read(const char *section, const char *key)
{
    std::string value;
    ReadPrivateProfileString(section, key, "<missing>", value, Ini);
    return QString::fromStdString(value);
}

const QString Folder = QStringLiteral("/ORBELIN/run1");
const QString Factors = QStringLiteral("Instrument=ORBELIN_Vn,Volume factor=2e-05,Dilution factor=5");

// A save folder of fields with a known count: separated 5 um cells only.
bool writeFolder(int fields, int cells, int width = 400, int height = 300,
                 const QString &metadata = Factors)
{
    std::vector<SyntheticField::Options> all;
    for (int i = 0; i < fields; ++i)
        all.push_back(SyntheticField::separatedCells(width, height, cells, unsigned(i + 1)));
    std::vector<int> truth;
    return SyntheticField::writeSaveFolder(Folder, all, metadata, &truth)
           && truth == std::vector<int>(size_t(fields), cells);
}

QString fieldPath(int number)
{
    return Folder + QStringLiteral("/%1_RAW.tif").arg(number, 2, 10, QLatin1Char('0'));
}

void writeProtocol(const TestRoot &root, const QString &name, const QByteArray &content)
{
    QVERIFY(root.writeFile(Ini, "[Current Protocol]\nName=" + name.toUtf8() + "\n"));
    if (!content.isNull())
        QVERIFY(root.writeFile("/root/ORBELIN_Vn/Protocol/" + name + ".ini", content));
}

} // namespace

// The serial link, the calibration and the main window's start-up against the board
// stand-in; the counting run's re-analysis of save folders.
class InstrumentTest : public QObject
{
    Q_OBJECT

private:
    std::vector<ORBELIN_Vn> m_Counters = std::vector<ORBELIN_Vn>(CountingManager::MaxFields);

    // Runs a re-analysis of a folder to its end with counters for count fields.
    bool reAnalyse(CountingManager &manager, int counters = CountingManager::MaxFields,
                   const QString &folder = Folder)
    {
        manager.setCounters(m_Counters.data(), counters);
        QSignalSpy completed(&manager, &CountingManager::signalCountingCompleted);
        QString error;
        if (!manager.startReAnalysis(folder, &error)) {
            qWarning() << error;
            return false;
        }
        return completed.wait(20000) && completed.count() == 1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        ProgramExit::setHandler([](int) {});
    }

    void cleanup()
    {
        QtSerialPort::release();
        NetworkManager::release();     // its device monitor must not outlive the test's root
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
        QCOMPARE(link->portName(), found ? device : QString());
        if (board)
            QCOMPARE(board->received(), QStringList{"$A#VER"});
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
        QTest::newRow("NG") << "$NG#X#STAGE EJECT" << Eject << true << false << -1;
        QTest::newRow("lower-case ok") << "$ok#X#STAGE EJECT" << Eject << true << true << -1;
        QTest::newRow("number reported") << "$OK#Z#REF#12800" << "$Z#REF\n" << true << true << 12800;
        QTest::newRow("negative number") << "$OK#Z#SLOPE#-3" << "$Z#SLOPE\n" << true << true << -3;
        QTest::newRow("not decimal") << "$OK#Z#REF#12a" << "$Z#REF\n" << true << true << -1;
        QTest::newRow("other unit") << "$OK#Z#STAGE EJECT" << Eject << false << true << -1;
        QTest::newRow("other command") << "$OK#X#STAGE INIT" << Eject << false << true << -1;
        QTest::newRow("empty") << "" << Eject << false << false << -1;
    }
    void replies()
    {
        QFETCH(QString, reply);
        QFETCH(QString, command);
        QFETCH(int, value);
        QTEST(QtSerialPort::replyBelongsTo(reply, command), "belongs");
        QTEST(QtSerialPort::replyOk(reply), "ok");
        int got = -1;
        QCOMPARE(QtSerialPort::replyValue(reply, &got), value != -1);
        QCOMPARE(got, value);
    }

    // Up to three tries until the reply is OK (and carries the number asked for); line
    // noise is skipped. A reply that comes after its command gave up must not answer the
    // next one.
    void threeTriesUntilOk_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("value");     // -1: none asked for
        QTest::addColumn<bool>("done");
        QTest::addColumn<int>("sent");
        QTest::newRow("NG twice, then OK") << Eject << "ng" << 2 << -1 << true << 3;
        QTest::newRow("NG three times") << Eject << "ng" << 3 << -1 << false << 3;
        QTest::newRow("silent once, then OK") << Eject << "silent" << 1 << -1 << true << 2;
        QTest::newRow("value, amid noise") << "$A#LIGHT CAL\n" << "noise" << 5 << 50 << true << 1;
        QTest::newRow("value never reported") << Eject << "ok" << 0 << 0 << false << 3;
        QTest::newRow("late reply dropped") << "$Z#REF\n" << "late:400" << 1 << 7 << true << 1;
    }
    void threeTriesUntilOk()
    {
        QFETCH(QString, command);
        QFETCH(QString, mode);
        QFETCH(int, failures);
        QFETCH(int, value);
        QFETCH(bool, done);
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        QtSerialPort *link = QtSerialPort::instance();
        QVERIFY(link->open());
        board.clearReceived();
        if (failures > 0)
            board.setMode(mode, failures);
        if (mode.startsWith("late")) {
            // The first answer comes after its command gave up, and waits in the link.
            board.thenMode("report:7", 1);
            QCOMPARE(link->sendToSerialPortFast(command, 100), QString());
            QTest::qWait(500);
        }
        int got = -1;
        QCOMPARE(link->sendCommand(command, 150, value < 0 ? nullptr : &got), done);
        QCOMPARE(got, done ? value : -1);
        const QStringList received = board.received();
        // The late reply's command was sent once before.
        QTEST(int(std::count(received.begin(), received.end(), command.trimmed())) - mode.startsWith("late"), "sent");
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
            QCOMPARE(link->sendToSerialPortFast(Eject, 5000), QString());
            QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
            QTRY_VERIFY(!board.isRunning());
        }
        QTRY_VERIFY(!link->isOpen());
        QVERIFY(!link->sendCommand(Eject, 5000));
        QVERIFY(!link->open());

        // Plugged in again: found again.
        BoardStandin again;
        QVERIFY(again.start());
        QVERIFY(link->open());
        QVERIFY(link->sendCommand(Eject, 1000));
    }

    // Once done, Enter accepts and the values are written. After a failure, given by
    // number, OK and Enter close it and nothing is written; so do CANCEL and Escape while
    // it runs (Enter then does nothing).
    void calibration_data()
    {
        QTest::addColumn<QStringList>("modes");     // the board's answers, in turn
        QTest::addColumn<int>("key");               // 0: the OK or CANCEL button
        QTest::addColumn<int>("error");
        const int enter = Qt::Key_Enter;
        const int cancelled = CALIBRATION_CANCELED;
        QTest::newRow("completed, Enter") << QStringList() << enter << 0;
        QTest::newRow("no focus reference, OK") << QStringList{"ok 2", "ng"} << 0 << 3;
        QTest::newRow("no LED level, Enter") << QStringList{"ok 4", "ng"} << enter << 5;
        QTest::newRow("unplugged mid-run") << QStringList{"ok 3", "vanish"} << 0 << 1;
        QTest::newRow("focus reference 0") << QStringList{"ok 2", "report:0 1"} << 0 << 6;
        QTest::newRow("LED level 101") << QStringList{"ok 4", "report:101 1"} << 0 << 6;
        QTest::newRow("CANCEL while running") << QStringList{"late:150"} << 0 << cancelled;
        QTest::newRow("Escape while running") << QStringList{"late:150"} << int(Qt::Key_Escape) << cancelled;
    }
    void calibration()
    {
        QFETCH(QStringList, modes);
        QFETCH(int, key);
        QFETCH(int, error);
        TestRoot root;
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
            for (const char *key : {"Value", "Last Update"})
                QCOMPARE(read("Calibration", key), QString("<missing>"));
            QCOMPARE(read("Reference position", "Value"), QString("<missing>"));
            return;
        }
        QCOMPARE(board.received(), QStringList({"$A#VER", "$A#VER", "$Z#STAGE INIT", "$Z#REF",
                                                "$Z#SLOPE", "$A#LIGHT CAL", "$A#LED 0"}));
        QCOMPARE(read("Calibration", "Value"), QString("50"));
        QCOMPARE(read("Reference position", "Value"), QString("12800"));
        QVERIFY2(QRegularExpression("^\\d\\d [A-Z]{3} \\d{4} \\d\\d:\\d\\d$")
                     .match(read("Calibration", "Last Update")).hasMatch(),
                 qPrintable(read("Calibration", "Last Update")));
    }

    // A board that refuses the stage set-up takes the road without a board: a message,
    // the review screen, COUNT off, re-analysis requests not passed on. The number of
    // counting fields is reset at every start.
    void stageSetUpRefused()
    {
        TestRoot root;
        WritePrivateProfileString("Counting options", "Counting field", "4", Ini);
        BoardStandin board;
        QVERIFY(board.start());
        board.setMode("ok", 1);      // the version probe
        board.thenMode("ng");        // everything after it
        Dialog dialog;
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message, 10000);
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(!dialog.boardFound());
        QVERIFY(message.contains("controller board"));
        QCOMPARE(dialog.currentMenu(), Dialog::MENU_REVIEW);
        QVERIFY(!dialog.findChild<QPushButton *>("BUTTON_COUNT")->isEnabled());
        QCOMPARE(board.received(), QStringList({"$A#VER", "$X#STAGE INIT", "$X#STAGE INIT",
                                                "$X#STAGE INIT"}));
        QCOMPARE(read("Counting options", "Counting field"), QString("10"));
        emit dialog.findChild<ReviewFrame *>("FRAME_REVIEW")->signalAnalysis("/ORBELIN/x");
        QCOMPARE(dialog.findChild<CountFrame *>("FRAME_COUNT")->analysisRequest(), QString());
    }

    // With a board the stages are homed and the slide taken in; a results log removed on
    // the review screen empties the count screen's rows.
    void startWithBoard()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        Dialog dialog;
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
        QCOMPARE(board.received(), QStringList({"$A#VER", "$X#STAGE INIT", "$Z#STAGE INIT",
                                                "$X#STAGE INSERT"}));
        auto *count = dialog.findChild<CountFrame *>("FRAME_COUNT");
        count->appendResultsLog("A,1");
        emit dialog.findChild<ReviewFrame *>("FRAME_REVIEW")->signalCSVRemoved();
        QCOMPARE(count->resultsLog().size(), size_t(1));
    }

    // The current protocol's values, and the analysis constants made of them.
    void protocol_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file"); // null: no file
        // Dilution, sizes, roundness, declustering level, sensitivity; then declustering,
        // threshold scale and noise floor of the analysis.
        QTest::addColumn<QString>("values");
        const QString builtIn = "2 0.30 50.00 30 7 4 0.85 1.00 6.00";
        QTest::newRow("DEFAULT, even with a file")
            << "DEFAULT" << QByteArray("[Dilution Factor]\nValue=99\n") << builtIn;
        QTest::newRow("all six keys, level 0 splits nothing")
            << "Yeast"
            << QByteArray("[Dilution Factor]\nValue=10\n[Min Cell Size]\nSize=2\n"
                          "[Max Cell Size]\nSize=12.5\n[Roundness]\nValue=60\n"
                          "[Declustering Level]\nLevel=0\n[Detection Sensitivity]\nValue=3\n")
            << "10 2.00 12.50 60 0 3 0.00 1.10 6.75";
        QTest::newRow("missing file") << "Gone" << QByteArray() << builtIn;
        QTest::newRow("numbers at the start of texts")
            << "Odd"
            << QByteArray("[Dilution Factor]\nValue=12abc\n[Min Cell Size]\nSize=0.30\n"
                          "[Max Cell Size]\nSize=abc\n[Roundness]\nValue= 40%\n")
            << "12 0.30 50.00 40 7 4 0.85 1.00 6.00";
        QTest::newRow("beyond the protocol screen's limits")
            << "Wild"
            << QByteArray("[Dilution Factor]\nValue=50000\n[Min Cell Size]\nSize=0.01\n"
                          "[Max Cell Size]\nSize=1e38\n[Roundness]\nValue=-5\n"
                          "[Declustering Level]\nLevel=11\n[Detection Sensitivity]\nValue=10\n")
            << "20000 0.30 50.00 0 10 9 1.00 0.50 2.25";
        QTest::newRow("sizes out of order")
            << "Swapped" << QByteArray("[Min Cell Size]\nSize=20\n[Max Cell Size]\nSize=2\n")
            << builtIn;
    }
    void protocol()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        TestRoot root;
        QCOMPARE(CountingManager::readCurrentProtocol().name, QStringLiteral("DEFAULT"));
        writeProtocol(root, name, file);
        const protocol_param_t p = CountingManager::readCurrentProtocol();
        QCOMPARE(p.name, name);
        const analysis_param_t a = CountingManager::analysisParameters(p);
        QTEST(QString::asprintf("%d %.2f %.2f %d %d %d %.2f %.2f %.2f", p.dilutionFactor,
                                double(p.minCellSize), double(p.maxCellSize), p.roundness,
                                p.declusteringLevel, p.detectionSensitivity, double(a.declustering),
                                double(a.thresholdScale), double(a.noiseFloor)), "values");
        QCOMPARE(a.maxSize, p.maxCellSize);
    }

    void factorsWithoutMetadata()
    {
        TestRoot root;
        // A maximum size of 1e38 crashed the analysis.
        writeProtocol(root, QStringLiteral("Yeast"),
                      QByteArray("[Dilution Factor]\nValue=10\n[Min Cell Size]\nSize=2\n"
                                 "[Max Cell Size]\nSize=1e38\n"));
        QVERIFY(writeFolder(2, 4, 400, 300, "Instrument=ORBELIN_Vn,Volume factor=junk"));
        CountingManager manager;
        QVERIFY(reAnalyse(manager));
        const counting_results_t r = manager.results();
        // 400 x 300 pixels of 0.375 um, 100 um deep: 1.6875e6 um3 = 1.6875e-6 mL a field.
        QVERIFY(qFuzzyCompare(r.fields[0].volumeFactor, 1.6875e-6f));
        QCOMPARE(r.fields[0].dilutionFactor, 10);
        QCOMPARE(manager.protocol_param().name, QStringLiteral("Yeast"));
        // 8 cells in 3.375e-6 mL, diluted 10: 2.37e7 cells/mL.
        QCOMPARE(r.count, 8);
        QCOMPARE(r.mantissa, 2.37f);
        QCOMPARE(r.exponent, 7);
    }

    // The total divides by the volume of the fields counted.
    void unusableField_data()
    {
        QTest::addColumn<int>("width");     // 0: the file cut short
        QTest::addColumn<int>("bits");
        QTest::addColumn<QString>("problem");
        QTest::newRow("damaged") << 0 << 8 << "damaged or unreadable";
        QTest::newRow("other size") << 320 << 8 << "320 x 300 pixels, the other fields 400 x 300";
        QTest::newRow("other depth") << 400 << 16 << "16 bits a pixel, the other fields 8";
    }
    void unusableField()
    {
        QFETCH(int, width);
        QFETCH(int, bits);
        TestRoot root;
        QVERIFY(writeFolder(3, 4));
        QFile bad(root.path(fieldPath(2)));
        if (width == 0) {
            QVERIFY(bad.resize(bad.size() / 3));
        } else {
            std::vector<uint8_t> pixels(size_t(width) * 300 * (bits / 8), 30);
            general::ImReaderWriter writer;
            QVERIFY(writer.setImage(pixels.data(), width, 300, quint16(bits), 1));
            QVERIFY(writer.write(fieldPath(2).toStdString(), "Instrument=ORBELIN_Vn"));
        }
        CountingManager manager;
        QVERIFY(reAnalyse(manager));
        const counting_results_t r = manager.results();
        QCOMPARE(r.analysedFields, 2);
        QVERIFY(!r.fields[1].analysed);
        QTEST(r.fields[1].problem, "problem");
        QCOMPARE(r.count, 8);
        // Two fields' volume: 8 / 4e-5 x 5 = 1.0e6.
        QCOMPARE(r.mantissa, 1.0f);
        QCOMPARE(r.exponent, 6);
        QVERIFY(m_Counters[1].objects().empty());
    }

    void fieldsBeyondTheCounters()
    {
        TestRoot root;
        QVERIFY(writeFolder(4, 2, 200, 150));
        // A second image of field 1 under another name.
        QVERIFY(QFile::copy(root.path(fieldPath(1)), root.path(Folder + "/1_RAW.tif")));
        CountingManager manager;
        QVERIFY(reAnalyse(manager, 4));
        const counting_results_t r = manager.results();
        QCOMPARE(int(r.fields.size()), 5);
        QCOMPARE(r.fields[1].problem, QStringLiteral("a second image of field 1"));
        QCOMPARE(r.fields[4].problem, QStringLiteral("a count holds 4 fields"));
        QCOMPARE(r.analysedFields, 3);
    }

    void foreignFolderName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("UTF-8") << QByteArray("run\xc3\xa9");
        QTest::newRow("not UTF-8") << QByteArray("run\xe9");
    }
    // Before: a folder whose name is not UTF-8 was listed with QDir, which could not read
    // it, so the re-analysis found no raw image.
    void foreignFolderName()
    {
        QFETCH(QByteArray, name);
        TestRoot root;
        QVERIFY(writeFolder(3, 4));
        const QString folder = root.renameRaw(Folder, name);
        CountingManager manager;
        QVERIFY(reAnalyse(manager, CountingManager::MaxFields, folder));
        QCOMPARE(manager.results().analysedFields, 3);
        QCOMPARE(manager.results().count, 12);
    }

    void fourAnalysesAtOnceCollectedOnTheGuiThread()
    {
        TestRoot root;
        // Fields heavy enough that analyses overlap: each takes longer than loading three.
        QVERIFY(writeFolder(10, 60, 640, 480));
        CountingManager manager;
        QVector<int> progress;
        QVector<QThread *> threads;
        connect(&manager, &CountingManager::signalProgress, &manager,
                [&](int done, int total) {
                    progress << done;
                    threads << QThread::currentThread();
                    QCOMPARE(total, 10);
                }, Qt::DirectConnection);
        connect(&manager, &CountingManager::signalCountingCompleted, &manager,
                [&] { threads << QThread::currentThread(); }, Qt::DirectConnection);
        QVERIFY(reAnalyse(manager));
        QCOMPARE(progress, (QVector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        for (QThread *thread : threads)
            QCOMPARE(thread, QCoreApplication::instance()->thread());
        // Analyses overlap (four at once on an idle machine), never more than four.
        const int peak = manager.peakAnalysisThreads();
        QVERIFY2(peak >= 2 && peak <= CountingManager::MaxAnalysisThreads,
                 qPrintable(QString::number(peak)));
        QCOMPARE(manager.results().analysedFields, 10);

        // The analysis threads delete themselves; a second count starts right away, and
        // not while one runs.
        QSignalSpy completed(&manager, &CountingManager::signalCountingCompleted);
        QVERIFY(manager.startReAnalysis(Folder));
        QString error;
        QVERIFY(!manager.startReAnalysis(Folder, &error));
        QCOMPARE(error, QStringLiteral("A count is running."));
        QVERIFY(completed.wait(20000));
        QCOMPARE(completed.count(), 1);
        QVERIFY(manager.peakAnalysisThreads() <= CountingManager::MaxAnalysisThreads);
    }

    // Destroying the run waits for its thread and for the analyses it started: none of
    // them changes a counter afterwards.
    void endsWhileAnalysing()
    {
        TestRoot root;
        QVERIFY(writeFolder(8, 60, 1280, 960));
        auto *manager = new CountingManager;
        manager->setCounters(m_Counters.data(), int(m_Counters.size()));
        QVERIFY(manager->startReAnalysis(Folder));
        QVERIFY(QTest::qWaitFor([&] { return manager->peakAnalysisThreads() > 0; }, 20000));
        delete manager;
        std::vector<size_t> found;
        for (const ORBELIN_Vn &counter : m_Counters)
            found.push_back(counter.objects().size());
        QTest::qWait(1000);
        for (size_t i = 0; i < found.size(); ++i)
            QCOMPARE(m_Counters[i].objects().size(), found[i]);
    }
};

QTEST_MAIN(InstrumentTest)
#include "tst_Instrument.moc"
