#pragma once

#include "ORBELIN_Vn.h"

#include <QString>

#include <opencv2/core.hpp>

#include <vector>

// A counting field as the camera would see it, with a known answer: bright cells of
// chosen sizes and shapes on an uneven, noisy background, touching pairs, debris below
// the minimum cell size and elongated shapes below the roundness limit. Sizes are in um
// at 0.375 um a pixel; the same options and seed always give the same image.
class SyntheticField
{
public:
    enum Kind { Cell, PairedCell, Debris, Elongated };

    struct Shape
    {
        Kind kind = Cell;
        float x = 0.0f;        // centre, pixels
        float y = 0.0f;
        float major = 0.0f;    // axes (diameters), pixels
        float minor = 0.0f;
        float angle = 0.0f;    // degrees
        float brightness = 0;  // above the background, 8-bit grey levels
        // Diameter of the circle of the same area, um.
        float size() const;
    };

    struct Options
    {
        int width = 1280;
        int height = 960;
        int cells = 60;              // separated cells
        int pairs = 8;               // touching pairs, two cells each
        int debris = 20;             // specks of debrisSize
        int elongated = 6;           // shapes with minor / major = elongation
        float meanSize = 5.0f;       // um, cell diameter
        float sizeSpread = 1.0f;     // um, cells are meanSize +- this (uniform)
        float cellRoundness = 0.8f;  // cells have minor / major from this to 1
        float debrisSize = 1.0f;     // um
        float elongation = 0.2f;
        int bits = 8;                // 8, or 16 holding 12-bit values
        float noise = 4.0f;          // deviation in 8-bit grey levels
        unsigned seed = 1;
    };

    static const float PixelSize; // um

    // A field of separated cells only, so its count is known: nothing to split or leave out.
    static Options separatedCells(int width, int height, int cells, unsigned seed);

    explicit SyntheticField(const Options &options);

    // CV_8UC1, or CV_16UC1 for 16 bits.
    const cv::Mat &image() const { return m_Image; }
    const std::vector<Shape> &shapes() const { return m_Shapes; }
    // What a correct count finds: the separated and the paired cells.
    int cellCount() const;
    int pairCount() const;
    // Mean size of those cells, um.
    float meanCellSize() const;

    // Writes the image with the program's TIFF writer (instrument path, mapped).
    bool write(const QString &path, const QString &metadata) const;

    // A save folder of raw field images "01_RAW.tif", "02_RAW.tif", ... (one per options
    // entry, seeds as given), each with the metadata. Adds the true count of each field
    // to trueCounts when it is given. False when a file could not be written.
    static bool writeSaveFolder(const QString &folder, const std::vector<Options> &fields,
                                const QString &metadata, std::vector<int> *trueCounts = nullptr);

    // A save folder as a count leaves it: per field the raw image and the annotated one
    // ("NN_TAG.tif", counted with param), both carrying the count's metadata (cells, mean
    // size, volume factor in mL, dilution factor).
    static bool writeSavedCount(const QString &folder, const std::vector<Options> &fields,
                                const analysis_param_t &param, float volumeFactor,
                                int dilutionFactor);

private:
    void place(const Options &options);
    void render(const Options &options);

    cv::Mat m_Image;
    std::vector<Shape> m_Shapes;
};
