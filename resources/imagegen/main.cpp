// Draws the instrument's embedded images from plain-text lists and writes a .qrc for them.
// Usage: imagegen <output folder> <qrc file> <list>...
// A list line: kind | WIDTHxHEIGHT | path under the prefix folders | caption
// Kinds: button, pressed, disabled, checked, light, background, title, icon:<name>
// (icon:signal0..signal5 a five-bar scale, icon:blank transparent),
// columns:<width>,<width>,... (caption: titles separated by ";"),
// texts:<pixel size> (a plain panel; caption: "x,y,w,h,text" items separated by ";").
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>

namespace {

const QColor Blue(0x1f, 0x5f, 0xa8);
const QColor DarkBlue(0x15, 0x46, 0x7d);
const QColor Panel(0xee, 0xf2, 0xf7);
const QColor Ink(0x1d, 0x27, 0x33);
const QColor Grey(0xa9, 0xb2, 0xbd);
const QColor Green(0x2e, 0x9d, 0x5b);

// Pixel size 0: chosen from the height; the text shrinks until it fits the width.
void caption(QPainter &p, const QRect &r, const QString &text, const QColor &colour,
             int pixelSize = 0)
{
    if (text.isEmpty())
        return;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    int px = pixelSize > 0 ? pixelSize : qMin(r.height() * 2 / 5, 26);
    font.setPixelSize(qMax(px, 9));
    while (px > 9 && QFontMetrics(font).horizontalAdvance(text) > r.width() - 10) {
        --px;
        font.setPixelSize(px);
    }
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, Qt::AlignCenter | Qt::TextWordWrap, text);
}

void button(QPainter &p, const QRect &r, const QColor &top, const QColor &bottom,
            const QColor &text, const QString &label, bool frame)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    QPainterPath path;
    path.addRoundedRect(QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5), 10, 10);
    p.fillPath(path, g);
    if (frame) {
        p.setPen(QPen(DarkBlue, 2));
        p.drawPath(path);
    }
    caption(p, r, label, text);
}

