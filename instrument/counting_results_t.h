#pragma once

#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

// What one counting field gave.
struct field_result_t
{
    int field = 0;            // the field's number ("03_RAW.tif" is field 3)
    QString fileName;         // the image it was counted from
    bool analysed = false;    // false: the image could not be used, see problem
    QString problem;
    int count = 0;
    float mantissa = 0.0f;    // concentration, cells/mL = mantissa x 10^exponent
    int exponent = 0;
    float meanSize = 0.0f;    // um
    float sizeSum = 0.0f;     // um
    float volumeFactor = 0.0f; // mL of sample in the field
    int dilutionFactor = 0;
};

// The totals of one count, its size histogram and its fields.
struct counting_results_t
{
    // Size classes: 0.2 um wide from 0.0 to 9.8 (50), then 1 um wide from 10 to 50 (41);
    // the last one also holds anything larger.
    static constexpr int HistogramBins = 91;

    QString folder;            // the save folder of a re-analysis
    int count = 0;
    float mantissa = 0.0f;
    int exponent = 0;
    float meanSize = 0.0f;     // um, over all counted cells
    float sizeSum = 0.0f;
    float volumeFactor = 0.0f; // mL, summed over the analysed fields
    int dilutionFactor = 0;
    int analysedFields = 0;
    std::vector<int> histogram = std::vector<int>(HistogramBins, 0);
    std::vector<field_result_t> fields;

    // The size class of a size in um. The small margin puts 0.6, which single precision
    // holds as 0.5999999, into the class starting at 0.6.
    static int histogramBin(float size)
    {
        if (!(size > 0.0f))
            return 0;
        if (size < 10.0f)
            return std::min(49, int(std::floor(size * 5.0f + 1e-4f)));
        return 50 + std::min(40, int(std::floor(size + 1e-4f)) - 10);
    }
    // The lower edge of a size class in um.
    static float histogramBinStart(int bin)
    {
        return bin < 50 ? float(bin) * 0.2f : float(bin - 40);
    }
};
