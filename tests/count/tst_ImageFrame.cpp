#include "ImageFrame.h"

#include <QtTest>

#include <memory>

class ImageFrameTest : public QObject
{
    Q_OBJECT

private:
    // A 1280x960 grey frame with a gradient, as the camera gives.
    static std::unique_ptr<unsigned char[]> frame(int width, int height, int bytesPerPixel)
    {
        std::unique_ptr<unsigned char[]> pixels(new unsigned char[size_t(width) * height
                                                                  * bytesPerPixel]);
        for (int i = 0; i < width * height * bytesPerPixel; ++i)
            pixels[i] = static_cast<unsigned char>((i / bytesPerPixel % width) * 255 / width
                                                   + i % bytesPerPixel * 40);
        return pixels;
    }

private Q_SLOTS:
    // The pixels are copied during the call (the caller frees them after it); what cannot
    // be shown clears the view. Null pixels are given as 0 bits.
    void copiesThePixelsDuringTheCall_data()
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
        QTest::newRow("zero width") << 0 << 10 << 8 << none;
        QTest::newRow("negative height") << 10 << -1 << 8 << none;
        QTest::newRow("12 bits") << 10 << 10 << 12 << none;
    }
    void copiesThePixelsDuringTheCall()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, bitsPerPixel);
        QFETCH(int, format);
        ImageFrame view;
        auto good = frame(4, 4, 1);
        view.slotSetImageData(good.get(), 4, 4, 8);
        const int size = qMax(width * height * bitsPerPixel / 8, 0);
        auto pixels = frame(qMax(width, 1), qMax(height, 1), qMax(bitsPerPixel / 8, 1));
        const QByteArray expected(reinterpret_cast<const char *>(pixels.get()), size);
        view.slotSetImageData(bitsPerPixel ? pixels.get() : nullptr, width, height, qMax(bitsPerPixel, 8));
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

    void setPositionCentresWithinTheImage_data()
    {
        QTest::addColumn<qreal>("zoom");
        QTest::addColumn<QPoint>("asked");
        QTest::addColumn<QPointF>("centre");
        // The view is 640x480 on a 1280x960 frame: the whole frame fits at zoom 1.
        QTest::newRow("whole image: always its centre") << 1.0 << QPoint(10, 10) << QPointF(640, 480);
        QTest::newRow("zoom 2: inside") << 2.0 << QPoint(700, 500) << QPointF(700, 500);
        QTest::newRow("zoom 2: beyond bottom right") << 2.0 << QPoint(5000, 5000)
                                                      << QPointF(960, 720);
        QTest::newRow("zoom 4: left edge") << 4.0 << QPoint(-50, 480) << QPointF(160, 480);
    }
    void setPositionCentresWithinTheImage()
    {
        QFETCH(qreal, zoom);
        QFETCH(QPoint, asked);
        QFETCH(QPointF, centre);
        ImageFrame view;
        view.resize(640, 480);
        auto pixels = frame(1280, 960, 1);
        view.slotSetImageData(pixels.get(), 1280, 960, 8);
        view.setZoom(zoom);
        view.setPosition(asked.x(), asked.y());
        QCOMPARE(view.viewCentre(), centre);
        // The next image keeps the view's place.
        view.slotSetImageData(pixels.get(), 1280, 960, 8);
        QCOMPARE(view.viewCentre(), centre);
    }

    void dragPansAndDoubleTapZooms()
    {
        ImageFrame view;
        view.resize(640, 480);
        auto pixels = frame(1280, 960, 1);
        view.slotSetImageData(pixels.get(), 1280, 960, 8);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::mouseDClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(320, 240));
        QCOMPARE(view.zoom(), 2.0);
        QCOMPARE(view.viewCentre(), QPointF(640, 480));
        // Dragging 100 screen pixels left moves the view 100 image pixels right at zoom 2
        // (one screen pixel is one image pixel there).
        QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(320, 240));
        QMouseEvent move(QEvent::MouseMove, QPointF(220, 240), Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&view, &move);
        QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(220, 240));
        QCOMPARE(view.viewCentre(), QPointF(740, 480));
        QTest::mouseDClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(320, 240));
        QCOMPARE(view.zoom(), 1.0);
    }

    // 100 um with a 3.75 um camera pixel behind a 10x objective are 266.7 image pixels,
    // drawn only once enabled.
    void scaleBar()
    {
        ImageFrame view;
        view.resize(640, 480);
        QVector<unsigned char> black(1280 * 960, 0);
        view.slotSetImageData(black.data(), 1280, 960, 8);
        view.createScaleBar(3.75f, 0.0f, 100.0f, 255, 0, 0);
        QCOMPARE(view.scaleBarPixels(), 0.0);
        view.createScaleBar(3.75f, 10.0f, 100.0f, 255, 0, 0);
        QVERIFY2(qAbs(view.scaleBarPixels() - 266.667) < 0.01,
                 qPrintable(QString::number(view.scaleBarPixels())));
        auto redPixels = [&view]() {
            const QImage shot = view.grab().toImage();
            int red = 0;
            for (int y = shot.height() - 40; y < shot.height(); ++y)
                for (int x = shot.width() - 200; x < shot.width(); ++x)
                    red += shot.pixelColor(x, y) == QColor(255, 0, 0);
            return red;
        };
        QCOMPARE(redPixels(), 0);
        view.setScaleBarEnable(true);
        QVERIFY(redPixels() > 100);
    }
};

QTEST_MAIN(ImageFrameTest)
#include "tst_ImageFrame.moc"
