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
// A vacuole passes this share of its cell's light.
const float VacuoleLight = 0.6f;
// Touching cells are pressed up to this share of their radii into each other.
const float Pressed = 0.15f;

struct Item
{
    float x, y, radius;
};


float median(const cv::Mat &values)
{
    std::vector<float> all(values.begin<float>(), values.end<float>());
    std::nth_element(all.begin(), all.begin() + long(all.size() / 2), all.end());
    return all.empty() ? 0.0f : all[all.size() / 2];
}

// Mean of profile (offsets from the shape's centre, pixels) over 4 x 4 samples of pixel (x, y).
template <typename Profile>
float pixelCover(float x, float y, const Profile &profile)
{
    const int samples = 4;
    float sum = 0.0f;
    for (int sy = 0; sy < samples; ++sy) {
        for (int sx = 0; sx < samples; ++sx) {
            // Pixel x covers [x - 0.5, x + 0.5).
            sum += profile(x - 0.5f + (sx + 0.5f) / samples, y - 0.5f + (sy + 0.5f) / samples);
        }
    }
    return sum / (samples * samples);
}

// Draws a shape of the brightness within reach pixels of its centre, the brighter of it and
// what is there already; skip(x, y) tells pixels it cannot cover.
template <typename Profile, typename Skip>
void draw(cv::Mat &canvas, const SyntheticField::Shape &s, float reach, const Profile &profile,
          const Skip &skip)
{
    const int left = std::max(0, int(std::floor(s.x - reach)));
    const int right = std::min(canvas.cols - 1, int(std::ceil(s.x + reach)));
    const int top = std::max(0, int(std::floor(s.y - reach)));
    const int bottom = std::min(canvas.rows - 1, int(std::ceil(s.y + reach)));
    for (int y = top; y <= bottom; ++y) {
        float *row = canvas.ptr<float>(y);
        for (int x = left; x <= right; ++x) {
            if (skip(float(x) - s.x, float(y) - s.y))
                continue;
            const float value = s.brightness * pixelCover(float(x) - s.x, float(y) - s.y, profile);
            row[x] = std::max(row[x], value);
        }
    }
}

// A cell or elongated shape: a dome over the ellipse or rod (the light of a lens-shaped or
// cylindrical body), an even disc, or a flat top falling to s.rim at the edge, dimmer inside
// the vacuole.
void drawCell(cv::Mat &canvas, const SyntheticField::Shape &s, SyntheticField::Profile profile)
{
    const float a = s.major / 2;
    const float b = s.minor / 2;
    // A rod's straight part reaches this far from its centre along its axis.
    const float straight = s.rod ? a - b : 0.0f;
    const float c = std::cos(s.angle * float(CV_PI) / 180.0f);
    const float sn = std::sin(s.angle * float(CV_PI) / 180.0f);
    const float vr2 = s.vacuole * s.vacuole;
    draw(canvas, s, a + 1, [&](float dx, float dy) {
        const float along = dx * c + dy * sn;
        const float u = along / a;
        const float v = (-dx * sn + dy * c) / b;
        // From the axis (a rod's) or the centre, in shares of the half width or half axes.
        const float beyond = std::max(0.0f, std::fabs(along) - straight) / (s.rod ? b : a);
        const float r2 = beyond * beyond + v * v;
        if (r2 >= 1.0f)
            return 0.0f;
        const float du = u - s.vacuoleU;
        const float dv = v - s.vacuoleV;
        const float light = du * du + dv * dv < vr2 ? VacuoleLight : 1.0f;
        switch (profile) {
        case SyntheticField::Dome:
            return std::sqrt(1.0f - r2) * light;
        case SyntheticField::FlatTop:
            return (1.0f - (1.0f - s.rim) * r2) * light;
        case SyntheticField::Disc:
            break;
        }
        return light;
    }, [](float, float) { return false; });
}

// An out-of-focus blob: a disc with soft edges.
void drawBlob(cv::Mat &canvas, const SyntheticField::Shape &s)
{
    const float radius = s.major / 2;
    const float edge = 0.12f * radius;
    draw(canvas, s, radius + 6 * edge, [&](float dx, float dy) {
        return 1.0f / (1.0f + std::exp((std::hypot(dx, dy) - radius) / edge));
    }, [](float, float) { return false; });
}

