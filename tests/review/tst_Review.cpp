#include "CSVReaderWriter.h"
#include "FileSystemItem.h"
#include "FileSystemTreeWidget.h"
#include "ImageFrame.h"
#include "ModalAnswer.h"
#include "PrivateProfile.h"
#include "Resources.h"
#include "ReviewFrame.h"
#include "ReviewOptionsDialog.h"
#include "SampleData.h"
#include "SavedCountTotals.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using SampleData::field;

// The review screen, the totals of a saved count and the review options.
class ReviewTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_Root;
    std::unique_ptr<Volumes> m_Volumes;
    std::unique_ptr<ReviewFrame> m_Frame;
    QSize m_Sent;       // the size of the image last sent to the view

    template<typename T = QWidget>
    T *child(const char *name) const
    {
        T *w = m_Frame->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }
    QString text(const char *label) const { return child<QLabel>(label)->text(); }
    FileSystemTreeWidget *tree() const { return child<FileSystemTreeWidget>("FILE"); }
    QTableWidget *table() const { return child<QTableWidget>("TABLEWIDGET_CSV"); }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    // Three fields of 100, 101 and 102 cells in 32 x 24 images.
    static bool saveFolder(const QString &folder)
    {
        return SampleData::writeSaveFolder(folder, {field(100), field(101), field(102)}, 32, 24);
    }

    // Builds the screen on the data laid out so far, as the main window does.
    void start(const QStringList &sticks = {"USB"})
    {
        m_Volumes.reset(new Volumes(*m_Root, sticks));
        m_Frame.reset(new ReviewFrame);
        m_Frame->resize(1280, 720);
        m_Frame->initialize();
        connect(m_Frame.get(), &ReviewFrame::signalSetImageData, this,
                [this](unsigned char *, int width, int height, int) { m_Sent = {width, height}; });
        m_Frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_Frame.get()));
    }

    // Makes the tree row of an instrument path current.
    bool select(const QString &path)
    {
        fs::FileSystemItem *row = Volumes::row(tree(), path);
        tree()->setCurrentItem(row);
        return row;
    }

    // Annotated images "name,cells,size,volume mL,dilution[,software]" (a bare name has the
    // digits and "_TAG.tif" added); a name alone is not a TIFF.
    bool writeTagImages(const QString &folder, const QStringList &images) const
    {
        for (const QString &image : images) {
            const QStringList v = image.split(',');
            const QString name = folder + '/' + v[0] + (v[0].contains('.') ? "" : "_TAG.tif");
            if (!(v.size() == 1 ? m_Root->writeFile(name, "not a TIFF at all")
                  : SampleData::writeTagImage(name, field(v[1].toInt(), v[2].toFloat(),
                                                          v[3].toFloat(), v[4].toInt()),
                                              16, 12, v.value(5, "ORBELIN_Vn"))))
                return false;
        }
        return true;
    }

    void writeLog(const QByteArray &rows)
    {
        QVERIFY(m_Root->writeFile("/root/ORBELIN_Vn/CountingResults.csv",
                                  QByteArray::fromStdString(CSVReaderWriter::resultsLogHeader())
                                      + '\n' + rows));
    }

    QStringList tableColumn(int column) const
    {
        QStringList cells;
        for (int row = 0; row < table()->rowCount(); ++row)
            cells << table()->item(row, column)->text();
        return cells;
    }

