#include "Declustering.h"

#include "Core.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <numeric>
#include <unordered_set>

namespace {

// A peak of the signal weighted by the distance map starts a cell of its own when it stands
// this many noise deviations (weighted alike) above where it meets a higher one.
const float MarkerHeight = 2.0f;
// Cells are flooded down to this many noise deviations above the background.
const float FloodFloor = 3.0f;
// Touching cells are told apart where each is at least this share of its own peak, or
// this many noise deviations below it if that is lower.
const float WaistLevel = 0.8f;
const float WaistNoise = 5.0f;
// Two touching cells are told apart by their light only where the lower one's peak stands
// this many noise deviations above the pass between them.
const float DipNoise = 5.0f;
// A cell's outline runs where its signal falls below this share of the highest within
// OutlineReach pixels: the edge of a flat-topped cell, and the neck between two touching
// cells whatever the light between them.
const float OutlineShare = 0.6f;
const int OutlineReach = 3;
// The distance map of the outlines is smoothed by this share of the smallest cell's radius,
// within these limits (pixels): a ragged edge makes no peak of its own.
const float OutlineSmoothing = 0.25f;
const float LeastSmoothing = 0.7f;
const float MostSmoothing = 4.0f;
// The blur fills the neck between touching cells: parts of an outline stay apart where the
// distance map at the neck is below the declustering share plus this of the lower peak...
const float NeckAllowance = 0.15f;
// ...and the outline bends in there on both sides, each side by at least WaistBend pixels
// and both together by WaistBends (an elongated cell's outline is straight or convex). The
// bends are measured on the outline drawn WaistScale times finer, with the light between the
// pixels interpolated, across the narrowest line through the neck within WaistTurns x
// WaistTurn degrees of square to the way between the two parts' peaks.
const float WaistBend = 0.3f;
const float WaistBends = 1.8f;
const int WaistScale = 3;
const int WaistTurns = 4;
const float WaistTurn = 7.5f;
// A neck below this share of the lower peak is a waist whatever its bends: the ridge of an
// elongated cell's distance map does not dip so far.
const float DeepNeck = 0.5f;
// A part of an outline is a cell only when its peak in the distance map is at least
// NarrowestCell pixels and NarrowestShare of the smallest cell's radius, and it is at least
// PartRoundness round (percent): not a piece of a rod or of a fibre.
const float NarrowestCell = 2.0f;
const float NarrowestShare = 0.75f;
const float PartRoundness = 60.0f;
// A cell part without a peak of its own in the signal starts a cell at its brightest pixel
// where the distance map is at least this share of the part's peak.
const float OutlineCore = 0.5f;

uint64_t pairKey(int a, int b)
{
    return (uint64_t(uint32_t(std::min(a, b))) << 32) | uint32_t(std::max(a, b));
}

// The root of node in a union-find forest; halves the path on the way.
int findRoot(std::vector<int> &parent, int node)
{
    while (parent[size_t(node)] != node)
        node = parent[size_t(node)] = parent[size_t(parent[size_t(node)])];
    return node;
}

// The basins of a flooding as a union-find forest: a root stands for the basins joined to
// it. Each root knows the flooded surface and the distance map at its peak and the pixel of
// its peak, and its highest signal above the background level with the pixel where that is.
struct Basins
{
    std::vector<int> parent{0};
    std::vector<float> top{0.0f};
    std::vector<float> width{0.0f};
    std::vector<int> peak{0};
    std::vector<float> height{0.0f};
    std::vector<int> highest{0};