// A fibre: a tube of the width along a bent line.
void drawFibre(cv::Mat &canvas, const SyntheticField::Shape &s)
{
    const int segments = 16;
    const float c = std::cos(s.angle * float(CV_PI) / 180.0f);
    const float sn = std::sin(s.angle * float(CV_PI) / 180.0f);
    const float sagitta = s.bend * s.major;
    std::vector<cv::Point2f> line;
    for (int i = 0; i <= segments; ++i) {
        const float t = float(i) / segments;
        const float along = (t - 0.5f) * s.major;
        const float across = 4 * sagitta * t * (1 - t) - sagitta / 2;
        line.emplace_back(along * c - across * sn, along * sn + across * c);
    }
    auto distance = [&line](float x, float y) {
        float nearest = 1e30f;
        for (size_t i = 1; i < line.size(); ++i) {
            const cv::Point2f d = line[i] - line[i - 1];
            const float t = std::clamp(((x - line[i - 1].x) * d.x + (y - line[i - 1].y) * d.y)
                                           / (d.x * d.x + d.y * d.y),
                                       0.0f, 1.0f);
            nearest = std::min(nearest, std::hypot(x - line[i - 1].x - t * d.x,
                                                   y - line[i - 1].y - t * d.y));
        }
        return nearest;
    };
    const float half = s.minor / 2;
    draw(canvas, s, s.major / 2 + std::fabs(sagitta) + half + 1, [&](float dx, float dy) {
        const float r = distance(dx, dy) / half;
        return r < 1.0f ? std::sqrt(1.0f - r * r) : 0.0f;
    }, [&](float dx, float dy) { return distance(dx, dy) > half + 1.0f; });
}

} // namespace

float SyntheticField::Shape::size() const
{
    if (rod)
        return std::sqrt(4 * minor * (major - minor) / float(CV_PI) + minor * minor) * PixelSize;
    return std::sqrt(major * minor) * PixelSize;
}

float SyntheticField::Shape::radius(float direction) const
{
    const float t = direction - angle * float(CV_PI) / 180.0f;
    const float a = major / 2;
    const float b = minor / 2;
    return a * b / std::hypot(b * std::cos(t), a * std::sin(t));
}

SyntheticField::Options SyntheticField::separatedCells(int width, int height, int cells,
                                                      unsigned seed)
{
    Options o;
    o.width = width;
    o.height = height;
    o.cells = cells;
    o.pairs = 0;
    o.triples = 0;
    o.debris = 0;
    o.fibres = 0;
    o.blobs = 0;
    o.elongated = 0;
    o.vacuoles = 0.0f;
    o.profile = Disc;
    o.seed = seed;
    return o;
}

SyntheticField::Options SyntheticField::touchingCells(Profile profile, unsigned seed)
{
    Options o;
    o.cells = 100;
    o.pairs = 30;
    o.triples = 10;
    o.smallPairs = 10;
    o.vacuoles = 0.3f;
    o.overlapAlongLine = true;
    o.profile = profile;
    o.blurMin = 0.9f;
    o.blurMax = 1.6f;
    o.seed = seed;
    return o;
}

SyntheticField::Options SyntheticField::singleCells(int count, bool rod, float width,
                                                   float length, unsigned seed)
{
    Options o = separatedCells(1280, 960, rod ? 0 : count, seed);
    o.profile = Dome;
    o.meanSize = width;
    o.sizeSpread = 0.0f;
    o.cellRoundness = 1.0f;
    o.shortestOval = o.longestOval = length / width;
    o.ovals = rod ? 0 : count;
    o.cells = 0;
    o.rods = rod ? count : 0;
    o.rodWidthMin = o.rodWidthMax = width;
    o.rodLengthMin = o.rodLengthMax = length / width;
    return o;
}

SyntheticField::SyntheticField(const Options &options)
{
    place(options);
    render(options);
}

SyntheticField::SyntheticField(const Options &options, const std::vector<Shape> &shapes)
    : m_Shapes(shapes)
{
    render(options);
}

int SyntheticField::cellCount() const
{
    return int(std::count_if(m_Shapes.begin(), m_Shapes.end(),
                             [](const Shape &s) { return s.isCell(); }));
}

