#include "ImageFrame.h"

#include <QDebug>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>
#include <cstring>

ImageFrame::ImageFrame(QWidget *parent)
    : QFrame(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ImageFrame::~ImageFrame() = default;

void ImageFrame::slotSetImageData(unsigned char *pixels, int width, int height,
                                  int bitsPerPixel)
{
    QImage::Format format = QImage::Format_Invalid;
    if (bitsPerPixel == 8)
        format = QImage::Format_Grayscale8;
    else if (bitsPerPixel == 16)
        format = QImage::Format_Grayscale16;
    else if (bitsPerPixel == 24)
        format = QImage::Format_RGB888;
    // Frames are 1280x960; the bound keeps a bad caller from asking for gigabytes.
    if (!pixels || format == QImage::Format_Invalid || width <= 0 || height <= 0
        || width > 8192 || height > 8192) {
        qDebug() << Q_FUNC_INFO << "no image:" << width << "x" << height << bitsPerPixel;
        m_Image = QImage();
        update();
        return;
    }
    // The caller frees its pixels after the call: copy them, row by row, as the image's
    // own rows are padded.
    const bool newSize = m_Image.size() != QSize(width, height);
    QImage image(width, height, format);
    const int bytesPerLine = width * bitsPerPixel / 8;
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), pixels + size_t(y) * size_t(bytesPerLine),
                    size_t(bytesPerLine));
    m_Image = image;
    if (newSize)
        m_Centre = QPointF(width / 2.0, height / 2.0);
    setCentre(m_Centre);
    update();
}

qreal ImageFrame::scale() const
{
    if (m_Image.isNull() || width() <= 0 || height() <= 0)
        return 1.0;
    const qreal fit = qMin(qreal(width()) / m_Image.width(), qreal(height()) / m_Image.height());
    return fit * m_Zoom;
}

QSizeF ImageFrame::visibleSize() const
{
    const qreal s = scale();
    return QSizeF(width() / s, height() / s);
}

void ImageFrame::setCentre(const QPointF &centre)
{
    if (m_Image.isNull()) {
        m_Centre = centre;
        return;
    }
    // Where the view is wider than the image the image stays centred; otherwise the view
    // never leaves the image.
    const QSizeF visible = visibleSize();
    auto clamp = [](qreal c, qreal view, qreal size) {
        if (view >= size)
            return size / 2.0;
        return qBound(view / 2.0, c, size - view / 2.0);
    };
    m_Centre = QPointF(clamp(centre.x(), visible.width(), m_Image.width()),
                       clamp(centre.y(), visible.height(), m_Image.height()));
}

QPointF ImageFrame::viewCentre() const
{
    return m_Centre;
}

void ImageFrame::setPosition(int x, int y)
{
    setCentre(QPointF(x, y));
    update();
}

void ImageFrame::setZoom(qreal zoom)
{
    m_Zoom = qBound(1.0, zoom, MaxZoom);
    setCentre(m_Centre);
    update();
}

void ImageFrame::zoomAt(qreal zoom, const QPointF &widgetPoint)
{
    // The image point under the finger stays under it.
    const qreal before = scale();
    const QPointF offset = widgetPoint - QPointF(width() / 2.0, height() / 2.0);
    const QPointF point = m_Centre + offset / before;
    m_Zoom = qBound(1.0, zoom, MaxZoom);
    setCentre(point - offset / scale());
    update();
}

void ImageFrame::setScaleBarEnable(bool enable)
{
    m_ScaleBarEnabled = enable;
    update();
}

void ImageFrame::createScaleBar(float pixelSize, float magnification, float length, int red,
                                int green, int blue)
{
    m_PixelSize = pixelSize;
    m_Magnification = magnification;
    m_BarLength = length;
    m_BarColour = QColor(qBound(0, red, 255), qBound(0, green, 255), qBound(0, blue, 255));
    update();
}

qreal ImageFrame::scaleBarPixels() const
{
    if (m_PixelSize <= 0.0f || m_Magnification <= 0.0f || m_BarLength <= 0.0f)
        return 0.0;
    // One image pixel covers pixelSize / magnification micrometres of the slide.
    return qreal(m_BarLength) * qreal(m_Magnification) / qreal(m_PixelSize);
}

void ImageFrame::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x20, 0x24, 0x2a));
    if (!m_Image.isNull()) {
        const qreal s = scale();
        const QSizeF visible = visibleSize();
        const QRectF source(m_Centre.x() - visible.width() / 2.0,
                            m_Centre.y() - visible.height() / 2.0, visible.width(),
                            visible.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform, s < 1.0);
        painter.drawImage(QRectF(rect()), m_Image, source);
        if (m_ScaleBarEnabled)
            drawScaleBar(painter);
    }
    painter.end();
    QFrame::paintEvent(event);
}

void ImageFrame::drawScaleBar(QPainter &painter)
{
    const qreal length = scaleBarPixels() * scale();
    if (length < 1.0)
        return;
    // Bottom right of the part of the view the image covers.
    const qreal s = scale();
    const QRectF shown = QRectF(rect()).intersected(
        QRectF(width() / 2.0 - m_Centre.x() * s, height() / 2.0 - m_Centre.y() * s,
               m_Image.width() * s, m_Image.height() * s));
    const int margin = 16;
    const QRectF bar(shown.right() - margin - length, shown.bottom() - margin - 6, length, 6);
    painter.fillRect(bar, m_BarColour);
    QFont font = painter.font();
    font.setPixelSize(qBound(10, height() / 25, 22));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(m_BarColour);
    const QString text = QStringLiteral("%1 \u00b5m").arg(double(m_BarLength));
    painter.drawText(QRectF(bar.left() - 200, bar.top() - 4 - font.pixelSize() * 1.4,
                            bar.width() + 200, font.pixelSize() * 1.4),
                     Qt::AlignRight | Qt::AlignBottom, text);
}

void ImageFrame::mousePressEvent(QMouseEvent *event)
{
    m_DragStart = event->pos();
    m_DragCentre = m_Centre;
    QFrame::mousePressEvent(event);
}

void ImageFrame::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        setCentre(m_DragCentre - QPointF(event->pos() - m_DragStart) / scale());
        update();
    }
    QFrame::mouseMoveEvent(event);
}

void ImageFrame::mouseDoubleClickEvent(QMouseEvent *event)
{
    zoomAt(m_Zoom > 1.0 ? 1.0 : 2.0, event->pos());
}

void ImageFrame::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0)
        zoomAt(m_Zoom * std::pow(1.25, steps), event->position());
    event->accept();
}

void ImageFrame::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    setCentre(m_Centre);
}