    int add(float surface, float distance, float signal, int at)
    {
        parent.push_back(int(parent.size()));
        top.push_back(surface);
        width.push_back(distance);
        peak.push_back(at);
        height.push_back(signal);
        highest.push_back(at);
        return parent.back();
    }
    int find(int basin) { return findRoot(parent, basin); }
    void reach(int basin, float signal, int at)
    {
        if (signal > height[size_t(basin)]) {
            height[size_t(basin)] = signal;
            highest[size_t(basin)] = at;
        }
    }
    // The lower basin joins the higher one.
    void join(int a, int b)
    {
        a = find(a);
        b = find(b);
        if (a == b)
            return;
        if (top[size_t(a)] < top[size_t(b)])
            std::swap(a, b);
        parent[size_t(b)] = a;
        reach(a, height[size_t(b)], highest[size_t(b)]);
    }
};


// A key that sorts pixels as their values do (values are not negative): the value's bits
// over the pixel's number on a one-pixel frame of the given stride (columns + 2), so that
// every pixel inside has eight neighbours.
uint64_t floodKey(float value, int x, int y, int stride)
{
    // Non-negative floats sort as their bit patterns do.
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (uint64_t(bits) << 32) | uint32_t((y + 1) * stride + x + 1);
}

// Floods the keyed pixels (sorted from the highest value down) of a box of the field, a
// basin from each local maximum, into basins. A pixel reaches the highest basin among its
// eight neighbours; another basin that meets it there joins that one unless apart(basins,
// lower basin, value, signal, pixel in the box, higher basin) holds. Each basin keeps its
// value, the width and the pixel at its peak, and its highest signal above the background
// level among the pixels it reaches at no less than core x its peak value, with the pixel.
// signal, width and ascent are the box's; pixels are numbered y x fieldCols + x in the field,
// where the box begins at origin. label (pixels on the keys' frame) gets each pixel's basin
// as it was when the pixel was reached: the highest basin or, where `ascent` holds the
// values, the basin of its highest neighbour, so that basins kept apart share the pixels
// along the valley between them.
template <typename Apart>
void floodDown(const std::vector<uint64_t> &keys, const cv::Mat &signal, const cv::Point &origin,
               int fieldCols, float level, const cv::Mat &width, float core,
               const cv::Mat &ascent, std::vector<int> &label, Basins &basins, Apart apart)
{
    const int stride = signal.cols + 2;
    label.assign(size_t(stride) * size_t(signal.rows + 2), 0);
    const int around[8] = {-stride - 1, -stride, -stride + 1, -1, 1,
                           stride - 1,  stride,  stride + 1};
    const bool byAscent = !ascent.empty();
    for (uint64_t key : keys) {
        const int at = int(key & 0xffffffffu);
        const uint32_t bits = uint32_t(key >> 32);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        const int y = at / stride - 1;
        const int x = at % stride - 1;
        const float above = signal.ptr<float>(y)[x] - level;
        int roots[8];
        int rootCount = 0;
        int best = 0;
        int steepest = 0;
        float steepestValue = 0.0f;
        for (int step : around) {
            const int basin = label[size_t(at + step)];
            if (basin == 0)
                continue;
            if (byAscent) {
                const int next = at + step;
                const float v = ascent.ptr<float>(next / stride - 1)[next % stride - 1];
                if (steepest == 0 || v > steepestValue) {
                    steepest = basin;
                    steepestValue = v;
                }
            }
            const int root = basins.find(basin);
            if (std::find(roots, roots + rootCount, root) != roots + rootCount)
                continue;
            roots[rootCount++] = root;
            if (best == 0 || basins.top[size_t(root)] > basins.top[size_t(best)])
                best = root;
        }
        const int pixel = (origin.y + y) * fieldCols + origin.x + x;
        if (rootCount == 0) {
            label[size_t(at)] = basins.add(value, width.ptr<float>(y)[x], above, pixel);
            continue;
        }
        label[size_t(at)] = byAscent ? steepest : best;
        if (value >= core * basins.top[size_t(best)])
            basins.reach(best, above, pixel);
        for (int i = 0; i < rootCount; ++i) {
            if (roots[i] != best && !apart(basins, roots[i], value, above, cv::Point(x, y), best))
                basins.join(best, roots[i]);
        }
    }
}

// Marks in `above` (CV_8U) the pixels Above that are 8-connected to start, start among them,
// as Held; sets `pixels` to them and returns their box.
enum : uchar { Held = 1, Above = 255 };
cv::Rect hold(cv::Mat &above, const cv::Point &start, std::vector<cv::Point> &stack,
              std::vector<cv::Point> &pixels)
{
    cv::Point least = start;
    cv::Point most = start;
    above.at<uchar>(start) = Held;
    stack.assign(1, start);
    pixels.clear();
    while (!stack.empty()) {
        const cv::Point p = stack.back();
        stack.pop_back();
        pixels.push_back(p);
        least = cv::Point(std::min(least.x, p.x), std::min(least.y, p.y));
        most = cv::Point(std::max(most.x, p.x), std::max(most.y, p.y));
        for (int y = std::max(0, p.y - 1); y <= std::min(above.rows - 1, p.y + 1); ++y) {
            uchar *row = above.ptr<uchar>(y);
            for (int x = std::max(0, p.x - 1); x <= std::min(above.cols - 1, p.x + 1); ++x) {
                if (row[x] == Above) {
                    row[x] = Held;
                    stack.emplace_back(x, y);
                }
            }
        }
    }
    return cv::Rect(least, most + cv::Point(1, 1));
}

// Floods signal x distance map (the distance to where the signal falls to floor) from its
// local maxima down. A dim cell against a bright one has barely a peak of its own in the
// signal, but a clear one once the waist between them is taken in. Where two basins meet,
// the lower one stays apart when its peak stands at least `height` noise deviations,
// weighted by the distance map at the peak, above the meeting level, and the signal there
// is below its highest; otherwise it joins the other (the dark middle of a vacuole has no
// peak of its own in the signal). Only the parts of the signal above floor that hold some
// of it above the threshold are flooded, found within the objects of the binary image
// (objects: their outer outlines): the others hold no cell. Signal heights are above the
// background level; pixels are numbered y x cols + x.
Basins flood(const cv::Mat &signal, const std::vector<std::vector<cv::Point>> &objects,
             float floor, float threshold, float level, float height)
{
    // Part by part, each in its box with a free margin: the distance map of a part only
    // depends on the pixels next to it.
    cv::Mat above = signal > floor;
    const cv::Rect image(0, 0, signal.cols, signal.rows);
    Basins basins;
    std::vector<cv::Point> stack;
    std::vector<cv::Point> pixels;
    std::vector<uint64_t> keys;
    std::vector<int> label;
    cv::Mat distance;
    const auto apart = [height](const Basins &basins, int lower, float value, float above,
                                const cv::Point &, int) {
        return basins.top[size_t(lower)] - value >= height * basins.width[size_t(lower)]
               && above < basins.height[size_t(lower)];
    };
    const auto floodPart = [&](const cv::Point &start) {
        const cv::Rect box =
            (hold(above, start, stack, pixels) + cv::Size(2, 2) - cv::Point(1, 1)) & image;
        cv::distanceTransform(above(box), distance, cv::DIST_L2, cv::DIST_MASK_5);
        keys.clear();
        for (const cv::Point &p : pixels) {
            const cv::Point in = p - box.tl();
            keys.push_back(floodKey((signal.at<float>(p) - level) * distance.at<float>(in), in.x,
                                    in.y, box.width + 2));
        }
        std::sort(keys.begin(), keys.end(), std::greater<uint64_t>());
        floodDown(keys, signal(box), box.tl(), signal.cols, level, distance, 0.0f, cv::Mat(),
                  label, basins, apart);
    };
    // An object can hold a part of its own inside a hole.
    for (const std::vector<cv::Point> &object : objects) {
        const cv::Rect box = cv::boundingRect(object);
        for (int y = box.y; y < box.y + box.height; ++y) {
            const float *s = signal.ptr<float>(y);
            const uchar *a = above.ptr<uchar>(y);
            for (int x = box.x; x < box.x + box.width; ++x) {
                if (a[x] == Above && s[x] > threshold)
                    floodPart(cv::Point(x, y));
            }
        }
    }
    return basins;
}

// The parts of the cells' outlines, numbered from 1 across the field.
struct OutlineParts
{
    cv::Mat parts;                         // CV_32S: each pixel's part, 0 for none
    std::vector<float> height{0.0f};       // each part's highest signal near its middle,
    std::vector<int> highest{0};           // above the background level, and where
    std::vector<cv::Rect> box{cv::Rect()}; // each part's object
};

// The outline of one object of the binary image (given by its outer outline) within box:
// where the signal is at least OutlineShare of the highest within OutlineReach pixels,
// holes filled. Drawn `scale` times finer than the pixels, with the light between them
// interpolated, when asked for.
cv::Mat objectOutline(const cv::Mat &signal, const std::vector<cv::Point> &object,
                      const cv::Rect &box, float level, int scale = 1)
{
    static const cv::Mat reach = cv::getStructuringElement(
        cv::MORPH_ELLIPSE, cv::Size(2 * OutlineReach + 1, 2 * OutlineReach + 1));
    cv::Mat inside = cv::Mat::zeros(box.size(), CV_8U);
    cv::drawContours(inside, std::vector<std::vector<cv::Point>>{object}, 0, cv::Scalar(255),
                     cv::FILLED, cv::LINE_8, cv::noArray(), 0, -box.tl());
    cv::Mat near = signal(box);
    cv::Mat brightest;
    cv::dilate(near, brightest, reach);
    if (scale > 1) {
        const cv::Size fine(box.width * scale, box.height * scale);
        cv::resize(inside, inside, fine, 0, 0, cv::INTER_NEAREST);
        cv::resize(near, near, fine, 0, 0, cv::INTER_LINEAR);
        cv::resize(brightest, brightest, fine, 0, 0, cv::INTER_LINEAR);
    }
    for (int y = 0; y < inside.rows; ++y) {
        uchar *in = inside.ptr<uchar>(y);
        const float *s = near.ptr<float>(y);
        const float *b = brightest.ptr<float>(y);
        for (int x = 0; x < inside.cols; ++x) {
            if (in[x] != 0 && s[x] - level < (b[x] - level) * OutlineShare)
                in[x] = 0;
        }
    }
    Declustering::fillHoles(inside);
    return inside;
}

// Roundness (percent) of each basin of a flooding over pixels on a frame of box.width + 2
// columns; the pixels' labels become their basins' roots.
std::vector<float> basinRoundness(Basins &basins, const cv::Size &box, std::vector<int> &label)
{
    std::vector<Moments> moments(basins.parent.size());
    for (int y = 0; y < box.height; ++y) {
        int *framed = label.data() + size_t(y + 1) * size_t(box.width + 2) + 1;
        for (int x = 0; x < box.width; ++x) {
            if (framed[x] != 0) {
                framed[x] = basins.find(framed[x]);
                moments[size_t(framed[x])].add(x, y);
            }
        }
    }
    std::vector<float> round(moments.size(), 0.0f);
    for (size_t b = 1; b < moments.size(); ++b) {
        const Moments &m = moments[b];
        if (m.n <= 0)
            continue;
        const double cx = m.sx / m.n;
        const double cy = m.sy / m.n;
        round[b] = Tesmora::Core::roundness(m.sxx / m.n - cx * cx, m.syy / m.n - cy * cy,
                                            m.sxy / m.n - cx * cy);
    }
    return round;
}

// Tells where the outline of an object narrows with a concave bend on both sides: a neck
// between two cells, not a shallow dip along the flat ridge of an elongated cell's distance
// map. The narrowest line through the neck, about square to the way from one part's peak to
// the other's, ends on both sides inside the convex hull of the outline, each end by at
// least WaistBend pixels and both together by WaistBends. The outline is followed WaistScale
// times finer than the pixels (drawn by `fine` when first needed): on the pixels the steps
// of a slanting edge alone bend it in by about a pixel.
class Waists
{
public:
    explicit Waists(std::function<cv::Mat()> fine) : m_MakeFine(std::move(fine)) {}