void icon(QPainter &p, const QRect &r, const QString &name, const QString &label)
{
    p.setPen(QPen(Ink, 2));
    const QRectF f = QRectF(r).adjusted(r.width() * 0.15, r.height() * 0.15,
                                        -r.width() * 0.15, -r.height() * 0.15);
    if (name == QLatin1String("folder")) {
        QPainterPath tab;
        tab.addRoundedRect(QRectF(f.left(), f.top() + f.height() * 0.1, f.width() * 0.45,
                                  f.height() * 0.3), 3, 3);
        p.fillPath(tab, QColor(0xe0, 0xa8, 0x30));
        QPainterPath body;
        body.addRoundedRect(QRectF(f.left(), f.top() + f.height() * 0.25, f.width(),
                                   f.height() * 0.7), 3, 3);
        p.fillPath(body, QColor(0xf4, 0xc2, 0x4c));
    } else if (name == QLatin1String("file")) {
        p.setBrush(Qt::white);
        p.drawRect(f.adjusted(f.width() * 0.15, 0, -f.width() * 0.15, 0));
        for (int i = 1; i < 4; ++i)
            p.drawLine(QPointF(f.left() + f.width() * 0.3, f.top() + f.height() * i / 4.0),
                       QPointF(f.right() - f.width() * 0.3, f.top() + f.height() * i / 4.0));
    } else if (name == QLatin1String("disk")) {
        p.setBrush(Grey);
        p.drawRoundedRect(f.adjusted(0, f.height() * 0.25, 0, -f.height() * 0.1), 4, 4);
        p.setBrush(Green);
        p.drawEllipse(QPointF(f.right() - f.width() * 0.15, f.center().y() + f.height() * 0.1),
                      f.width() * 0.05, f.width() * 0.05);
    } else if (name.startsWith(QLatin1String("wifi"))) {
        // wifi0..wifi4: signal bars; wifioff: crossed; wifion: all bars.
        int level = 4;
        if (name == QLatin1String("wifioff") || name == QLatin1String("wifiempty"))
            level = 0;
        else if (name.size() == 5)
            level = name.at(4).digitValue();
        const int bars = 4;
        const qreal w = f.width() / (bars * 1.5);
        for (int i = 0; i < bars; ++i) {
            const qreal h = f.height() * (i + 1) / bars;
            const QRectF bar(f.left() + i * w * 1.5, f.bottom() - h, w, h);
            p.fillRect(bar, i < level ? Blue : QColor(0xd5, 0xdb, 0xe3));
        }
        if (name == QLatin1String("wifioff")) {
            p.setPen(QPen(QColor(0xc0, 0x39, 0x2b), 4));
            p.drawLine(f.topLeft(), f.bottomRight());
        }
    } else if (name.startsWith(QLatin1String("signal"))) {
        // signal0..signal5: a signal-strength scale of five bars.
        const int level = name.mid(6).toInt();
        const qreal w = f.width() / 7.5;
        for (int i = 0; i < 5; ++i) {
            const qreal h = f.height() * (i + 1) / 5;
            const QRectF bar(f.left() + i * w * 1.5, f.bottom() - h, w, h);
            p.fillRect(bar, i < level ? Blue : QColor(0xd5, 0xdb, 0xe3));
        }
    } else if (name == QLatin1String("blank")) {
        // Transparent: keeps a row's text in line with rows that have an icon.
    } else if (name == QLatin1String("lock")) {
        p.setPen(QPen(Ink, 3));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(f.left() + f.width() * 0.25, f.top(), f.width() * 0.5, f.height() * 0.6),
                  0, 180 * 16);
        p.setBrush(Ink);
        p.drawRect(QRectF(f.left() + f.width() * 0.15, f.top() + f.height() * 0.35,
                          f.width() * 0.7, f.height() * 0.6));
    } else if (name.startsWith(QLatin1String("arrow"))) {
        QPolygonF tri;
        const QPointF c = f.center();
        const qreal s = qMin(f.width(), f.height()) / 2;
        if (name.endsWith(QLatin1String("up")))
            tri << QPointF(c.x(), c.y() - s) << QPointF(c.x() - s, c.y() + s / 2)
                << QPointF(c.x() + s, c.y() + s / 2);
        else if (name.endsWith(QLatin1String("down")))
            tri << QPointF(c.x(), c.y() + s) << QPointF(c.x() - s, c.y() - s / 2)
                << QPointF(c.x() + s, c.y() - s / 2);
        else if (name.endsWith(QLatin1String("left")))
            tri << QPointF(c.x() - s, c.y()) << QPointF(c.x() + s / 2, c.y() - s)
                << QPointF(c.x() + s / 2, c.y() + s);
        else
            tri << QPointF(c.x() + s, c.y()) << QPointF(c.x() - s / 2, c.y() - s)
                << QPointF(c.x() - s / 2, c.y() + s);
        p.setPen(Qt::NoPen);
        p.setBrush(Blue);
        p.drawPolygon(tri);
    } else if (name == QLatin1String("close") || name == QLatin1String("clear")) {
        p.setBrush(name == QLatin1String("close") ? Blue : Grey);
        p.setPen(Qt::NoPen);
        p.drawEllipse(f);
        p.setPen(QPen(Qt::white, 3));
        const QRectF x = f.adjusted(f.width() * 0.3, f.height() * 0.3, -f.width() * 0.3,
                                    -f.height() * 0.3);
        p.drawLine(x.topLeft(), x.bottomRight());
        p.drawLine(x.topRight(), x.bottomLeft());
    } else if (name == QLatin1String("power")) {
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(f.adjusted(4, 4, -4, -4), 120 * 16, 300 * 16);
        p.drawLine(QPointF(f.center().x(), f.top()), QPointF(f.center().x(), f.center().y()));
    } else if (name == QLatin1String("plus") || name == QLatin1String("minus")) {
        p.setPen(QPen(Blue, 5));
        p.drawLine(QPointF(f.left(), f.center().y()), QPointF(f.right(), f.center().y()));
        if (name == QLatin1String("plus"))
            p.drawLine(QPointF(f.center().x(), f.top()), QPointF(f.center().x(), f.bottom()));
    } else if (name == QLatin1String("check")) {
        p.setPen(QPen(Green, 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(f.left(), f.center().y()),
                   QPointF(f.left() + f.width() * 0.4, f.bottom()));
        p.drawLine(QPointF(f.left() + f.width() * 0.4, f.bottom()), f.topRight());
    } else {
        p.setPen(QPen(Ink, 2));
        p.drawRect(f);
    }
    if (!label.isEmpty())
        caption(p, QRect(r.left(), r.bottom() - r.height() / 3, r.width(), r.height() / 3),
                label, Ink);
}

