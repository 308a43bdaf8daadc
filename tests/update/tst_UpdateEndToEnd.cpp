#include "PrivateProfile.h"
#include "TestRoot.h"

#include <QScopeGuard>
#include <QtTest>

// Version N of the program is installed in a fresh root and started by the launcher
// stand-in through "/root/loader"; a package of version N+1 (this build's program renamed)
// waits on a stick. The running program opens the update dialog and installs it; the
// launcher must bring the program back as version N+1, with N backed up.
class UpdateEndToEndTest : public QObject
{
    Q_OBJECT

private:
    static QString text(const QString &file)
    {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).trimmed();
    }
    static QString dotted(QString name)
    {
        name.remove("ORBELIN_Vn_").remove(".ovn");
        return name.replace('_', '.');
    }

private Q_SLOTS:
    void updateComesBackAsTheNewVersion()
    {
        TestRoot root;
        const QString build = QStringLiteral(ORBELIN_BUILD_DIR);
        const QString standins = QStringLiteral(ORBELIN_STANDINS_DIR);
        const QString oldName = text(build + "/program-name.txt");
        const QString newPackage = text(build + "/packages/next-package-name.txt");
        const QString newName = QString(newPackage).remove(".ovn");
        const QString oldLoader = "loader_" + oldName.mid(QStringLiteral("ORBELIN_Vn_").size());
        const QString newLoader = "loader_" + newName.mid(QStringLiteral("ORBELIN_Vn_").size());

        // The data root as the run command lays it out, with the old program replaced by
        // the driver that works the update dialog.
        QProcess setup;
        setup.start("bash", {standins + "/setup-dataroot.sh", root.root(), build});
        QVERIFY(setup.waitForFinished(30000));
        QCOMPARE(setup.exitCode(), 0);
        const QString installed = root.path("/root/ORBELIN_Vn/" + oldName);
        QVERIFY(QFile::remove(installed));
        QVERIFY(QFile::copy(QStringLiteral(UPDATE_DRIVER), installed));
        QCOMPARE(QFileInfo(QFile::symLinkTarget(root.path("/root/loader"))).fileName(), oldLoader);

        QProcess launcher;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", standins + "/bin:" + env.value("PATH"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        launcher.setProcessEnvironment(env);
        launcher.setProcessChannelMode(QProcess::MergedChannels);
        QByteArray log;
        connect(&launcher, &QProcess::readyRead, this, [&]() { log += launcher.readAll(); });
        // However the test ends, the launcher is asked to stop, and it ends the program.
        const auto stop = qScopeGuard([&]() {
            if (launcher.state() == QProcess::NotRunning)
                return;
            launcher.terminate();
            if (!launcher.waitForFinished(10000)) {
                launcher.kill();
                launcher.waitForFinished(5000);
            }
        });
        launcher.start("bash", {standins + "/launcher.sh"});
        QVERIFY(launcher.waitForStarted(5000));
        const QByteArray started = "ORBELIN Vn " + dotted(newName).toUtf8();
        QTRY_VERIFY2_WITH_TIMEOUT(log.contains(started) || launcher.state() == QProcess::NotRunning,
                                  log.constData(), 45000);
        QVERIFY2(log.contains(started), log.constData());

        // Started through the old loader, ended with 10, started again through the new one.
        const int firstStart = log.indexOf("loader " + dotted(oldName).toUtf8() + ": starting");
        const int secondStart = log.indexOf("loader " + dotted(newName).toUtf8() + ": starting");
        QVERIFY2(firstStart >= 0 && secondStart > firstStart, log.constData());
        QCOMPARE(text(root.path("/launcher-status.log")).split('\n').first(), QString("10"));
        QCOMPARE(QFileInfo(QFile::symLinkTarget(root.path("/root/loader"))).fileName(), newLoader);

        QFile program(root.path("/root/ORBELIN_Vn/" + newName));
        QFile built(build + "/" + oldName);
        QVERIFY(program.open(QIODevice::ReadOnly) && built.open(QIODevice::ReadOnly));
        QVERIFY(program.readAll() == built.readAll());
        QVERIFY(QFileInfo(program).isExecutable());

        // The old program folder is kept in "/root/restore".
        QProcess list;
        list.start("tar", {"-tzf", root.path("/root/restore/" + oldName + ".ovn")});
        QVERIFY(list.waitForFinished(30000));
        QCOMPARE(list.exitCode(), 0);
        QVERIFY(list.readAllStandardOutput().contains(("root/ORBELIN_Vn/" + oldName).toUtf8()));

        std::string version;
        ReadPrivateProfileString("Software version", "Value", "", version,
                                 "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        QCOMPARE(QString::fromStdString(version), dotted(newName));
    }
};

QTEST_GUILESS_MAIN(UpdateEndToEndTest)
#include "tst_UpdateEndToEnd.moc"
