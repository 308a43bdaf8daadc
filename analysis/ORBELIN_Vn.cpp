#include "ORBELIN_Vn.h"

#include <opencv2/imgproc.hpp>

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <queue>

namespace {

// The background shrunk by this factor is enough to follow uneven lighting.
const int BackgroundShrink = 4;

// Field image as float grey on the 8-bit scale; 16-bit frames of a 12-bit camera hold
// values up to 4095.
cv::Mat toGrey(const cv::Mat &raw)
{
    double scale = 1.0;
    if (raw.depth() == CV_16U) {
        double maxValue = 0.0;
        cv::minMaxLoc(raw, nullptr, &maxValue);
        scale = maxValue <= 4095.0 ? 255.0 / 4095.0 : 255.0 / 65535.0;
    }
    cv::Mat grey;
    raw.convertTo(grey, CV_32F, scale);
    return grey;
}

// Grey opening with a square wider than the largest cell, on a shrunk copy, smoothed and
// grown back: what is left is the light without the cells.
cv::Mat background(const cv::Mat &smooth, float maxDiameter)
{
    const cv::Size small(std::max(1, smooth.cols / BackgroundShrink),
                         std::max(1, smooth.rows / BackgroundShrink));
    cv::Mat shrunk;
    cv::resize(smooth, shrunk, small, 0, 0, cv::INTER_AREA);
    int side = int(std::ceil(maxDiameter / BackgroundShrink)) + 3;
    side |= 1;
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(side, side));
    cv::morphologyEx(shrunk, shrunk, cv::MORPH_OPEN, square, cv::Point(-1, -1), 1,
                     cv::BORDER_REPLICATE);
    cv::blur(shrunk, shrunk, cv::Size(side, side), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::Mat light;
    cv::resize(shrunk, light, smooth.size(), 0, 0, cv::INTER_LINEAR);
    return light;
}

float median(std::vector<float> &values)
{
    if (values.empty())
        return 0.0f;
    auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Median of every 4th pixel of every 4th row; their robust deviation (1.4826 x median
// absolute deviation) too when asked for.
float robustLevel(const cv::Mat &image, float *deviation = nullptr)
{
    std::vector<float> values;
    values.reserve(size_t(image.rows / 4 + 1) * size_t(image.cols / 4 + 1));
    for (int y = 0; y < image.rows; y += 4) {
        const float *row = image.ptr<float>(y);
        for (int x = 0; x < image.cols; x += 4)
            values.push_back(row[x]);
    }
    const float centre = median(values);
    if (deviation) {
        for (float &v : values)
            v = std::fabs(v - centre);
        *deviation = 1.4826f * median(values);
    }
    return centre;
}

// Kapur's maximum-entropy threshold: the bin that splits the histogram into the two
// classes of highest summed entropy; -1 for a histogram with less than two used bins.
int maximumEntropyBin(const std::vector<double> &histogram)
{
    double total = 0.0;
    for (double count : histogram)
        total += count;
    if (total <= 0.0)
        return -1;
    const size_t bins = histogram.size();
    std::vector<double> cumulative(bins), plogp(bins);
    double sumP = 0.0;
    double sumPlogP = 0.0;
    for (size_t i = 0; i < bins; ++i) {
        const double p = histogram[i] / total;
        sumP += p;
        if (p > 0.0)
            sumPlogP += p * std::log(p);
        cumulative[i] = sumP;
        plogp[i] = sumPlogP;
    }
    int best = -1;
    double bestEntropy = -1e300;
    for (size_t t = 0; t + 1 < bins; ++t) {
        const double below = cumulative[t];
        const double above = 1.0 - below;
        if (below <= 1e-12 || above <= 1e-12)
            continue;
        const double entropy = std::log(below) - plogp[t] / below + std::log(above)
                               - (sumPlogP - plogp[t]) / above;
        if (entropy > bestEntropy) {
            bestEntropy = entropy;
            best = int(t);
        }
    }
    return best;
}

// The maximum-entropy threshold of the signal above the background level, taken on a
// logarithmic scale in units of the noise: the noise and the cells then make two compact
// classes however bright the cells are and whatever share of the field they cover.
float entropyThreshold(const cv::Mat &signal, float level, float noise, float highest)
{
    const int bins = 256;
    const float top = std::log1p(std::max(0.0f, highest - level) / noise);
    if (!(top > 0.0f))
        return highest;
    // A fine linear histogram first, then each of its steps moved to its logarithmic bin:
    // one logarithm per step instead of one per pixel.
    const int steps = 8192;
    const float step = (highest - level) / steps;
    std::vector<double> linear(steps, 0.0);
    for (int y = 0; y < signal.rows; ++y) {
        const float *row = signal.ptr<float>(y);
        for (int x = 0; x < signal.cols; ++x) {
            if (row[x] > level)
                linear[size_t(std::min(steps - 1, int((row[x] - level) / step)))] += 1.0;
        }
    }
    std::vector<double> histogram(bins, 0.0);
    for (int i = 0; i < steps; ++i) {
        const float u = std::log1p((float(i) + 0.5f) * step / noise);
        histogram[size_t(std::min(bins - 1, int(u / top * bins)))] += linear[size_t(i)];
    }
    const int bin = maximumEntropyBin(histogram);
    if (bin < 0)
        return highest;
    return level + noise * std::expm1(top * float(bin + 1) / bins);
}

// Fills the holes of a binary image (background not reachable from the border).
void fillHoles(cv::Mat &binary)
{
    cv::Mat padded;
    cv::copyMakeBorder(binary, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(0));
    cv::floodFill(padded, cv::Point(0, 0), cv::Scalar(128));
    const cv::Mat inside = padded(cv::Rect(1, 1, binary.cols, binary.rows)) == 0;
    binary.setTo(255, inside);
}

float lowestOnSegment(const cv::Mat &distance, cv::Point a, cv::Point b)
{
    cv::LineIterator it(distance, a, b, 8);
    float lowest = distance.at<float>(a);
    for (int i = 0; i < it.count; ++i, ++it)
        lowest = std::min(lowest, *reinterpret_cast<const float *>(*it));
    return lowest;
}

struct Peak
{
    float height;
    cv::Point at;
};

// The peaks of the distance map that are centres of separate cells: a peak joins a
// stronger one when the map between them stays above share x the lower of the two.
std::vector<cv::Point> cellCentres(const cv::Mat &distance, std::vector<Peak> &peaks,
                                   float share)
{
    std::sort(peaks.begin(), peaks.end(),
              [](const Peak &a, const Peak &b) { return a.height > b.height; });
    std::vector<Peak> centres;
    for (const Peak &peak : peaks) {
        bool joined = false;
        for (const Peak &centre : centres) {
            const float lower = std::min(peak.height, centre.height);
            if (lowestOnSegment(distance, peak.at, centre.at) >= share * lower) {
                joined = true;
                break;
            }
        }
        if (!joined)
            centres.push_back(peak);
    }
    std::vector<cv::Point> points;
    for (const Peak &centre : centres)
        points.push_back(centre.at);
    return points;
}

// Splits component `component` of `labels` (inside box) among the centres by flooding the
// distance map downwards from them; writes object numbers from first on into objects.
void floodFromCentres(const cv::Mat &labels, int component, const cv::Rect &box,
                      const cv::Mat &distance, const std::vector<cv::Point> &centres,
                      int first, cv::Mat &objects)
{
    struct Item
    {
        float height;
        cv::Point at;
        bool operator<(const Item &other) const { return height < other.height; }
    };
    std::priority_queue<Item> queue;
    for (size_t i = 0; i < centres.size(); ++i) {
        objects.at<int>(centres[i]) = first + int(i);
        queue.push({distance.at<float>(centres[i]), centres[i]});
    }
    while (!queue.empty()) {
        const Item item = queue.top();
        queue.pop();
        const int number = objects.at<int>(item.at);
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const cv::Point next(item.at.x + dx, item.at.y + dy);
                if (!box.contains(next) || labels.at<int>(next) != component
                    || objects.at<int>(next) != 0)
                    continue;
                objects.at<int>(next) = number;
                queue.push({distance.at<float>(next), next});
            }
        }
    }
}

struct Moments
{
    double n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;

