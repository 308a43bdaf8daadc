#pragma once

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QPointF>

// The zoom-and-pan image view of the count and review screens; it keeps its own copy of
// the pixels. A finger (or mouse) drag pans, a double tap toggles between the whole
// image and a 2x zoom at that point, the wheel zooms. An optional scale bar shows a
// length in micrometres in the bottom right corner.
class ImageFrame : public QFrame
{
    Q_OBJECT

public:
    static constexpr qreal MaxZoom = 8.0;

    explicit ImageFrame(QWidget *parent = nullptr);
    ~ImageFrame() override;

    void setScaleBarEnable(bool enable);
    bool scaleBarEnabled() const { return m_ScaleBarEnabled; }
    // A bar of length micrometres for a camera pixel of pixelSize micrometres behind an
    // objective of the given magnification, drawn in the given colour.
    void createScaleBar(float pixelSize, float magnification, float length, int red, int green,
                        int blue);
    // The bar's length in image pixels (0 until created).
    qreal scaleBarPixels() const;

    // Centres the view on the image point (x, y), as far as the image reaches.
    void setPosition(int x, int y);
    // 1 shows the whole image; up to MaxZoom. Keeps the centre of the view.
    void setZoom(qreal zoom);
    qreal zoom() const { return m_Zoom; }
    // The image point at the view's centre.
    QPointF viewCentre() const;

    const QImage &image() const { return m_Image; }

public Q_SLOTS:
    // Copies width x height x bitsPerPixel / 8 bytes: 8 bits grey, 16 bits grey, 24 bits
    // RGB. Anything else clears the view.
    void slotSetImageData(unsigned char *pixels, int width, int height, int bitsPerPixel);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    qreal scale() const;             // screen pixels per image pixel
    QSizeF visibleSize() const;      // image pixels in view
    void setCentre(const QPointF &centre);
    void zoomAt(qreal zoom, const QPointF &widgetPoint);
    void drawScaleBar(QPainter &painter);

    QImage m_Image;
    qreal m_Zoom = 1.0;
    QPointF m_Centre;                // image point at the centre of the view
    QPoint m_DragStart;
    QPointF m_DragCentre;
    bool m_ScaleBarEnabled = false;
    float m_PixelSize = 0.0f;
    float m_Magnification = 0.0f;
    float m_BarLength = 0.0f;
    QColor m_BarColour = Qt::white;
};
