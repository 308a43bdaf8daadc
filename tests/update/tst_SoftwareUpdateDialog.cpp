#include "PackageMaker.h"
#include "Resources.h"
#include "SoftwareUpdateDialog.h"
#include "TestRoot.h"
#include "Touch.h"
#include "Volumes.h"

class SoftwareUpdateDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    // The package offered for the running 1.0.2: the internal disk first, then the first
    // stick holding packages.
    void search_data()
    {
        QTest::addColumn<QStringList>("sticks");
        QTest::addColumn<QStringList>("files");         // "/" at the end: a folder; "a -> b": a link
        QTest::addColumn<QString>("offered");
        QTest::newRow("only the running version")
            << QStringList{"USB"} << QStringList{"/media/USB/ORBELIN_Vn_1_0_2.ovn"} << "";
        QTest::newRow("only the first volume holding packages is searched")
            << QStringList{"A", "B"}
            << QStringList{"/media/A/ORBELIN_Vn_1_0_2.ovn", "/media/B/ORBELIN_Vn_1_0_4.ovn"} << "";
        QTest::newRow("a volume without packages is passed over")
            << QStringList{"A", "B"} << QStringList{"/media/A/readme.txt", "/media/B/ORBELIN_Vn_1_0_4.ovn"}
            << "/media/B/ORBELIN_Vn_1_0_4.ovn";
        QTest::newRow("internal disk comes first")
            << QStringList{"USB"} << QStringList{"/ORBELIN_Vn_1_0_5.ovn", "/media/USB/ORBELIN_Vn_1_0_4.ovn"}
            << "/ORBELIN_Vn_1_0_5.ovn";
        // A link on a stick could point anywhere on the instrument.
        QTest::newRow("only plain files at the top of the stick")
            << QStringList{"USB"}
            << QStringList{"/media/USB/ORBELIN_Vn_1_0_4.ovn -> /root/ORBELIN_Vn/ORBELIN_Vn.ini",
                           "/media/USB/ORBELIN_Vn_1_0_5.ovn/", "/media/USB/Updates/ORBELIN_Vn_1_0_6.ovn"}
            << "";
    }
    void search()
    {
        QFETCH(QStringList, sticks);
        QFETCH(QStringList, files);
        QFETCH(QString, offered);
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", "x");
        for (const QString &file : files) {
            const QStringList link = file.split(" -> ");
            if (link.size() == 2)
                QVERIFY(root.mkdir("/media/USB") && QFile::link(root.path(link.last()), root.path(link.first())));
            else if (file.endsWith('/'))
                root.mkdir(file);
            else
                root.writeFile(file, "package");
        }
        root.writeFile("/opt/ORBELIN_Vn_1_0_2", PackageMaker::elf("p"));
        Volumes volumes(root, sticks);
        QFileInfo file;
        QCOMPARE(checkNewSoftware(file, root.path("/opt/ORBELIN_Vn_1_0_2")), !offered.isEmpty());
        if (!offered.isEmpty())
            QCOMPARE(file.absoluteFilePath(), root.path(offered));
    }

    // Every way out but Restart after an installation leaves the instrument as it was;
    // installing is the update journey's.
    void wayOut_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<int>("presses");       // of the left button: Start, then OK
        QTest::addColumn<int>("shown");
        const QByteArray good = PackageMaker::package(
            {TarMember::file("ORBELIN_Vn_1_0_4", PackageMaker::elf("1.0.4"))});
        QTest::newRow("no package") << QByteArray() << 1 << int(UpdateNotDetected);
        QTest::newRow("cancelled") << good << 1 << int(UpdateFound);
        QTest::newRow("damaged package") << good.left(good.size() / 2) << 2 << int(UpdateFailure);
        // Before, this was "Software Update Complete", and the restart found no program.
        QTest::newRow("a loader without its program")
            << PackageMaker::package({TarMember::file("loader_1_0_4", "#!/bin/sh\n", 0755)}) << 2
            << int(UpdateFailure);
    }
    void wayOut()
    {
        QFETCH(QByteArray, package);
        QFETCH(int, presses);
        QFETCH(int, shown);
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", "[Security]\nEnable=False\n");
        // This program's folder is the one the dialog installs into.
        root.mkdir(QCoreApplication::applicationDirPath());
        root.mkdir("/media/USB");
        if (!package.isEmpty())
            root.writeFile("/media/USB/ORBELIN_Vn_1_0_4.ovn", package);
        Volumes volumes(root, {"USB"});
        SoftwareUpdateDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (int i = 0; i < presses; ++i)
            click(&dialog, "BUTTON_OK");
        QTRY_COMPARE_WITH_TIMEOUT(int(dialog.messageType()), shown, 30000);
        click(&dialog, "BUTTON_CANCEL");
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(iniValue("Software version", "Value"), QString("<missing>"));
        QVERIFY(!QFile::exists(root.path("/root/ORBELIN_Vn/ORBELIN_Vn_1_0_4")));
        QVERIFY(!QFile::exists(root.path("/root/restore")));
        QVERIFY(!QFile::exists(root.path("/root/loader_1_0_4")));
    }

    // The wait for the disks ends once a reading says nothing is unwritten, or after its
    // bound; nothing closes the dialog meanwhile. Before, it read "/proc/meminfo" again and
    // again without pause or end.
    void flushWait_data()
    {
        QTest::addColumn<QByteArray>("meminfo");    // none when null
        QTest::addColumn<bool>("waits");
        QTest::newRow("nothing unwritten") << QByteArray("MemFree: 10 kB\nDirty:      0 kB\nWriteback: 5 kB\n") << false;
        QTest::newRow("unwritten data") << QByteArray("MemFree: 10 kB\nDirty:      1234 kB\n") << true;
        QTest::newRow("no /proc/meminfo") << QByteArray() << true;
    }
    void flushWait()
    {
        QFETCH(QByteArray, meminfo);
        QFETCH(bool, waits);
        TestRoot root;
        if (!meminfo.isNull())
            root.writeFile("/proc/meminfo", meminfo);
        SoftwareUpdateDialog::setFlushWaitMs(300);
        SoftwareUpdateDialog dialog;
        dialog.setMessageType(UpdateInProgress);
        QElapsedTimer clock;
        clock.start();
        dialog.show();
        dialog.slotUpdated(true, NoError);
        QCOMPARE(dialog.messageType(), waits ? UpdateInProgress : UpdateComplete);
        dialog.reject();
        QCOMPARE(dialog.isVisible(), waits);
        QTRY_COMPARE(dialog.messageType(), UpdateComplete);
        QVERIFY(!waits || clock.elapsed() >= 300);
        SoftwareUpdateDialog::setFlushWaitMs(SoftwareUpdateDialog::DefaultFlushWaitMs);
    }
};

QTEST_MAIN(SoftwareUpdateDialogTest)
#include "tst_SoftwareUpdateDialog.moc"
