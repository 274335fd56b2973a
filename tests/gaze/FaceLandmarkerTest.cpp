// Our image-to-dlib wiring on dlib's example faces, against the landmarks dlib's own tools gave
// them. Following a face through a recording is tested with the whole frame path.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>

#include <opencv2/imgcodecs.hpp>

#include "ExampleFaces.h"
#include "gaze/vision/FaceLandmarker.h"

namespace glimmora {
namespace {

double meanDistance(const FaceShape& a, const FaceShape& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += std::hypot(a[i].x - b[i].x, a[i].y - b[i].y);
    }
    return sum / static_cast<double>(a.size());
}

// Pixel rows, box corners or the channel order crossed on the way into dlib would move every
// point by many pixels. The references are rounded to whole pixels, so agreement is within a
// pixel on average.
TEST(FaceLandmarkerTest, ReproducesDlibsReferenceLandmarksInTheirBoxes) {
    FaceLandmarker landmarker;
    std::string error;
    ASSERT_TRUE(landmarker.load(FaceLandmarker::kDefaultModelPath, &error)) << error;
    const std::vector<test::ExampleFace> faces = test::loadExampleFaces();
    ASSERT_GE(faces.size(), 40u) << "dlib's example faces (package libdlib19.1) are missing";
    double worst = 0, sum = 0;
    for (const test::ExampleFace& face : faces) {
        const double error = meanDistance(
            landmarker.landmarksInBox(cv::imread(face.imagePath, cv::IMREAD_GRAYSCALE), face.box),
            face.landmarks);
        EXPECT_LT(error, 2.0) << face.imagePath;
        worst = std::max(worst, error);
        sum += error;
    }
    const double mean = sum / static_cast<double>(faces.size());
    std::cout << "landmark error over " << faces.size() << " faces: " << mean << " px on average, "
              << worst << " px for the worst face\n";
    EXPECT_LT(mean, 1.0);
}

}  // namespace
}  // namespace glimmora