QImage draw(const QString &kind, const QSize &size, const QString &label)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect r(QPoint(0, 0), size);
    if (kind == QLatin1String("button"))
        button(p, r, QColor(0x2f, 0x74, 0xc4), Blue, Qt::white, label, false);
    else if (kind == QLatin1String("pressed"))
        button(p, r, DarkBlue, QColor(0x0f, 0x35, 0x5f), QColor(0xdd, 0xe6, 0xf0), label, false);
    else if (kind == QLatin1String("disabled"))
        button(p, r, QColor(0xd5, 0xdb, 0xe3), QColor(0xc4, 0xcb, 0xd4), QColor(0x8a, 0x93, 0x9e),
               label, false);
    else if (kind == QLatin1String("checked"))
        button(p, r, QColor(0x3a, 0xb0, 0x6c), Green, Qt::white, label, true);
    else if (kind == QLatin1String("light"))
        button(p, r, Qt::white, Panel, Blue, label, true);
    else if (kind == QLatin1String("background")) {
        p.fillRect(r, Panel);
        p.setPen(QPen(QColor(0xd0, 0xd8, 0xe2), 2));
        p.drawRect(r.adjusted(1, 1, -1, -1));
        caption(p, QRect(0, 0, r.width(), qMin(60, r.height())), label, Ink);
    } else if (kind == QLatin1String("title")) {
        p.fillRect(r, Blue);
        caption(p, r, label, Qt::white);
    } else if (kind.startsWith(QLatin1String("columns:"))) {
        // A table's column titles: "columns:180,200,..." gives the widths, the caption
        // the titles separated by ";"; the last title takes the rest of the width.
        p.fillRect(r, Blue);
        const QStringList widths = kind.mid(8).split(QLatin1Char(','));
        const QStringList titles = label.split(QLatin1Char(';'));
        int x = 0;
        for (int i = 0; i < titles.size(); ++i) {
            const int w = i < widths.size() ? widths.at(i).toInt() : r.width() - x;
            caption(p, QRect(x, 0, w, r.height()), titles.at(i), Qt::white);
            x += w;
            if (i + 1 < titles.size()) {
                p.setPen(QPen(DarkBlue, 2));
                p.drawLine(x, 8, x, r.height() - 8);
            }
        }
    } else if (kind.startsWith(QLatin1String("texts:"))) {
        // A panel with captions at given places, for a screen's fixed field names.
        const int px = kind.mid(6).toInt();
        p.fillRect(r, Panel);
        p.setPen(QPen(QColor(0xd0, 0xd8, 0xe2), 2));
        p.drawRect(r.adjusted(1, 1, -1, -1));
        for (const QString &item : label.split(QLatin1Char(';'))) {
            const QStringList f = item.split(QLatin1Char(','));
            if (f.size() >= 5)
                caption(p, QRect(f.at(0).toInt(), f.at(1).toInt(), f.at(2).toInt(),
                                 f.at(3).toInt()), f.mid(4).join(QLatin1Char(',')), Ink, px);
        }
    } else if (kind.startsWith(QLatin1String("icon:")))
        icon(p, r, kind.mid(5), label);
    else
        p.fillRect(r, Qt::magenta);
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: imagegen <output folder> <qrc> <list>...\n");
        return 2;
    }
    const QDir out(args.at(1));
    QStringList files;
    for (int i = 3; i < args.size(); ++i) {
        QFile list(args.at(i));
        if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
            std::fprintf(stderr, "imagegen: cannot read %s\n", qPrintable(args.at(i)));
            return 1;
        }
        QTextStream in(&list);
        int lineNo = 0;
        while (!in.atEnd()) {
            const QString line = in.readLine().trimmed();
            ++lineNo;
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            const QStringList parts = line.split(QLatin1Char('|'));
            if (parts.size() < 3) {
                std::fprintf(stderr, "%s:%d: expected kind | WxH | path [| caption]\n",
                             qPrintable(args.at(i)), lineNo);
                return 1;
            }
            const QStringList wh = parts.at(1).trimmed().split(QLatin1Char('x'));
            const QSize size(wh.value(0).toInt(), wh.value(1).toInt());
            const QString path = parts.at(2).trimmed();
            if (size.isEmpty() || path.isEmpty()) {
                std::fprintf(stderr, "%s:%d: bad size or path\n", qPrintable(args.at(i)), lineNo);
                return 1;
            }
            const QString label = parts.size() > 3 ? parts.at(3).trimmed() : QString();
            const QString target = out.filePath(path);
            QDir().mkpath(QFileInfo(target).absolutePath());
            if (!draw(parts.at(0).trimmed(), size, label).save(target, "PNG")) {
                std::fprintf(stderr, "imagegen: cannot write %s\n", qPrintable(target));
                return 1;
            }
            if (!files.contains(path))
                files << path;
        }
    }
    QFile qrc(args.at(2));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate))
        return 1;
    QTextStream q(&qrc);
    q << "<RCC>\n  <qresource prefix=\"/\">\n";
    for (const QString &f : files) {
        QString escaped = f.toHtmlEscaped();
        q << "    <file alias=\"" << escaped << "\">" << out.filePath(f).toHtmlEscaped()
          << "</file>\n";
    }
    q << "  </qresource>\n</RCC>\n";
    return 0;
}
