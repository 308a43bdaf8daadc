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

    static bool tag(const QString &name, const SampleData::Field &f,
                    const QString &software = "ORBELIN_Vn")
    {
        return SampleData::writeTagImage("/ORBELIN/r/" + name, f, 16, 12, software);
    }

    QStringList exports() const
    {
        return QDir(m_Root->path("/media/USB")).entryList({"CountingResults_*"}, QDir::Files,
                                                           QDir::Name);
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
        QVERIFY(button("BUTTON_NEXT")->isEnabled());

        // Images the instrument did not write show nothing.
        QVERIFY(select("/ORBELIN/other"));
        QVERIFY(text("LABEL_TOTAL_CELLS").isEmpty() && text("LABEL_CURRENT").isEmpty());
        QVERIFY(!child("IMAGE")->isVisible());
        QVERIFY(!button("BUTTON_NEXT")->isVisible());
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
        QVERIFY(select("/ORBELIN/tagonly"));
        QVERIFY(!button("BUTTON_RE_ANALYSIS")->isEnabled());
        QVERIFY(select("/ORBELIN/shown"));
        QVERIFY(button("BUTTON_RE_ANALYSIS")->isEnabled());
        QVERIFY(select("/ORBELIN"));
        QVERIFY(!button("BUTTON_RE_ANALYSIS")->isEnabled());
    }

    void vanishedPathWhileItsVolumeIsListed_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("vanished");
        QTest::addColumn<bool>("ignored");
        QTest::newRow("stick still listed") << "/media/USB/run" << "/media/USB/run/gone" << true;
        QTest::newRow("volume not listed") << "/ORBELIN/run" << "/ORBELIN/run/gone" << false;
        QTest::newRow("existing path") << "/media/USB/run" << "/media/USB" << false;
    }
    void vanishedPathWhileItsVolumeIsListed()
    {
        QFETCH(QString, shown);
        QFETCH(QString, vanished);
        QFETCH(bool, ignored);
        QVERIFY(saveFolder(shown));
        start();
        m_Frame->slotCurrentItemChanged(shown, true);
        m_Frame->slotCurrentItemChanged(vanished, false);
        QCOMPARE(text("LABEL_TOTAL_CELLS"), ignored ? QString("303") : QString());
    }

    void damagedImageShowsThePlaceholder_data()
    {
        QTest::addColumn<int>("image");
        QTest::newRow("first image cut short") << 1;
        QTest::newRow("second image cut short") << 2;
    }
    void damagedImageShowsThePlaceholder()
    {
        QFETCH(int, image);
        QVERIFY(saveFolder("/ORBELIN/run"));
        const QString path = m_Root->path(QString("/ORBELIN/run/0%1_TAG.tif").arg(image));
        QVERIFY(QFile(path).resize(QFileInfo(path).size() / 2));
        start();
        QVERIFY(select("/ORBELIN/run"));
        for (int i = 1; i < image; ++i)
            click("BUTTON_NEXT");
        QCOMPARE(text("LABEL_COUNTS_OF_FIELD"), QString("Counted cell number = 0"));
        QCOMPARE(m_Sent, QSize(1280, 960));
        click("BUTTON_NEXT");
        QCOMPARE(text("LABEL_COUNTS_OF_FIELD"), QString("Counted cell number = 10%1").arg(image));
        QCOMPARE(m_Sent, QSize(32, 24));
    }

    void previousCounts()
    {
        writeLog("run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT,10,1.00E06,12,1.20E06\n"
                 "short,2026-03-02 10:00,5,1.00E05,3.00\n"
                 ",2026-03-04 10:00,400,4.00E06,7.00,CHO,40,4.00E06");
        start();
        QCOMPARE(tableColumn(0), QStringList({"2026-03-04 10:00", "2026-03-01 10:00"}));
        QCOMPARE(tableColumn(5), QStringList({"CHO", "DEFAULT"}));
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

    void exportTwiceTheSameDay()
    {
        writeLog("run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT\nshort,2026-03-02");
        start();
        for (int i = 0; i < 2; ++i) {
            QString message;
            ModalAnswer::clickNext("BUTTON_OK", &message);
            QMetaObject::invokeMethod(m_Frame.get(), "on_BUTTON_EXPORT_CSV_clicked");
            QCOMPARE(message, QString("The results were successfully exported."));
        }
        const QString base = "CountingResults_"
            + QLocale::system().toString(QDate::currentDate(), "dd MMM yyyy");
        QCOMPARE(exports(), QStringList({base + " (1).csv", base + ".csv"}));
        QCOMPARE(m_Root->readFile("/media/USB/" + base + " (1).csv"),
                 QByteArray::fromStdString(CSVReaderWriter::resultsLogHeader())
                     + "\nshort,2026-03-02\nrun1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT");
        QVERIFY(!QFile::exists(m_Root->path("/root/temp.csv")));
    }

    void exportFailureIsReported_data()
    {
        QTest::addColumn<QStringList>("sticks");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no stick") << QStringList() << "Insert a USB drive";
        // The success message used to appear when the temporary file could not be written.
        QTest::newRow("no temporary file") << QStringList{"USB"} << "could not be exported";
    }
    void exportFailureIsReported()
    {
        QFETCH(QStringList, sticks);
        QFETCH(QString, expected);
        writeLog("run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT");
        QVERIFY(m_Root->mkdir("/root/temp.csv/blocked"));
        start(sticks);
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        QMetaObject::invokeMethod(m_Frame.get(), "on_BUTTON_EXPORT_CSV_clicked");
        QVERIFY2(message.contains(expected), qPrintable(message));
        QVERIFY(exports().isEmpty());
    }

    void freeSpaceText_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("volume");
        QTest::newRow("internal image") << "/ORBELIN/2026/run1/01_TAG.tif" << "/ORBELIN";
        QTest::newRow("stick with a blank") << "/media/MY STICK/a/b" << "/media/MY STICK";
        QTest::newRow("media") << "/media" << "/media";
    }
    void freeSpaceText()
    {
        QFETCH(QString, path);
        QTEST(ReviewFrame::extract_mountpoint(path), "volume");
        QCOMPARE(ReviewFrame::capacityText(1023.0f), QString("1023.0 M"));
        QCOMPARE(ReviewFrame::capacityText(1023.96f), QString("1.0 G"));
        QCOMPARE(ReviewFrame::capacityText(3.0f * 1024 * 1024), QString("3.0 T"));
        QCOMPARE(ReviewFrame::capacityText(1024.0f * 1024 * 1024), QString("Unknown"));
    }

    void fileButtonsFollowTheSelection()
    {
        QVERIFY(saveFolder("/ORBELIN/run"));
        start();
        m_Frame->slotCurrentItemChanged(QString(), false);
        QCOMPARE(text("LABEL_DISK_FREE_CAPACITY"), QString("(Unknown)"));
        QVERIFY(select("/ORBELIN/run"));
        QVERIFY(QRegularExpression("^\\(\\d+\\.\\d [MGT]\\)$")
                    .match(text("LABEL_DISK_FREE_CAPACITY")).hasMatch());
        QVERIFY(!button("BUTTON_PASTE")->isEnabled());
        click("BUTTON_CUT");
        QVERIFY(select("/media/USB"));
        QVERIFY(!button("BUTTON_COPY")->isEnabled() && !button("BUTTON_DELETE")->isEnabled());
        QVERIFY(button("BUTTON_PASTE")->isEnabled());
        m_Frame->slotClearClipboard();
        QVERIFY(!button("BUTTON_CUT")->isChecked());
    }

    void deleteTakesTheNamedPathOnly_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("namedGone");
        QTest::newRow("stick") << "/media/USB/run1" << "Delete /USB/run1?" << false;
        QTest::newRow("internal") << "/ORBELIN/run1" << "Delete /ORBELIN/run1?" << false;
        QTest::newRow("named folder gone") << "/ORBELIN/run1" << "Delete /ORBELIN/run1?" << true;
    }
    // Before: OK deleted whatever row was current when the question closed.
    void deleteTakesTheNamedPathOnly()
    {
        QFETCH(QString, path);
        QFETCH(bool, namedGone);
        QVERIFY(saveFolder(path));
        QVERIFY(saveFolder("/ORBELIN/run2"));
        start();
        QVERIFY(select(path));
        QString asked;
        ModalAnswer::clickNext("BUTTON_CANCEL", &asked);
        click("BUTTON_DELETE");
        QTEST(asked, "question");
        QVERIFY(QFileInfo::exists(m_Root->path(path)));

        ModalAnswer::next([&](QWidget *modal) {
            if (namedGone)
                QVERIFY(QDir(m_Root->path(path)).removeRecursively());
            QVERIFY(select("/ORBELIN/run2"));
            QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
        });
        click("BUTTON_DELETE");
        QVERIFY(!QFileInfo::exists(m_Root->path(path)));
        QVERIFY(QFileInfo::exists(m_Root->path("/ORBELIN/run2")));
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

    void scaleBarFollowsTheSettingsFile_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("after");
        QTest::newRow("missing") << QString() << true << "True";
        QTest::newRow("off") << "False" << false << "False";
    }
    void scaleBarFollowsTheSettingsFile()
    {
        QFETCH(QString, stored);
        const std::string file = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
        if (!stored.isNull())
            WritePrivateProfileString("Scale Bar", "Enable", stored.toStdString(), file);
        start();
        QTEST(child<ImageFrame>("IMAGE")->scaleBarEnabled(), "shown");
        std::string value;
        ReadPrivateProfileString("Scale Bar", "Enable", "<missing>", value, file);
        QTEST(QString::fromStdString(value), "after");
    }
    // ---- totals of a saved count

    void totals()
    {
        QVERIFY(SampleData::writeSaveFolder("/ORBELIN/r", {field(100, 4.0f, 0.0001f, 4),
                                                           field(150, 5.0f, 0.0001f, 4)}, 16, 12));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(totals.hasTotals());
        QVERIFY(totals.hasRawImages());
        QCOMPARE(totals.cellCounts(), std::vector<int>({100, 150}));
        // 250 / (2 x 0.0001 mL) x 4
        QCOMPARE(totals.concentrationText(), QString("5.00 x 10e6 cells/mL"));
        QCOMPARE(totals.meanSizeText(), QString::fromUtf8("4.5 \u00B5m"));
        QCOMPARE(totals.dilutionFactorText(), QString("4"));
    }

    void namesWithAnyRunOfDigits()
    {
        QVERIFY(tag("3_TAG.tif", field(10, 2.0f)));
        QVERIFY(tag("123_TAG.tif", field(20, 4.0f)));
        QVERIFY(tag("a_TAG.tif", field(1000, 9.0f)));
        QVERIFY(tag("01_tag.tif", field(1000, 9.0f)));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QCOMPARE(totals.tagFiles(), (std::vector<std::string>{"/ORBELIN/r/123_TAG.tif",
                                                               "/ORBELIN/r/3_TAG.tif"}));
        QCOMPARE(totals.cellSum(), qint64(30));
        // a_TAG.tif is not browsed but was written by the instrument: the mean size divides
        // by three images (2 + 4 + 0 of a_TAG's size, which is not read).
        QCOMPARE(totals.meanSize(), 2.0f);
        QVERIFY(!totals.hasRawImages());
    }

    void withoutTotals_data()
    {
        QTest::addColumn<QString>("software");
        QTest::addColumn<QString>("name");
        QTest::newRow("foreign Software text") << "ImageJ" << "01_TAG.tif";
        QTest::newRow("Software with a suffix") << "ORBELIN_Vn 1.0" << "01_TAG.tif";
        // Before, the list was empty while the totals took its first entry.
        QTest::newRow("qualifying but none named by digits") << "ORBELIN_Vn" << "x_TAG.tif";
    }
    void withoutTotals()
    {
        QFETCH(QString, software);
        QFETCH(QString, name);
        QVERIFY(tag(name, field(10, 2.0f), software));
        QVERIFY(SampleData::writeRawImage("/ORBELIN/r/01_RAW.tif", field(10, 2.0f), 16, 12));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(!totals.hasTotals());
        QVERIFY(totals.hasRawImages());
    }

    void lastImageCarryingAFactorWins()
    {
        QVERIFY(tag("01_TAG.tif", field(100, 3.0f, 0.0002f, 10)));
        QVERIFY(tag("02_TAG.tif", field(100, 3.0f, 0.0001f, 0)));
        QVERIFY(tag("03_TAG.tif", field(100, 3.0f, 0, 5)));
        QVERIFY(tag("04_TAG.tif", field(100, 3.0f, 0, 0)));
        // 400 / (4 x 0.0001) x 5
        QCOMPARE(SavedCountTotals::read("/ORBELIN/r").concentrationText(),
                 QString("5.00 x 10e6 cells/mL"));
    }

    // Without a factor the concentration divided by 0 or took the logarithm of 0.
    void missingFactorGivesNoConcentration_data()
    {
        QTest::addColumn<float>("volume");
        QTest::addColumn<int>("dilution");
        QTest::newRow("no volume factor") << 0.0f << 2;
        QTest::newRow("no dilution factor") << 0.0001f << 0;
    }
    void missingFactorGivesNoConcentration()
    {
        QFETCH(float, volume);
        QFETCH(int, dilution);
        QVERIFY(tag("01_TAG.tif", field(120, 5.0f, volume, dilution)));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(totals.hasTotals());
        QCOMPARE(totals.cellSum(), qint64(120));
        QCOMPARE(totals.concentrationText(), QString());
        QCOMPARE(totals.dilutionFactorText(), dilution ? QString::number(dilution) : QString());
    }

    void unreadableImageCountsZero()
    {
        QVERIFY(tag("01_TAG.tif", field(50, 3.0f)));
        QVERIFY(m_Root->writeFile("/ORBELIN/r/02_TAG.tif", "not a TIFF at all"));
        const SavedCountTotals totals = SavedCountTotals::read("/ORBELIN/r");
        QVERIFY(totals.hasTotals());
        QCOMPARE(totals.cellCounts(), std::vector<int>({50, 0}));
        QCOMPARE(totals.qualifyingCount(), 1);
        // Two browsable images: the volume is 2 x 0.0001 mL.
        QCOMPARE(totals.concentrationText(), QString("5.00 x 10e5 cells/mL"));
    }

    // ---- review options

    void closingStoresTheSwitch_data()
    {
        QTest::addColumn<QString>("before");    // null: no key
        QTest::addColumn<int>("touches");
        QTest::addColumn<bool>("escape");       // left with Escape, else with CLOSE
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("result");
        const int on = QDialog::Accepted;
        const int off = QDialog::Rejected;
        QTest::newRow("key missing: True") << QString() << 0 << false << "True" << on;
        QTest::newRow("unknown value: True") << "yes" << 0 << false << "True" << on;
        QTest::newRow("switched off") << "True" << 1 << false << "False" << off;
        QTest::newRow("switched on") << "False" << 1 << false << "True" << on;
        QTest::newRow("toggled twice") << "False" << 2 << false << "False" << off;
        // Escape used to reject without writing, so the screens hid the scale bar while
        // the file still said "True".
        QTest::newRow("Escape") << "True" << 0 << true << "True" << on;
        QTest::newRow("switched off, Escape") << "True" << 1 << true << "False" << off;
        QTest::newRow("switched on, Escape") << "False" << 1 << true << "True" << on;
    }
    void closingStoresTheSwitch()
    {
        QFETCH(QString, before);
        QFETCH(int, touches);
        QFETCH(bool, escape);
        const std::string file = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
        if (!before.isNull())
            WritePrivateProfileString("Scale Bar", "Enable", before.toStdString(), file);
        ReviewOptionsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (int i = 0; i < touches; ++i)
            QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_SCALEBAR_ENABLE"),
                              Qt::LeftButton);
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.findChild<QPushButton *>("BUTTON_CLOSE"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QTEST(dialog.result(), "result");
        std::string value;
        ReadPrivateProfileString("Scale Bar", "Enable", "<missing>", value, file);
        QTEST(QString::fromStdString(value), "after");
    }
};

QTEST_MAIN(ReviewTest)
#include "tst_Review.moc"
