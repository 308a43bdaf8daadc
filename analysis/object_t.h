#pragma once

#include <opencv2/core.hpp>

#include <vector>

// One object found in a field image.
struct object_t
{
    float x = 0.0f;         // centre, image pixels
    float y = 0.0f;
    float size = 0.0f;      // diameter of the circle of the same area, um
    float roundness = 0.0f; // percent: 100 x minor / major axis
    std::vector<cv::Point> contour;
};