    bool at(const cv::Point &neck, const cv::Point &one, const cv::Point &other)
    {
        const cv::Point2f between(other - one);
        if (between.x == 0.0f && between.y == 0.0f)
            return false;
        if (m_Inside.empty()) {
            m_Inside = m_MakeFine();
            cv::findContours(m_Inside, m_Outlines, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
            for (const std::vector<cv::Point> &outline : m_Outlines) {
                m_Hulls.emplace_back();
                cv::convexHull(outline, m_Hulls.back());
            }
        }
        // The neck on the fine outline: the middle of its pixel there, or the first part of
        // that pixel inside.
        cv::Point point(-1, -1);
        for (int step = 0; step < WaistScale * WaistScale && point.x < 0; ++step) {
            const cv::Point p = neck * WaistScale
                                + cv::Point((step % WaistScale + WaistScale / 2) % WaistScale,
                                            (step / WaistScale + WaistScale / 2) % WaistScale);
            if (inside(p))
                point = p;
        }
        if (point.x < 0)
            return false;
        const float reach = float(m_Inside.cols + m_Inside.rows);
        const float square = std::atan2(between.x, -between.y);
        cv::Point ends[2];
        double shortest = std::numeric_limits<double>::infinity();
        for (int turn = -WaistTurns; turn <= WaistTurns; ++turn) {
            const float angle = square + float(turn) * WaistTurn * float(CV_PI) / 180.0f;
            const cv::Point2f across(std::cos(angle), std::sin(angle));
            const cv::Point near = edge(point, across, reach);
            const cv::Point far = edge(point, -across, reach);
            const double chord = cv::norm(near - far);
            if (chord < shortest) {
                shortest = chord;
                ends[0] = near;
                ends[1] = far;
            }
        }
        for (size_t i = 0; i < m_Outlines.size(); ++i) {
            if (cv::pointPolygonTest(m_Outlines[i], point, false) < 0)
                continue;
            const double a = cv::pointPolygonTest(m_Hulls[i], ends[0], true) / WaistScale;
            const double b = cv::pointPolygonTest(m_Hulls[i], ends[1], true) / WaistScale;
            return std::min(a, b) >= WaistBend && a + b >= WaistBends;
        }
        return false;
    }

private:
    bool inside(const cv::Point &p) const
    {
        return p.x >= 0 && p.y >= 0 && p.x < m_Inside.cols && p.y < m_Inside.rows
               && m_Inside.at<uchar>(p) != 0;
    }
    // The last pixel inside on the way from `from` in the direction, within `reach` pixels.
    cv::Point edge(const cv::Point &from, const cv::Point2f &direction, float reach) const
    {
        cv::Point last = from;
        for (float t = 0.5f; t <= reach; t += 0.5f) {
            const cv::Point next(int(std::lround(from.x + direction.x * t)),
                                 int(std::lround(from.y + direction.y * t)));
            if (!inside(next))
                break;
            last = next;
        }
        return last;
    }

    std::function<cv::Mat()> m_MakeFine;
    cv::Mat m_Inside; // the fine outline
    std::vector<std::vector<cv::Point>> m_Outlines;
    std::vector<std::vector<cv::Point>> m_Hulls;
};

// Parts the outline of each object of the binary image (objects: their outer outlines)
// where it has a neck. Its distance map, smoothed by `smoothing` pixels, is flooded from its
// maxima down; a lower basin stays apart where it meets a higher one below share x its own
// peak, unless that peak is below narrowest. Parts that are no cells (narrower than
// narrowest, or less round than PartRoundness: pieces of a rod or of a fibre) are left out.
OutlineParts outlineParts(const cv::Mat &signal,
                          const std::vector<std::vector<cv::Point>> &objects, float level,
                          float share, float narrowest, float smoothing)
{
    OutlineParts outline;
    outline.parts = cv::Mat::zeros(signal.size(), CV_32S);
    const cv::Rect image(0, 0, signal.cols, signal.rows);
    const int margin = OutlineReach + 1;
    const int smoothingSide = 2 * int(std::ceil(2.5f * smoothing)) + 1;
    for (const std::vector<cv::Point> &object : objects) {
        const cv::Rect bounds = cv::boundingRect(object);
        if (bounds.area() < CV_PI * narrowest * narrowest)
            continue;
        const cv::Rect box =
            (bounds + cv::Size(2 * margin, 2 * margin) - cv::Point(margin, margin)) & image;
        const cv::Mat inside = objectOutline(signal, object, box, level);
        cv::Mat distance;
        cv::distanceTransform(inside, distance, cv::DIST_L2, cv::DIST_MASK_5);
        cv::GaussianBlur(distance, distance, cv::Size(smoothingSide, smoothingSide), smoothing);
        std::vector<uint64_t> keys;
        for (int y = 0; y < box.height; ++y) {
            const uchar *in = inside.ptr<uchar>(y);
            const float *d = distance.ptr<float>(y);
            for (int x = 0; x < box.width; ++x) {
                if (in[x] != 0)
                    keys.push_back(floodKey(d[x], x, y, box.width + 2));
            }
        }
        std::sort(keys.begin(), keys.end(), std::greater<uint64_t>());
        std::vector<int> label;
        Waists waists([&]() { return objectOutline(signal, object, box, level, WaistScale); });
        std::unordered_set<uint64_t> kept;
        // Pixels numbered in the box.
        Basins basins;
        floodDown(
            keys, signal(box), cv::Point(), box.width, level, distance, OutlineCore, distance,
            label, basins,
            [&](const Basins &b, int lower, float value, float, const cv::Point &at, int higher) {
                const float peak = b.top[size_t(lower)];
                if (peak < narrowest || value >= share * peak)
                    return false;
                // Decided where the two first meet, at their neck.
                const uint64_t pair = pairKey(lower, higher);
                if (kept.count(pair) != 0)
                    return true;
                const auto peakOf = [&](int basin) {
                    const int pixel = b.peak[size_t(basin)];
                    return cv::Point(pixel % box.width, pixel / box.width);
                };
                if (value >= DeepNeck * peak && !waists.at(at, peakOf(lower), peakOf(higher)))
                    return false;
                kept.insert(pair);
                return true;
            });
        const std::vector<float> round = basinRoundness(basins, box.size(), label);
        std::vector<int> number(round.size(), 0);
        for (size_t b = 1; b < round.size(); ++b) {
            if (basins.top[b] < narrowest || round[b] < PartRoundness)
                continue;
            number[b] = int(outline.height.size());
            const int at = basins.highest[b];
            outline.height.push_back(basins.height[b]);
            outline.highest.push_back((box.y + at / box.width) * signal.cols + box.x
                                      + at % box.width);
            outline.box.push_back(box);
        }
        for (int y = 0; y < box.height; ++y) {
            const int *framed = label.data() + size_t(y + 1) * size_t(box.width + 2) + 1;
            int *part = outline.parts.ptr<int>(box.y + y) + box.x;
            for (int x = 0; x < box.width; ++x) {
                if (framed[x] != 0 && number[size_t(framed[x])] != 0)
                    part[x] = number[size_t(framed[x])];
            }
        }
    }
    return outline;
}

// The part of each seed (0: none). A cell part without a seed (a dim cell on the flank of a
// bright one has no peak of its own in the signal) gets one at its brightest pixel near its
// middle, when that is at least lowestPeak above the background level; parts still without
// a seed are given up, for their neighbours to claim.
std::vector<int> seedParts(OutlineParts &outline, float lowestPeak, std::vector<int> &seeds,
                           std::vector<float> &heights)
{
    std::vector<char> seeded(outline.height.size(), 0);
    std::vector<int> partOf;
    for (int seed : seeds) {
        partOf.push_back(outline.parts.ptr<int>()[seed]);
        seeded[size_t(partOf.back())] = 1;
    }
    for (size_t part = 1; part < seeded.size(); ++part) {
        const float height = outline.height[part];
        if (!seeded[part] && height >= lowestPeak && height > 0.0f) {
            seeds.push_back(outline.highest[part]);
            heights.push_back(height);
            partOf.push_back(int(part));
            seeded[part] = 1;
        }
    }
    for (size_t given = 1; given < seeded.size(); ++given) {
        if (seeded[given])
            continue;
        const cv::Rect &box = outline.box[given];
        for (int y = box.y; y < box.y + box.height; ++y) {
            int *part = outline.parts.ptr<int>(y);
            for (int x = box.x; x < box.x + box.width; ++x) {
                if (part[x] == int(given))
                    part[x] = 0;
            }
        }
    }
    return partOf;
}

// What a claim leaves besides the cells: the box of each cell (cell 1 first, empty for one
// that got no pixel) and the pairs of cells that touch (pairKey, sorted, each once).
struct Claimed
{
    std::vector<cv::Rect> box;
    std::vector<uint64_t> touching;
};

// Gives each pixel to the cell whose flood, from its peak down, reaches it at the highest
// share of that cell's own peak, down to the cell's lowest, so that a dim cell keeps its
// pixels against a bright neighbour. seeds are the cells' peaks (pixel y x cols + x);
// heights and lowest are above the background level. Where parts (CV_32S) is given, a cell
// claims no pixel of another part than partOf its own (0: none). Writes cell numbers from
// 1 on into cells (CV_32S, zero).
Claimed claim(const cv::Mat &signal, float level, const std::vector<int> &seeds,
              const std::vector<float> &heights, const std::vector<float> &lowest,
              cv::Mat &cells, const cv::Mat &parts = cv::Mat(),
              const std::vector<int> &partOf = {})
{
    Claimed claimed;
    std::vector<cv::Point> least(seeds.size() + 1, cv::Point(INT32_MAX, INT32_MAX));
    std::vector<cv::Point> most(seeds.size() + 1, cv::Point(-1, -1));
    const int levels = 256;
    std::vector<std::vector<std::pair<int, int>>> queue(levels);
    for (size_t i = 0; i < seeds.size(); ++i)
        queue[0].emplace_back(seeds[i], int(i) + 1);
    for (int current = 0; current < levels; ++current) {
        // The bucket grows while it is worked through.
        for (size_t k = 0; k < queue[size_t(current)].size(); ++k) {
            const auto [at, number] = queue[size_t(current)][k];
            const int y = at / signal.cols;
            const int x = at % signal.cols;
            int &cell = cells.ptr<int>(y)[x];
            if (cell != 0)
                continue;
            cell = number;
            least[size_t(number)] =
                cv::Point(std::min(least[size_t(number)].x, x), std::min(least[size_t(number)].y, y));
            most[size_t(number)] =
                cv::Point(std::max(most[size_t(number)].x, x), std::max(most[size_t(number)].y, y));
            const float height = heights[size_t(number - 1)];
            const float low = lowest[size_t(number - 1)];
            const int own = parts.empty() ? 0 : partOf[size_t(number - 1)];
            for (int ny = std::max(0, y - 1); ny <= std::min(signal.rows - 1, y + 1); ++ny) {
                const float *s = signal.ptr<float>(ny);
                const int *taken = cells.ptr<int>(ny);
                const int *part = own != 0 ? parts.ptr<int>(ny) : nullptr;
                for (int nx = std::max(0, x - 1); nx <= std::min(signal.cols - 1, x + 1); ++nx) {
                    if (taken[nx] != 0) {
                        if (taken[nx] != number)
                            claimed.touching.push_back(pairKey(number, taken[nx]));
                        continue;
                    }
                    const float above = s[nx] - level;
                    // Never above its own peak: that belongs to a brighter cell.
                    if (above < low || above > height
                        || (part && part[nx] != 0 && part[nx] != own))
                        continue;
                    const int bucket =
                        std::max(current, int((1.0f - above / height) * (levels - 1)));
                    queue[size_t(std::min(levels - 1, bucket))].emplace_back(
                        ny * signal.cols + nx, number);
                }
            }
        }
        std::vector<std::pair<int, int>>().swap(queue[size_t(current)]);
    }
    for (size_t number = 1; number < least.size(); ++number) {
        claimed.box.push_back(most[number].x < 0 ? cv::Rect()
                                                 : cv::Rect(least[number], most[number] + cv::Point(1, 1)));
    }
    std::sort(claimed.touching.begin(), claimed.touching.end());
    claimed.touching.erase(std::unique(claimed.touching.begin(), claimed.touching.end()),
                           claimed.touching.end());
    return claimed;
}


// Joins the touching cells that show no waist between them: where the distance map of
// the two cells' claimed pixels stays along their border at or above share x the lower of
// the two cells' highest distance, less the map's steps (half a pixel, or a whole one for
// a cell at most two pixels wide, which cannot show a finer waist). The rings of
// light around a dark vacuole, the pieces of a fibre and of an out-of-focus blob have no
// waist between them; a dim cell is cut off from a bright one by the pixels neither
// claims. Cells in different parts of an outline (partOf, 0 for none) are never joined.
// Cells whose light does not tell them apart beyond the noise are joined whatever their
// areas show: the lower one's peak stands less than DipNoise noise deviations above the
// highest pass between them, and at least WaistLevel of the higher one's peak (the noise
// along the flat ridge of an oval or rod makes such peaks, and the step of the distance map
// such waists). heights are above the background level of signal.
// Returns the numbers of the cells that stand for their groups (the highest of each).
std::vector<int> joinWithoutWaist(const cv::Mat &cells, const Claimed &claimed,
                                  const cv::Mat &signal, float level, float noise,
                                  const std::vector<float> &heights, float share,
                                  const std::vector<int> &partOf)
{
    // The neighbours that come after a pixel in the order of rows.
    const cv::Point ahead[4] = {{1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    const cv::Rect image(0, 0, cells.cols, cells.rows);
    std::vector<int> group(heights.size() + 1);
    std::iota(group.begin(), group.end(), 0);
    for (uint64_t key : claimed.touching) {
        const int a = int(key >> 32);
        const int b = int(key & 0xffffffffu);
        const int partA = partOf[size_t(a - 1)];
        const int partB = partOf[size_t(b - 1)];
        if (partA != 0 && partB != 0 && partA != partB)
            continue;
        // The two cells alone, with a free margin.
        const cv::Rect box =
            ((claimed.box[size_t(a - 1)] | claimed.box[size_t(b - 1)]) + cv::Size(2, 2)
             - cv::Point(1, 1))
            & image;
        const cv::Mat pair = (cells(box) == a) | (cells(box) == b);
        cv::Mat distance;
        cv::distanceTransform(pair, distance, cv::DIST_L2, cv::DIST_MASK_5);
        float widest[2] = {0.0f, 0.0f};
        float border = 0.0f;
        float pass = -std::numeric_limits<float>::infinity();
        for (int y = 0; y < box.height; ++y) {
            for (int x = 0; x < box.width; ++x) {
                const int cell = cells.at<int>(box.y + y, box.x + x);
                if (cell != a && cell != b)
                    continue;
                float &wide = widest[cell == a ? 0 : 1];
                wide = std::max(wide, distance.at<float>(y, x));
                for (const cv::Point &step : ahead) {
                    const cv::Point next(x + step.x, y + step.y);
                    if (next.x >= 0 && next.x < box.width && next.y < box.height
                        && cells.at<int>(box.tl() + next) == (cell == a ? b : a)) {
                        border = std::max(border, std::min(distance.at<float>(y, x),
                                                           distance.at<float>(next)));
                        pass = std::max(pass, std::min(signal.at<float>(box.tl() + cv::Point(x, y)),
                                                       signal.at<float>(box.tl() + next)));
                    }
                }
            }
        }
        const float narrower = std::min(widest[0], widest[1]);
        const float lower = std::min(heights[size_t(a - 1)], heights[size_t(b - 1)]);
        const float higher = std::max(heights[size_t(a - 1)], heights[size_t(b - 1)]);
        const bool oneLight =
            lower - (pass - level) < DipNoise * noise && lower >= WaistLevel * higher;
        if (!oneLight && border + (narrower <= 2.0f ? 1.0f : 0.5f) < share * narrower)
            continue;
        const int rootA = findRoot(group, a);
        const int rootB = findRoot(group, b);
        if (heights[size_t(rootA - 1)] >= heights[size_t(rootB - 1)])
            group[size_t(rootB)] = rootA;
        else
            group[size_t(rootA)] = rootB;
    }
    std::vector<int> kept;
    for (int cell = 1; cell < int(group.size()); ++cell) {
        if (findRoot(group, cell) == cell)
            kept.push_back(cell);
    }
    return kept;
}


// Without declustering: of the cells in each object of the binary image, the numbers of
// the highest.
std::vector<int> onePerObject(const cv::Mat &binary, const std::vector<int> &seeds,
                              const std::vector<float> &heights)
{
    cv::Mat components;
    Tesmora::Core::label(binary, components);
    std::map<int, int> highest;
    for (size_t i = 0; i < seeds.size(); ++i) {
        const int cell = int(i) + 1;
        const auto it = highest.emplace(components.ptr<int>()[seeds[i]], cell).first;
        if (heights[i] > heights[size_t(it->second - 1)])
            it->second = cell;
    }
    std::vector<int> kept;
    for (const auto &entry : highest)
        kept.push_back(entry.second);
    return kept;
}

} // namespace

cv::Mat Declustering::cells(const cv::Mat &signal, const cv::Mat &binary,
                            const std::vector<std::vector<cv::Point>> &objects, float level,
                            float noise, float threshold, float declustering, float smallest,
                            float measured, std::vector<cv::Rect> &boxes)
{
    // Each peak that stands out of the noise in the signal weighted by the distance map
    // starts a cell, if it is above the threshold. Cells are flooded down into the noise, so
    // that each is measured relative to its own peak whatever the threshold.
    const float floor = std::max(level, std::min(threshold, level + FloodFloor * noise));
    Basins basins = flood(signal, objects, floor, threshold, level, MarkerHeight * noise);
    // The cells from the highest peak down, as one flooding of the whole field finds them.
    std::vector<int> cellBasins;
    for (int b = 1; b < int(basins.parent.size()); ++b) {
        if (basins.find(b) == b && basins.height[size_t(b)] >= threshold - level
            && basins.height[size_t(b)] > 0.0f)
            cellBasins.push_back(b);
    }
    std::sort(cellBasins.begin(), cellBasins.end(), [&basins](int a, int b) {
        const float topA = basins.top[size_t(a)];
        const float topB = basins.top[size_t(b)];
        return topA > topB || (topA == topB && basins.peak[size_t(a)] > basins.peak[size_t(b)]);
    });
    std::vector<int> seeds;
    std::vector<float> heights;
    for (int b : cellBasins) {
        seeds.push_back(basins.highest[size_t(b)]);
        heights.push_back(basins.height[size_t(b)]);
    }
    cv::Mat cells = cv::Mat::zeros(signal.size(), CV_32S);
    std::vector<float> lowest;
    std::vector<int> kept;
    cv::Mat parts;
    std::vector<int> partOf;
    if (declustering > 0.0f) {
        // Cells are parted by the shape of their outlines as well: two round parts with a
        // waist between them are two cells however little the light dips between them.
        const float narrowest = std::max(NarrowestCell, NarrowestShare * smallest);
        const float smoothing =
            std::clamp(OutlineSmoothing * smallest, LeastSmoothing, MostSmoothing);
        OutlineParts outline = outlineParts(signal, objects, level, declustering + NeckAllowance,
                                            narrowest, smoothing);
        partOf = seedParts(outline, threshold - level, seeds, heights);
        parts = outline.parts;
        for (float height : heights) {
            lowest.push_back(std::max(floor - level, std::min(WaistLevel * height,
                                                              height - WaistNoise * noise)));
        }
        const Claimed claimed = claim(signal, level, seeds, heights, lowest, cells, parts, partOf);
        kept = joinWithoutWaist(cells, claimed, signal, level, noise, heights, declustering,
                                partOf);
        for (const cv::Rect &box : claimed.box)
            cells(box).setTo(0);
    } else {
        kept = onePerObject(binary, seeds, heights);
    }
    std::vector<int> keptSeeds;
    std::vector<float> keptHeights;
    std::vector<int> keptParts;
    lowest.clear();
    for (int cell : kept) {
        keptSeeds.push_back(seeds[size_t(cell - 1)]);
        keptHeights.push_back(heights[size_t(cell - 1)]);
        if (!partOf.empty())
            keptParts.push_back(partOf[size_t(cell - 1)]);
        lowest.push_back(measured * keptHeights.back());
    }
    boxes = claim(signal, level, keptSeeds, keptHeights, lowest, cells, parts, keptParts).box;
    return cells;
}

std::vector<std::vector<cv::Point>> Declustering::fillHoles(cv::Mat &binary)
{
    // Each outer outline filled: the background inside it was not reachable from the border.
    std::vector<std::vector<cv::Point>> outlines;
    cv::findContours(binary, outlines, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    cv::drawContours(binary, outlines, -1, cv::Scalar(255), cv::FILLED);
    return outlines;
}
