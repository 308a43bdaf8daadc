#include "BoardStandin.h"
#include "CountFrame.h"
#include "Dialog.h"
#include "NetworkManager.h"
#include "ProgramExit.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "ReviewFrame.h"
#include "SampleData.h"
#include "SyntheticField.h"
#include "TestRoot.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

// RE-ANALYSIS on the review screen, through the main window with a controller board: the
// Count menu shows the totals and the new results-log row is row 0 of the previous counts.
class ReAnalysisRoadTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Resources::init();
        ProgramExit::setHandler([](int) {});
    }

    void cleanup()
    {
        QtSerialPort::release();
        NetworkManager::release();
    }

    void reAnalysisFromTheReviewScreen()
    {
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        // A saved count: raw fields of 6 cells, annotated images that say 9.
        const QString folder = QStringLiteral("/ORBELIN/Yeast_0302");
        const std::vector<SyntheticField::Options> fields{
            SyntheticField::separatedCells(320, 240, 6, 1),
            SyntheticField::separatedCells(320, 240, 6, 2)};
        QVERIFY(SyntheticField::writeSaveFolder(
            folder, fields, "Instrument=ORBELIN_Vn,Volume factor=1e-05,Dilution factor=2"));
        SampleData::Field saved;
        saved.cells = 9;
        saved.meanSize = 5.0f;
        for (int n = 1; n <= 2; ++n) {
            QVERIFY(SampleData::writeTagImage(
                folder + QStringLiteral("/0%1_TAG.tif").arg(n), saved, 320, 240));
        }
        QVERIFY(SampleData::writeResultsLog(
            {SampleData::resultsLogRow("", "2026-02-27 09:12:40", {saved})}));

        Dialog dialog;
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.initialized(), 10000);
        QVERIFY(dialog.boardFound());
        QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_REVIEW"), Qt::LeftButton);
        auto *review = dialog.findChild<ReviewFrame *>("FRAME_REVIEW");
        auto *table = review->findChild<QTableWidget *>("TABLEWIDGET_CSV");
        QCOMPARE(table->rowCount(), 1);
        review->slotCurrentItemChanged(folder, true);
        auto *reAnalysis = review->findChild<QPushButton *>("BUTTON_RE_ANALYSIS");
        QVERIFY(reAnalysis->isEnabled());

        QTest::mouseClick(reAnalysis, Qt::LeftButton);
        QCOMPARE(dialog.currentMenu(), Dialog::MENU_COUNT);
        // Title-bar buttons are off while the fields are counted, on again after.
        QVERIFY(!dialog.findChild<QPushButton *>("BUTTON_REVIEW")->isEnabled());
        auto *count = dialog.findChild<CountFrame *>("FRAME_COUNT");
        auto *cells = count->findChild<QLabel *>("LABEL_TOTAL_CELLS");
        QTRY_COMPARE_WITH_TIMEOUT(cells->text(), QStringLiteral("12"), 20000);
        QTRY_VERIFY(dialog.findChild<QPushButton *>("BUTTON_REVIEW")->isEnabled());
        // 12 cells in 2 x 1e-5 mL, diluted 2.
        QCOMPARE(count->findChild<QLabel *>("LABEL_TOTAL_CELLS_CONCENTRATION")->text(),
                 QStringLiteral("1.20 x 10e6 cells/mL"));

        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 1)->text(), QString());
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("12"));
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("1.20E06"));
        QCOMPARE(table->item(0, 5)->text(), QStringLiteral("DEFAULT"));
        QCOMPARE(table->item(1, 2)->text(), QStringLiteral("9"));
        dialog.grab().save(QStringLiteral(ORBELIN_BUILD_DIR "/screenshot-reanalysis-count.png"));
    }
};

QTEST_MAIN(ReAnalysisRoadTest)
#include "tst_ReAnalysisRoad.moc"
