#include "MessageDlg.h"
#include "ModalAnswer.h"
#include "NetworkManager.h"
#include "Resources.h"
#include "SelectNetworkDialog.h"
#include "TestRoot.h"
#include "WiFiOptionsDialog.h"
#include "WifiWorld.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <memory>

// The Wi-Fi page driven as the operator does, against the Wi-Fi world, and its list of
// networks.
class WiFiOptionsDialogTest : public QObject
{
    Q_OBJECT

private:
    struct Page
    {
        Page()
        {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        }
        QPushButton *button(const char *name) { return dialog.findChild<QPushButton *>(name); }
        QLabel *label(const char *name) { return dialog.findChild<QLabel *>(name); }
        // The labels shown, of the four that follow the connection.
        QStringList shownLabels()
        {
            QStringList shown;
            for (const char *name : {"LABEL_WIFI_OFF", "LABEL_WIFI_ON", "LABEL_IP_ADDRESS_TITLE",
                                     "LABEL_IP_ADDRESS", "LABEL_NOTICE"}) {
                if (label(name)->isVisible())
                    shown << name;
            }
            return shown;
        }
        WiFiOptionsDialog dialog;
    };

    // Answers the network list: runs meanwhile with the list open, then, unless the list
    // has closed, picks the row labelled name once it shows (an empty name: the unnamed
    // row) and OK, or CANCEL for a null name; then runs then.
    static void pick(const QString &name, std::function<void()> then = nullptr,
                     std::function<void()> meanwhile = nullptr)
    {
        ModalAnswer::next([=](QWidget *list) {
            if (meanwhile)
                meanwhile();
            auto *view = list->findChild<QTableView *>("LV_NETWORKS");
            int row = -1;
            const bool listed = QTest::qWaitFor([&] {
                for (int r = 0; r < view->model()->rowCount(); ++r) {
                    if (view->model()->index(r, 2).data().toString() == name)
                        row = r;
                }
                return row >= 0 || name.isNull();
            }, 8000);
            if (!listed)
                qWarning("no row %s", qPrintable(name));
            view->selectRow(row);
            if (list->isVisible())
                QTest::mouseClick(list->findChild<QPushButton *>(name.isNull() ? "BUTTON_CANCEL" : "BUTTON_OK"),
                                  Qt::LeftButton);
            if (then)
                then();
        });
    }

