#include "ORBELIN_Vn.h"

#include "Declustering.h"

#include <opencv2/imgproc.hpp>

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The background shrunk by this factor is enough to follow uneven lighting.
const int BackgroundShrink = 4;
// When more than this share of the image holds its lowest value, the background is taken
// for clipped (or noise-free), and the noise is measured this many pixels away from it.
const double FewLowest = 0.001;
const int NoiseReach = 3;
// A cell needs this share of its measured pixels above the threshold: a speck of noise
// that just crosses it, on a faint blob, is no cell.
const float AboveThreshold = 0.02f;
// Cells are measured where they are at least this share of their own peak.
const float Measured = 0.5f;

// Field image as float grey on the 8-bit scale; 16-bit frames of a 12-bit camera hold
// values up to 4095. A camera that clips its dark background to 0 leaves there only the
// tops of the noise, specks as high as the cut: when more than FewLowest of the image holds
// its lowest value, that is raised to the lowest value above it, so that the background lies
// flat at the cut. Sets `flat` then, and `lowest` to the lowest value of the result.
cv::Mat toGrey(const cv::Mat &raw, float &lowest, bool &flat)
{
    double low = 0.0;
    double high = 0.0;
    cv::minMaxLoc(raw, &low, &high);
    const double scale =
        raw.depth() != CV_16U ? 1.0 : high <= 4095.0 ? 255.0 / 4095.0 : 255.0 / 65535.0;
    const cv::Mat atLowest = raw == low;
    flat = cv::countNonZero(atLowest) > FewLowest * double(raw.total());
    cv::Mat grey;
    if (flat) {
        cv::Mat others = raw.clone();
        others.setTo(high, atLowest);
        cv::minMaxLoc(others, &low);
        cv::Mat raised;
        cv::max(raw, low, raised);
        raised.convertTo(grey, CV_32F, scale);
    } else {
        raw.convertTo(grey, CV_32F, scale);
    }
    lowest = float(low * scale);
    return grey;
}

