#include "ConnectAPDlg.h"
#include "Dialog.h"
#include "KeyboardDialog.h"
#include "ModalAnswer.h"
#include "NetworkManager.h"
#include "ProgramExit.h"
#include "Resources.h"
#include "TestRoot.h"
#include "WifiWorld.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

// The Wi-Fi manager against the Wi-Fi world, its key dialog, and the title bar that follows it.
class NetworkManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        ProgramExit::setHandler([](int) {});
    }

    // Every way of closing the key dialog other than OK, and pulling the device meanwhile,
    // ends the run and empties the dialog; a second request meanwhile is refused. Before,
    // Escape left the run waiting. A wrong key (at most 63 characters) brings the dialog
    // back with "Password incorrect" and the key typed. A touch on the key field opens
    // the keyboard centred 20 pixels below the dialog, typing into the field.
    void keyDialogClosed_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close request") << "close";
        QTest::newRow("keyboard, then CANCEL") << "cancel";
        QTest::newRow("device pulled") << "pull";
        QTest::newRow("wrong key, then Escape") << "wrong key";
    }
    void keyDialogClosed()
    {
        QFETCH(QString, how);
        ManagerBench b;
        NetworkManager *manager = b.start();
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        bool secondRefused = false;
        QRect keyboardAt;
        QObject *target = nullptr;
        QStringList shownAgain;
        ModalAnswer::next([&](QWidget *modal) {
            secondRefused = !manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false);
            auto *edit = modal->findChild<QLineEdit *>("EDIT_PASSWORD");
            QTest::keyClicks(edit, how == "wrong key" ? QString(70, 'k') : "typed");
            if (how == "escape") {
                QTest::keyClick(modal, Qt::Key_Escape);
            } else if (how == "close") {
                modal->close();
            } else if (how == "pull") {
                b.world.removeDevice();
            } else if (how == "wrong key") {
                QTest::keyClick(edit, Qt::Key_Return);
                ModalAnswer::next([&, edit](QWidget *again) {      // the same dialog, back again
                    auto *message = again->findChild<QLabel *>("LABEL_MESSAGE");
                    shownAgain << (message->isVisible() ? message->text() : "") << edit->text();
                    QTest::keyClick(again, Qt::Key_Escape);
                });
            } else {
                // Runs in the keyboard's own event loop, once it shows as a pop-up.
                QTimer::singleShot(0, [&] {
                    if (!QTest::qWaitFor([] { return QApplication::activePopupWidget(); }, 5000))
                        return;
                    if (auto *keyboard = qobject_cast<KeyboardDialog *>(QApplication::activePopupWidget())) {
                        keyboardAt = QRect(keyboard->pos(), keyboard->size());
                        target = keyboard->object();
                        keyboard->reject();
                    }
                });
                QTest::mouseClick(edit, Qt::LeftButton);
                QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_CANCEL"), Qt::LeftButton);
            }
        });
        QVERIFY(manager->connectToAP("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(failed.wait(30000));
        QVERIFY(secondRefused);
        QVERIFY(!manager->property().connected);
        QCOMPARE(manager->property().devicePresent, how != "pull");
        QCOMPARE(b.world.wpaCalls("set_network").size(), how == "wrong key" ? 2 : 1);
        QCOMPARE(b.world.wpaCalls("remove_network").size(), 1);
        ConnectAPDlg *dialog = manager->keyDialog();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->password(), QString());
        QVERIFY(dialog->findChild<QLabel *>("LABEL_MESSAGE")->isHidden());
        QCOMPARE(dialog->findChild<QLineEdit *>("EDIT_PASSWORD")->placeholderText(), QString("Press me!"));
        if (how == "wrong key")
            QCOMPARE(shownAgain, QStringList({"Password incorrect", QString(63, 'k')}));
        if (how != "cancel")
            return;
        QCOMPARE(target, static_cast<QObject *>(dialog->passwordObject()));
        const int screen = QGuiApplication::primaryScreen()->geometry().width();
        QCOMPARE(keyboardAt.topLeft(), QPoint(screen / 2 - keyboardAt.width() / 2,
                                              dialog->y() + dialog->height() + 20));
    }

    // The user cancelled the connecting notice while the run was getting its address:
    // the run's success report that follows is taken as a failure.
    void cancelledNoticeTurnsSuccessIntoFailure()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        ScopedTimeouts timeouts([](WiFiTimeouts &t) { t.dhcpMs = 30000; });
        // dhclient waits for the cancel, then answers as the world's own does.
        b.root.fakeProgramScript("dhclient", "for i in $(seq 300); do\n"
                                             "  [ -e \"$ORBELIN_ROOT/go\" ] && break; sleep 0.1\n"
                                             "done\n"
                                             "exec \"" ORBELIN_STANDINS_DIR "/bin/dhclient\" \"$@\"");
        QSignalSpy connected(manager, &NetworkManager::signalConnectedAP);
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        manager->setScanAccessPoint(true);
        QVERIFY(manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false));
        QTRY_VERIFY_WITH_TIMEOUT(!b.root.calls("dhclient").isEmpty(), 20000);
        manager->slotAccessPointConnectingCancel();
        b.root.writeFile("/go", "");
        QVERIFY(failed.wait(30000));
        QCOMPARE(b.root.calls("ping").size(), 1);     // the run itself went on to the end
        QCOMPARE(connected.count(), 0);
        QVERIFY(!manager->property().connected);
    }


    // The main window's Wi-Fi icon follows the manager: on when joined, off when
    // disconnected and when the device goes.
    void titleBarIconFollowsTheManager()
    {
        ManagerBench b;
        Dialog dialog;
        ModalAnswer::clickNext("BUTTON_OK", nullptr, 10000);   // no controller board
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        NetworkManager *manager = b.start();
        QWidget *on = dialog.findChild<QWidget *>("WIFI_ENABLED");
        QWidget *off = dialog.findChild<QWidget *>("WIFI_DISABLED");
        QVERIFY(off->isVisible() && !on->isVisible());
        manager->setScanAccessPoint(true);
        QVERIFY(manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false));
        QTRY_VERIFY_WITH_TIMEOUT(on->isVisible() && !off->isVisible(), 10000);
        manager->setDisconnectAccessPoint();
        QVERIFY(off->isVisible() && !on->isVisible());
        QVERIFY(manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false));
        QTRY_VERIFY_WITH_TIMEOUT(on->isVisible(), 10000);
        b.world.removeDevice();
        QTRY_VERIFY(off->isVisible() && !on->isVisible());
    }
};

QTEST_MAIN(NetworkManagerTest)
#include "tst_NetworkManager.moc"
