#include "SampleData.h"

#include "CSVReaderWriter.h"
#include "Core.h"
#include "ImReaderWriter.h"
#include "SystemPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QSaveFile>

namespace SampleData {

namespace {

// One field of the counting slide: 480 x 360 um at 0.375 um per pixel, 100 um deep, in mL.
const float FieldVolume = 0.048f * 0.036f * 0.01f;

QVector<QPointF> cellCentres(const Field &field, int width, int height)
{
    QRandomGenerator random(quint32(field.cells * 7919 + width));
    QVector<QPointF> centres;
    for (int i = 0; i < field.cells; ++i)
        centres << QPointF(10 + random.bounded(qMax(1, width - 20)),
                           10 + random.bounded(qMax(1, height - 20)));
    return centres;
}

double radius(const Field &field, int width)
{
    // Cell size in um to pixels (0.375 um each), scaled with the image width.
    return qMax(1.5, double(field.meanSize) / 0.375 / 2 * width / 1280.0);
}

bool writeImage(const QString &path, const QImage &picture, const QString &meta)
{
    const bool rgb = picture.format() == QImage::Format_RGB888;
    const int bytesPerRow = picture.width() * (rgb ? 3 : 1);
    QByteArray pixels(bytesPerRow * picture.height(), Qt::Uninitialized);
    for (int y = 0; y < picture.height(); ++y)
        memcpy(pixels.data() + y * bytesPerRow, picture.constScanLine(y), size_t(bytesPerRow));
    general::ImReaderWriter writer;
    if (!writer.setImage(pixels.constData(), picture.width(), picture.height(), 8, rgb ? 3 : 1))
        return false;
    QDir().mkpath(QFileInfo(SystemPaths::map(path)).absolutePath());
    return writer.write(path.toStdString(), meta.toStdString());
}

QString fieldName(int index, const char *kind)
{
    return QStringLiteral("%1_%2.tif").arg(index + 1, 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(kind));
}

QString concentrationText(int cells, float volume, int dilution)
{
    float mantissa = 0;
    int exponent = 0;
    Tesmora::Core::concentration(cells, volume, float(dilution), mantissa, exponent);
    return QString::asprintf("%.2fE%02d", double(mantissa), exponent);
}

} // namespace

Field field(int cells, float meanSize, float volumeFactor, int dilutionFactor)
{
    Field f;
    f.cells = cells;
    f.meanSize = meanSize;
    f.volumeFactor = volumeFactor;
    f.dilutionFactor = dilutionFactor;
    return f;
}

QString metadata(const Field &field, const QString &software)
{
    QStringList items;
    items << QStringLiteral("Instrument=") + software
          << QStringLiteral("Counted cell number=%1").arg(field.cells)
          << QStringLiteral("Average fluorescent object size=%1").arg(double(field.meanSize), 0, 'f', 2);
    if (field.volumeFactor > 0)
        items << QStringLiteral("Volume factor=%1").arg(double(field.volumeFactor), 0, 'g', 6);
    if (field.dilutionFactor > 0)
        items << QStringLiteral("Dilution factor=%1").arg(field.dilutionFactor);
    return items.join(QLatin1Char(','));
}

bool writeRawImage(const QString &path, const Field &field, int width, int height)
{
    QImage picture(width, height, QImage::Format_Grayscale8);
    picture.fill(QColor(18, 18, 18));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(210, 210, 210));
    const double r = radius(field, width);
    for (const QPointF &c : cellCentres(field, width, height))
        painter.drawEllipse(c, r, r);
    painter.end();
    return writeImage(path, picture, metadata(field));
}

bool writeTagImage(const QString &path, const Field &field, int width, int height,
                   const QString &software)
{
    QImage picture(width, height, QImage::Format_RGB888);
    picture.fill(QColor(12, 14, 12));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const double r = radius(field, width);
    QFont font = painter.font();
    font.setPixelSize(qMax(8, int(r * 1.6)));
    painter.setFont(font);
    int number = 0;
    for (const QPointF &c : cellCentres(field, width, height)) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(60, 200, 90));
        painter.drawEllipse(c, r, r);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(255, 220, 0), qMax(1.0, r / 4)));
        painter.drawEllipse(c, r + 2, r + 2);
        painter.setPen(QColor(255, 90, 90));
        painter.drawText(c + QPointF(r + 3, -r - 3), QString::number(++number));
    }
    painter.end();
    return writeImage(path, picture, metadata(field, software));
}

bool writeSaveFolder(const QString &folder, const QVector<Field> &fields, int width, int height)
{
    QStringList csv{QStringLiteral("Field,Cells,Average size (um),Volume factor,Dilution factor")};
    for (int i = 0; i < fields.size(); ++i) {
        const Field &field = fields.at(i);
        if (!writeRawImage(folder + QLatin1Char('/') + fieldName(i, "RAW"), field, width, height)
            || !writeTagImage(folder + QLatin1Char('/') + fieldName(i, "TAG"), field, width, height))
            return false;
        csv << QStringLiteral("%1,%2,%3,%4,%5").arg(i + 1).arg(field.cells)
                   .arg(double(field.meanSize), 0, 'f', 2).arg(double(field.volumeFactor), 0, 'g', 6)
                   .arg(field.dilutionFactor);
    }
    const QString name = QFileInfo(folder).fileName();
    QSaveFile file(SystemPaths::map(folder + QLatin1Char('/') + name + QStringLiteral(".csv")));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(csv.join(QLatin1Char('\n')).toUtf8() + '\n');
    return file.commit();
}

QString resultsLogRow(const QString &name, const QString &dateTime, const QVector<Field> &fields,
                      const QString &protocol)
{
    int cells = 0;
    float sizeSum = 0;
    float volume = 0;
    int dilution = 1;
    for (const Field &field : fields) {
        cells += field.cells;
        sizeSum += field.meanSize;
        volume += field.volumeFactor;
        if (field.dilutionFactor > 0)
            dilution = field.dilutionFactor;
    }
    QStringList row{name, dateTime, QString::number(cells),
                    concentrationText(cells, volume, dilution),
                    QString::number(fields.isEmpty() ? 0.0 : double(sizeSum) / fields.size(), 'f', 2),
                    protocol};
    for (const Field &field : fields)
        row << QString::number(field.cells)
            << concentrationText(field.cells, field.volumeFactor, dilution);
    return row.join(QLatin1Char(','));
}

bool writeResultsLog(const QStringList &rows)
{
    const QString path = SystemPaths::map(SystemPaths::resultsLogFile());
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QStringList lines{QString::fromStdString(CSVReaderWriter::resultsLogHeader())};
    lines << rows;
    file.write(lines.join(QLatin1Char('\n')).toUtf8());
    return file.commit();
}

QVector<Field> typicalCount(int meanCells, float meanSize, int dilution, int fields)
{
    QRandomGenerator random(quint32(meanCells * 31 + dilution));
    QVector<Field> count;
    for (int i = 0; i < fields; ++i) {
        Field field;
        field.cells = qMax(0, meanCells + int(random.bounded(meanCells / 4 + 1)) - meanCells / 8);
        field.meanSize = meanSize + float(random.bounded(100)) / 100.0f - 0.5f;
        field.volumeFactor = FieldVolume;
        field.dilutionFactor = dilution;
        count << field;
    }
    return count;
}

} // namespace SampleData
