#include "FileOperationDialog.h"
#include "Resources.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class FileOperationDialogTest : public QObject
{
    Q_OBJECT

private:
    static QLabel *message(FileOperationDialog &dialog)
    {
        return dialog.findChild<QLabel *>("LABEL_MESSAGE");
    }
    static QPushButton *ok(FileOperationDialog &dialog)
    {
        return dialog.findChild<QPushButton *>("BUTTON_OK");
    }
    // Filled pixels of the bar's middle line.
    static int filledPixels(FileOperationDialog &dialog)
    {
        const QImage image = dialog.grab().toImage();
        int filled = 0;
        for (int x = 130; x < 700; ++x) {
            if (image.pixelColor(x, 364) == QColor(84, 218, 255))
                ++filled;
        }
        return filled;
    }

    // A paste shown with 50 of 100 bytes copied.
    static void showRunning(FileOperationDialog &dialog)
    {
        dialog.initialize();
        dialog.start();
        dialog.slotSetTotalFileCountAndSize(1, 100);
        dialog.slotSetCurrentFileCountAndSize(1, 50);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void barFollowsBytes_data()
    {
        QTest::addColumn<quint64>("total");
        QTest::addColumn<quint64>("current");
        QTest::addColumn<int>("filled");
        // The outline's two sides are in the bar's colour too.
        QTest::newRow("empty") << quint64(1000) << quint64(0) << 2;
        QTest::newRow("quarter") << quint64(1000) << quint64(250) << 125 + 1;
        QTest::newRow("full") << quint64(1000) << quint64(1000) << 502 + 1;
        QTest::newRow("beyond 4 GiB") << quint64(6) << quint64(3) << 251 + 1;
        QTest::newRow("more than all") << quint64(1000) << quint64(1500) << 502 + 1;
        QTest::newRow("nothing to copy") << quint64(0) << quint64(0) << 2;
    }
    void barFollowsBytes()
    {
        QFETCH(quint64, total);
        QFETCH(quint64, current);
        const quint64 scale = QByteArray(QTest::currentDataTag()) == "beyond 4 GiB"
            ? quint64(1) << 31 : 1;
        FileOperationDialog dialog;
        dialog.initialize();
        dialog.start();
        dialog.slotSetTotalFileCountAndSize(3, total * scale);
        dialog.slotSetCurrentFileCountAndSize(1, current * scale);
        QTEST(filledPixels(dialog), "filled");
        QVERIFY(dialog.barWidth() >= 0);
    }

    void completionClosesAccepted()
    {
        FileOperationDialog dialog;
        dialog.initialize();
        dialog.start();
        QCOMPARE(message(dialog)->text(), QString::fromUtf8("<p><b>Saving in Progress \xe2\x80\xa6</b></p>"));
        dialog.slotSetTotalFileCountAndSize(1, 0);
        // Before: Escape in the moment before the dialog went rejected a completed paste.
        QTimer::singleShot(0, &dialog, [&dialog]() {
            dialog.slotCompleted();
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(clock.elapsed() >= FileOperationDialog::StepDelayMs - 10);
        QCOMPARE(dialog.barWidth(), 502.0f);
        QVERIFY(!ok(dialog)->isVisibleTo(&dialog));
    }

    void errors_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << "<p><b>Error</b><br/><br/>Cannot paste files within the same folder.</p>";
        QTest::newRow("2") << 2 << "<p><b>Insufficient Disk Space</b><br/><br/>Insert another USB drive.</p>";
        QTest::newRow("3") << 3 << "<p><b>Error!</b><br/><br/>The designated destination could not be found. Check the quick save file path and try again.</p>";
        QTest::newRow("4") << 4 << "<p><b>Error!</b><br/><br/>Some files could not be copied.<br/>They were left where they were.</p>";
    }
    void errors()
    {
        QFETCH(int, error);
        FileOperationDialog dialog;
        showRunning(dialog);
        dialog.slotPasteError(FileOperationPasteError(error));
        QVERIFY(!dialog.isPainting());
        QTRY_VERIFY(ok(dialog)->isVisible());
        QTEST(message(dialog)->text(), "text");
        QCOMPARE(filledPixels(dialog), 0);
        if (error == 3)
            dialog.grab().save(QDir::currentPath() + "/screenshot-fileoperationdialog-error.png");
        QTest::mouseClick(ok(dialog), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());

        // The next paste starts clean.
        dialog.initialize();
        dialog.start();
        QVERIFY(!ok(dialog)->isVisibleTo(&dialog));
        QVERIFY(message(dialog)->text().contains("Saving in Progress"));
        QVERIFY(dialog.isPainting());
    }

    // Before: Escape closed the dialog while the worker ran, and a second paste could start.
    void escapeDoesNotCloseWhileRunning()
    {
        FileOperationDialog dialog;
        showRunning(dialog);
        dialog.grab().save(QDir::currentPath() + "/screenshot-fileoperationdialog.png");
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.close());
        QVERIFY(dialog.isVisible());

        dialog.slotPasteError(PASTE_SAME_FOLDER);
        QTRY_VERIFY(ok(dialog)->isVisible());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(FileOperationDialogTest)
#include "tst_FileOperationDialog.moc"
