// Faces on real images: dlib's example faces against the landmarks dlib's own tools gave them,
// and a recorded webcam clip (a face with glasses turning its head) for following a face.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "ExampleFaces.h"
#include "gaze/vision/FaceLandmarker.h"

namespace glimmora {
namespace {

class FaceLandmarkerTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        landmarker_ = std::make_unique<FaceLandmarker>();
        std::string error;
        ASSERT_TRUE(landmarker_->load(FaceLandmarker::kDefaultModelPath, &error)) << error;
    }
    static void TearDownTestSuite() { landmarker_.reset(); }
    void SetUp() override { landmarker_->reset(); }

    static std::unique_ptr<FaceLandmarker> landmarker_;
};

std::unique_ptr<FaceLandmarker> FaceLandmarkerTest::landmarker_;

cv::Mat greyImage(const std::string& path) {
    cv::Mat grey = cv::imread(path, cv::IMREAD_GRAYSCALE);
    EXPECT_FALSE(grey.empty()) << path;
    return grey;
}

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
TEST_F(FaceLandmarkerTest, ReproducesDlibsReferenceLandmarksInTheirBoxes) {
    const std::vector<test::ExampleFace> faces = test::loadExampleFaces();
    ASSERT_GE(faces.size(), 40u) << "dlib's example faces (package libdlib19.1) are missing";
    double worst = 0, sum = 0;
    for (const test::ExampleFace& face : faces) {
        const double error = meanDistance(
            landmarker_->landmarksInBox(greyImage(face.imagePath), face.box), face.landmarks);
        EXPECT_LT(error, 2.0) << face.imagePath;
        worst = std::max(worst, error);
        sum += error;
    }
    const double mean = sum / static_cast<double>(faces.size());
    std::cout << "landmark error over " << faces.size() << " faces: " << mean << " px on average, "
              << worst << " px for the worst face\n";
    EXPECT_LT(mean, 1.0);
}

// The example faces are small (about 50 px); searched at twice their size the detector finds
// the boxes the references were made with, and a box rebuilt from the landmarks lands on them.
TEST_F(FaceLandmarkerTest, DetectsTheReferenceFacesAndRebuildsTheirBoxes) {
    const std::vector<test::ExampleFace> faces = test::loadExampleFaces();
    int found = 0;
    std::string searchedPath;
    std::vector<cv::Rect> detected;
    for (const test::ExampleFace& face : faces) {
        const cv::Rect rebuilt = FaceLandmarker::boxAround(face.landmarks);
        EXPECT_GT((rebuilt & face.box).area(), 0.7 * face.box.area()) << face.imagePath;
        if (face.imagePath != searchedPath) {
            detected = landmarker_->detect(greyImage(face.imagePath), 2.0);
            searchedPath = face.imagePath;
        }
        for (const cv::Rect& box : detected) {
            if ((box & face.box).area() > 0.6 * face.box.area()) {
                ++found;
                break;
            }
        }
    }
    EXPECT_GE(found, static_cast<int>(faces.size()) * 9 / 10);
}

// The recorded clip's webcam inset, cut out and scaled to the 640 × 480 grey frames a webcam
// gives the tracker.
std::vector<cv::Mat> webcamClip() {
    std::vector<cv::Mat> frames;
    cv::VideoCapture video(GLIMMORA_WEBCAM_CLIP, cv::CAP_FFMPEG);
    cv::Mat frame;
    while (video.read(frame)) {
        cv::Mat grey;
        cv::cvtColor(frame(cv::Rect(90, 60, 300, 225)), grey, cv::COLOR_BGR2GRAY);
        cv::resize(grey, grey, cv::Size(640, 480), 0, 0, cv::INTER_LINEAR);
        frames.push_back(grey);
    }
    return frames;
}

Point eyesCentre(const FaceShape& shape) {
    Point sum;
    for (int i = 36; i < 48; ++i) {
        sum.x += shape[i].x / 12;
        sum.y += shape[i].y / 12;
    }
    return sum;
}

// Half a second of the clip is blanked out, as when the camera is covered: the track must end
// during it (the regular checks find no face) and start again right after it.
TEST_F(FaceLandmarkerTest, FollowsTheRecordedFaceAndFindsItAgainAfterALoss) {
    std::vector<cv::Mat> frames = webcamClip();
    ASSERT_GE(frames.size(), 240u) << "the recorded clip (package forensics-samples-files)";
    constexpr std::size_t kBlankFrom = 120, kBlankTo = 135;
    for (std::size_t i = kBlankFrom; i < kBlankTo; ++i) {
        frames[i].setTo(cv::Scalar(128));
    }
    std::vector<std::optional<FaceShape>> shapes;
    for (const cv::Mat& frame : frames) {
        shapes.push_back(landmarker_->track(frame));
    }
    std::size_t withFace = 0;
    double largestStep = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i >= kBlankFrom && i < kBlankTo + 2) {
            continue;
        }
        withFace += shapes[i].has_value();
        if (i > 0 && shapes[i] && shapes[i - 1]) {
            const Point a = eyesCentre(*shapes[i - 1]), b = eyesCentre(*shapes[i]);
            largestStep = std::max(largestStep, std::hypot(b.x - a.x, b.y - a.y));
        }
    }
    const double share = static_cast<double>(withFace) / static_cast<double>(frames.size() - 17);
    std::cout << "face on " << share * 100 << " % of frames; largest step of the eyes "
              << largestStep << " px\n";
    EXPECT_GE(share, 0.85);
    EXPECT_FALSE(shapes[kBlankTo - 1]) << "the track outlived half a second without a face";
    EXPECT_TRUE(shapes[kBlankTo + 1]) << "the face was not found again";
    // The fastest head turn of the clip moves the eyes about 21 px in a frame; a fit slipping off
    // the eyes moves them by half a face (65 px) or more.
    EXPECT_LT(largestStep, 40.0);
}

}  // namespace
}  // namespace glimmora
