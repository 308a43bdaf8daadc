#include "ModalAnswer.h"
#include "PackageMaker.h"
#include "PrivateProfile.h"
#include "Resources.h"
#include "SoftwareUpdateDialog.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

QString read(const char *section, const char *key)
{
    std::string value;
    ReadPrivateProfileString(section, key, "<missing>", value, "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
    return QString::fromStdString(value);
}

} // namespace

class SoftwareUpdateDialogTest : public QObject
{
    Q_OBJECT

private:
    static QPushButton *button(QWidget *dialog, const char *name)
    {
        return dialog->findChild<QPushButton *>(name);
    }
    static QString message(QWidget *dialog)
    {
        return dialog->findChild<QLabel *>("LABEL_MESSAGE")->text();
    }
    static void click(QWidget *dialog, const char *name)
    {
        QPushButton *b = button(dialog, name);
        QVERIFY2(b && b->isVisible() && b->isEnabled(), name);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // "OK 145" for a shown button at x 145, "-" for a hidden one.
    static QString look(QWidget *dialog, const char *name)
    {
        QPushButton *b = button(dialog, name);
        return b->isVisibleTo(dialog) ? b->text() + ' ' + QString::number(b->x()) : QString("-");
    }
    void screenshot(QWidget *dialog, const QString &name)
    {
        dialog->grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-softwareupdate-%1.png").arg(name));
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    void search_data()
    {
        QTest::addColumn<QStringList>("sticks");
        QTest::addColumn<QStringList>("files");         // instrument paths
        QTest::addColumn<QString>("program");           // running program; "a -> b" for a link
        QTest::addColumn<QString>("offered");
        QTest::newRow("no stick") << QStringList() << QStringList() << "ORBELIN_Vn_1_0_2" << "";
        QTest::newRow("older package offered first in name order")
            << QStringList{"USB"}
            << QStringList{"/media/USB/ORBELIN_Vn_1_0_3.ovn", "/media/USB/ORBELIN_Vn_1_0_1.ovn"}
            << "ORBELIN_Vn_1_0_2" << "/media/USB/ORBELIN_Vn_1_0_1.ovn";
        QTest::newRow("only the running version")
            << QStringList{"USB"} << QStringList{"/media/USB/ORBELIN_Vn_1_0_2.ovn"}
            << "ORBELIN_Vn_1_0_2" << "";
        QTest::newRow("only the first volume holding packages is searched")
            << QStringList{"A", "B"}
            << QStringList{"/media/A/ORBELIN_Vn_1_0_2.ovn", "/media/B/ORBELIN_Vn_1_0_4.ovn"}
            << "ORBELIN_Vn_1_0_2" << "";
        QTest::newRow("a volume without packages is passed over")
            << QStringList{"A", "B"}
            << QStringList{"/media/A/readme.txt", "/media/B/ORBELIN_Vn_1_0_4.ovn"}
            << "ORBELIN_Vn_1_0_2" << "/media/B/ORBELIN_Vn_1_0_4.ovn";
        QTest::newRow("internal disk comes first")
            << QStringList{"USB"}
            << QStringList{"/ORBELIN_Vn_1_0_5.ovn", "/media/USB/ORBELIN_Vn_1_0_4.ovn"}
            << "ORBELIN_Vn_1_0_2" << "/ORBELIN_Vn_1_0_5.ovn";
        QTest::newRow("name matched without regard to case")
            << QStringList{"USB"} << QStringList{"/media/USB/orbelin_vn_1_0_4.OVN"}
            << "ORBELIN_Vn_1_0_2" << "/media/USB/orbelin_vn_1_0_4.OVN";
        QTest::newRow("only top-level packages")
            << QStringList{"USB"} << QStringList{"/media/USB/Updates/ORBELIN_Vn_1_0_4.ovn"}
            << "ORBELIN_Vn_1_0_2" << "";
        QTest::newRow("program started through a link")
            << QStringList{"USB"} << QStringList{"/media/USB/ORBELIN_Vn_1_0_3.ovn"}
            << "ORBELIN_Vn -> ORBELIN_Vn_1_0_3" << "";
        QTest::newRow("program name without digits")
            << QStringList{"USB"} << QStringList{"/media/USB/ORBELIN_Vn_1_0_3.ovn"}
            << "orbelin" << "/media/USB/ORBELIN_Vn_1_0_3.ovn";
    }
    void search()
    {
        QFETCH(QStringList, sticks);
        QFETCH(QStringList, files);
        QFETCH(QString, program);
        QFETCH(QString, offered);
        TestRoot root;
        for (const QString &file : files)
            root.writeFile(file, "package");
        const QStringList link = program.split(" -> ");
        root.writeFile("/opt/" + link.last(), PackageMaker::elf("p"));
        if (link.size() == 2)
            QVERIFY(QFile::link(root.path("/opt/" + link.last()), root.path("/opt/" + link.first())));
        Volumes volumes(root, sticks);
        QFileInfo file;
        QCOMPARE(checkNewSoftware(file, root.path("/opt/" + link.first())), !offered.isEmpty());
        if (!offered.isEmpty())
            QCOMPARE(file.absoluteFilePath(), root.path(offered));
    }

    void linksAndFoldersOnTheStickIgnored()
    {
        TestRoot root;
        root.writeFile("/root/ORBELIN_Vn/ORBELIN_Vn.ini", "x");
        root.mkdir("/media/USB/ORBELIN_Vn_1_0_5.ovn");
        Volumes volumes(root, {"USB"});
        QVERIFY(QFile::link(root.path("/root/ORBELIN_Vn/ORBELIN_Vn.ini"),
                            root.path("/media/USB/ORBELIN_Vn_1_0_4.ovn")));
        QFileInfo file;
        QVERIFY(!checkNewSoftware(file, root.path("/opt/ORBELIN_Vn_1_0_2")));
    }

    void noPackage()
    {
        TestRoot root;
        Volumes volumes(root, {"USB"});
        SoftwareUpdateDialog dialog;
        QCOMPARE(dialog.size(), QSize(760, 490));
        ModalAnswer::next([this](QWidget *modal) {
            QVERIFY(message(modal).contains("Insert a USB drive that contains the latest version"));
            QCOMPARE(look(modal, "BUTTON_OK"), QString("Start 145"));
            QCOMPARE(look(modal, "BUTTON_CANCEL"), QString("Exit 415"));
            screenshot(modal, "start");
            click(modal, "BUTTON_OK");
            QVERIFY(message(modal).contains("Update Not Detected"));
            QCOMPARE(look(modal, "BUTTON_OK"), QString("-"));
            QCOMPARE(look(modal, "BUTTON_CANCEL"), QString("Exit 280"));
            click(modal, "BUTTON_CANCEL");
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }

    void cancelAfterFound()
    {
        TestRoot root;
        root.writeFile("/media/USB/ORBELIN_Vn_9_9_9.ovn",
                       PackageMaker::package({TarMember::file("ORBELIN_Vn_9_9_9", PackageMaker::elf("x"))}));
        Volumes volumes(root, {"USB"});
        SoftwareUpdateDialog dialog;
        ModalAnswer::next([this](QWidget *modal) {
            click(modal, "BUTTON_OK");
            QVERIFY(message(modal).contains("A software update has been found."));
            QCOMPARE(look(modal, "BUTTON_OK"), QString("OK 145"));
            QCOMPARE(look(modal, "BUTTON_CANCEL"), QString("Cancel 415"));
            screenshot(modal, "found");
            click(modal, "BUTTON_CANCEL");
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(!QFile::exists(root.path("/root/ORBELIN_Vn/ORBELIN_Vn_9_9_9")));
        QVERIFY(!QFile::exists(root.path("/root/restore")));
    }

    // The test program does not lie inside the test's root, so its folder cannot be the
    // install folder: the installer refuses and the dialog shows the failure.
    void failureShown()
    {
        TestRoot root;
        root.writeFile("/media/USB/ORBELIN_Vn_9_9_9.ovn",
                       PackageMaker::package({TarMember::file("ORBELIN_Vn_9_9_9", PackageMaker::elf("x"))}));
        Volumes volumes(root, {"USB"});
        SoftwareUpdateDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        click(&dialog, "BUTTON_OK");
        click(&dialog, "BUTTON_OK");
        QTRY_COMPARE_WITH_TIMEOUT(dialog.messageType(), UpdateFailure, 20000);
        QVERIFY(dialog.isEnabled());
        QVERIFY(message(&dialog).contains("Update Failure"));
        QCOMPARE(look(&dialog, "BUTTON_OK"), QString("-"));
        QCOMPARE(look(&dialog, "BUTTON_CANCEL"), QString("OK 280"));
        screenshot(&dialog, "failure");
        QCOMPARE(read("Software version", "Value"), QString("<missing>"));
        click(&dialog, "BUTTON_CANCEL");
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!QFile::exists(root.path("/root/ORBELIN_Vn/ORBELIN_Vn_9_9_9")));
    }

    void successWaitsForTheDisksThenRestarts()
    {
        TestRoot root;
        root.writeFile("/media/USB/ORBELIN_Vn_1_0_4.ovn", "package");
        Volumes volumes(root, {"USB"});
        Volumes::setMeminfo(root, 120, 0);
        SoftwareUpdateDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        click(&dialog, "BUTTON_OK");
        QCOMPARE(dialog.messageType(), UpdateFound);
        // What the installer thread reports at its end.
        dialog.setMessageType(UpdateInProgress);
        dialog.setEnabled(false);
        dialog.slotUpdated(true, NoError);
        QCOMPARE(read("Software version", "Value"), QString("1.0.4"));
        QVERIFY2(QRegularExpression("^\\d\\d [A-Z]{3} \\d{4} \\d\\d:\\d\\d$")
                     .match(read("Software Update", "Last Update")).hasMatch(),
                 qPrintable(read("Software Update", "Last Update")));
        QCOMPARE(dialog.progress(), 502);
        screenshot(&dialog, "progress");
        // Unwritten data: the dialog keeps waiting, and nothing closes it meanwhile.
        QTest::qWait(3 * SoftwareUpdateDialog::FlushPollMs);
        QCOMPARE(dialog.messageType(), UpdateInProgress);
        dialog.reject();
        QVERIFY(dialog.isVisible());
        Volumes::setMeminfo(root, 0, 40);
        QTRY_COMPARE(dialog.messageType(), UpdateComplete);
        QVERIFY(dialog.isEnabled());
        QVERIFY(message(&dialog).contains("Press Restart"));
        QCOMPARE(look(&dialog, "BUTTON_OK"), QString("Restart 280"));
        QCOMPARE(look(&dialog, "BUTTON_CANCEL"), QString("-"));
        screenshot(&dialog, "complete");
        click(&dialog, "BUTTON_OK");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    // Before, the wait read "/proc/meminfo" again and again without pause or end.
    void flushWaitBounded()
    {
        TestRoot root;
        SoftwareUpdateDialog::setFlushWaitMs(300);
        SoftwareUpdateDialog dialog;
        dialog.setMessageType(UpdateInProgress);
        QElapsedTimer clock;
        clock.start();
        dialog.slotUpdated(true, NoError);      // no /proc/meminfo in this root at all
        QCOMPARE(dialog.messageType(), UpdateInProgress);
        QTRY_COMPARE(dialog.messageType(), UpdateComplete);
        QVERIFY(clock.elapsed() >= 300);
        SoftwareUpdateDialog::setFlushWaitMs(SoftwareUpdateDialog::DefaultFlushWaitMs);
    }

    void progressBar()
    {
        TestRoot root;
        SoftwareUpdateDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.setMessageType(UpdateInProgress);
        dialog.setMessageButtonVisibility(MSG_BUTTON_NONE);
        const int before = dialog.progress();
        dialog.repaint();
        dialog.repaint();
        QCOMPARE(dialog.progress(), before + 2);
        const QImage image = dialog.grab().toImage();
        QCOMPARE(image.pixelColor(134, 358), QColor(84, 218, 255));
        QCOMPARE(image.pixelColor(636, 364), QColor(84, 218, 255));      // the outline's far end
        QVERIFY(image.pixelColor(400, 364) != QColor(84, 218, 255));     // not filled yet
        for (int i = 0; i < 600; ++i)
            dialog.repaint();
        QCOMPARE(dialog.progress(), 502);
    }

    void dirtyData_data()
    {
        QTest::addColumn<QByteArray>("meminfo");
        QTest::addColumn<bool>("read");
        QTest::addColumn<int>("dirty");
        QTest::newRow("kernel format") << QByteArray("MemFree:   10 kB\nDirty:             1234 kB\nWriteback: 0 kB\n") << true << 1234;
        QTest::newRow("zero") << QByteArray("Dirty: 0 kB\n") << true << 0;
        QTest::newRow("not a number") << QByteArray("Dirty: many kB\n") << true << 0;
        QTest::newRow("no Dirty line") << QByteArray("MemFree: 10 kB\n") << false << -7;
        QTest::newRow("no line end") << QByteArray("Dirty: 5 kB") << false << -7;
    }
    void dirtyData()
    {
        QFETCH(QByteArray, meminfo);
        QFETCH(bool, read);
        QFETCH(int, dirty);
        TestRoot root;
        root.writeFile("/proc/meminfo", meminfo);
        int value = -7;
        QCOMPARE(dma_buffer_size(value), read);
        QCOMPARE(value, dirty);
        QFile::remove(root.path("/proc/meminfo"));
        QVERIFY(!dma_buffer_size(value));
    }
};

QTEST_MAIN(SoftwareUpdateDialogTest)
#include "tst_SoftwareUpdateDialog.moc"
