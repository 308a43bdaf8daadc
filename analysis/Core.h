#pragma once

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

// Shared ground of the image analysis. So far it holds the concentration formula.
class Core
{
public:
    // cells = count / volume x dilution (/ 1000 for µL), as mantissa x 10^exponent with
    // the mantissa rounded to two decimals. A count of 0 or less, or a volume or dilution
    // that is not above 0, gives 0 and 0.
    static void concentration(int count, float volume, float dilution, float &mantissa,
                              int &exponent, VolumeFactorUnit unit = VOLUME_FACTOR_ML);
};

} // namespace Tesmora
