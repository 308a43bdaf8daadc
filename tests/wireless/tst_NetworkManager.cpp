#include "KeyboardDialog.h"
#include "ModalAnswer.h"
#include "NetworkManager.h"
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

// The Wi-Fi manager against the Wi-Fi world, with its key dialog answered as the user would.
class NetworkManagerTest : public QObject
{
    Q_OBJECT

private:
    // Answers the next key requests with the keys, one each, pressing OK; notes what the
    // dialog showed (message and key field) when each request opened it.
    static void typeKeys(QStringList keys, QStringList *messages, QStringList *shown)
    {
        if (keys.isEmpty())
            return;
        const QString key = keys.takeFirst();
        ModalAnswer::next([=](QWidget *modal) {
            auto *edit = modal->findChild<QLineEdit *>("EDIT_PASSWORD");
            auto *label = modal->findChild<QLabel *>("LABEL_MESSAGE");
            *messages << (label->isVisible() ? label->text() : QString());
            *shown << edit->text();
            edit->clear();
            QTest::keyClicks(edit, key);
            QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
            typeKeys(keys, messages, shown);     // the dialog has closed: wait for the next
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        WiFiTimeouts::set(WifiWorld::fastTimeouts());
    }

    void withoutDeviceNothingScans()
    {
        ManagerBench b;
        b.world.removeDevice();
        NetworkManager *manager = NetworkManager::instance();
        QTest::qWait(200);
        manager->setScanAccessPoint(true);
        QTest::qWait(200);
        QVERIFY(manager->accessPoints().isEmpty());
        QVERIFY(!manager->property().devicePresent);
        for (const char *program : {"iwlist", "wpa_cli", "ifconfig"})
            QVERIFY2(b.root.calls(program).isEmpty(), program);
    }

    // Two cells with one BSSID leave one entry holding the later one.
    void scanKeepsOneEntryPerBssid()
    {
        ManagerBench b;
        WifiWorld::Network first, second, other;
        first.bssid = second.bssid = "00:1A:2B:3C:4D:10";
        first.ssid = "First";
        second.ssid = "Second";
        other.bssid = "00:1A:2B:3C:4D:11";
        other.ssid = "Other";
        b.world.setNetworks({first, second, other});
        NetworkManager *manager = b.start();
        int updates = 0;
        connect(manager, &NetworkManager::signalAPUpdateList, this,
                [&](QMap<QString, AccessPoint> &map) { updates += map.isEmpty() ? 0 : 1; });
        manager->setScanAccessPoint(true);
        QTRY_COMPARE(manager->accessPoints().size(), 2);
        QTRY_VERIFY(updates >= 3);
        QCOMPARE(manager->accessPoints().value(first.bssid).essid, QString("Second"));
        manager->setScanAccessPoint(false);
        QVERIFY(manager->accessPoints().isEmpty());
        const int scans = b.root.calls("iwlist").size();
        QTest::qWait(150);
        QCOMPARE(b.root.calls("iwlist").size(), scans);
    }

    // A removed device resets the state before the change is announced.
    void deviceRemovedResetsTheState()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        QSignalSpy connected(manager, &NetworkManager::signalConnectedAP);
        manager->setScanAccessPoint(true);
        QVERIFY(manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false));
        QVERIFY(connected.wait(30000));
        wireless_network_property state = manager->property();
        QVERIFY(state.connected);
        QCOMPARE(state.ssid, QString("Guest"));
        QCOMPARE(state.ip, QString("192.168.30.57"));

        wireless_network_property seen;
        connect(manager, &NetworkManager::signalNetworkDeviceChanged, this,
                [&] { seen = manager->property(); });
        b.world.removeDevice();
        QTRY_VERIFY(!manager->property().devicePresent);
        QVERIFY(!seen.devicePresent);
        QVERIFY(!seen.connected);
        QCOMPARE(seen.device, QString());
        QCOMPARE(seen.ssid, QString());
        QCOMPARE(seen.ip, QString());
    }

