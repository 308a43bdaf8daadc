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
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <memory>

// The Wi-Fi page driven as the operator does, against the Wi-Fi world: switch on, pick a
// network from the list, type the key, read the address.
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

    // Picks the row labelled name once the list shows it (an empty name: the first row
    // without a label), then OK; cancel instead when name is null. then() runs after.
    static void pick(const QString &name, std::function<void()> then = nullptr,
                     std::function<void(QWidget *)> meanwhile = nullptr)
    {
        ModalAnswer::next([=](QWidget *modal) {
            auto *list = qobject_cast<SelectNetworkDialog *>(modal);
            if (!list) {
                qWarning("not the network list");
                return;
            }
            if (meanwhile) {
                meanwhile(modal);
                if (then)
                    then();
                return;
            }
            auto *view = list->findChild<QTableView *>("LV_NETWORKS");
            if (name.isNull()) {
                QTest::mouseClick(list->findChild<QPushButton *>("BUTTON_CANCEL"), Qt::LeftButton);
            } else {
                int row = -1;
                const bool listed = QTest::qWaitFor([&] {
                    for (int r = 0; r < view->model()->rowCount(); ++r) {
                        if (view->model()->index(r, 2).data().toString() == name)
                            row = r;
                    }
                    return row >= 0;
                }, 8000);
                if (!listed) {
                    qWarning("no row %s", qPrintable(name));
                    return;
                }
                list->grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-wifi-list.png"));
                view->selectRow(row);
                QTest::mouseClick(list->findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
            }
            if (then)
                then();
        });
    }

    static void typeKey(const QString &key, QStringList *messages, std::function<void()> then = nullptr)
    {
        ModalAnswer::next([=](QWidget *modal) {
            auto *edit = modal->findChild<QLineEdit *>("EDIT_PASSWORD");
            auto *label = modal->findChild<QLabel *>("LABEL_MESSAGE");
            if (!edit) {
                qWarning("not the key dialog");
                return;
            }
            *messages << (label->isVisible() ? label->text() : QString());
            edit->clear();
            QTest::keyClicks(edit, key);
            QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
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

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        WiFiTimeouts::set(WifiWorld::fastTimeouts());
    }

    void withoutDevice()
    {
        ManagerBench b;
        b.start(false);
        Page page;
        QVERIFY(!page.button("BUTTON_WIFI_ENABLE")->isChecked());
        QVERIFY(!page.button("BUTTON_WIFI_ENABLE")->isEnabled());
        QCOMPARE(page.shownLabels(), QStringList({"LABEL_WIFI_OFF"}));
        QVERIFY(page.dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-wifi-nodevice.png")));
    }

    // Switch on, pick the secured network, a wrong key, then the right one: the address shows.
    void joinWithWrongThenRightKey()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        Page page;
        QVERIFY(page.button("BUTTON_WIFI_ENABLE")->isEnabled());
        QCOMPARE(page.shownLabels(), QStringList({"LABEL_WIFI_OFF"}));
        QStringList messages;
        bool disabledWhileListed = false;
        pick("LabNet", [&] {
            disabledWhileListed = !page.dialog.isEnabled();
            typeKey("not-the-key", &messages, [&] { typeKey("cellcount", &messages); });
        });
        QTest::mouseClick(page.button("BUTTON_WIFI_ENABLE"), Qt::LeftButton);
        QVERIFY(disabledWhileListed);
        QTRY_VERIFY_WITH_TIMEOUT(manager->property().connected, 10000);
        QTRY_VERIFY(page.dialog.isEnabled());
        QCOMPARE(messages, QStringList({QString(), "Password incorrect"}));
        QVERIFY(page.button("BUTTON_WIFI_ENABLE")->isChecked());
        QCOMPARE(page.label("LABEL_IP_ADDRESS")->text(), QString("192.168.10.57"));
        QCOMPARE(page.shownLabels(), QStringList({"LABEL_WIFI_ON", "LABEL_IP_ADDRESS_TITLE",
                                                  "LABEL_IP_ADDRESS", "LABEL_NOTICE"}));
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(page.dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-wifi-connected.png")));

        // Touching the switch while connected turns Wi-Fi off; the page stays usable.
        QTest::mouseClick(page.button("BUTTON_WIFI_ENABLE"), Qt::LeftButton);
        QVERIFY(!page.button("BUTTON_WIFI_ENABLE")->isChecked());
        QVERIFY(!manager->property().connected);
        QVERIFY(page.dialog.isEnabled());
        QCOMPARE(page.shownLabels(), QStringList({"LABEL_WIFI_OFF"}));
    }

    // Before, a cancelled list or a network without a name left the page disabled for ever.
    void noConnectionStarted_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::newRow("list cancelled") << QString();
        QTest::newRow("hidden network") << QString("");
    }
    void noConnectionStarted()
    {
        QFETCH(QString, choice);
        ManagerBench b;
        NetworkManager *manager = b.start();
        Page page;
        QSignalSpy failed(manager, &NetworkManager::signalNoConnectedAP);
        pick(choice);
        QTest::mouseClick(page.button("BUTTON_WIFI_ENABLE"), Qt::LeftButton);
        QVERIFY(page.dialog.isEnabled());
        QVERIFY(!page.button("BUTTON_WIFI_ENABLE")->isChecked());
        QVERIFY(page.button("BUTTON_WIFI_ENABLE")->isEnabled());
        QCOMPARE(page.shownLabels(), QStringList({"LABEL_WIFI_OFF"}));
        QVERIFY(manager->accessPoints().isEmpty());
        const int scans = b.root.calls("iwlist").size();
        QTest::qWait(150);
        QCOMPARE(b.root.calls("iwlist").size(), scans);
        QVERIFY(b.world.wpaCalls("select_network").isEmpty());
    }

    // A connection made while the list was open: cancelling the list keeps the switch on.
    void listCancelledWhileConnected()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        Page page;
        pick(QString(), nullptr, [&](QWidget *list) {
            QSignalSpy connected(manager, &NetworkManager::signalConnectedAP);
            manager->connectToAP("Guest", "00:1A:2B:3C:4D:03", false);
            connected.wait(8000);
            QTest::mouseClick(list->findChild<QPushButton *>("BUTTON_CANCEL"), Qt::LeftButton);
        });
        QTest::mouseClick(page.button("BUTTON_WIFI_ENABLE"), Qt::LeftButton);
        QVERIFY(manager->property().connected);
        QVERIFY(page.dialog.isEnabled());
        QVERIFY(page.button("BUTTON_WIFI_ENABLE")->isChecked());
    }

    void deviceGoneWhileListed()
    {
        ManagerBench b;
        b.start();
        Page page;
        pick(QString(), nullptr, [&](QWidget *) { b.world.removeDevice(); });
        QTest::mouseClick(page.button("BUTTON_WIFI_ENABLE"), Qt::LeftButton);
        QVERIFY(!page.button("BUTTON_WIFI_ENABLE")->isChecked());
        QVERIFY(!page.button("BUTTON_WIFI_ENABLE")->isEnabled());
        QVERIFY(page.dialog.isEnabled());
    }

    void connectionFailureIsReported()
    {
        ManagerBench b;
        NetworkManager *manager = b.start();
        b.world.setMode("dhclient", "fail");
        Page page;
        QString text;
        pick("Guest", [&] { confirmMessage("Network connection failure", &text); });
        QTest::mouseClick(page.button("BUTTON_WIFI_ENABLE"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!text.isEmpty(), 10000);
        QVERIFY(text.contains("Please check your wireless network connection."));
        QTRY_VERIFY(page.dialog.isEnabled());
        QVERIFY(!page.button("BUTTON_WIFI_ENABLE")->isChecked());
        QVERIFY(!manager->property().connected);
        QCOMPARE(page.shownLabels(), QStringList({"LABEL_WIFI_OFF"}));
    }
};

QTEST_MAIN(WiFiOptionsDialogTest)
#include "tst_WiFiOptionsDialog.moc"
