#pragma once

#include <opencv2/core.hpp>

#include <vector>

// Sums over the pixels of one region: its area, centre, second moments and box.
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

// Finds the cells of one field in its signal (the light above the background, CV_32F): each
// peak that stands out of the noise starts a cell; touching cells are parted where their
// light dips or their outline has a waist, and joined again where neither shows.
class Declustering
{
public:
    // The cells (CV_32S, numbered from 1), each where it is at least `measured` x its own
    // peak above the background level; boxes gets the box of each, cell 1 first (empty for a
    // cell without pixels). binary is the signal above the threshold, objects its outer
    // outlines; the noise is a deviation of the signal. Touching cells stay apart where the
    // waist between them is below `declustering` (0: one cell per object of the binary
    // image); smallest is the radius of the smallest cell, pixels.
    static cv::Mat cells(const cv::Mat &signal, const cv::Mat &binary,
                         const std::vector<std::vector<cv::Point>> &objects, float level,
                         float noise, float threshold, float declustering, float smallest,
                         float measured, std::vector<cv::Rect> &boxes);

    // Fills the holes of a binary image (background not reachable from the border); returns
    // the outer outlines of its objects.
    static std::vector<std::vector<cv::Point>> fillHoles(cv::Mat &binary);
};
