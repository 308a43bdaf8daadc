#include "ImReaderWriter.h"
#include "TagParser.h"
#include "TestRoot.h"

#include <QtEndian>
#include <QtTest>

#include <tiffio.h>

namespace {

// A hand-made uncompressed little-endian grey TIFF whose header says what the test wants,
// whatever the data that follows.
QByteArray craftTiff(quint32 width, quint32 height, quint16 bits, quint16 photometric,
                     quint32 claimedBytes, const QByteArray &data)
{
    struct Entry { quint16 tag, type; quint32 count, value; };
    const quint16 Short = 3, Long = 4;
    const quint32 dataOffset = 8 + 2 + 9 * 12 + 4;
    const Entry entries[] = {
        {256, Long, 1, width}, {257, Long, 1, height}, {258, Short, 1, bits},
        {259, Short, 1, 1}, {262, Short, 1, photometric}, {273, Long, 1, dataOffset},
        {277, Short, 1, 1}, {278, Long, 1, height}, {279, Long, 1, claimedBytes},
    };
    QByteArray file("II*\0", 4);
    auto put32 = [&file](quint32 v) { char b[4]; qToLittleEndian(v, b); file.append(b, 4); };
    auto put16 = [&file](quint16 v) { char b[2]; qToLittleEndian(v, b); file.append(b, 2); };
    put32(8);
    put16(9);
    for (const Entry &e : entries) {
        put16(e.tag);
        put16(e.type);
        put32(e.count);
        if (e.type == Short) {
            put16(quint16(e.value));
            put16(0);
        } else {
            put32(e.value);
        }
    }
    put32(0);
    return file + data;
}

QByteArray pattern(int bytes)
{
    QByteArray data(bytes, Qt::Uninitialized);
    for (int i = 0; i < bytes; ++i)
        data[i] = char((i * 31 + i / 97) & 0xff);
    return data;
}

} // namespace

class ImReaderWriterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("samples");
        QTest::newRow("raw frame, grey 8") << 1280 << 960 << 8 << 1;
        QTest::newRow("raw frame, grey 16 (12-bit camera)") << 1280 << 960 << 16 << 1;
        QTest::newRow("annotated image, RGB 8") << 1280 << 960 << 8 << 3;
        QTest::newRow("RGB 16") << 64 << 48 << 16 << 3;
        QTest::newRow("one pixel") << 1 << 1 << 8 << 1;
        QTest::newRow("odd width") << 333 << 7 << 8 << 3;
    }
    void roundTrip()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, bits);
        QFETCH(int, samples);
        TestRoot root;
        root.mkdir("/ORBELIN/count");
        const QByteArray pixels = pattern(width * height * samples * bits / 8);
        general::ImReaderWriter out;
        QVERIFY(out.setImage(pixels.constData(), width, height, quint16(bits), quint16(samples)));
        const std::string metadata = "Counted cell number=123,Instrument=ORBELIN_Vn,"
                                     "Volume factor=0.0001,Dilution factor=2";
        std::string path = "/ORBELIN/count/01_TAG.tif";
        QVERIFY(out.write(path, metadata));

        general::ImReaderWriter in;
        QVERIFY(in.read(path));
        QCOMPARE(in.width(), width);
        QCOMPARE(in.height(), height);
        QCOMPARE(int(in.bitsPerSample()), bits);
        QCOMPARE(int(in.samplesPerPixel()), samples);
        // What the review screen asks for: bits per sample x samples per pixel.
        if (!(bits == 16 && samples == 3))
            QVERIFY(in.data(bits * samples));
        const unsigned char *read = in.data(bits == 16 ? 16 : 8);
        QVERIFY(read);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(read), pixels.size()), pixels);

        QCOMPARE(in.software(), std::string("ORBELIN_Vn"));
        QCOMPARE(in.description(),
                 std::string("Counted cell number=123,Volume factor=0.0001,Dilution factor=2"));
        const auto tags = TagParser().parse(in.description());
        QCOMPARE(tags.at("Counted cell number"), std::string("123"));
        QCOMPARE(tags.at("Dilution factor"), std::string("2"));
        QVERIFY(tags.find("Instrument") == tags.end());
    }

    void writtenAsLzwInOneStrip()
    {
        TestRoot root;
        root.mkdir("/ORBELIN");
        const QByteArray pixels = pattern(1280 * 960);
        general::ImReaderWriter out;
        QVERIFY(out.setImage(pixels.constData(), 1280, 960, 8, 1));
        QVERIFY(out.write("/ORBELIN/01_RAW.tif", "Instrument=ORBELIN_Vn"));
        TIFF *tiff = TIFFOpen(root.path("/ORBELIN/01_RAW.tif").toLocal8Bit().constData(), "r");
        QVERIFY(tiff);
        quint16 compression = 0;
        TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
        const quint32 strips = TIFFNumberOfStrips(tiff);
        char *software = nullptr;
        const bool hasDescription = TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &software) == 1;
        TIFFGetField(tiff, TIFFTAG_SOFTWARE, &software);
        const QString softwareText = QString::fromLatin1(software);
        TIFFClose(tiff);
        QCOMPARE(int(compression), int(COMPRESSION_LZW));
        QCOMPARE(strips, quint32(1));
        QCOMPARE(softwareText, QString("ORBELIN_Vn"));
        QVERIFY(!hasDescription);

        std::string softwareTag;
        std::string description = "stale";
        QVERIFY(general::ImReaderWriter::readMetadata("/ORBELIN/01_RAW.tif", &softwareTag,
                                                      &description));
        QCOMPARE(softwareTag, std::string("ORBELIN_Vn"));
        QCOMPARE(description, std::string());
    }

    void refusesDamagedFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        const QByteArray frame = pattern(64 * 48);
        QTest::newRow("text file named .tif") << "a.tif" << QByteArray("Name,Date\n1,2\n");
        QTest::newRow("empty file") << "a.tif" << QByteArray();
        QTest::newRow("header only") << "a.tif" << QByteArray("II*\0", 4);
        QTest::newRow("sound crafted file (control)") << "ok.tif"
            << craftTiff(64, 48, 8, 1, quint32(frame.size()), frame);
        QTest::newRow("pixel data cut short") << "a.tif"
            << craftTiff(64, 48, 8, 1, quint32(frame.size()), frame.left(1000));
        QTest::newRow("claims 60000 x 60000 pixels") << "a.tif"
            << craftTiff(60000, 60000, 8, 1, 60000u * 60000u, frame);
        QTest::newRow("one side beyond the limit") << "a.tif"
            << craftTiff(general::ImReaderWriter::MaxSide + 1, 1, 8, 1,
                         quint32(general::ImReaderWriter::MaxSide + 1), pattern(2561));
        QTest::newRow("zero width") << "a.tif" << craftTiff(0, 48, 8, 1, 0, QByteArray());
        QTest::newRow("1 bit per sample") << "a.tif"
            << craftTiff(64, 48, 1, 1, 64 * 48 / 8, frame);
        QTest::newRow("RGB with one sample") << "a.tif"
            << craftTiff(64, 48, 8, 2, quint32(frame.size()), frame);
        QTest::newRow("not a TIFF name") << "a.png"
            << craftTiff(64, 48, 8, 1, quint32(frame.size()), frame);
    }
    void refusesDamagedFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        TestRoot root;
        root.writeFile("/ORBELIN/" + name, content);
        general::ImReaderWriter image;
        const QByteArray before = pattern(16);
        QVERIFY(image.setImage(before.constData(), 4, 4, 8, 1));
        std::string path = ("/ORBELIN/" + name).toStdString();
        const bool control = name == "ok.tif";
        QCOMPARE(image.read(path), control);
        if (control) {
            QCOMPARE(image.width(), 64);
            return;
        }
        // A refused file leaves nothing of the previous image behind.
        QCOMPARE(image.width(), 0);
        QCOMPARE(image.height(), 0);
        QVERIFY(!image.data(8));
        QVERIFY(!image.data(16));
    }

    void truncatedWrittenFile()
    {
        TestRoot root;
        root.mkdir("/ORBELIN");
        const QByteArray pixels = pattern(1280 * 960 * 3);
        general::ImReaderWriter out;
        QVERIFY(out.setImage(pixels.constData(), 1280, 960, 8, 3));
        QVERIFY(out.write("/ORBELIN/01_TAG.tif", "Instrument=ORBELIN_Vn,Counted cell number=4"));
        const QByteArray whole = root.readFile("/ORBELIN/01_TAG.tif");
        for (double part : {0.95, 0.5, 0.1}) {
            root.writeFile("/ORBELIN/cut.tif", whole.left(int(whole.size() * part)));
            general::ImReaderWriter in;
            std::string path = "/ORBELIN/cut.tif";
            QVERIFY2(!in.read(path), qPrintable(QString::number(part)));
        }
    }

    void missingFile()
    {
        TestRoot root;
        general::ImReaderWriter in;
        std::string path = "/ORBELIN/none.tif";
        QVERIFY(!in.read(path));
        std::string software;
        QVERIFY(!general::ImReaderWriter::readMetadata(path, &software, nullptr));
    }

    void refusedWrites()
    {
        TestRoot root;
        general::ImReaderWriter empty;
        root.mkdir("/ORBELIN");
        QVERIFY(!empty.write("/ORBELIN/x.tif", "Instrument=ORBELIN_Vn"));
        QVERIFY(!QFile::exists(root.path("/ORBELIN/x.tif")));

        general::ImReaderWriter image;
        const QByteArray pixels = pattern(100);
        QVERIFY(!image.setImage(pixels.constData(), 10, 10, 12, 1));
        QVERIFY(!image.setImage(pixels.constData(), 10, 10, 8, 2));
        QVERIFY(!image.setImage(nullptr, 10, 10, 8, 1));
        QVERIFY(image.setImage(pixels.constData(), 10, 10, 8, 1));
        QVERIFY(!image.write("/ORBELIN/no/such/folder/x.tif", ""));
    }
};

QTEST_GUILESS_MAIN(ImReaderWriterTest)
#include "tst_ImReaderWriter.moc"
