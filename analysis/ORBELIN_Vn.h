#pragma once

#include "Core.h"
#include "object_t.h"

#include <vector>

// The analysis constants of one count, made from the protocol by the counting run.
struct analysis_param_t
{
    float minSize = 0.3f;  // um: smaller objects are not cells
    float maxSize = 50.0f; // um
    int roundness = 30;    // percent: less round objects are not cells
    // Touching cells stay one while the distance map of their brightest areas never falls
    // below this share of the narrower one between them, and the distance map of their
    // outline never below this share + 0.15 of its lower peak; 0 splits nothing.
    float declustering = 0.85f;
    // The maximum-entropy threshold is multiplied by this (below 1: fainter cells count)...
    float thresholdScale = 1.0f;
    // ...and is kept at least this many noise deviations above the background.
    float noiseFloor = 6.0f;
};

// The cell counter of one counting field: finds the cells in the field image kept as
// GFL (8- or 16-bit grey), measures them and keeps the binary (GFL_BINARY) and the
// annotated RGB image (TAG: counted cells outlined green, rejected objects red).
class ORBELIN_Vn : public Tesmora::Core
{
public:
    // Background subtraction, maximum-entropy threshold, labelling, declustering by local
    // maxima of the distance map, size and roundness filtering, tag image. False, with an
    // empty result, when GFL holds no grey image.
    bool findObject(const analysis_param_t &param);

    // Cells counted, their concentration (count / volume factor x dilution factor, cells
    // per mL), mean size and sum of sizes in um. All 0 before a count or for no cells.
    void result(int &count, float &mantissa, int &exponent, float &meanSize,
                float &sizeSum) const;
    // The counted cells.
    const std::vector<object_t> &objects() const { return m_Objects; }
    // Objects found but left out by size or roundness.
    const std::vector<object_t> &rejected() const { return m_Rejected; }
    void clearResult();

    // Slide volume of the field in mL, sample dilution, focus-stage position of the field.
    void setVolumeFactor(float volume) { m_VolumeFactor = volume; }
    float volumeFactor() const { return m_VolumeFactor; }
    void setDilutionFactor(int dilution) { m_DilutionFactor = dilution; }
    int dilutionFactor() const { return m_DilutionFactor; }
    void setFocusPosition(int position) { m_FocusPosition = position; }
    int focusPosition() const { return m_FocusPosition; }

private:
    std::vector<object_t> m_Objects;
    std::vector<object_t> m_Rejected;
    float m_SizeSum = 0.0f;
    float m_VolumeFactor = 0.0f;
    int m_DilutionFactor = 1;
    int m_FocusPosition = 0;
};
