#include "BoardStandin.h"
#include "TestRoot.h"

#include <QtTest>

// The service actions that end the program, from the key pad to the launcher: the data
// root as the run command lays it out, the program replaced by a driver that types the
// day values, and the launcher stand-in reading the exit statuses. Before, the status was
// meant to end the process at once, with nothing to show that it reached the launcher.
class ServiceExitEndToEndTest : public QObject
{
    Q_OBJECT

private:
    static QString programName()
    {
        QFile file(QStringLiteral(ORBELIN_BUILD_DIR "/program-name.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed()
                                              : QString();
    }

    // Runs the launcher until it ends; returns its exit code and its output.
    static int launch(const TestRoot &root, QByteArray *log)
    {
        QProcess launcher;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", QStringLiteral(ORBELIN_STANDINS_DIR "/bin:") + env.value("PATH"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ORBELIN_ROOT", root.root());
        launcher.setProcessEnvironment(env);
        launcher.setProcessChannelMode(QProcess::MergedChannels);
        launcher.start("bash", {QStringLiteral(ORBELIN_STANDINS_DIR "/launcher.sh")});
        if (!launcher.waitForStarted(5000))
            return -1;
        if (!launcher.waitForFinished(60000)) {
            launcher.terminate();
            launcher.waitForFinished(10000);
        }
        *log = launcher.readAll();
        return launcher.exitStatus() == QProcess::NormalExit ? launcher.exitCode() : -1;
    }

private Q_SLOTS:
    void statusReachesTheLauncher_data()
    {
        QTest::addColumn<bool>("board");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("statuses");
        QTest::newRow("end the program, without a board") << false << "91" << "1";
        QTest::newRow("install the demo from the stick, run it, then end")
            << true << "92\n91" << "11\n1";
    }

    void statusReachesTheLauncher()
    {
        QFETCH(bool, board);
        QFETCH(QString, days);
        QFETCH(QString, statuses);
        TestRoot root;
        QProcess setup;
        setup.start("bash", {QStringLiteral(ORBELIN_STANDINS_DIR "/setup-dataroot.sh"),
                             root.root(), QStringLiteral(ORBELIN_BUILD_DIR)});
        QVERIFY(setup.waitForFinished(30000));
        QCOMPARE(setup.exitCode(), 0);
        const QString installed = root.path("/root/ORBELIN_Vn/" + programName());
        QVERIFY(QFile::remove(installed));
        QVERIFY(QFile::copy(QStringLiteral(SERVICE_DAY_DRIVER), installed));
        root.writeFile("/run/service-days", days.toLatin1());
        BoardStandin standin;
        if (board)
            QVERIFY(standin.start());

        QByteArray log;
        const int exitCode = launch(root, &log);
        QVERIFY2(exitCode == 1, log.constData());
        QCOMPARE(QString::fromLatin1(root.readFile("/launcher-status.log").trimmed()), statuses);
        QCOMPARE(log.contains("launcher: starting the demo program"), days.startsWith("92"));
        QVERIFY2(root.readFile("/run/service-days").isEmpty(), log.constData());
        // The main window let go of the stick before the program ended.
        QVERIFY2(!root.calls("umount").isEmpty(), log.constData());
        QVERIFY2(!root.readFile("/etc/mtab").contains("sdb1"), log.constData());
    }
};

QTEST_GUILESS_MAIN(ServiceExitEndToEndTest)
#include "tst_ServiceExitEndToEnd.moc"
