#include "CSVReaderWriter.h"
#include "FileSystemItem.h"
#include "FileSystemTreeWidget.h"
#include "ImageFrame.h"
#include "ModalAnswer.h"
#include "PrivateProfile.h"
#include "Resources.h"
#include "ReviewFrame.h"
#include "SampleData.h"
#include "TestRoot.h"
#include "Volumes.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <tiffio.h>

using SampleData::Field;
using SampleData::field;

namespace {

// What the screen last sent to its image view.
struct SentImage
{
    int count = 0;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

QVector<Field> fields(int n, int firstCells = 100)
{
    QVector<Field> list;
    for (int i = 0; i < n; ++i)
        list << field(firstCells + i);
    return list;
}

bool saveFolder(const QString &folder, const QVector<Field> &list)
{
    return SampleData::writeSaveFolder(folder, list, 32, 24);
}

} // namespace

class ReviewFrameTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_Root;
    std::unique_ptr<Volumes> m_Volumes;
    std::unique_ptr<ReviewFrame> m_Frame;
    SentImage m_Sent;

    template<typename T>
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

    // Builds the screen on the data laid out so far, as the main window does.
    void start()
    {
        m_Volumes.reset(new Volumes(*m_Root, {"USB"}));
        m_Frame.reset(new ReviewFrame);
        m_Frame->resize(1280, 720);
        m_Frame->initialize();
        connect(m_Frame.get(), &ReviewFrame::signalSetImageData, this,
                [this](unsigned char *pixels, int width, int height, int bitsPerPixel) {
                    QVERIFY(pixels);
                    ++m_Sent.count;
                    m_Sent.width = width;
                    m_Sent.height = height;
                    m_Sent.bitsPerPixel = bitsPerPixel;
                });
        m_Frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_Frame.get()));
    }

    // Makes the tree row of an instrument path current, opening the rows above it.
    bool select(const QString &path)
    {
        for (int depth = 0; depth < 16; ++depth) {
            fs::FileSystemItem *best = nullptr;
            for (QTreeWidgetItemIterator it(tree()); *it; ++it) {
                auto *node = dynamic_cast<fs::FileSystemItem *>(*it);
                const QString p = node ? node->filePath() : QString();
                if (p == path || path.startsWith(p + '/'))
                    if (!best || p.size() > best->filePath().size())
                        best = node;
            }
            if (!best)
                return false;
            tree()->setCurrentItem(best);
            if (best->filePath() == path)
                return true;
        }
        return false;
    }

    void saveScreenshot(const QString &name)
    {
        const QString dir = qEnvironmentVariable("ORBELIN_BINARY_DIR", QDir::tempPath())
                            + "/screenshots";
        QDir().mkpath(dir);
        QVERIFY(m_Frame->grab().save(dir + '/' + name + ".png"));
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
            cells << (table()->item(row, column) ? table()->item(row, column)->text() : "-");
        return cells;
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
        m_Sent = SentImage();
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

    // ---- saved-image review

    void tenImagesShowTheirTotals()
    {
        QVector<Field> list;
        for (int i = 0; i < 10; ++i)
            list << field(100 + 10 * i, 4.0f + 0.2f * i, 0.0001f, 4);
        QVERIFY(saveFolder("/media/USB/run1", list));
        start();
        QVERIFY(!child<QWidget>("IMAGE")->isVisible());
        QVERIFY(select("/media/USB/run1"));

        // 1450 cells / (10 x 0.0001 mL) x 4
        QCOMPARE(text("LABEL_TOTAL_CELLS_CONCENTRATION"), QString("5.80 x 10e6 cells/mL"));
        QCOMPARE(text("LABEL_TOTAL_CELLS"), QString("1450"));
        QCOMPARE(text("LABEL_AVERAGE_SIZE"), QString::fromUtf8("4.9 \u00B5m"));
        QCOMPARE(text("LABEL_DILUTION_FACTOR"), QString("4"));
        QCOMPARE(text("LABEL_CURRENT"), QString("1"));
        QCOMPARE(text("LABEL_COUNTS_OF_FIELD"), QString("Counted cell number = 100"));
        QVERIFY(!button("BUTTON_PREVIOUS")->isEnabled());
        QVERIFY(button("BUTTON_NEXT")->isEnabled());
        QVERIFY(child<QWidget>("IMAGE")->isVisible());
        QVERIFY(button("BUTTON_NEXT")->isVisible());
        QVERIFY(button("BUTTON_RE_ANALYSIS")->isEnabled());
        QCOMPARE(m_Sent.count, 1);
        QCOMPARE(m_Sent.width, 32);
        QCOMPARE(m_Sent.height, 24);
        QCOMPARE(m_Sent.bitsPerPixel, 24);

        for (int i = 2; i <= 10; ++i)
            click("BUTTON_NEXT");
        QCOMPARE(text("LABEL_CURRENT"), QString("10"));
        QCOMPARE(text("LABEL_COUNTS_OF_FIELD"), QString("Counted cell number = 190"));
        QVERIFY(!button("BUTTON_NEXT")->isEnabled());
        QCOMPARE(m_Sent.count, 10);
    }

    void browseLimits_data()
    {
        QTest::addColumn<int>("images");
        QTest::newRow("one image") << 1;
        QTest::newRow("two images") << 2;
    }
    void browseLimits()
    {
        QFETCH(int, images);
        QVERIFY(saveFolder("/ORBELIN/run", fields(images)));
        start();
        QVERIFY(select("/ORBELIN/run"));
        QVERIFY(!button("BUTTON_PREVIOUS")->isEnabled());
        QCOMPARE(button("BUTTON_NEXT")->isEnabled(), images == 2);
        if (images == 1) {
            m_Frame->metaObject()->invokeMethod(m_Frame.get(), "on_BUTTON_NEXT_clicked");
            QCOMPARE(text("LABEL_CURRENT"), QString("1"));
            return;
        }
        click("BUTTON_NEXT");
        QCOMPARE(text("LABEL_CURRENT"), QString("2"));
        QCOMPARE(text("LABEL_COUNTS_OF_FIELD"), QString("Counted cell number = 101"));
        QVERIFY(!button("BUTTON_NEXT")->isEnabled());
        QVERIFY(button("BUTTON_PREVIOUS")->isEnabled());
        click("BUTTON_PREVIOUS");
        QCOMPARE(text("LABEL_CURRENT"), QString("1"));
        QCOMPARE(text("LABEL_COUNTS_OF_FIELD"), QString("Counted cell number = 100"));
        QVERIFY(!button("BUTTON_PREVIOUS")->isEnabled());
        QVERIFY(button("BUTTON_NEXT")->isEnabled());
    }

    void foreignImagesShowNoTotals()
    {
        QVERIFY(saveFolder("/ORBELIN/good", fields(3)));
        QVERIFY(SampleData::writeTagImage("/ORBELIN/other/01_TAG.tif", field(50), 32, 24, "ImageJ"));
        start();
        QVERIFY(select("/ORBELIN/good"));
        QVERIFY(child<QWidget>("IMAGE")->isVisible());
        QVERIFY(select("/ORBELIN/other"));
        for (const char *label : {"LABEL_TOTAL_CELLS_CONCENTRATION", "LABEL_AVERAGE_SIZE",
                                  "LABEL_TOTAL_CELLS", "LABEL_DILUTION_FACTOR", "LABEL_CURRENT"})
            QVERIFY2(text(label).isEmpty(), label);
        QVERIFY(!child<QWidget>("IMAGE")->isVisible());
        QVERIFY(!button("BUTTON_NEXT")->isVisible());
        QVERIFY(!button("BUTTON_PREVIOUS")->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void missingFactorsShowNoConcentration()
    {
        QVERIFY(saveFolder("/ORBELIN/run", {field(120, 5.0f, 0, 0), field(80, 5.0f, 0, 0)}));
        start();
        QVERIFY(select("/ORBELIN/run"));
        QCOMPARE(text("LABEL_TOTAL_CELLS"), QString("200"));
        QCOMPARE(text("LABEL_TOTAL_CELLS_CONCENTRATION"), QString());
        QCOMPARE(text("LABEL_DILUTION_FACTOR"), QString());
    }

    // The request used to name the folder shown before when the selected one enabled the
    // button through its raw images alone.
    void reanalysisNamesTheSelectedFolder()
    {
        QVERIFY(saveFolder("/ORBELIN/shown", fields(2)));
        QVERIFY(SampleData::writeRawImage("/ORBELIN/rawonly/01_RAW.tif", field(10), 32, 24));
        QVERIFY(SampleData::writeTagImage("/ORBELIN/tagonly/01_TAG.tif", field(10), 32, 24));
        start();
        QSignalSpy requests(m_Frame.get(), &ReviewFrame::signalAnalysis);

        QVERIFY(select("/ORBELIN/shown"));
        QVERIFY(button("BUTTON_RE_ANALYSIS")->isEnabled());
        QVERIFY(select("/ORBELIN/rawonly"));
        QVERIFY(button("BUTTON_RE_ANALYSIS")->isEnabled());
        QVERIFY(text("LABEL_TOTAL_CELLS").isEmpty());
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

    void fileOrVolumeShowsNothing()
    {
        QVERIFY(saveFolder("/ORBELIN/run", fields(2)));
        start();
        QVERIFY(select("/ORBELIN/run"));
        click("BUTTON_EXPAND");
        QVERIFY(child<QWidget>("IMAGE_EXPAND_TITLEBAR")->isVisible());

        m_Frame->slotCurrentItemChanged("/ORBELIN/run/run.csv", true);
        QVERIFY(text("LABEL_TOTAL_CELLS").isEmpty());
        QVERIFY(!button("BUTTON_RE_ANALYSIS")->isEnabled());
        // A file keeps the sub-state; a volume brings the reduced view back.
        QVERIFY(child<QWidget>("IMAGE_EXPAND_TITLEBAR")->isVisible());

        QVERIFY(select("/media/USB"));
        QVERIFY(!child<QWidget>("IMAGE_EXPAND_TITLEBAR")->isVisible());
        QVERIFY(!button("BUTTON_EXPAND")->isHidden());
        QVERIFY(!child<QWidget>("IMAGE")->isVisible());
        QVERIFY(!button("BUTTON_NEXT")->isVisible());
        QVERIFY(text("LABEL_CURRENT").isEmpty());
    }

    void vanishedPathWhileItsVolumeIsListed_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("vanished");
        QTest::addColumn<bool>("ignored");
        QTest::newRow("stick still listed") << "/media/USB/run" << "/media/USB/run/gone" << true;
        QTest::newRow("volume not listed") << "/ORBELIN/run" << "/ORBELIN/run/gone" << false;
        QTest::newRow("existing path is handled") << "/media/USB/run" << "/media/USB" << false;
    }
    void vanishedPathWhileItsVolumeIsListed()
    {
        QFETCH(QString, shown);
        QFETCH(QString, vanished);
        QFETCH(bool, ignored);
        QVERIFY(saveFolder(shown, fields(2)));
        start();
        m_Frame->slotCurrentItemChanged(shown, true);
        QCOMPARE(text("LABEL_TOTAL_CELLS"), QString("201"));
        m_Frame->slotCurrentItemChanged(vanished, false);
        QCOMPARE(text("LABEL_TOTAL_CELLS"), ignored ? QString("201") : QString());
    }

    void damagedImageWhileBrowsing_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("cut short") << "truncate";
        QTest::newRow("not a TIFF") << "garbage";
        QTest::newRow("claims a huge size") << "huge";
    }
    void damagedImageWhileBrowsing()
    {
        QFETCH(QString, damage);
        QVERIFY(saveFolder("/ORBELIN/run", fields(3)));
        const QString second = m_Root->path("/ORBELIN/run/02_TAG.tif");
        if (damage == "truncate") {
            QFile file(second);
            QVERIFY(file.resize(file.size() / 2));
        } else if (damage == "garbage") {
            QVERIFY(m_Root->writeFile("/ORBELIN/run/02_TAG.tif", QByteArray(4000, 'x')));
        } else {
            // A valid header claiming 100000 x 100000 RGB pixels with no pixel data.
            TIFF *tif = TIFFOpen(second.toLocal8Bit().constData(), "w");
            QVERIFY(tif);
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 100000);
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 100000);
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 100000);
            TIFFSetField(tif, TIFFTAG_SOFTWARE, "ORBELIN_Vn");
            TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, "Counted cell number=101");
            QVERIFY(TIFFWriteDirectory(tif));
            TIFFClose(tif);
        }
        start();
        QVERIFY(select("/ORBELIN/run"));
        click("BUTTON_NEXT");
        QCOMPARE(text("LABEL_CURRENT"), QString("2"));
        QCOMPARE(text("LABEL_COUNTS_OF_FIELD"), QString("Counted cell number = 0"));
        QCOMPARE(m_Sent.width, 1280);
        QCOMPARE(m_Sent.height, 960);
        QCOMPARE(m_Sent.bitsPerPixel, 24);
        click("BUTTON_NEXT");
        QCOMPARE(text("LABEL_COUNTS_OF_FIELD"), QString("Counted cell number = 102"));
        QCOMPARE(m_Sent.width, 32);
    }

    void statesSwitchThePages()
    {
        QVERIFY(saveFolder("/media/USB/Ecoli", SampleData::typicalCount(420, 1.6f, 100)));
        writeLog(SampleData::resultsLogRow("Ecoli", "2026-03-04 11:21:55",
                                           SampleData::typicalCount(420, 1.6f, 100), "Bacteria")
                     .toUtf8());
        start();
        QVERIFY(child<QWidget>("REVIEW_IMAGE")->isVisible());
        QVERIFY(!child<QWidget>("PREVIOUS_COUNTS")->isVisible());
        QVERIFY(button("BUTTON_REVIEW_IMAGE")->isChecked());
        QVERIFY(select("/media/USB/Ecoli"));
        saveScreenshot("ReviewFrame-review-image");

        click("BUTTON_EXPAND");
        QCOMPARE(child<QWidget>("IMAGE")->geometry(), QRect(8, 93, 958, 618));
        QCOMPARE(button("BUTTON_NEXT")->y(), 26);
        QCOMPARE(child<QLabel>("LABEL_CURRENT")->y(), 26);
        for (const char *name : {"BUTTON_CUT", "BUTTON_COPY", "BUTTON_PASTE", "BUTTON_DELETE",
                                 "BUTTON_EXPAND"})
            QVERIFY2(!button(name)->isVisible(), name);
        QVERIFY(button("BUTTON_REDUCE")->isVisible());
        saveScreenshot("ReviewFrame-review-image-expanded");
        click("BUTTON_REDUCE");
        QCOMPARE(child<QWidget>("IMAGE")->geometry(), QRect(310, 331, 372, 260));
        QCOMPARE(button("BUTTON_PREVIOUS")->y(), 538);
        QVERIFY(button("BUTTON_CUT")->isVisible());

        click("BUTTON_PREVIOUS_COUNTS");
        QVERIFY(child<QWidget>("PREVIOUS_COUNTS")->isVisible());
        QVERIFY(!child<QWidget>("REVIEW_IMAGE")->isVisible());
        QVERIFY(button("BUTTON_EXPORT_CSV")->isVisible());
        QVERIFY(button("BUTTON_ERASE_ALL")->isVisible());
        QVERIFY(!button("BUTTON_RE_ANALYSIS")->isVisible());
        QVERIFY(button("BUTTON_PREVIOUS_COUNTS")->isChecked());
        QVERIFY(!button("BUTTON_REVIEW_IMAGE")->isChecked());
        saveScreenshot("ReviewFrame-previous-counts");
        click("BUTTON_REVIEW_IMAGE");
        QVERIFY(child<QWidget>("REVIEW_IMAGE")->isVisible());
        QVERIFY(button("BUTTON_RE_ANALYSIS")->isVisible());
        QVERIFY(!button("BUTTON_EXPORT_CSV")->isVisible());
    }

    // ---- previous counts

    void tableShowsNewestFirst()
    {
        writeLog("run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT,10,1.00E06,12,1.20E06\n"
                 "short,2026-03-02 10:00,5,1.00E05,3.00\n"
                 "run3,2026-03-03 10:00,300,3.00E06,6.00,Yeast\n"
                 ",2026-03-04 10:00,400,4.00E06,7.00,Yeast,40,4.00E06");
        start();
        QCOMPARE(tableColumn(0), QStringList({"2026-03-04 10:00", "2026-03-03 10:00",
                                              "2026-03-01 10:00"}));
        QCOMPARE(tableColumn(1), QStringList({"", "run3", "run1"}));
        QCOMPARE(tableColumn(2), QStringList({"400", "300", "100"}));
        QCOMPARE(tableColumn(3), QStringList({"4.00E06", "3.00E06", "1.00E06"}));
        QCOMPARE(tableColumn(5), QStringList({"Yeast", "Yeast", "DEFAULT"}));
        QCOMPARE(table()->columnCount(), 6);

        m_Frame->slotFilenameReplaced("run4");
        QCOMPARE(tableColumn(1).first(), QString("run4"));
        m_Frame->slotAppendCSVData("run5,2026-03-05 10:00,500,5.00E06,8.00,CHO,50,5.00E06");
        m_Frame->slotAppendCSVData("too,short");
        QCOMPARE(tableColumn(0).first(), QString("2026-03-05 10:00"));
        QCOMPARE(table()->rowCount(), 4);
    }

    void filenameReplacedOnAnEmptyTable()
    {
        start();
        m_Frame->slotFilenameReplaced("run1");
        QCOMPARE(table()->rowCount(), 0);
        // The log is missing: the table stays empty and ERASE ALL stays as the form has it.
        QVERIFY(button("BUTTON_ERASE_ALL")->isEnabled());
    }

    void eraseAll()
    {
        writeLog("run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT");
        start();
        click("BUTTON_PREVIOUS_COUNTS");
        QSignalSpy removed(m_Frame.get(), &ReviewFrame::signalCSVRemoved);

        QString question;
        ModalAnswer::clickNext("BUTTON_CANCEL", &question);
        click("BUTTON_ERASE_ALL");
        QVERIFY(question.contains("All previous count results"));
        QCOMPARE(table()->rowCount(), 1);
        QVERIFY(QFile::exists(m_Root->path("/root/ORBELIN_Vn/CountingResults.csv")));
        QCOMPARE(removed.count(), 0);

        ModalAnswer::clickNext("BUTTON_OK");
        click("BUTTON_ERASE_ALL");
        QCOMPARE(table()->rowCount(), 0);
        QVERIFY(!QFile::exists(m_Root->path("/root/ORBELIN_Vn/CountingResults.csv")));
        QCOMPARE(removed.count(), 1);
        QVERIFY(!button("BUTTON_ERASE_ALL")->isEnabled());
        QVERIFY(m_Frame->isEnabled());

        m_Frame->slotAppendCSVData(",2026-03-02 10:00,200,2.00E06,5.00,DEFAULT");
        QCOMPARE(tableColumn(0), QStringList({"2026-03-02 10:00"}));
        QVERIFY(button("BUTTON_ERASE_ALL")->isEnabled());
    }

    void exportWithoutStick()
    {
        writeLog("run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT");
        m_Root->writeFile("/etc/mtab", "/dev/sda1 / ext4 rw 0 0\n");
        m_Volumes.reset(new Volumes(*m_Root, {}));
        m_Frame.reset(new ReviewFrame);
        m_Frame->initialize();
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        QMetaObject::invokeMethod(m_Frame.get(), "on_BUTTON_EXPORT_CSV_clicked");
        QVERIFY(message.contains("Insert a USB drive"));
        QVERIFY(exports().isEmpty());
    }

    void exportThreeTimesTheSameDay()
    {
        writeLog("run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT\n"
                 "short,2026-03-02\n"
                 "run3,2026-03-03 10:00,300,3.00E06,6.00,Yeast");
        start();
        click("BUTTON_PREVIOUS_COUNTS");
        for (int i = 0; i < 3; ++i) {
            QString message;
            ModalAnswer::clickNext("BUTTON_OK", &message);
            click("BUTTON_EXPORT_CSV");
            QCOMPARE(message, QString("The results were successfully exported."));
        }
        const QString date = QLocale::system().toString(QDate::currentDate(), "dd MMM yyyy");
        const QString base = "CountingResults_" + date;
        QCOMPARE(exports(), QStringList({base + " (1).csv", base + " (2).csv", base + ".csv"}));
        const QByteArray header = QByteArray::fromStdString(CSVReaderWriter::resultsLogHeader());
        QCOMPARE(m_Root->readFile("/media/USB/" + base + ".csv"),
                 header + "\nrun3,2026-03-03 10:00,300,3.00E06,6.00,Yeast\nshort,2026-03-02\n"
                          "run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT");
        QVERIFY(!QFile::exists(m_Root->path("/root/temp.csv")));
    }

    void exportWithoutLog()
    {
        start();
        ModalAnswer::clickNext("BUTTON_OK");
        QMetaObject::invokeMethod(m_Frame.get(), "on_BUTTON_EXPORT_CSV_clicked");
        QCOMPARE(exports().size(), 1);
        QCOMPARE(m_Root->readFile("/media/USB/" + exports().first()),
                 QByteArray::fromStdString(CSVReaderWriter::resultsLogHeader()) + '\n');
    }

    // The success message used to appear when the temporary file could not be written.
    void exportFailureIsReported()
    {
        writeLog("run1,2026-03-01 10:00,100,1.00E06,4.00,DEFAULT");
        QVERIFY(m_Root->mkdir("/root/temp.csv/blocked"));
        start();
        QString message;
        ModalAnswer::clickNext("BUTTON_OK", &message);
        QMetaObject::invokeMethod(m_Frame.get(), "on_BUTTON_EXPORT_CSV_clicked");
        QVERIFY2(message.contains("could not be exported"), qPrintable(message));
        QVERIFY(exports().isEmpty());
    }

    // ---- file actions

    void volumeRoot_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("root");
        QTest::newRow("internal image") << "/ORBELIN/2026/run1/01_TAG.tif" << "/ORBELIN";
        QTest::newRow("internal top") << "/ORBELIN" << "/ORBELIN";
        QTest::newRow("stick folder") << "/media/USB/run1" << "/media/USB";
        QTest::newRow("stick top") << "/media/USB" << "/media/USB";
        QTest::newRow("stick with a blank") << "/media/MY STICK/a/b" << "/media/MY STICK";
        QTest::newRow("media") << "/media" << "/media";
        QTest::newRow("empty") << "" << "";
    }
    void volumeRoot()
    {
        QFETCH(QString, path);
        QFETCH(QString, root);
        QCOMPARE(ReviewFrame::extract_mountpoint(path), root);
    }

    void capacityText_data()
    {
        QTest::addColumn<float>("mib");
        QTest::addColumn<QString>("text");
        QTest::newRow("500 MiB") << 500.0f << "500.0 M";
        QTest::newRow("0") << 0.0f << "0.0 M";
        QTest::newRow("1023 MiB") << 1023.0f << "1023.0 M";
        QTest::newRow("1024 MiB") << 1024.0f << "1.0 G";
        QTest::newRow("20 GiB") << 20.0f * 1024 << "20.0 G";
        QTest::newRow("just below a TiB") << 1048575.0f << "1.0 T";
        QTest::newRow("3 TiB") << 3.0f * 1024 * 1024 << "3.0 T";
        QTest::newRow("1024 TiB") << 1024.0f * 1024 * 1024 << "Unknown";
    }
    void capacityText()
    {
        QFETCH(float, mib);
        QFETCH(QString, text);
        QCOMPARE(ReviewFrame::capacityText(mib), text);
    }

    void freeSpaceFollowsTheSelection()
    {
        QVERIFY(saveFolder("/ORBELIN/run", fields(1)));
        start();
        m_Frame->slotCurrentItemChanged(QString(), false);
        QCOMPARE(text("LABEL_DISK_FREE_CAPACITY"), QString("(Unknown)"));
        QVERIFY(select("/ORBELIN/run"));
        QVERIFY(QRegularExpression("^\\(\\d+\\.\\d [MGT]\\)$")
                    .match(text("LABEL_DISK_FREE_CAPACITY")).hasMatch());
    }

    void cutThenVolumeKeepsPaste()
    {
        QVERIFY(saveFolder("/ORBELIN/run", fields(1)));
        start();
        QVERIFY(select("/ORBELIN/run"));
        for (const char *name : {"BUTTON_CUT", "BUTTON_COPY", "BUTTON_DELETE"})
            QVERIFY2(button(name)->isEnabled(), name);
        QVERIFY(!button("BUTTON_PASTE")->isEnabled());
        click("BUTTON_CUT");
        QVERIFY(button("BUTTON_CUT")->isChecked());
        QVERIFY(select("/media/USB"));
        for (const char *name : {"BUTTON_CUT", "BUTTON_COPY", "BUTTON_DELETE"})
            QVERIFY2(!button(name)->isEnabled(), name);
        QVERIFY(button("BUTTON_PASTE")->isEnabled());
        QVERIFY(select("/ORBELIN/run"));
        click("BUTTON_COPY");
        QVERIFY(button("BUTTON_COPY")->isChecked());
        QVERIFY(!button("BUTTON_CUT")->isChecked());
        m_Frame->slotClearClipboard();
        QVERIFY(!button("BUTTON_COPY")->isChecked());
        QVERIFY(button("BUTTON_PASTE")->isEnabled());
    }

    void copyFolderFromStickToInternalDisk()
    {
        QVERIFY(saveFolder("/media/USB/Ecoli", fields(2)));
        start();
        QVERIFY(select("/media/USB/Ecoli"));
        click("BUTTON_COPY");
        QVERIFY(select("/ORBELIN"));
        QVERIFY(button("BUTTON_PASTE")->isEnabled());
        click("BUTTON_PASTE");
        QTRY_VERIFY(!button("BUTTON_PASTE")->isEnabled());
        QVERIFY(!button("BUTTON_COPY")->isChecked());
        QCOMPARE(m_Root->readFile("/ORBELIN/Ecoli/02_TAG.tif"),
                 m_Root->readFile("/media/USB/Ecoli/02_TAG.tif"));
        QVERIFY(QFile::exists(m_Root->path("/media/USB/Ecoli/Ecoli.csv")));
    }

    void deleteAsksWithThePath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("question");
        QTest::newRow("stick") << "/media/USB/run1" << "Delete /USB/run1?";
        QTest::newRow("internal") << "/ORBELIN/run1" << "Delete /ORBELIN/run1?";
    }
    void deleteAsksWithThePath()
    {
        QFETCH(QString, path);
        QFETCH(QString, question);
        QVERIFY(saveFolder(path, fields(1)));
        start();
        QVERIFY(select(path));
        QString asked;
        ModalAnswer::clickNext("BUTTON_CANCEL", &asked);
        click("BUTTON_DELETE");
        QCOMPARE(asked, question);
        QVERIFY(QFileInfo::exists(m_Root->path(path)));
        ModalAnswer::clickNext("BUTTON_OK", &asked);
        click("BUTTON_DELETE");
        QVERIFY(!QFileInfo::exists(m_Root->path(path)));
    }

    void deleteTakesTheNamedPathOnly_data()
    {
        QTest::addColumn<bool>("namedGone");
        QTest::newRow("named folder still there") << false;
        QTest::newRow("named folder gone") << true;
    }
    // Before: OK deleted whatever row was current when the question closed.
    void deleteTakesTheNamedPathOnly()
    {
        QFETCH(bool, namedGone);
        QVERIFY(saveFolder("/ORBELIN/run1", fields(1)));
        QVERIFY(saveFolder("/ORBELIN/run2", fields(1)));
        start();
        QVERIFY(select("/ORBELIN/run1"));
        ModalAnswer::next([&](QWidget *modal) {
            if (namedGone)
                QVERIFY(QDir(m_Root->path("/ORBELIN/run1")).removeRecursively());
            QVERIFY(select("/ORBELIN/run2"));
            QTest::mouseClick(modal->findChild<QPushButton *>("BUTTON_OK"), Qt::LeftButton);
        });
        click("BUTTON_DELETE");
        QVERIFY(!QFileInfo::exists(m_Root->path("/ORBELIN/run1")));
        QVERIFY(QFileInfo::exists(m_Root->path("/ORBELIN/run2")));
    }

    // Delete on the tree used to remove the folder without a question, even when locked.
    void treeKeysHonourTheLock()
    {
        QVERIFY(saveFolder("/ORBELIN/run1", fields(1)));
        start();
        QVERIFY(select("/ORBELIN/run1"));
        QString asked;
        ModalAnswer::clickNext("BUTTON_CANCEL", &asked);
        QTest::keyClick(tree(), Qt::Key_Delete);
        QCOMPARE(asked, QString("Delete /ORBELIN/run1?"));
        m_Frame->slotEnableSecurityMode(true);
        QTest::keyClick(tree(), Qt::Key_Delete);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(QFileInfo::exists(m_Root->path("/ORBELIN/run1")));

        // Nor can the keys move a folder while locked.
        QTest::keyClick(tree(), Qt::Key_X, Qt::ControlModifier);
        QVERIFY(tree()->clipboard().paths.isEmpty());
        m_Frame->slotEnableSecurityMode(false);
        QTest::keyClick(tree(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(tree()->clipboard().paths, QStringList({"/ORBELIN/run1"}));
    }

    void securityLock()
    {
        QVERIFY(saveFolder("/ORBELIN/run", fields(2)));
        start();
        const char *const locked[] = {"BUTTON_CUT", "BUTTON_COPY", "BUTTON_PASTE",
                                      "BUTTON_DELETE", "BUTTON_EXPORT_CSV", "BUTTON_ERASE_ALL"};
        m_Frame->slotEnableSecurityMode(true);
        QVERIFY(select("/ORBELIN/run"));
        m_Frame->slotAppendCSVData(",2026-03-02 10:00,200,2.00E06,5.00,DEFAULT");
        QVERIFY(select("/media/USB"));
        for (const char *name : locked)
            QVERIFY2(!button(name)->isEnabled(), name);
        // Browsing, re-analysis and the page buttons stay usable.
        QVERIFY(select("/ORBELIN/run"));
        QVERIFY(button("BUTTON_NEXT")->isEnabled());
        QVERIFY(button("BUTTON_RE_ANALYSIS")->isEnabled());
        QVERIFY(button("BUTTON_PREVIOUS_COUNTS")->isEnabled());

        m_Frame->slotEnableSecurityMode(false);
        for (const char *name : locked)
            QVERIFY2(button(name)->isEnabled(), name);
        QVERIFY(select("/media/USB"));
        QVERIFY(!button("BUTTON_CUT")->isEnabled());
        QVERIFY(button("BUTTON_EXPORT_CSV")->isEnabled());
    }

    void scaleBarFollowsTheSettingsFile_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("after");
        QTest::newRow("missing") << QString() << true << "True";
        QTest::newRow("off") << "False" << false << "False";
        QTest::newRow("unknown value") << "yes" << true << "True";
    }
    void scaleBarFollowsTheSettingsFile()
    {
        QFETCH(QString, stored);
        QFETCH(bool, shown);
        QFETCH(QString, after);
        if (!stored.isNull())
            WritePrivateProfileString("Scale Bar", "Enable", stored.toStdString(),
                                      "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        start();
        auto *view = child<ImageFrame>("IMAGE");
        QCOMPARE(view->scaleBarEnabled(), shown);
        QVERIFY(view->scaleBarPixels() > 0);
        std::string value;
        ReadPrivateProfileString("Scale Bar", "Enable", "<missing>", value,
                                 "/root/ORBELIN_Vn/ORBELIN_Vn.ini");
        QCOMPARE(QString::fromStdString(value), after);
        m_Frame->slotEnableScaleBarDisplay(!shown);
        QCOMPARE(view->scaleBarEnabled(), !shown);
    }
};

QTEST_MAIN(ReviewFrameTest)
#include "tst_ReviewFrame.moc"
