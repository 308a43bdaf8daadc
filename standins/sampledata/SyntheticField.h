#pragma once

#include "ORBELIN_Vn.h"

#include <QString>

#include <opencv2/core.hpp>

#include <vector>

// A counting field as the camera would see it, with a known answer for every cell:
// dome-shaped or flat-topped oval cells of log-normal brightness, some with a darker
// vacuole; single long ovals and rods; touching clusters of two and three cells of unequal
// brightness, and small cells pressed against larger ones; debris (specks below the minimum
// cell size, fibres, out-of-focus blobs wider than the largest cell) and elongated shapes
// below the roundness limit; blurred by the optics, vignetted, on a tilted background, with
// shot and read noise, the dark background clipped to 0 if asked. Sizes are in um at
// 0.375 um a pixel; the same options and seed always give the same image.
class SyntheticField
{
public:
    // Clipped: a cell whose light the clipping of the background took away (no cell to count).
    enum Kind { Cell, ClusterCell, Debris, Fibre, Blob, Elongated, Clipped };
    // How a cell's light falls from its centre: a dome falls to nothing at the rim, a disc is
    // even, a flat top keeps more than half of it up to the rim and falls within the blur.
    enum Profile { Dome, Disc, FlatTop };

    struct Shape
    {
        Kind kind = Cell;
        float x = 0.0f;        // centre, pixels
        float y = 0.0f;
        float major = 0.0f;    // axes (diameters), pixels; a fibre's length and width
        float minor = 0.0f;
        float angle = 0.0f;    // degrees
        float brightness = 0;  // peak above the background, 8-bit grey levels
        // Brightness as a share of the brightest cell of its touching cluster (1 alone).
        float clusterShare = 1.0f;
        // A darker vacuole: radius and centre in shares of the half axes; 0 for none.
        float vacuole = 0.0f;
        float vacuoleU = 0.0f;
        float vacuoleV = 0.0f;
        float bend = 0.0f;     // a fibre's sagitta, share of its length
        float rim = 0.0f;      // a flat-topped cell's light at its rim, share of its peak
        // A rod (spherocylinder): a cylinder as wide as minor with round ends, major long
        // overall; otherwise an ellipse.
        bool rod = false;
        bool isCell() const { return kind == Cell || kind == ClusterCell; }
        // Diameter of the circle of the same area, um.
        float size() const;
        // From the centre to the edge of the ellipse in the direction (radians), pixels.
        float radius(float direction) const;
    };

    struct Options
    {
        int width = 1280;
        int height = 960;
        // By default about 170 cells, a third of them in touching clusters, as in a frame
        // of yeast.
        int cells = 120;             // cells alone
        int pairs = 15;              // touching clusters of two cells
        int triples = 6;             // touching clusters of three cells
        int debris = 25;             // specks of debrisSize
        int fibres = 4;
        int blobs = 3;               // out of focus, 3 to 6 x meanSize
        int elongated = 6;           // shapes with minor / major = elongation
        // Single ovals as wide as the cells, shortestOval to longestOval times as long.
        int ovals = 0;
        float shortestOval = 1.25f;
        float longestOval = 2.5f;
        // Single rods rodWidthMin to rodWidthMax um wide, rodLengthMin to rodLengthMax times
        // as long as wide.
        int rods = 0;
        float rodWidthMin = 1.5f;
        float rodWidthMax = 4.0f;
        float rodLengthMin = 1.5f;
        float rodLengthMax = 2.5f;
        // Touching pairs of a small cell (0.6 to 0.8 x meanSize) and one of the usual sizes,
        // either of them the brighter.
        int smallPairs = 0;
        float meanSize = 5.0f;       // um, cell diameter
        float sizeSpread = 1.0f;     // um, cells are meanSize +- this (uniform)
        float cellRoundness = 0.8f;  // cells have minor / major from this to 1
        float debrisSize = 1.0f;     // um
        float elongation = 0.2f;
        // Median peak of a cell above the background, 8-bit grey levels; the logarithm of
        // the brightness has this deviation, kept within a third and 2.5 times the median.
        float brightness = 100.0f;
        float brightnessSpread = 0.5f;
        // A cluster's cells have from this share of its brightest cell's brightness up to 1.
        float dimmest = 0.3f;
        float vacuoles = 0.25f;      // share of the cells with a vacuole
        // Cells of a cluster overlap by minOverlap to maxOverlap of their summed radii along
        // the line between their centres; otherwise their centres are 0.85 to 1 x the sum of
        // their major half axes apart.
        bool overlapAlongLine = false;
        float minOverlap = 0.02f;
        float maxOverlap = 0.2f;
        Profile profile = Dome;
        float blurMin = 1.0f;        // deviation of the optics' blur, pixels
        float blurMax = 1.5f;
        int bits = 8;                // 8, or 16 holding 12-bit values
        float noise = 4.0f;          // read noise, 8-bit grey levels
        // Photo-electrons per 8-bit grey level, for the shot noise; 0 for none.
        float electrons = 16.0f;
        // The background clipped to 0 as some cameras give it: every pixel below the frame's
        // median + 3 deviations of the background noise. Cells whose peak does not stand
        // another 2 deviations above that are Clipped.
        bool clipped = false;
        unsigned seed = 1;
    };

    static const float PixelSize; // um

    // A field of separated, evenly bright cells without vacuoles only, so its count and
    // sizes are known: nothing to split or leave out.
    static Options separatedCells(int width, int height, int cells, unsigned seed);
    // A crowded field of about 210 cells of the profile, half of them touching: pairs and
    // triples overlapping by 2 to 20 % of their summed radii and small cells pressed against
    // larger ones, 30 % with a vacuole, blurred by 0.9 to 1.6 pixels.
    static Options touchingCells(Profile profile, unsigned seed);
    // A field of `count` single ovals or rods of the given width and length (um), nothing
    // else: each is one cell.
    static Options singleCells(int count, bool rod, float width, float length, unsigned seed);

    explicit SyntheticField(const Options &options);
    // These shapes alone, drawn as options says (profile, blur, light, noise, bits, seed).
    SyntheticField(const Options &options, const std::vector<Shape> &shapes);

    // CV_8UC1, or CV_16UC1 for 16 bits.
    const cv::Mat &image() const { return m_Image; }
    const std::vector<Shape> &shapes() const { return m_Shapes; }
    // What a correct count finds: the cells alone and in clusters.
    int cellCount() const;
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