    // Clicks OK on the message box whose text holds part, once it shows; notes its text.
    static void confirmMessage(const QString &part, QString *text)
    {
        auto poll = std::make_shared<std::function<void()>>();
        *poll = [=] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<MessageDlg *>(w);
                if (box && box->isVisible() && box->message().contains(part)) {
                    *text = box->message();
                    QTest::mouseClick(box->findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
                    *poll = nullptr;
                    return;
                }
            }
            QTimer::singleShot(10, [poll] { if (*poll) (*poll)(); });
        };
        QTimer::singleShot(0, [poll] { if (*poll) (*poll)(); });
    }

    static AccessPoint ap(const QString &bssid, const QString &name, int level = 50,
                          bool encrypted = true, float frequency = 2.437f)
    {
        return AccessPoint{bssid, name, QString(), QString(), level, encrypted, frequency};
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    // Before, a cancelled list or a network without a name left the page disabled for
    // ever. With no connection started, or once the run has ended, the page follows the
    // manager again; a failed run says so.
    void pageFollowsTheManager_data()
    {
        QTest::addColumn<QString>("meanwhile");     // done while the list is open
        QTest::addColumn<QString>("choice");        // null: CANCEL
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("device");
        QTest::newRow("list cancelled") << "" << QString() << false << true;
        QTest::newRow("hidden network") << "" << QString("") << false << true;
        QTest::newRow("connected meanwhile") << "connect" << QString() << true << true;
        QTest::newRow("device pulled meanwhile") << "pull" << QString() << false << false;
        QTest::newRow("connection failed") << "dhclient fail" << QString("Guest") << false << true;
    }
    void pageFollowsTheManager()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, choice);
        QFETCH(bool, on);
        QFETCH(bool, device);
        ManagerBench b;
        NetworkManager *manager = b.start();
        Page page;
        QString failure;
        pick(choice, [&] {
            if (!choice.isEmpty())
                confirmMessage("Network connection failure", &failure);
        }, [&] {
            if (meanwhile == "dhclient fail") {
                b.world.setMode("dhclient", "fail");
            } else if (meanwhile == "connect") {
                QSignalSpy connected(manager, &NetworkManager::signalConnectedAP);
                QVERIFY(manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false));
                QVERIFY(connected.wait(8000));
            } else if (meanwhile == "pull") {
                b.world.removeDevice();
                QTRY_VERIFY(!QApplication::activeModalWidget());
            }
        });
        QTest::mouseClick(page.button("BUTTON_WIFI_ENABLE"), Qt::LeftButton);
        if (!choice.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(!failure.isEmpty(), 10000);
            QVERIFY(failure.contains("Please check your wireless network connection."));
        }
        QTRY_VERIFY(page.dialog.isEnabled());
        QCOMPARE(page.button("BUTTON_WIFI_ENABLE")->isChecked(), on);
        QCOMPARE(page.button("BUTTON_WIFI_ENABLE")->isEnabled(), device);
        QCOMPARE(manager->property().connected, on);
        QVERIFY(manager->accessPoints().isEmpty());
        // Only a network with a name is joined.
        QCOMPARE(b.world.wpaCalls("add_network").isEmpty(), meanwhile != "connect" && choice != "Guest");
        QCOMPARE(page.shownLabels(), on ? QStringList({"LABEL_WIFI_ON", "LABEL_IP_ADDRESS_TITLE",
                                                       "LABEL_IP_ADDRESS", "LABEL_NOTICE"})
                                        : QStringList({"LABEL_WIFI_OFF"}));
        if (on) {
            QCOMPARE(page.label("LABEL_IP_ADDRESS")->text(), QString("192.168.30.57"));
            // Touching the switch while connected turns Wi-Fi off.
            QTest::mouseClick(page.button("BUTTON_WIFI_ENABLE"), Qt::LeftButton);
            QVERIFY(!manager->property().connected);
            QCOMPARE(page.shownLabels(), QStringList({"LABEL_WIFI_OFF"}));
        }
        if (!device)
            return;
        const int scans = b.root.calls("iwlist").size();
        QTest::qWait(150);
        QCOMPARE(b.root.calls("iwlist").size(), scans);
    }

    // Levels outside 0..100 used to pick no image (or a wrong one).
    void signalImages_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("image");
        QTest::newRow("0: no network") << 0 << -1;
        QTest::newRow("1") << 1 << 0;
        QTest::newRow("16") << 16 << 0;
        QTest::newRow("17") << 17 << 1;
        QTest::newRow("85") << 85 << 5;
        QTest::newRow("above 100") << 250 << 5;
        QTest::newRow("negative") << -20 << -1;
    }
    void signalImages()
    {
        QFETCH(int, level);
        QFETCH(int, image);
        QCOMPARE(SelectNetworkDialog::signalImageOf(level), image);
        SelectNetworkDialog dialog;
        dialog.add_ap_item(ap("00:00:00:00:00:01", "Lab", level));
        const QAbstractItemModel *model = dialog.findChild<QTableView *>("LV_NETWORKS")->model();
        QVERIFY(!model->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    }

    // Rows are kept by BSSID: a second report of one BSSID adds nothing and changes
    // nothing. A 5 GHz network is labelled so unless its name says it.
    void updatesAddNewNetworksOnly()
    {
        SelectNetworkDialog dialog;
        auto *ok = dialog.findChild<QPushButton *>("BUTTON_OK");
        QMap<QString, AccessPoint> scan;
        dialog.slotUpdateAccessPoint(scan);
        QVERIFY(!ok->isEnabled());
        scan.insert("00:00:00:00:00:01", ap("00:00:00:00:00:01", "Guest", 30, false));
        scan.insert("00:00:00:00:00:02", ap("00:00:00:00:00:02", "Lab", 50, true, 5.2f));
        dialog.slotUpdateAccessPoint(scan);
        QVERIFY(ok->isEnabled());
        scan["00:00:00:00:00:01"].essid = "Renamed";
        scan.insert("00:00:00:00:00:03", ap("00:00:00:00:00:03", "Lab-5g", 50, true, 5.2f));
        scan.insert("00:00:00:00:00:04", ap("00:00:00:00:00:04", "", 50, true, 5.18f));
        scan.insert("00:00:00:00:00:05", ap("00:00:00:00:00:05", "Lab", 50, true, 4.0f));
        dialog.slotUpdateAccessPoint(scan);
        const QAbstractItemModel *model = dialog.findChild<QTableView *>("LV_NETWORKS")->model();
        QStringList labels;
        for (int row = 0; row < model->rowCount(); ++row)
            labels << model->index(row, 2).data().toString();
        QCOMPARE(labels, QStringList({"Guest", "Lab (5G)", "Lab-5g", " (5G)", "Lab"}));
        QCOMPARE(dialog.info("00:00:00:00:00:01")->name, QString("Guest"));
        QVERIFY(!dialog.info("00:00:00:00:00:01")->encrypted);
        QVERIFY(dialog.info("00:00:00:00:00:02")->encrypted);
    }
};

QTEST_MAIN(WiFiOptionsDialogTest)
#include "tst_WiFiOptionsDialog.moc"
