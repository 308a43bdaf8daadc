#include "Core.h"

#include <opencv2/imgproc.hpp>

#include <QDebug>

#include <cmath>

namespace Tesmora {

Core::Core(const Core &other)
{
    *this = other;
}

Core &Core::operator=(const Core &other)
{
    if (this == &other)
        return *this;
    for (int i = 0; i < ImageTypeCount; ++i)
        m_Images[i] = other.m_Images[i].clone();
    m_CameraPixel = other.m_CameraPixel;
    m_Magnification = other.m_Magnification;
    return *this;
}

void Core::setImage(ImageType type, const cv::Mat &image)
{
    if (type < 0 || type >= ImageTypeCount) {
        qDebug() << Q_FUNC_INFO << "no such image type" << int(type);
        return;
    }
    m_Images[type] = image.clone();
}

cv::Mat Core::image(ImageType type) const
{
    if (type < 0 || type >= ImageTypeCount)
        return cv::Mat();
    return m_Images[type];
}

void Core::clearImages()
{
    for (cv::Mat &image : m_Images)
        image.release();
}

void Core::setPixelSize(float cameraPixel, float magnification)
{
    if (!(cameraPixel > 0.0f) || !(magnification > 0.0f)) {
        qDebug() << Q_FUNC_INFO << "ignored" << cameraPixel << magnification;
        return;
    }
    m_CameraPixel = cameraPixel;
    m_Magnification = magnification;
}

int Core::label(const cv::Mat &binary, cv::Mat &labels)
{
    return cv::connectedComponents(binary, labels, 8, CV_32S);
}

float Core::equivalentDiameter(double area)
{
    return area > 0.0 ? float(2.0 * std::sqrt(area / CV_PI)) : 0.0f;
}

float Core::roundness(double mu20, double mu02, double mu11)
{
    // A unit square adds 1/12 to each axis' variance.
    const double a = mu20 + 1.0 / 12.0;
    const double b = mu02 + 1.0 / 12.0;
    const double root = std::sqrt((a - b) * (a - b) + 4.0 * mu11 * mu11);
    const double major = (a + b + root) / 2.0;
    const double minor = (a + b - root) / 2.0;
    if (!(major > 0.0) || minor < 0.0)
        return 0.0f;
    return float(100.0 * std::sqrt(minor / major));
}

void Core::concentration(int count, float volume, float dilution, float &mantissa,
                         int &exponent, VolumeFactorUnit unit)
{
    mantissa = 0.0f;
    exponent = 0;
    // "!(x > 0)" also turns away NaN; log10 of 0 or of infinity has no mantissa.
    if (count <= 0 || !(volume > 0.0f) || !(dilution > 0.0f))
        return;
    double value = double(count) / double(volume) * double(dilution);
    if (unit == VOLUME_FACTOR_UL)
        value /= 1000.0;
    if (!std::isfinite(value) || value <= 0.0)
        return;
    exponent = int(std::floor(std::log10(value)));
    double hundredths = std::round(value / std::pow(10.0, exponent) * 100.0);
    // 9.995 rounds to 10.00: that is 1.00 of the next power.
    if (hundredths >= 1000.0) {
        hundredths = std::round(hundredths / 10.0);
        ++exponent;
    }
    mantissa = float(hundredths / 100.0);
}

QString Core::concentrationText(float mantissa, int exponent)
{
    return QStringLiteral("%1 x 10e%2 cells/mL").arg(double(mantissa), 0, 'f', 2).arg(exponent);
}

QString Core::concentrationLogText(float mantissa, int exponent)
{
    return QString::asprintf("%.2fE%02d", double(mantissa), exponent);
}

} // namespace Tesmora
