#include "SyntheticField.h"

#include "ImReaderWriter.h"
#include "SystemPaths.h"

#include <QDir>
#include <QFileInfo>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>

const float SyntheticField::PixelSize = 0.375f;

namespace {

// Room kept free around each placed item, pixels: separated things stay apart after blur.
const float Gap = 4.0f;

struct Item
{
    float x, y, radius;
};

} // namespace

float SyntheticField::Shape::size() const
{
    return std::sqrt(major * minor) * PixelSize;
}

SyntheticField::Options SyntheticField::separatedCells(int width, int height, int cells,
                                                      unsigned seed)
{
    Options o;
    o.width = width;
    o.height = height;
    o.cells = cells;
    o.pairs = 0;
    o.debris = 0;
    o.elongated = 0;
    o.seed = seed;
    return o;
}

SyntheticField::SyntheticField(const Options &options)
{
    place(options);
    render(options);
}

int SyntheticField::cellCount() const
{
    return int(std::count_if(m_Shapes.begin(), m_Shapes.end(), [](const Shape &s) {
        return s.kind == Cell || s.kind == PairedCell;
    }));
}

int SyntheticField::pairCount() const
{
    return int(std::count_if(m_Shapes.begin(), m_Shapes.end(),
                             [](const Shape &s) { return s.kind == PairedCell; }))
           / 2;
}

float SyntheticField::meanCellSize() const
{
    double sum = 0.0;
    int n = 0;
    for (const Shape &shape : m_Shapes) {
        if (shape.kind == Cell || shape.kind == PairedCell) {
            sum += shape.size();
            ++n;
        }
    }
    return n > 0 ? float(sum / n) : 0.0f;
}

void SyntheticField::place(const Options &o)
{
    std::mt19937 random(o.seed);
    auto uniform = [&random](float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(random);
    };
    std::vector<Item> items;
    // Finds a free centre for an item of the radius; false when the field is full.
    auto freeSpot = [&](float radius, float &x, float &y) {
        const float margin = radius + Gap;
        if (2 * margin >= o.width || 2 * margin >= o.height)
            return false;
        for (int attempt = 0; attempt < 500; ++attempt) {
            x = uniform(margin, o.width - margin);
            y = uniform(margin, o.height - margin);
            const bool clear = std::none_of(items.begin(), items.end(), [&](const Item &i) {
                return std::hypot(i.x - x, i.y - y) < i.radius + radius + Gap;
            });
            if (clear) {
                items.push_back({x, y, radius});
                return true;
            }
        }
        return false;
    };
    auto roundCell = [&](Kind kind) {
        Shape s;
        s.kind = kind;
        const float diameter = uniform(o.meanSize - o.sizeSpread, o.meanSize + o.sizeSpread)
                               / PixelSize;
        // Same area as a circle of that diameter, slightly oval.
        const float ratio = uniform(o.cellRoundness, 1.0f);
        s.major = diameter / std::sqrt(ratio);
        s.minor = diameter * std::sqrt(ratio);
        s.angle = uniform(0.0f, 180.0f);
        s.brightness = uniform(70.0f, 150.0f);
        return s;
    };

    for (int i = 0; i < o.cells; ++i) {
        Shape s = roundCell(Cell);
        if (freeSpot(s.major / 2, s.x, s.y))
            m_Shapes.push_back(s);
    }
    for (int i = 0; i < o.pairs; ++i) {
        Shape a = roundCell(PairedCell);
        Shape b = roundCell(PairedCell);
        b.brightness = a.brightness * uniform(0.85f, 1.15f);
        const float ra = a.major / 2;
        const float rb = b.major / 2;
        // From just touching to pressed 15 % into each other.
        const float distance = (ra + rb) * uniform(0.85f, 1.0f);
        const float direction = uniform(0.0f, float(2 * CV_PI));
        const float ux = std::cos(direction);
        const float uy = std::sin(direction);
        const float offsetA = distance * rb / (ra + rb);
        const float offsetB = distance - offsetA;
        float x = 0.0f;
        float y = 0.0f;
        if (!freeSpot(std::max(offsetA + ra, offsetB + rb), x, y))
            continue;
        a.x = x - ux * offsetA;
        a.y = y - uy * offsetA;
        b.x = x + ux * offsetB;
        b.y = y + uy * offsetB;
        m_Shapes.push_back(a);
        m_Shapes.push_back(b);
    }
    for (int i = 0; i < o.debris; ++i) {
        Shape s;
        s.kind = Debris;
        s.major = s.minor = o.debrisSize / PixelSize * uniform(0.8f, 1.2f);
        s.brightness = uniform(60.0f, 140.0f);
        if (freeSpot(s.major / 2, s.x, s.y))
            m_Shapes.push_back(s);
    }
    for (int i = 0; i < o.elongated; ++i) {
        Shape s;
        s.kind = Elongated;
        const float diameter = o.meanSize / PixelSize;
        s.major = diameter / std::sqrt(o.elongation);
        s.minor = diameter * std::sqrt(o.elongation);
        s.angle = uniform(0.0f, 180.0f);
        s.brightness = uniform(70.0f, 150.0f);
        if (freeSpot(s.major / 2, s.x, s.y))
            m_Shapes.push_back(s);
    }
}