    void add(int x, int y)
    {
        n += 1;
        sx += x;
        sy += y;
        sxx += double(x) * x;
        syy += double(y) * y;
        sxy += double(x) * y;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
};

std::vector<cv::Point> outline(const cv::Mat &objects, int number, const Moments &m)
{
    const cv::Rect box(m.left, m.top, m.right - m.left + 1, m.bottom - m.top + 1);
    const cv::Mat mask = objects(box) == number;
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE, box.tl());
    size_t longest = 0;
    for (size_t i = 1; i < contours.size(); ++i) {
        if (contours[i].size() > contours[longest].size())
            longest = i;
    }
    return contours.empty() ? std::vector<cv::Point>() : contours[longest];
}

} // namespace

bool ORBELIN_Vn::findObject(const analysis_param_t &param)
{
    clearResult();
    setImage(Tesmora::GFL_BINARY, cv::Mat());
    setImage(Tesmora::TAG, cv::Mat());
    const cv::Mat raw = image(Tesmora::GFL);
    if (raw.empty() || raw.channels() != 1
        || (raw.depth() != CV_8U && raw.depth() != CV_16U)) {
        qDebug() << Q_FUNC_INFO << "no grey field image";
        return false;
    }
    const float pixel = pixelSize();
    const cv::Mat grey = toGrey(raw);

    // Background subtraction.
    cv::Mat smooth;
    cv::GaussianBlur(grey, smooth, cv::Size(0, 0), 1.0);
    const cv::Mat signal = smooth - background(smooth, param.maxSize / pixel);

    // Threshold: maximum entropy of what lies above the background, scaled by the
    // sensitivity, and never inside the noise. The noise left in the smoothed image is
    // 0.32 of the deviation of the detail that the smoothing took away.
    const float level = robustLevel(signal);
    float detail = 0.0f;
    robustLevel(cv::Mat(grey - smooth), &detail);
    const float noise = std::max(0.5f, 0.32f * detail);
    double highest = 0.0;
    cv::minMaxLoc(signal, nullptr, &highest);
    const float entropy = entropyThreshold(signal, level, noise, float(highest));
    const float threshold = std::max(level + (entropy - level) * param.thresholdScale,
                                     level + param.noiseFloor * noise);

    cv::Mat binary = signal > threshold;
    fillHoles(binary);

    // Labelling.
    cv::Mat components;
    const int componentCount = std::max(1, label(binary, components));
    std::vector<float> componentPeak(size_t(componentCount), 0.0f);
    std::vector<cv::Rect> boxes(static_cast<size_t>(componentCount));
    for (int y = 0; y < components.rows; ++y) {
        const int *c = components.ptr<int>(y);
        const float *s = signal.ptr<float>(y);
        for (int x = 0; x < components.cols; ++x) {
            if (c[x] == 0)
                continue;
            cv::Rect &box = boxes[size_t(c[x])];
            box = box.empty() ? cv::Rect(x, y, 1, 1) : (box | cv::Rect(x, y, 1, 1));
            componentPeak[size_t(c[x])] = std::max(componentPeak[size_t(c[x])], s[x]);
        }
    }

    // Declustering: the local maxima of the distance map of each object's core (where it
    // is at least half as bright as its brightest point) are the candidate centres.
    cv::Mat core = cv::Mat::zeros(binary.size(), CV_8U);
    for (int y = 0; y < components.rows; ++y) {
        const int *c = components.ptr<int>(y);
        const float *s = signal.ptr<float>(y);
        uchar *k = core.ptr<uchar>(y);
        for (int x = 0; x < components.cols; ++x) {
            if (c[x] != 0 && s[x] >= 0.5f * componentPeak[size_t(c[x])])
                k[x] = 255;
        }
    }
    cv::Mat distance;
    cv::distanceTransform(core, distance, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    // Smoothing keeps the ragged edge of a noisy core from making false peaks and saddles.
    cv::GaussianBlur(distance, distance, cv::Size(0, 0), 1.0);
    cv::Mat dilated;
    cv::dilate(distance, dilated, cv::Mat());
    std::vector<std::vector<Peak>> peaks(static_cast<size_t>(componentCount));
    for (int y = 0; y < components.rows; ++y) {
        const int *c = components.ptr<int>(y);
        const float *d = distance.ptr<float>(y);
        const float *m = dilated.ptr<float>(y);
        for (int x = 0; x < components.cols; ++x) {
            if (c[x] != 0 && d[x] > 0.0f && d[x] >= m[x])
                peaks[size_t(c[x])].push_back({d[x], cv::Point(x, y)});
        }
    }
    cv::Mat objects = cv::Mat::zeros(binary.size(), CV_32S);
    int objectCount = 0;
    for (int c = 1; c < componentCount; ++c) {
        std::vector<cv::Point> centres;
        if (param.declustering > 0.0f)
            centres = cellCentres(distance, peaks[size_t(c)], param.declustering);
        if (centres.size() < 2) {
            const cv::Rect &box = boxes[size_t(c)];
            objects(box).setTo(objectCount + 1, components(box) == c);
            ++objectCount;
            continue;
        }
        floodFromCentres(components, c, boxes[size_t(c)], distance, centres, objectCount + 1,
                         objects);
        objectCount += int(centres.size());
    }

    // Measuring and filtering: each object is measured where it is at least half as
    // bright as its own brightest point, so faint and bright cells of one size measure
    // alike whatever the threshold.
    std::vector<float> objectPeak(size_t(objectCount + 1), 0.0f);
    for (int y = 0; y < objects.rows; ++y) {
        const int *o = objects.ptr<int>(y);
        const float *s = signal.ptr<float>(y);
        for (int x = 0; x < objects.cols; ++x)
            objectPeak[size_t(o[x])] = std::max(objectPeak[size_t(o[x])], s[x]);
    }
    std::vector<Moments> moments(size_t(objectCount + 1));
    for (int y = 0; y < objects.rows; ++y) {
        int *o = objects.ptr<int>(y);
        const float *s = signal.ptr<float>(y);
        for (int x = 0; x < objects.cols; ++x) {
            if (o[x] == 0)
                continue;
            if (s[x] >= 0.5f * objectPeak[size_t(o[x])])
                moments[size_t(o[x])].add(x, y);
            else
                o[x] = 0;
        }
    }
    for (int number = 1; number <= objectCount; ++number) {
        const Moments &m = moments[size_t(number)];
        if (m.n <= 0)
            continue;
        object_t object;
        object.x = float(m.sx / m.n);
        object.y = float(m.sy / m.n);
        const double mu20 = m.sxx / m.n - double(object.x) * object.x;
        const double mu02 = m.syy / m.n - double(object.y) * object.y;
        const double mu11 = m.sxy / m.n - double(object.x) * object.y;
        object.size = equivalentDiameter(m.n) * pixel;
        object.roundness = roundness(mu20, mu02, mu11);
        object.contour = outline(objects, number, m);
        const bool cell = object.size >= param.minSize && object.size <= param.maxSize
                          && object.roundness >= float(param.roundness);
        if (cell) {
            m_SizeSum += object.size;
            m_Objects.push_back(std::move(object));
        } else {
            m_Rejected.push_back(std::move(object));
        }
    }

    // Tag image.
    cv::Mat grey8;
    grey.convertTo(grey8, CV_8U);
    cv::Mat tag;
    cv::cvtColor(grey8, tag, cv::COLOR_GRAY2RGB);
    std::vector<std::vector<cv::Point>> outlines;
    for (const object_t &object : m_Rejected)
        outlines.push_back(object.contour);
    cv::drawContours(tag, outlines, -1, cv::Scalar(255, 40, 40));
    outlines.clear();
    for (const object_t &object : m_Objects)
        outlines.push_back(object.contour);
    cv::drawContours(tag, outlines, -1, cv::Scalar(40, 255, 40));
    setImage(Tesmora::GFL_BINARY, binary);
    setImage(Tesmora::TAG, tag);
    return true;
}

void ORBELIN_Vn::result(int &count, float &mantissa, int &exponent, float &meanSize,
                        float &sizeSum) const
{
    count = int(m_Objects.size());
    sizeSum = m_SizeSum;
    meanSize = count > 0 ? m_SizeSum / float(count) : 0.0f;
    concentration(count, m_VolumeFactor, float(m_DilutionFactor), mantissa, exponent);
}

void ORBELIN_Vn::clearResult()
{
    m_Objects.clear();
    m_Rejected.clear();
    m_SizeSum = 0.0f;
}
