#pragma once

#include <array>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "core/Point.h"

namespace glimmora::test {

/// One face of dlib's example images with the 68 landmarks dlib's own model gave it.
struct ExampleFace {
    std::string imagePath;
    cv::Rect box;
    std::array<Point, 68> landmarks;
};

/// Every face of the example images' landmark files (testing and training sets), read from the
/// directory Debian's dlib package installs them to; empty when the package is missing.
std::vector<ExampleFace> loadExampleFaces();

}  // namespace glimmora::test
