#include "Resources.h"
#include "SelectNetworkDialog.h"

#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

// The network list: rows, labels, signal images, and the choice.
class SelectNetworkDialogTest : public QObject
{
    Q_OBJECT

private:
    static AccessPoint ap(const QString &bssid, const QString &name, int level = 50,
                          bool encrypted = true, float frequency = 2.437f)
    {
        AccessPoint a;
        a.bssid = bssid;
        a.essid = name;
        a.level = level;
        a.encrypted = encrypted;
        a.frequency = frequency;
        return a;
    }

    static QStringList labels(SelectNetworkDialog &dialog)
    {
        const QAbstractItemModel *model = dialog.findChild<QTableView *>("LV_NETWORKS")->model();
        QStringList result;
        for (int row = 0; row < model->rowCount(); ++row)
            result << model->index(row, 2).data().toString();
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
    }

    void labels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<float>("frequency");
        QTest::addColumn<QString>("label");
        QTest::newRow("5.2 GHz") << "Lab" << 5.2f << "Lab (5G)";
        QTest::newRow("name says 5g") << "Lab-5g" << 5.2f << "Lab-5g";
        QTest::newRow("exactly 4.0 GHz") << "Lab" << 4.0f << "Lab";
        QTest::newRow("2.4 GHz") << "Lab" << 2.437f << "Lab";
        QTest::newRow("hidden at 5 GHz") << "" << 5.18f << " (5G)";
    }
    void labels()
    {
        QFETCH(QString, name);
        QFETCH(float, frequency);
        QFETCH(QString, label);
        SelectNetworkDialog dialog;
        dialog.add_ap_item(ap("00:00:00:00:00:01", name, 50, true, frequency));
        QCOMPARE(labels(dialog), QStringList{label});
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
        QTest::newRow("50") << 50 << 2;
        QTest::newRow("51") << 51 << 3;
        QTest::newRow("84") << 84 << 4;
        QTest::newRow("85") << 85 << 5;
        QTest::newRow("100") << 100 << 5;
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

    // Rows are kept by BSSID: a second report of one BSSID adds nothing and changes nothing.
    void updatesAddNewNetworksOnly()
    {
        SelectNetworkDialog dialog;
        auto *ok = dialog.findChild<QPushButton *>("BUTTON_OK");
        QMap<QString, AccessPoint> scan;
        dialog.slotUpdateAccessPoint(scan);
        QVERIFY(!ok->isEnabled());
        scan.insert("00:00:00:00:00:02", ap("00:00:00:00:00:02", "Lab"));
        scan.insert("00:00:00:00:00:01", ap("00:00:00:00:00:01", "Guest", 30, false));
        dialog.slotUpdateAccessPoint(scan);
        QVERIFY(ok->isEnabled());
        scan["00:00:00:00:00:01"].essid = "Renamed";
        scan.insert("00:00:00:00:00:03", ap("00:00:00:00:00:03", "Lab"));
        dialog.slotUpdateAccessPoint(scan);
        QCOMPARE(labels(dialog), QStringList({"Guest", "Lab", "Lab"}));
        QCOMPARE(dialog.info("00:00:00:00:00:01")->name, QString("Guest"));
        QVERIFY(!dialog.info("00:00:00:00:00:01")->encrypted);
        QVERIFY(dialog.info("00:00:00:00:00:02")->encrypted);
    }

    void okWithoutSelectionTakesTheFirstRow()
    {
        SelectNetworkDialog dialog;
        QMap<QString, AccessPoint> scan;
        scan.insert("00:00:00:00:00:07", ap("00:00:00:00:00:07", "Office"));
        scan.insert("00:00:00:00:00:09", ap("00:00:00:00:00:09", "Lab"));
        dialog.slotUpdateAccessPoint(scan);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.bssid(), QString("00:00:00:00:00:07"));
    }

    void chosenRow()
    {
        SelectNetworkDialog dialog;
        QMap<QString, AccessPoint> scan;
        for (int i = 1; i <= 7; ++i) {
            const QString bssid = QString("00:00:00:00:00:0%1").arg(i);
            scan.insert(bssid, ap(bssid, QString("Network %1").arg(i), i * 14, i % 2, i == 3 ? 5.18f : 2.4f));
        }
        dialog.slotUpdateAccessPoint(scan);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *view = dialog.findChild<QTableView *>("LV_NETWORKS");
        QVERIFY(view->isColumnHidden(0) && view->isColumnHidden(1));
        const QRect row = view->visualRect(view->model()->index(2, 2));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row.center());
        QVERIFY(dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-selectnetwork.png")));
        QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
        QCOMPARE(dialog.bssid(), QString("00:00:00:00:00:03"));
        QCOMPARE(labels(dialog).at(2), QString("Network 3 (5G)"));
    }

    void cancelChoosesNothing()
    {
        SelectNetworkDialog dialog;
        QMap<QString, AccessPoint> scan;
        scan.insert("00:00:00:00:00:07", ap("00:00:00:00:00:07", "Office"));
        dialog.slotUpdateAccessPoint(scan);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_CANCEL"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.bssid(), QString());
    }
};

QTEST_MAIN(SelectNetworkDialogTest)
#include "tst_SelectNetworkDialog.moc"