float SyntheticField::meanCellSize() const
{
    double sum = 0.0;
    int n = 0;
    for (const Shape &shape : m_Shapes) {
        if (shape.isCell()) {
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
    // The rims of flat tops have numbers of their own, so that a field keeps its layout
    // whatever the profile.
    std::mt19937 rims(o.seed * 40503u + 7u);
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
    auto put = [&](Shape s, float radius) {
        if (freeSpot(radius, s.x, s.y))
            m_Shapes.push_back(s);
    };
    auto brightness = [&](float low, float high) {
        return o.brightness * uniform(low, high);
    };
    auto roundCell = [&](Kind kind, float smallest, float largest) {
        Shape s;
        s.kind = kind;
        const float diameter = uniform(smallest, largest) / PixelSize;
        // Same area as a circle of that diameter, slightly oval.
        const float ratio = uniform(o.cellRoundness, 1.0f);
        s.major = diameter / std::sqrt(ratio);
        s.minor = diameter * std::sqrt(ratio);
        s.angle = uniform(0.0f, 180.0f);
        const float spread = std::normal_distribution<float>(0.0f, o.brightnessSpread)(random);
        s.brightness = o.brightness * std::clamp(std::exp(spread), 1.0f / 3, 2.5f);
        if (uniform(0.0f, 1.0f) < o.vacuoles) {
            s.vacuole = uniform(0.3f, 0.5f);
            const float offset = uniform(0.0f, 0.8f - s.vacuole);
            const float direction = uniform(0.0f, float(2 * CV_PI));
            s.vacuoleU = offset * std::cos(direction);
            s.vacuoleV = offset * std::sin(direction);
        }
        if (o.profile == FlatTop)
            s.rim = std::uniform_real_distribution<float>(0.52f, 0.62f)(rims);
        return s;
    };
    const float smallest = o.meanSize - o.sizeSpread;
    const float largest = o.meanSize + o.sizeSpread;
    // Cells a and b, centres (dx, dy) apart, overlap by more than a cluster allows.
    auto pressedInto = [&](const Shape &a, const Shape &b, float dx, float dy) {
        if (!o.overlapAlongLine)
            return std::hypot(dx, dy) < (a.major + b.major) / 2 * (1.0f - Pressed) - 1e-3f;
        const float direction = std::atan2(dy, dx);
        return std::hypot(dx, dy)
               < (a.radius(direction) + b.radius(direction)) * (1.0f - o.maxOverlap) - 1e-3f;
    };
    // A touching cluster: each further cell pressed against one placed before, and less
    // bright than the first. The first cell is first to first + 0.2 x the mean size, the
    // others others to others + 0.2 x; 0 for the field's own sizes.
    auto cluster = [&](int size, float first = 0.0f, float others = 0.0f) {
        auto sized = [&](float low) {
            return low > 0.0f
                ? roundCell(ClusterCell, low * o.meanSize, (low + 0.2f) * o.meanSize)
                : roundCell(ClusterCell, smallest, largest);
        };
        std::vector<Shape> cells{sized(first)};
        const float brightest = cells.front().brightness;
        for (int attempt = 0; attempt < 50 && int(cells.size()) < size; ++attempt) {
            Shape s = sized(others);
            s.clusterShare = uniform(o.dimmest, 1.0f);
            s.brightness = brightest * s.clusterShare;
            const Shape &to = cells[size_t(random() % cells.size())];
            float distance = 0.0f;
            float direction = 0.0f;
            if (o.overlapAlongLine) {
                const float overlap = uniform(o.minOverlap, o.maxOverlap);
                direction = uniform(0.0f, float(2 * CV_PI));
                distance = (to.radius(direction) + s.radius(direction)) * (1.0f - overlap);
            } else {
                distance = (to.major + s.major) / 2 * uniform(1.0f - Pressed, 1.0f);
                direction = uniform(0.0f, float(2 * CV_PI));
            }
            s.x = to.x + distance * std::cos(direction);
            s.y = to.y + distance * std::sin(direction);
            const bool apart = std::none_of(cells.begin(), cells.end(), [&](const Shape &c) {
                return pressedInto(c, s, s.x - c.x, s.y - c.y);
            });
            if (apart)
                cells.push_back(s);
        }
        float cx = 0.0f;
        float cy = 0.0f;
        for (const Shape &c : cells) {
            cx += c.x / float(cells.size());
            cy += c.y / float(cells.size());
        }
        float radius = 0.0f;
        for (const Shape &c : cells)
            radius = std::max(radius, std::hypot(c.x - cx, c.y - cy) + c.major / 2);
        float x = 0.0f;
        float y = 0.0f;
        if (int(cells.size()) < size || !freeSpot(radius, x, y))
            return;
        for (Shape &c : cells) {
            c.x += x - cx;
            c.y += y - cy;
            m_Shapes.push_back(c);
        }
    };

    for (int i = 0; i < o.blobs; ++i) {
        Shape s;
        s.kind = Blob;
        s.major = s.minor = o.meanSize * uniform(3.0f, 6.0f) / PixelSize;
        s.brightness = brightness(0.1f, 0.25f);
        put(s, s.major / 2 * 1.7f);
    }
    for (int i = 0; i < o.fibres; ++i) {
        Shape s;
        s.kind = Fibre;
        s.major = uniform(15.0f, 40.0f) / PixelSize;
        s.minor = uniform(1.0f, 2.0f);
        s.angle = uniform(0.0f, 180.0f);
        s.bend = uniform(-0.15f, 0.15f);
        s.brightness = brightness(0.4f, 1.2f);
        put(s, s.major / 2 + std::fabs(s.bend * s.major));
    }
    for (int i = 0; i < o.triples; ++i)
        cluster(3);
    for (int i = 0; i < o.pairs; ++i)
        cluster(2);
    for (int i = 0; i < o.smallPairs; ++i) {
        if (uniform(0.0f, 1.0f) < 0.5f)
            cluster(2, 0.6f, 0.0f);
        else
            cluster(2, 0.0f, 0.6f);
    }
    for (int i = 0; i < o.cells; ++i) {
        const Shape s = roundCell(Cell, smallest, largest);
        put(s, s.major / 2);
    }
    for (int i = 0; i < o.elongated; ++i) {
        Shape s;
        s.kind = Elongated;
        const float diameter = o.meanSize / PixelSize;
        s.major = diameter / std::sqrt(o.elongation);
        s.minor = diameter * std::sqrt(o.elongation);
        s.angle = uniform(0.0f, 180.0f);
        s.brightness = brightness(0.7f, 1.5f);
        put(s, s.major / 2);
    }
    for (int i = 0; i < o.debris; ++i) {
        Shape s;
        s.kind = Debris;
        s.major = s.minor = o.debrisSize / PixelSize * uniform(0.8f, 1.2f);
        s.brightness = brightness(0.6f, 1.4f);
        put(s, s.major / 2);
    }
    // Long cells alone, drawn last so that the fields without them keep their layout.
    for (int i = 0; i < o.ovals + o.rods; ++i) {
        Shape s = roundCell(Cell, smallest, largest);
        s.rod = i >= o.ovals;
        if (s.rod) {
            s.minor = uniform(o.rodWidthMin, o.rodWidthMax) / PixelSize;
            s.major = s.minor * uniform(o.rodLengthMin, o.rodLengthMax);
            s.vacuole = 0.0f;
        } else {
            s.minor = std::sqrt(s.major * s.minor);
            s.major = s.minor * uniform(o.shortestOval, o.longestOval);
        }
        put(s, s.major / 2);
    }
}

void SyntheticField::render(const Options &o)
{
    cv::Mat shapes = cv::Mat::zeros(o.height, o.width, CV_32F);
    for (const Shape &s : m_Shapes) {
        if (s.kind == Blob)
            drawBlob(shapes, s);
        else if (s.kind == Fibre)
            drawFibre(shapes, s);
        else
            drawCell(shapes, s, o.profile);
    }
    // The optics soften every edge.
    std::mt19937 random(o.seed * 7919u + 3u);
    const double blur = std::uniform_real_distribution<double>(o.blurMin, o.blurMax)(random);
    cv::GaussianBlur(shapes, shapes, cv::Size(0, 0), blur);

    // A background brighter to one side, and light falling off towards the corners.
    cv::Mat field(o.height, o.width, CV_32F);
    const float cx = o.width / 2.0f;
    const float cy = o.height / 2.0f;
    const float corner = cx * cx + cy * cy;
    for (int y = 0; y < o.height; ++y) {
        float *row = field.ptr<float>(y);
        const float *shape = shapes.ptr<float>(y);
        for (int x = 0; x < o.width; ++x) {
            const float r2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / corner;
            const float background = 30.0f + 25.0f * x / o.width + 10.0f * y / o.height;
            row[x] = (shape[x] + background) * (1.0f - 0.3f * r2);
        }
    }
    // Shot noise (Poisson, in its normal form: every pixel holds hundreds of electrons)
    // and read noise.
    cv::Mat deviation;
    if (o.electrons > 0.0f) {
        const cv::Mat variance =
            cv::max(field, 0.0) * (1.0 / double(o.electrons)) + double(o.noise * o.noise);
        cv::sqrt(variance, deviation);
    } else {
        deviation = cv::Mat(field.size(), CV_32F, cv::Scalar(o.noise));
    }
    cv::Mat noise(o.height, o.width, CV_32F);
    cv::RNG rng(o.seed * 2654435761u + 1u);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, 1.0);
    const cv::Mat light = o.clipped ? field.clone() : cv::Mat();
    field += noise.mul(deviation);
    if (o.clipped) {
        const float spread = 3 * median(deviation);
        const float cut = median(field) + spread;
        field.setTo(0.0f, field < cut);
        for (Shape &s : m_Shapes) {
            const cv::Point centre(std::clamp(int(std::lround(s.x)), 0, o.width - 1),
                                   std::clamp(int(std::lround(s.y)), 0, o.height - 1));
            if (s.isCell() && light.at<float>(centre) < cut + spread * 2 / 3)
                s.kind = Clipped;
        }
    }
    if (o.bits == 16)
        cv::Mat(cv::min(field * 16.0, 4095.0)).convertTo(m_Image, CV_16U); // 12-bit values
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
