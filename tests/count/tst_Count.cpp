#include "BoardStandin.h"
#include "CountFrame.h"
#include "CountingOptionsDialog.h"
#include "ImageFrame.h"
#include "ModalAnswer.h"
#include "PrivateProfile.h"
#include "QtSerialPort.h"
#include "Resources.h"
#include "SyntheticField.h"
#include "TestRoot.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

namespace {
const char Log[] = "/root/ORBELIN_Vn/CountingResults.csv";
const char Ini[] = "/root/ORBELIN_Vn/ORBELIN_Vn.ini";
const QString Folder = QStringLiteral("/ORBELIN/Yeast_0302");

QByteArray header()
{
    return QByteArray::fromStdString(CSVReaderWriter::resultsLogHeader());
}

QString text(QWidget &screen, const char *name)
{
    return screen.findChild<QLabel *>(name)->text();
}

QPushButton *button(QWidget &parent, const char *name)
{
    return parent.findChild<QPushButton *>(name);
}

QString readKey(const char *key)
{
    std::string value;
    ReadPrivateProfileString("Counting options", key, "<missing>", value, Ini);
    return QString::fromStdString(value);
}
} // namespace

// The count screen (slide, results log, re-analysis of a save folder), its image view and
// the counting options.
class CountTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<std::string>("std::string");
        Resources::init();
    }

    void cleanup() { QtSerialPort::release(); }

    void ejectButton_data()
    {
        QTest::addColumn<int>("refusals");     // 0: every try
        QTest::addColumn<QString>("slide");
        QTest::newRow("refused twice: the third try goes through") << 2 << "Slide ejected";
        QTest::newRow("refused every time") << 0 << "Slide stage not ready";
    }
    void ejectButton()
    {
        QFETCH(int, refusals);
        TestRoot root;
        BoardStandin board;
        QVERIFY(board.start());
        CountFrame screen;
        QVERIFY(QtSerialPort::instance()->open());
        board.setMode("ng", refusals);
        QString message;
        if (refusals == 0)
            ModalAnswer::clickNext("BUTTON_OK", &message);
        QTest::mouseClick(button(screen, "BUTTON_EJECT"), Qt::LeftButton);
        QCOMPARE(board.received().count("$X#STAGE EJECT"), 3);
        QTEST(text(screen, "LABEL_SLIDE"), "slide");
        QCOMPARE(message.contains("could not be ejected"), refusals == 0);
    }

    // A line break used to split the row in two. A removed log starts afresh.
    void appendKeepsTheNewest1000Rows()
    {
        TestRoot root;
        QByteArray file = header();
        for (int i = 0; i < 1000; ++i)
            file += "\nrow" + QByteArray::number(i) + ",x";
        root.writeFile(Log, file);
        CountFrame screen;
        screen.initialize();
        QSignalSpy appended(&screen, &CountFrame::signalAppendCSVData);
        QVERIFY(screen.appendResultsLog(",09 Dec 2024\n10:00,120,1.20E06,4.1,DEFAULT"));
        const QByteArray row = ",09 Dec 2024 10:00,120,1.20E06,4.1,DEFAULT";
        QCOMPARE(appended.count(), 1);
        QCOMPARE(appended.first().first().value<std::string>(), row.toStdString());
        const QList<QByteArray> lines = root.readFile(Log).split('\n');
        QCOMPARE(lines.size(), 1001);
        QCOMPARE(lines.first(), header());
        QCOMPARE(lines.at(1), QByteArray("row1,x"));   // the oldest went
        QCOMPARE(lines.last(), row);

        QFile::remove(root.path(Log));
        screen.slotCSVRemoved();
        screen.appendResultsLog("C");
        QCOMPARE(root.readFile(Log), header() + "\nC");
    }

    // A comma in the save name used to add a column.
    void savedNameGoesIntoTheNewestRow()
    {
        TestRoot root;
        CountFrame screen;
        QSignalSpy renamed(&screen, &CountFrame::signalFilenameReplaced);
        QVERIFY(!screen.setSavedName("/ORBELIN/x"));     // no row yet
        root.writeFile(Log, header() + "\n,d1,5\n,d2,6,1.00E03");
        screen.initialize();
        QVERIFY(screen.setSavedName("/media/USB/Yeast, batch 2"));
        QCOMPARE(renamed.count(), 1);
        QCOMPARE(renamed.first().first().toString(), QString("Yeast_ batch 2"));
        QCOMPARE(root.readFile(Log), header() + "\n,d1,5\nYeast_ batch 2,d2,6,1.00E03");
    }

    // Fields of separated cells, so the count is known; the images' factors win over
    // the protocol's.
    void totalsAndRow()
    {
        TestRoot root;
        QVERIFY(root.writeFile(Ini, "[Current Protocol]\nName=Yeast\n"));
        QVERIFY(root.writeFile("/root/ORBELIN_Vn/Protocol/Yeast.ini", "[Dilution Factor]\nValue=10\n"));
        std::vector<SyntheticField::Options> fields;
        for (unsigned seed = 1; seed <= 3; ++seed)
            fields.push_back(SyntheticField::separatedCells(400, 300, 5, seed));
        QVERIFY(SyntheticField::writeSaveFolder(
            Folder, fields, "Instrument=ORBELIN_Vn,Volume factor=2e-05,Dilution factor=5"));
        CountFrame screen;
        screen.show();
        QSignalSpy enabled(&screen, &CountFrame::signalWidgetEnabled);
        QSignalSpy appended(&screen, &CountFrame::signalAppendCSVData);
        screen.slotAnalysis(Folder);
        QCOMPARE(enabled.count(), 1);
        QVERIFY(!button(screen, "BUTTON_EJECT")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(enabled.count(), 2, 20000);
        QCOMPARE(enabled.at(1).at(0).toBool(), true);
        // 15 cells in 3 x 2e-5 mL, diluted 5.
        QCOMPARE(text(screen, "LABEL_TOTAL_CELLS_CONCENTRATION"), QStringLiteral("1.25 x 10e6 cells/mL"));
        QCOMPARE(text(screen, "LABEL_TOTAL_CELLS"), QStringLiteral("15"));
        const QRegularExpression row("^,\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,15,1\\.25E06,"
                                     "[45]\\.\\d\\d,Yeast,5,1\\.25E06,5,1\\.25E06,5,1\\.25E06$");
        QCOMPARE(appended.count(), 1);
        const QString sent = QString::fromStdString(appended.at(0).at(0).value<std::string>());
        QVERIFY2(row.match(sent).hasMatch(), qPrintable(sent));
        QCOMPARE(root.readFile(Log), header() + '\n' + sent.toUtf8());
    }

    // Nothing counted: the operator is told why, no row is logged, the screen is usable.
    void nothingCounted_data()
    {
        QTest::addColumn<QStringList>("files");     // each holding "not an image"
        QTest::addColumn<QString>("message");
        const QString noRaw = "This folder holds no raw images to analyse.";
        QTest::newRow("no folder") << QStringList() << noRaw;
        QTest::newRow("no raw image with a field number")
            << QStringList{"01_TAG.tif", "run1.csv", "a_RAW.tif", "01_RAW.tiff", "01_raw.tif"} << noRaw;
        QTest::newRow("no readable raw image") << QStringList{"01_RAW.tif", "02_RAW.tif"}
            << "No raw image of this folder could be read. Nothing was counted.<br/><br/>"
               "01_RAW.tif, 02_RAW.tif: damaged or unreadable";
    }
    void nothingCounted()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, message);
        TestRoot root;
        for (const QString &name : files)
            QVERIFY(root.writeFile(Folder + '/' + name, "not an image"));
        CountFrame screen;
        QSignalSpy enabled(&screen, &CountFrame::signalWidgetEnabled);
        QSignalSpy appended(&screen, &CountFrame::signalAppendCSVData);
        QString shown;
        ModalAnswer::clickNext("BUTTON_OK", &shown, 20000);
        screen.slotAnalysis(Folder);
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 20000);
        QVERIFY2(shown.contains(message), qPrintable(shown));
        QVERIFY(enabled.isEmpty() || enabled.last().at(0).toBool());
        QCOMPARE(appended.count(), 0);
        QVERIFY(!QFile::exists(root.path(Log)));
    }

    void rowFormat_data()
    {
        QTest::addColumn<int>("exponent");
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<int>("fields"); // analysed fields of 3 cells each, then one unusable
        QTest::addColumn<QString>("row");
        const QString when = ",2026-03-02 10:05:13,1234,7.14E";
        QTest::newRow("below one cell a mL, an unusable field")
            << -2 << "DEFAULT" << 2 << when + "-2,5.13,DEFAULT,3,3.00E05,3,3.00E05,,";
        QTest::newRow("comma in the protocol name") << 0 << "a,b" << 0 << when + "00,5.13,a_b,,";
        QTest::newRow("columns for twenty fields at most")
            << 0 << "D" << 25 << when + "00,5.13,D" + QString(",3,3.00E05").repeated(20);
    }
    void rowFormat()
    {
        QFETCH(int, exponent);
        QFETCH(QString, protocol);
        QFETCH(int, fields);
        counting_results_t r;
        r.count = 1234;
        r.mantissa = 7.14f;
        r.exponent = exponent;
        r.meanSize = 5.126f;
        field_result_t field;
        field.analysed = true;
        field.count = 3;
        field.mantissa = 3.0f;
        field.exponent = 5;
        r.fields.assign(size_t(fields), field);
        r.fields.push_back(field_result_t());
        const QDateTime when(QDate(2026, 3, 2), QTime(10, 5, 13));
        QTEST(QString::fromStdString(CountFrame::resultsLogRow(r, protocol, when)), "row");
    }

    // The pixels are copied during the call (the caller frees them after it); what cannot
    // be shown clears the view. Null pixels are given as 0 bits.
    void imageCopiedDuringTheCall_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("bitsPerPixel");
        QTest::addColumn<int>("format");
        const int none = QImage::Format_Invalid;
        // 333 pixels: rows not a multiple of four bytes.
        QTest::newRow("grey") << 333 << 20 << 8 << int(QImage::Format_Grayscale8);
        QTest::newRow("RGB") << 333 << 20 << 24 << int(QImage::Format_RGB888);
        QTest::newRow("16-bit grey") << 333 << 20 << 16 << int(QImage::Format_Grayscale16);
        QTest::newRow("null pixels") << 10 << 10 << 0 << none;
        QTest::newRow("negative height") << 10 << -1 << 8 << none;
        QTest::newRow("12 bits") << 10 << 10 << 12 << none;
    }
    void imageCopiedDuringTheCall()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, bitsPerPixel);
        QFETCH(int, format);
        ImageFrame view;
        QByteArray good(16, 'g');
        view.slotSetImageData(reinterpret_cast<unsigned char *>(good.data()), 4, 4, 8);
        const int size = qMax(width * height * bitsPerPixel / 8, 0);
        QByteArray expected(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            expected[i] = char(i * 7 + i / 333);
        auto pixels = std::make_unique<QByteArray>(expected + QByteArray(16, 'x'));
        view.slotSetImageData(bitsPerPixel ? reinterpret_cast<unsigned char *>(pixels->data()) : nullptr,
                              width, height, qMax(bitsPerPixel, 8));
        pixels.reset();
        if (format == QImage::Format_Invalid) {
            QVERIFY(view.image().isNull());
            return;
        }
        QCOMPARE(int(view.image().format()), format);
        QCOMPARE(view.image().size(), QSize(width, height));
        QByteArray shown;
        for (int y = 0; y < height; ++y)
            shown += QByteArray(reinterpret_cast<const char *>(view.image().constScanLine(y)),
                                width * bitsPerPixel / 8);
        QCOMPARE(shown, expected);
    }

    // 100 um with a 3.75 um camera pixel behind a 10x objective are 266.7 image pixels.
    void scaleBar()
    {
        ImageFrame view;
        view.createScaleBar(3.75f, 0.0f, 100.0f, 255, 0, 0);
        QCOMPARE(view.scaleBarPixels(), 0.0);
        view.createScaleBar(3.75f, 10.0f, 100.0f, 255, 0, 0);
        QVERIFY2(qAbs(view.scaleBarPixels() - 266.667) < 0.01, qPrintable(QString::number(view.scaleBarPixels())));
    }

    // Unknown choices read as the defaults and are written back at once; CLOSE stores the
    // choice, Escape nothing.
    void countingOptions()
    {
        TestRoot root;
        root.writeFile(Ini, "[Counting options]\nCounting field=12\nAutofocus=maybe\nEject on=YES\n");
        const auto stored = [] { return readKey("Autofocus") + ' ' + readKey("Eject on"); };
        for (const bool escape : {false, true}) {
            CountingOptionsDialog dialog;
            dialog.show();
            QCOMPARE(stored(), QString(escape ? "0 yes" : "1 no"));
            QCOMPARE(button(dialog, "BUTTON_EJECT_ON")->isChecked(), escape);
            QTest::mouseClick(button(dialog, "BUTTON_AUTOFOCUS_FIRST"), Qt::LeftButton);
            QTest::mouseClick(button(dialog, "BUTTON_EJECT_ON"), Qt::LeftButton);
            if (escape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                QTest::mouseClick(button(dialog, "BUTTON_CLOSE"), Qt::LeftButton);
        }
        QCOMPARE(stored(), QString("0 yes"));
        QCOMPARE(readKey("Counting field"), QString("12"));
    }
};

QTEST_MAIN(CountTest)
#include "tst_Count.moc"
