#pragma once

#include <opencv2/core.hpp>

#include <QString>

namespace Tesmora {

// The images a cell counter keeps; the saved analysed image is GFL, the annotated one TAG.
enum ImageType {
    BFN = 0,
    GFL = 1,
    RFL = 2,
    BFN_BINARY = 3,
    GFL_BINARY = 4,
    RFL_BINARY = 5,
    OVERLAY = 6,
    OVERLAY_BINARY = 7,
    TAG = 8,
};

// How a concentration is expressed: cells per mL, or per µL (divided by 1000).
enum VolumeFactorUnit {
    VOLUME_FACTOR_ML = 0,
    VOLUME_FACTOR_UL = 1,
};

// Shared ground of the image analysis: one image per ImageType, the size of a pixel on
// the slide, and the labelling, geometry and concentration functions the analyses use.
// Copies hold their own pixels.
class Core
{
public:
    static constexpr int ImageTypeCount = TAG + 1;
    // Camera pixel 3.75 um behind the 10x objective.
    static constexpr float DefaultCameraPixel = 3.75f;
    static constexpr float DefaultMagnification = 10.0f;

    Core() = default;
    Core(const Core &other);
    Core &operator=(const Core &other);

    // Keeps a copy of the image under its type; an empty matrix removes it.
    void setImage(ImageType type, const cv::Mat &image);
    // The image kept under the type (shared with the store: clone before changing it),
    // empty when there is none.
    cv::Mat image(ImageType type) const;
    void clearImages();

    // Camera pixel in um and objective magnification; the slide pixel is their quotient.
    void setPixelSize(float cameraPixel, float magnification);
    // Micrometres on the slide per image pixel (0.375 by default).
    float pixelSize() const { return m_CameraPixel / m_Magnification; }

    // 8-connected labels (CV_32S, 0 background) of the non-zero pixels; returns the number
    // of labels including the background.
    static int label(const cv::Mat &binary, cv::Mat &labels);
    // Diameter of the circle of the same area, in pixels.
    static float equivalentDiameter(double area);
    // 100 x minor / major axis of the ellipse with the same second moments, each pixel
    // taken as a unit square (so a lone pixel is 100). mu20, mu02, mu11 are central
    // moments divided by the area.
    static float roundness(double mu20, double mu02, double mu11);

    // cells = count / volume x dilution (/ 1000 for µL), as mantissa x 10^exponent with
    // the mantissa rounded to two decimals, 1.00 to 9.99. A count of 0 or less, or a volume
    // or dilution that is not above 0, gives 0 and 0.
    static void concentration(int count, float volume, float dilution, float &mantissa,
                              int &exponent, VolumeFactorUnit unit = VOLUME_FACTOR_ML);
    // A concentration as the screens show it, "1.25 x 10e6 cells/mL", and as the results
    // log holds it, "1.25E06".
    static QString concentrationText(float mantissa, int exponent);
    static QString concentrationLogText(float mantissa, int exponent);

private:
    cv::Mat m_Images[ImageTypeCount];
    float m_CameraPixel = DefaultCameraPixel;
    float m_Magnification = DefaultMagnification;
};

} // namespace Tesmora
