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
    const quint32 entries[][3] = {
        {256, 4, width}, {257, 4, height}, {258, 3, bits}, {259, 3, 1}, {262, 3, photometric},
        {273, 4, 8 + 2 + 9 * 12 + 4}, {277, 3, 1}, {278, 4, height}, {279, 4, claimedBytes},
    };
    QByteArray file("II*\0\x08\0\0\0\x09\0", 10);
    for (const auto &e : entries) {
        char b[12];
        qToLittleEndian(quint16(e[0]), b);
        qToLittleEndian(quint16(e[1]), b + 2);
        qToLittleEndian(quint32(1), b + 4);
        qToLittleEndian(e[2], b + 8);    // a SHORT sits in the first two bytes (little-endian)
        file.append(b, 12);
    }
    return file + QByteArray(4, '\0') + data;
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
        QTest::newRow("RGB 16, odd width") << 333 << 7 << 16 << 3;
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
        std::string path = "/ORBELIN/count/01_TAG.tif";
        QVERIFY(out.write(path, "Counted cell number=123,Instrument=ORBELIN_Vn,"
                                "Volume factor=0.0001,Dilution factor=2"));

        TIFF *tiff = TIFFOpen(root.path(QString::fromStdString(path)).toLocal8Bit().constData(), "r");
        QVERIFY(tiff);
        quint16 compression = 0;
        TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
        const quint32 strips = TIFFNumberOfStrips(tiff);
        TIFFClose(tiff);
        QCOMPARE(int(compression), int(COMPRESSION_LZW));
        QCOMPARE(strips, quint32(1));

        general::ImReaderWriter in;
        QVERIFY(in.read(path));
        QCOMPARE(in.width(), width);
        QCOMPARE(in.height(), height);
        QCOMPARE(int(in.bitsPerSample()), bits);
        QCOMPARE(int(in.samplesPerPixel()), samples);
        const unsigned char *read = in.data(bits == 16 ? 16 : 8);
        QVERIFY(read);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(read), pixels.size()), pixels);

        QCOMPARE(in.software(), std::string("ORBELIN_Vn"));
        const auto tags = TagParser().parse(in.description());
        QCOMPARE(tags.at("Counted cell number"), std::string("123"));
        QCOMPARE(tags.at("Dilution factor"), std::string("2"));
        QVERIFY(tags.find("Instrument") == tags.end());
        std::string software;
        std::string description;
        QVERIFY(general::ImReaderWriter::readMetadata(path, &software, &description));
        QCOMPARE(software, std::string("ORBELIN_Vn"));
        QCOMPARE(description, in.description());
    }

    void refusesDamagedFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");     // null: no file
        const QByteArray frame = pattern(64 * 48);
        QTest::newRow("missing file") << "a.tif" << QByteArray();
        QTest::newRow("text file named .tif") << "a.tif" << QByteArray("Name,Date\n1,2\n");
        QTest::newRow("sound crafted file (control)") << "ok.tif"
            << craftTiff(64, 48, 8, 1, quint32(frame.size()), frame);
        QTest::newRow("pixel data cut short") << "a.tif"
            << craftTiff(64, 48, 8, 1, quint32(frame.size()), frame.left(1000));
        QTest::newRow("claims 60000 x 60000 pixels") << "a.tif"
            << craftTiff(60000, 60000, 8, 1, 60000u * 60000u, frame);
        QTest::newRow("one side beyond the limit") << "a.tif"
            << craftTiff(general::ImReaderWriter::MaxSide + 1, 1, 8, 1,
                         quint32(general::ImReaderWriter::MaxSide + 1), pattern(2561));
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
        if (!content.isNull())
            root.writeFile("/ORBELIN/" + name, content);
        general::ImReaderWriter image;
        const QByteArray before = pattern(16);
        QVERIFY(image.setImage(before.constData(), 4, 4, 8, 1));
        std::string path = ("/ORBELIN/" + name).toStdString();
        const bool control = name == "ok.tif";
        QCOMPARE(image.read(path), control);
        QCOMPARE(image.width(), control ? 64 : 0);
        if (control)
            return;
        // A refused file leaves nothing of the previous image behind.
        QCOMPARE(image.height(), 0);
        QVERIFY(!image.data(8));
        QVERIFY(!image.data(16));
    }

    // A failed write leaves no file behind.
    void writeWithoutImage()
    {
        TestRoot root;
        root.mkdir("/ORBELIN");
        general::ImReaderWriter image;
        QVERIFY(!image.write("/ORBELIN/x.tif", "Instrument=ORBELIN_Vn"));
        QVERIFY(!QFile::exists(root.path("/ORBELIN/x.tif")));
    }
};

QTEST_GUILESS_MAIN(ImReaderWriterTest)
#include "tst_ImReaderWriter.moc"