void SyntheticField::render(const Options &o)
{
    // Each pixel covered by 4 x 4 samples; touching shapes take the brighter cover.
    cv::Mat cells = cv::Mat::zeros(o.height, o.width, CV_32F);
    const int samples = 4;
    for (const Shape &s : m_Shapes) {
        const float a = s.major / 2;
        const float b = s.minor / 2;
        const float c = std::cos(s.angle * float(CV_PI) / 180.0f);
        const float sn = std::sin(s.angle * float(CV_PI) / 180.0f);
        const int left = std::max(0, int(std::floor(s.x - a - 1)));
        const int right = std::min(o.width - 1, int(std::ceil(s.x + a + 1)));
        const int top = std::max(0, int(std::floor(s.y - a - 1)));
        const int bottom = std::min(o.height - 1, int(std::ceil(s.y + a + 1)));
        for (int y = top; y <= bottom; ++y) {
            float *row = cells.ptr<float>(y);
            for (int x = left; x <= right; ++x) {
                int inside = 0;
                for (int sy = 0; sy < samples; ++sy) {
                    for (int sx = 0; sx < samples; ++sx) {
                        // Pixel x covers [x - 0.5, x + 0.5).
                        const float dx = x - 0.5f + (sx + 0.5f) / samples - s.x;
                        const float dy = y - 0.5f + (sy + 0.5f) / samples - s.y;
                        const float u = (dx * c + dy * sn) / a;
                        const float v = (-dx * sn + dy * c) / b;
                        if (u * u + v * v <= 1.0f)
                            ++inside;
                    }
                }
                const float value = s.brightness * float(inside) / (samples * samples);
                row[x] = std::max(row[x], value);
            }
        }
    }
    // The optics soften every edge a little.
    cv::GaussianBlur(cells, cells, cv::Size(0, 0), 0.7);

    // Uneven light: brighter to one side, darker corners.
    cv::Mat light(o.height, o.width, CV_32F);
    const float cx = o.width / 2.0f;
    const float cy = o.height / 2.0f;
    const float corner = cx * cx + cy * cy;
    for (int y = 0; y < o.height; ++y) {
        float *row = light.ptr<float>(y);
        for (int x = 0; x < o.width; ++x) {
            const float r2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / corner;
            row[x] = 25.0f + 30.0f * x / o.width + 10.0f * y / o.height - 15.0f * r2;
        }
    }
    cv::Mat noise(o.height, o.width, CV_32F);
    cv::RNG rng(o.seed * 2654435761u + 1u);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, double(o.noise));
    cv::Mat field = cells + light + noise;
    if (o.bits == 16)
        field.convertTo(m_Image, CV_16U, 16.0);  // 12-bit values
    else
        field.convertTo(m_Image, CV_8U);
}

namespace {

bool writeImage(const QString &path, const cv::Mat &image, const QString &metadata)
{
    general::ImReaderWriter writer;
    const uint16_t bits = image.depth() == CV_16U ? 16 : 8;
    if (!image.isContinuous()
        || !writer.setImage(image.data, image.cols, image.rows, bits, uint16_t(image.channels())))
        return false;
    QDir().mkpath(QFileInfo(SystemPaths::map(path)).absolutePath());
    return writer.write(path.toStdString(), metadata.toStdString());
}

QString fieldFile(size_t index, const char *kind)
{
    return QStringLiteral("/%1_%2.tif").arg(int(index + 1), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(kind));
}

} // namespace

bool SyntheticField::write(const QString &path, const QString &metadata) const
{
    return writeImage(path, m_Image, metadata);
}

bool SyntheticField::writeSaveFolder(const QString &folder, const std::vector<Options> &fields,
                                     const QString &metadata, std::vector<int> *trueCounts)
{
    for (size_t i = 0; i < fields.size(); ++i) {
        const SyntheticField field(fields[i]);
        if (!field.write(folder + fieldFile(i, "RAW"), metadata))
            return false;
        if (trueCounts)
            trueCounts->push_back(field.cellCount());
    }
    return true;
}

bool SyntheticField::writeSavedCount(const QString &folder, const std::vector<Options> &fields,
                                     const analysis_param_t &param, float volumeFactor,
                                     int dilutionFactor)
{
    for (size_t i = 0; i < fields.size(); ++i) {
        const SyntheticField field(fields[i]);
        ORBELIN_Vn counter;
        counter.setImage(Tesmora::GFL, field.image());
        if (!counter.findObject(param))
            return false;
        int count = 0;
        int exponent = 0;
        float mantissa = 0.0f;
        float meanSize = 0.0f;
        float sizeSum = 0.0f;
        counter.result(count, mantissa, exponent, meanSize, sizeSum);
        const QString metadata =
            QStringLiteral("Instrument=ORBELIN_Vn,Counted cell number=%1,"
                           "Average fluorescent object size=%2,Volume factor=%3,"
                           "Dilution factor=%4")
                .arg(count)
                .arg(double(meanSize), 0, 'f', 2)
                .arg(double(volumeFactor), 0, 'g', 6)
                .arg(dilutionFactor);
        if (!field.write(folder + fieldFile(i, "RAW"), metadata)
            || !writeImage(folder + fieldFile(i, "TAG"), counter.image(Tesmora::TAG), metadata))
            return false;
    }
    return true;
}