// Grey opening with a square of twice the largest cell, on a shrunk copy, smoothed and
// grown back: what is left is the light without the cells, and without out-of-focus blobs
// up to nearly three times the largest cell. The square is kept within half the image, so
// that the light is still followed across it whatever the largest cell is said to be.
cv::Mat background(const cv::Mat &smooth, float maxDiameter)
{
    const cv::Size small(std::max(1, smooth.cols / BackgroundShrink),
                         std::max(1, smooth.rows / BackgroundShrink));
    cv::Mat shrunk;
    cv::resize(smooth, shrunk, small, 0, 0, cv::INTER_AREA);
    const float widest = std::max(1.0f, std::min(small.width, small.height) / 2.0f);
    const float wanted = 2 * maxDiameter / BackgroundShrink + 3;
    // "!(a < b)" also catches NaN.
    const int side = int(std::ceil(!(wanted < widest) ? widest : std::max(1.0f, wanted))) | 1;
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

// Median of every 4th pixel of every 4th row of image, less `less` where that is given,
// leaving out those where skip (CV_8U, when given) is set; their robust deviation (1.4826 x
// median absolute deviation) too when asked for.
float robustLevel(const cv::Mat &image, float *deviation = nullptr, const cv::Mat &skip = {},
                  const cv::Mat &less = {})
{
    std::vector<float> values;
    values.reserve(size_t(image.rows / 4 + 1) * size_t(image.cols / 4 + 1));
    for (int y = 0; y < image.rows; y += 4) {
        const float *row = image.ptr<float>(y);
        const float *minus = less.empty() ? nullptr : less.ptr<float>(y);
        const uchar *left = skip.empty() ? nullptr : skip.ptr<uchar>(y);
        for (int x = 0; x < image.cols; x += 4) {
            if (!left || left[x] == 0)
                values.push_back(minus ? row[x] - minus[x] : row[x]);
        }
    }
    const float centre = median(values);
    if (deviation) {
        for (float &v : values)
            v = std::fabs(v - centre);
        *deviation = 1.4826f * median(values);
    }
    return centre;
}

// The robust deviation of the detail that smoothing takes away from the image (grey); where
// the image lies flat at its lowest value, away from it by NoiseReach pixels: a clipped
// background holds no noise, and neither does a noise-free one.
float noiseDeviation(const cv::Mat &grey, float lowest, bool flat, const cv::Mat &smooth)
{
    static const cv::Mat reach = cv::getStructuringElement(
        cv::MORPH_RECT, cv::Size(2 * NoiseReach + 1, 2 * NoiseReach + 1));
    cv::Mat near;
    if (flat)
        cv::dilate(grey <= lowest, near, reach);
    float deviation = 0.0f;
    robustLevel(grey, &deviation, near, smooth);
    return deviation;
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
    const float perStep = 1.0f / step;
    std::vector<uint32_t> linear(steps, 0);
    for (int y = 0; y < signal.rows; ++y) {
        const float *row = signal.ptr<float>(y);
        for (int x = 0; x < signal.cols; ++x) {
            const float above = row[x] - level;
            if (above >= 0.0f)
                ++linear[size_t(std::min(steps - 1, int(above * perStep)))];
        }
    }
    std::vector<double> histogram(bins, 0.0);
    for (int i = 0; i < steps; ++i) {
        const float u = std::log1p((float(i) + 0.5f) * step / noise);
        histogram[size_t(std::min(bins - 1, int(u / top * bins)))] += double(linear[size_t(i)]);
    }
    const int bin = maximumEntropyBin(histogram);
    if (bin < 0)
        return highest;
    return level + noise * std::expm1(top * float(bin + 1) / bins);
}

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
    float darkest = 0.0f;
    bool flat = false;
    const cv::Mat grey = toGrey(raw, darkest, flat);

    // Background subtraction.
    cv::Mat smooth;
    cv::GaussianBlur(grey, smooth, cv::Size(0, 0), 1.0);
    const cv::Mat signal = smooth - background(smooth, param.maxSize / pixel);

    // Threshold: maximum entropy of what lies above the background, scaled by the
    // sensitivity, and never inside the noise. The noise left in the smoothed image is
    // 0.32 of the deviation of the detail that the smoothing took away.
    const float level = robustLevel(signal);
    const float noise = std::max(0.5f, 0.32f * noiseDeviation(grey, darkest, flat, smooth));
    double highest = 0.0;
    cv::minMaxLoc(signal, nullptr, &highest);
    const float entropy = entropyThreshold(signal, level, noise, float(highest));
    const float threshold = std::max(level + (entropy - level) * param.thresholdScale,
                                     level + param.noiseFloor * noise);

    cv::Mat binary = signal > threshold;
    const std::vector<std::vector<cv::Point>> objectOutlines = Declustering::fillHoles(binary);

    // Finding and parting the cells; without declustering one per object of the binary
    // image. Radius of the smallest cell, pixels ("!(a > 0)" also catches NaN).
    const float smallest = !(param.minSize > 0.0f) ? 0.0f : param.minSize / pixel / 2;
    std::vector<cv::Rect> boxes;
    const cv::Mat objects =
        Declustering::cells(signal, binary, objectOutlines, level, noise, threshold,
                            param.declustering, smallest, Measured, boxes);

    // Measuring and filtering: each object is measured where it is at least `Measured` x
    // its own peak, so faint and bright cells of one size measure alike whatever the
    // threshold.
    for (int number = 1; number <= int(boxes.size()); ++number) {
        const cv::Rect &box = boxes[size_t(number - 1)];
        Moments m;
        int aboveThreshold = 0;
        for (int y = box.y; y < box.y + box.height; ++y) {
            const int *o = objects.ptr<int>(y);
            const uchar *b = binary.ptr<uchar>(y);
            for (int x = box.x; x < box.x + box.width; ++x) {
                if (o[x] == number) {
                    m.add(x, y);
                    aboveThreshold += b[x] != 0;
                }
            }
        }
        if (m.n <= 0 || aboveThreshold < AboveThreshold * m.n)
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