private Q_SLOTS:
    void initTestCase() { Resources::init(); }

    void init()
    {
        m_Sent = QSize();
        m_Root.reset(new TestRoot);
        m_Root->mkdir("/ORBELIN");
        m_Root->mkdir("/media/USB");
    }

    void cleanup()
    {
        m_Frame.reset();
        m_Volumes.reset();
        m_Root.reset();
    }

    // Fields one after the other, bounded at both ends; a folder gone under the one on show
    // while its stick is listed keeps the view; images the instrument did not write show
    // nothing.
    void browsing()
    {
        QVERIFY(saveFolder("/media/USB/run1"));
        QVERIFY(SampleData::writeTagImage("/ORBELIN/other/01_TAG.tif", field(50), 32, 24, "ImageJ"));
        start();
        QVERIFY(select("/media/USB/run1"));
        QCOMPARE(text("LABEL_TOTAL_CELLS"), QString("303"));
        QCOMPARE(m_Sent, QSize(32, 24));
        QVERIFY(!button("BUTTON_PREVIOUS")->isEnabled());
        click("BUTTON_NEXT");
        click("BUTTON_NEXT");
        QCOMPARE(text("LABEL_COUNTS_OF_FIELD"), QString("Counted cell number = 102"));
        QVERIFY(!button("BUTTON_NEXT")->isEnabled());
        QMetaObject::invokeMethod(m_Frame.get(), "on_BUTTON_NEXT_clicked");
        QCOMPARE(text("LABEL_CURRENT"), QString("3"));
        click("BUTTON_PREVIOUS");
        QCOMPARE(text("LABEL_COUNTS_OF_FIELD"), QString("Counted cell number = 101"));
        m_Frame->slotCurrentItemChanged("/media/USB/run1/gone", false);
        QCOMPARE(text("LABEL_CURRENT"), QString("2"));
        QVERIFY(select("/ORBELIN/other"));
        QVERIFY(text("LABEL_TOTAL_CELLS").isEmpty() && text("LABEL_CURRENT").isEmpty());
        QVERIFY(!child("IMAGE")->isVisible() && !button("BUTTON_NEXT")->isVisible());
    }

    // The request used to name the folder shown before when the selected one enabled the
    // button through its raw images alone.
    void reanalysisNamesTheSelectedFolder()
    {
        QVERIFY(saveFolder("/ORBELIN/shown"));
        QVERIFY(SampleData::writeRawImage("/ORBELIN/rawonly/01_RAW.tif", field(10), 32, 24));
        QVERIFY(SampleData::writeTagImage("/ORBELIN/tagonly/01_TAG.tif", field(10), 32, 24));
        start();
        QSignalSpy requests(m_Frame.get(), &ReviewFrame::signalAnalysis);
        QVERIFY(select("/ORBELIN/shown"));
        QVERIFY(select("/ORBELIN/rawonly"));
        click("BUTTON_RE_ANALYSIS");
        QCOMPARE(requests.count(), 1);
        QCOMPARE(requests.at(0).at(0).toString(), QString("/ORBELIN/rawonly"));
        QVERIFY(select("/ORBELIN"));
        QVERIFY(!button("BUTTON_RE_ANALYSIS")->isEnabled());
        QVERIFY(select("/ORBELIN/shown") && select("/ORBELIN/tagonly"));
        QVERIFY(!button("BUTTON_RE_ANALYSIS")->isEnabled());
    }

    // Damaged images, the first one too, show the placeholder and count 0.
    void damagedImageShowsThePlaceholder()
    {
        QVERIFY(saveFolder("/ORBELIN/run"));
        for (const QString name : {"/ORBELIN/run/01_TAG.tif", "/ORBELIN/run/03_TAG.tif"})
            QVERIFY(QFile(m_Root->path(name)).resize(QFileInfo(m_Root->path(name)).size() / 2));
        start();
        QVERIFY(select("/ORBELIN/run"));
        QStringList seen;
        for (int i = 0; i < 3; ++i, click("BUTTON_NEXT"))
            seen << text("LABEL_COUNTS_OF_FIELD").section(' ', -1) + QString(" %1x%2")
                        .arg(m_Sent.width()).arg(m_Sent.height());
        QCOMPARE(seen, (QStringList{"0 1280x960", "101 32x24", "0 1280x960"}));
    }

    void previousCounts()
    {
        writeLog("run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT,10,1.00E06,12,1.20E06\n"
                 "short,2026-03-02 10:00,5,1.00E05,3.00\n"
                 ",2026-03-04 10:00,400,4.00E06,7.00,CHO,40,4.00E06");
        start();
        QCOMPARE(tableColumn(0), QStringList({"2026-03-04 10:00", "2026-03-01 10:00"}));
        m_Frame->slotFilenameReplaced("run4");
        QCOMPARE(tableColumn(1), QStringList({"run4", "run1"}));
        m_Frame->slotAppendCSVData("run5,2026-03-05 10:00,500,5.00E06,8.00,CHO,50,5.00E06");
        m_Frame->slotAppendCSVData("too,short");
        QCOMPARE(tableColumn(1), QStringList({"run5", "run4", "run1"}));

        // ERASE ALL asks first.
        click("BUTTON_PREVIOUS_COUNTS");
        QSignalSpy removed(m_Frame.get(), &ReviewFrame::signalCSVRemoved);
        ModalAnswer::clickNext("BUTTON_CANCEL");
        click("BUTTON_ERASE_ALL");
        QCOMPARE(table()->rowCount(), 3);
        ModalAnswer::clickNext("BUTTON_OK");
        click("BUTTON_ERASE_ALL");
        QCOMPARE(table()->rowCount(), 0);
        QVERIFY(!QFile::exists(m_Root->path("/root/ORBELIN_Vn/CountingResults.csv")));
        QCOMPARE(removed.count(), 1);
        QVERIFY(!button("BUTTON_ERASE_ALL")->isEnabled());
        m_Frame->slotAppendCSVData(",2026-03-02 10:00,200,2.00E06,5.00,DEFAULT");
        QVERIFY(button("BUTTON_ERASE_ALL")->isEnabled());
    }

    void exportCsv_data()
    {
        QTest::addColumn<QStringList>("sticks");
        QTest::addColumn<bool>("tempBlocked");
        QTest::addColumn<QString>("message");   // after each of two exports
        QTest::newRow("twice the same day") << QStringList{"USB"} << false << "successfully exported";
        QTest::newRow("no stick") << QStringList() << false << "Insert a USB drive";
        // The success message used to appear when the temporary file could not be written.
        QTest::newRow("no temporary file") << QStringList{"USB"} << true << "could not be exported";
    }
    void exportCsv()
    {
        QFETCH(QStringList, sticks);
        QFETCH(bool, tempBlocked);
        QFETCH(QString, message);
        writeLog("run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT");
        QVERIFY(!tempBlocked || m_Root->mkdir("/root/temp.csv/blocked"));
        start(sticks);
        for (int i = 0; i < 2; ++i) {
            QString said;
            ModalAnswer::clickNext("BUTTON_OK", &said);
            QMetaObject::invokeMethod(m_Frame.get(), "on_BUTTON_EXPORT_CSV_clicked");
            QVERIFY2(said.contains(message), qPrintable(said));
        }
        const QString base = "CountingResults_"
            + QLocale::system().toString(QDate::currentDate(), "dd MMM yyyy");
        const QStringList both{base + " (1).csv", base + ".csv"};
        const QStringList files = QDir(m_Root->path("/media/USB")).entryList({"CountingResults_*"});
        QCOMPARE(files, tempBlocked || sticks.isEmpty() ? QStringList() : both);
        QCOMPARE(QFileInfo::exists(m_Root->path("/root/temp.csv")), tempBlocked);
    }

    // Before: OK deleted whatever row was current when the question closed. Now only the
    // path it named, and nothing when that path has gone meanwhile.
    void deleteTakesTheNamedPathOnly()
    {
        for (const char *folder : {"/media/USB/run1", "/ORBELIN/run1", "/ORBELIN/run2"})
            QVERIFY(saveFolder(folder));
        start();
        QVERIFY(select("/media/USB/run1"));
        QString asked;
        ModalAnswer::clickNext("BUTTON_CANCEL", &asked);
        click("BUTTON_DELETE");
        QCOMPARE(asked, QString("Delete /USB/run1?"));
        QVERIFY(QFileInfo::exists(m_Root->path("/media/USB/run1")));
        for (const QString path : {"/media/USB/run1", "/ORBELIN/run1"}) {
            QVERIFY(select(path));
            ModalAnswer::next([&](QWidget *modal) {
                QVERIFY(path.startsWith("/media") || QDir(m_Root->path(path)).removeRecursively());
                QVERIFY(select("/ORBELIN/run2"));
                QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
            });
            click("BUTTON_DELETE");
            QVERIFY(!QFileInfo::exists(m_Root->path(path)));
            QVERIFY(QFileInfo::exists(m_Root->path("/ORBELIN/run2")));
        }
    }

    void deleteQuestionShowsTheNameAsText_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("asked");
        QTest::newRow("line break tag") << "/media/USB/run<br>other" << "Delete /USB/run<br>other?";
        QTest::newRow("bold tag") << "/ORBELIN/<b>run" << "Delete /ORBELIN/<b>run?";
        QTest::newRow("character reference") << "/ORBELIN/a&lt;b" << "Delete /ORBELIN/a&lt;b?";
        QTest::newRow("plain name") << "/ORBELIN/run 1" << "Delete /ORBELIN/run 1?";
    }
    // Before: the question was rich text as soon as the name held a tag, so a folder named
    // "run<br>other" was asked for as "run", a line break and "other".
    void deleteQuestionShowsTheNameAsText()
    {
        QFETCH(QString, folder);
        QVERIFY(saveFolder(folder));
        start();
        QVERIFY(select(folder));
        QString shown;
        ModalAnswer::next([&shown](QWidget *modal) {
            shown = ModalAnswer::shownMessageOf(modal);
            QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_CANCEL"), Qt::LeftButton);
        });
        click("BUTTON_DELETE");
        QTEST(shown, "asked");
        QVERIFY(QFileInfo::exists(m_Root->path(folder)));
    }

    // Before: CUT on a row whose folder had just gone turned the earlier COPY into a cut, and
    // the paste then moved the copied folder off the stick.
    void cutOnAGoneFolderKeepsTheCopy()
    {
        QVERIFY(saveFolder("/media/USB/run1"));
        QVERIFY(m_Root->mkdir("/media/USB/gone"));
        start();
        QVERIFY(select("/media/USB/run1"));
        click("BUTTON_COPY");
        QVERIFY(select("/media/USB/gone"));
        QVERIFY(QDir().rmdir(m_Root->path("/media/USB/gone")));
        click("BUTTON_CUT");
        QVERIFY(button("BUTTON_COPY")->isChecked() && !button("BUTTON_CUT")->isChecked());
        QVERIFY(select("/ORBELIN"));
        click("BUTTON_PASTE");
        QVERIFY(!button("BUTTON_COPY")->isChecked() && !button("BUTTON_PASTE")->isEnabled());
        QVERIFY(QFileInfo::exists(m_Root->path("/ORBELIN/run1/01_TAG.tif")));
        QVERIFY(QFileInfo::exists(m_Root->path("/media/USB/run1/01_TAG.tif")));
    }

    // Delete on the tree used to remove the folder without a question, even when locked,
    // and the cut, copy and paste keys went around the lock.
    void securityLock()
    {
        QVERIFY(saveFolder("/ORBELIN/run1"));
        start();
        QVERIFY(select("/ORBELIN/run1"));
        QString asked;
        ModalAnswer::clickNext("BUTTON_CANCEL", &asked);
        QTest::keyClick(tree(), Qt::Key_Delete);
        QCOMPARE(asked, QString("Delete /ORBELIN/run1?"));

        m_Frame->slotEnableSecurityMode(true);
        m_Frame->slotAppendCSVData(",2026-03-02 10:00,200,2.00E06,5.00,DEFAULT");
        QVERIFY(select("/ORBELIN/run1"));
        for (const char *name : {"BUTTON_CUT", "BUTTON_COPY", "BUTTON_PASTE", "BUTTON_DELETE",
                                 "BUTTON_EXPORT_CSV", "BUTTON_ERASE_ALL"})
            QVERIFY2(!button(name)->isEnabled(), name);
        QVERIFY(button("BUTTON_NEXT")->isEnabled() && button("BUTTON_RE_ANALYSIS")->isEnabled());
        asked.clear();
        ModalAnswer::clickNext("BUTTON_CANCEL", &asked, 1000);   // so a failure cannot hang
        QTest::keyClick(tree(), Qt::Key_Delete);
        QVERIFY(asked.isEmpty());
        QTest::keyClick(tree(), Qt::Key_X, Qt::ControlModifier);
        QVERIFY(tree()->clipboard().paths.isEmpty());

        m_Frame->slotEnableSecurityMode(false);
        QVERIFY(button("BUTTON_EXPORT_CSV")->isEnabled() && button("BUTTON_DELETE")->isEnabled());
        QTest::keyClick(tree(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(tree()->clipboard().paths, QStringList({"/ORBELIN/run1"}));
    }

    // ---- totals of a saved count

    void savedCountTotals_data()
    {
        QTest::addColumn<QStringList>("images");    // as writeTagImages() takes them
        // Sum|browsed counts|concentration|mean size|dilution; empty: no totals.
        QTest::addColumn<QString>("totals");
        QTest::newRow("two fields") << QStringList{"01,100,4,0.0001,4", "02,150,5,0.0001,4"}
            << "250|100 150|5.00 x 10e6 cells/mL|4.5 \u00b5m|4";
        // a_TAG.tif is not browsed, so it is no field: the mean size divides by the two
        // images whose sizes it sums.
        QTest::newRow("any run of digits")
            << QStringList{"3,10,2,0.0001,2", "123,20,4,0.0001,2", "a,1000,9,0.0001,2",
                           "01_tag.tif,1000,9,0.0001,2"}
            << "30|20 10|3.00 x 10e5 cells/mL|3.0 \u00b5m|2";
        QTest::newRow("last image carrying a factor wins")
            << QStringList{"01,100,3,0.0002,10", "02,100,3,0.0001,0", "03,100,3,0,5", "04,100,3,0,0"}
            << "400|100 100 100 100|5.00 x 10e6 cells/mL|3.0 \u00b5m|5";
        // Without a factor the concentration divided by 0 or took the logarithm of 0.
        QTest::newRow("no volume factor") << QStringList{"01,120,5,0,2"} << "120|120||5.0 \u00b5m|2";
        QTest::newRow("no dilution factor") << QStringList{"01,120,5,0.0001,0"}
                                            << "120|120||5.0 \u00b5m|";
        // Two browsable images, one field: the volume is 1 x 0.0001 mL.
        QTest::newRow("unreadable image counts 0") << QStringList{"01,50,3,0.0001,2", "02"}
            << "50|50 0|1.00 x 10e6 cells/mL|3.0 \u00b5m|2";
        QTest::newRow("foreign software") << QStringList{"01,10,2,0.0001,2,ImageJ"} << "";
        QTest::newRow("software with a suffix") << QStringList{"01,10,2,0.0001,2,ORBELIN_Vn 1.0"} << "";
        // Before, the list was empty while the totals took its first entry.
        QTest::newRow("qualifying but none named by digits") << QStringList{"x,10,2,0.0001,2"} << "";
    }
    void savedCountTotals()
    {
        QFETCH(QStringList, images);
        QVERIFY(writeTagImages("/ORBELIN/r", images));
        const SavedCountTotals t = SavedCountTotals::read("/ORBELIN/r");
        QStringList counts;
        for (int c : t.cellCounts())
            counts << QString::number(c);
        const QStringList shown{QString::number(t.cellSum()), counts.join(' '),
                                t.concentrationText(), t.meanSizeText(), t.dilutionFactorText()};
        QTEST(t.hasTotals() ? shown.join('|') : QString(), "totals");
    }

    void foreignImagesStayOutOfTheTotals_data()
    {
        QTest::addColumn<QStringList>("images");    // as writeTagImages() takes them
        // Cells|mean size|concentration|dilution as the screen shows them.
        QTest::addColumn<QString>("totals");
        QTest::addColumn<int>("browsed");
        // Before: 5200 cells, and a mean size of 35.0 um from three sizes over two images.
        QTest::newRow("foreign image among two")
            << QStringList{"01,100,4,0.0001,2", "02,100,6,0.0001,2", "03,5000,60,0.0001,2,ImageJ"}
            << "200|5.0 \u00b5m|2.00 x 10e6 cells/mL|2" << 3;
        // Before: the foreign image's factors were taken, being the last.
        QTest::newRow("foreign factors")
            << QStringList{"01,100,4,0.0001,2", "02,100,4,0.0005,9,ImageJ"}
            << "100|4.0 \u00b5m|2.00 x 10e6 cells/mL|2" << 2;
        // Before: the instrument's a_TAG.tif halved the mean size without adding its own.
        QTest::newRow("instrument image not numbered")
            << QStringList{"01,100,4,0.0001,2", "a,100,8,0.0001,2"}
            << "100|4.0 \u00b5m|2.00 x 10e6 cells/mL|2" << 1;
    }
    // Only the images the instrument wrote count, in every total; the others are still
    // browsed.
    void foreignImagesStayOutOfTheTotals()
    {
        QFETCH(QStringList, images);
        QVERIFY(writeTagImages("/ORBELIN/r", images));
        start();
        QVERIFY(select("/ORBELIN/r"));
        QTEST(QStringList({text("LABEL_TOTAL_CELLS"), text("LABEL_AVERAGE_SIZE"),
                           text("LABEL_TOTAL_CELLS_CONCENTRATION"), text("LABEL_DILUTION_FACTOR")})
                  .join('|'),
              "totals");
        QFETCH(int, browsed);
        while (button("BUTTON_NEXT")->isEnabled())
            click("BUTTON_NEXT");
        QCOMPARE(text("LABEL_CURRENT"), QString::number(browsed));
    }

    void foreignFolderName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("UTF-8") << QByteArray("run\xc3\xa9");
        QTest::newRow("not UTF-8") << QByteArray("run\xe9");
    }
    // Before: a save folder whose name is not UTF-8 was listed with QDir, which could not
    // read it: no totals, no images, and RE-ANALYSIS stayed off.
    void foreignFolderName()
    {
        QFETCH(QByteArray, name);
        QVERIFY(saveFolder("/ORBELIN/run"));
        const QString folder = m_Root->renameRaw("/ORBELIN/run", name);
        start();
        QVERIFY(select(folder));
        QCOMPARE(QStringList({text("LABEL_TOTAL_CELLS"), text("LABEL_AVERAGE_SIZE"),
                              text("LABEL_TOTAL_CELLS_CONCENTRATION")}).join('|'),
                 QString("303|4.0 \u00b5m|2.02 x 10e6 cells/mL"));
        QCOMPARE(m_Sent, QSize(32, 24));
        QVERIFY(button("BUTTON_RE_ANALYSIS")->isEnabled());
        QSignalSpy requests(m_Frame.get(), &ReviewFrame::signalAnalysis);
        click("BUTTON_RE_ANALYSIS");
        QCOMPARE(requests.value(0).value(0).toString(), folder);
    }

    // ---- review options

    void closingStoresTheSwitch_data()
    {
        QTest::addColumn<QString>("before");    // null: no key
        QTest::addColumn<int>("touches");
        QTest::addColumn<bool>("escape");       // left with Escape, else with CLOSE
        QTest::addColumn<bool>("on");           // in the file, the result and the screen
        QTest::newRow("key missing: on") << QString() << 0 << false << true;
        QTest::newRow("unknown value: on") << "yes" << 0 << false << true;
        QTest::newRow("switched off") << "True" << 1 << false << false;
        // Escape used to reject without writing, so the screens hid the scale bar while
        // the file still said "True".
        QTest::newRow("Escape") << "True" << 0 << true << true;
        QTest::newRow("switched off, Escape") << "True" << 1 << true << false;
    }
    void closingStoresTheSwitch()
    {
        QFETCH(QString, before);
        QFETCH(int, touches);
        QFETCH(bool, on);
        const std::string file = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
        if (!before.isNull())
            WritePrivateProfileString("Scale Bar", "Enable", before.toStdString(), file);
        ReviewOptionsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (int i = 0; i < touches; ++i)
            QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_SCALEBAR_ENABLE"),
                              Qt::LeftButton);
        QFETCH(bool, escape);
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_CLOSE"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(on ? QDialog::Accepted : QDialog::Rejected));
        std::string value;
        ReadPrivateProfileString("Scale Bar", "Enable", "<missing>", value, file);
        QCOMPARE(QString::fromStdString(value), QString(on ? "True" : "False"));
        start();
        QCOMPARE(child<ImageFrame>("IMAGE")->scaleBarEnabled(), on);
    }
};

QTEST_MAIN(ReviewTest)
#include "tst_Review.moc"