    void wrongKeyThenRightKey()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        QSignalSpy connected(manager, &NetworkManager::signalConnectedAP);
        QSignalSpy connecting(manager, &NetworkManager::signalShowConnectingMessage);
        manager->setScanAccessPoint(true);
        QStringList messages, shown;
        typeKeys({"wrong-key-1", "cellcount"}, &messages, &shown);
        QVERIFY(manager->connectToAP("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(connected.wait(30000));
        QCOMPARE(connected.at(0).at(0).toString(), QString("LabNet"));
        QCOMPARE(messages, QStringList({QString(), "Password incorrect"}));
        QCOMPARE(shown, QStringList({QString(), "wrong-key-1"}));
        QCOMPARE(connecting.count(), 1);
        QCOMPARE(manager->property().ip, QString("192.168.10.57"));
        QVERIFY(manager->property().connected);
    }

    void escapeOnTheKeyDialogCancels()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        ModalAnswer::next([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QVERIFY(manager->connectToAP("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(failed.wait(30000));
        QVERIFY(!manager->property().connected);
        QCOMPARE(b.world.wpaCalls("remove_network").size(), 1);
    }

    void deviceRemovedWhileTheKeyIsAskedFor()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        bool secondRefused = false;
        ModalAnswer::next([&](QWidget *) {
            secondRefused = !manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false);
            b.world.removeDevice();
        });
        QVERIFY(manager->connectToAP("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(failed.wait(30000));
        QVERIFY(secondRefused);
        QVERIFY(!manager->keyDialog()->isVisible());
        QVERIFY(!manager->property().devicePresent);
        QVERIFY(b.world.wpaCalls("set_network").size() == 1);  // the name only, no key
    }

    // The user cancelled the connecting notice: a later success report is a failure.
    void cancelledNoticeTurnsSuccessIntoFailure()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        QSignalSpy connected(manager, &NetworkManager::signalConnectedAP);
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        connect(manager, &NetworkManager::signalShowConnectingMessage, manager,
                &NetworkManager::slotAccessPointConnectingCancel);
        QVERIFY(manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false));
        QVERIFY(failed.wait(30000));
        QCOMPARE(connected.count(), 0);
        QVERIFY(!manager->property().connected);
    }

    void disconnectWhenNothingIsConnected()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        manager->setDisconnectAccessPoint();
        QCOMPARE(failed.count(), 1);
        QVERIFY(b.root.calls("pkill").isEmpty());
    }

    void keyboardBelowTheKeyDialog()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        QPoint keyboardAt, expected;
        QObject *target = nullptr;
        ModalAnswer::next([&](QWidget *modal) {
            QTimer::singleShot(50, [&] {
                for (QWidget *w : QApplication::topLevelWidgets()) {
                    auto *keyboard = qobject_cast<KeyboardDialog *>(w);
                    if (keyboard && keyboard->isVisible()) {
                        keyboardAt = keyboard->pos();
                        target = keyboard->object();
                        const int screen = QGuiApplication::primaryScreen()->geometry().width();
                        expected = QPoint(screen / 2 - keyboard->width() / 2,
                                          modal->y() + modal->height() + 20);
                        keyboard->reject();
                    }
                }
            });
            QTest::mouseClick(modal->findChild<QLineEdit *>("EDIT_PASSWORD"), Qt::LeftButton);
            QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_CANCEL"), Qt::LeftButton);
        });
        QVERIFY(manager->connectToAP("LabNet", "00:1A:2B:3C:4D:01", true));
        QVERIFY(failed.wait(30000));
        QVERIFY(!keyboardAt.isNull());
        QCOMPARE(keyboardAt, expected);
        QCOMPARE(target, static_cast<QObject *>(manager->keyDialog()->passwordObject()));
    }
};

QTEST_MAIN(NetworkManagerTest)
#include "tst_NetworkManager.moc"
