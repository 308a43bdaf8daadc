#include "Dialog.h"
#include "ModalAnswer.h"
#include "NetworkManager.h"
#include "ProgramExit.h"
#include "Resources.h"
#include "TestRoot.h"
#include "WifiWorld.h"

#include <QSignalSpy>
#include <QtTest>

// The main window's Wi-Fi icon follows the Wi-Fi manager.
class WifiTitleBarTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        ProgramExit::setHandler([](int) {});
        WiFiTimeouts::set(WifiWorld::fastTimeouts());
    }

    void iconFollowsTheConnection()
    {
        TestRoot root;
        WifiWorld world(root);
        {
            Dialog dialog;
            ModalAnswer::clickNext("BUTTON_OK", nullptr, 10000);   // no controller board
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
            QTRY_VERIFY(!QApplication::activeModalWidget());
            QWidget *on = dialog.findChild<QWidget *>("WIFI_ENABLED");
            QWidget *off = dialog.findChild<QWidget *>("WIFI_DISABLED");

            NetworkManager *manager = NetworkManager::instance();
            QTRY_VERIFY(manager->property().devicePresent);
            QVERIFY(off->isVisible() && !on->isVisible());

            manager->setScanAccessPoint(true);
            QVERIFY(manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false));
            QTRY_VERIFY_WITH_TIMEOUT(on->isVisible(), 10000);
            QVERIFY(!off->isVisible());
            QVERIFY(dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-wifi-titlebar.png")));

            manager->setDisconnectAccessPoint();
            QVERIFY(off->isVisible() && !on->isVisible());

            QVERIFY(manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false));
            QTRY_VERIFY_WITH_TIMEOUT(on->isVisible(), 10000);
            world.removeDevice();
            QTRY_VERIFY(off->isVisible() && !on->isVisible());
        }
        NetworkManager::release();
    }
};

QTEST_MAIN(WifiTitleBarTest)
#include "tst_WifiTitleBar.moc"
