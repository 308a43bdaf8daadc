#include "Core.h"

#include <cmath>

namespace Tesmora {

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
    mantissa = float(std::round(value / std::pow(10.0, exponent) * 100.0) / 100.0);
}

} // namespace Tesmora
