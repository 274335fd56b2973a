// The path from a camera frame to raw gaze. Its parts on dlib's example faces and the landmarks
// dlib's own tools gave them: the landmarks our image-to-dlib wiring finds, and a synthetic iris
// painted at a known place into each real eye opening (at webcam scale, clipped by the real
// eyelids, blurred, noised, JPEG-compressed). The whole on the recorded webcam clip.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <regex>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "gaze/RawGaze.h"
#include "gaze/vision/GazeFrameAnalyzer.h"

namespace glimmora {
namespace {

struct ExampleFace {
    std::string imagePath;
    cv::Rect box;
    FaceShape landmarks;
};

// Every face of the testing and training sets; the files are dlib's own simple XML, one element
// per line, so a line-wise reading is enough.
std::vector<ExampleFace> loadExampleFaces() {
    const std::string directory = GLIMMORA_DLIB_EXAMPLE_FACES "/";
    const std::regex image(R"(<image file='([^']+)')");
    const std::regex box(R"(<box top='(-?\d+)' left='(-?\d+)' width='(\d+)' height='(\d+)')");
    const std::regex point(R"(<part name='(\d+)' x='(-?\d+)' y='(-?\d+)')");
    std::vector<ExampleFace> faces;
    for (const char* file :
         {"testing_with_face_landmarks.xml", "training_with_face_landmarks.xml"}) {
        std::ifstream in(directory + file);
        std::string line, imagePath;
        std::smatch m;
        while (std::getline(in, line)) {
            if (std::regex_search(line, m, image)) {
                imagePath = directory + m[1].str();
            } else if (std::regex_search(line, m, box)) {
                faces.emplace_back().imagePath = imagePath;
                faces.back().box = {std::stoi(m[2]), std::stoi(m[1]), std::stoi(m[3]),
                                    std::stoi(m[4])};
            } else if (std::regex_search(line, m, point) && !faces.empty()) {
                faces.back().landmarks.at(std::stoul(m[1])) = {std::stod(m[2]), std::stod(m[3])};
            }
        }
    }
    EXPECT_GE(faces.size(), 40u) << "dlib's example faces (package libdlib19.1) are missing";
    return faces;
}

// Pixel rows, box corners or the channel order crossed on the way into dlib would move every
// point by many pixels. The references are rounded to whole pixels, so agreement is within a
// pixel on average.
TEST(FaceLandmarkerTest, ReproducesDlibsReferenceLandmarksInTheirBoxes) {
    FaceLandmarker landmarker;
    std::string error;
    ASSERT_TRUE(landmarker.load(FaceLandmarker::kDefaultModelPath, &error)) << error;
    const std::vector<ExampleFace> faces = loadExampleFaces();
    double sum = 0;
    for (const ExampleFace& face : faces) {
        const FaceShape found =
            landmarker.landmarksInBox(cv::imread(face.imagePath, cv::IMREAD_GRAYSCALE), face.box);
        double d = 0;
        for (std::size_t i = 0; i < found.size(); ++i) {
            d += std::hypot(found[i].x - face.landmarks[i].x, found[i].y - face.landmarks[i].y);
        }
        d /= found.size();
        EXPECT_LT(d, 2.0) << face.imagePath;
        sum += d;
    }
    EXPECT_LT(sum / faces.size(), 1.0);
}

constexpr double kEyeWidth = 23.0;  // a face 60 cm from a 640 × 480 webcam with a 60° view

struct PaintedEye {
    cv::Mat grey;
    std::vector<Point> outline;
    Point pupil;
    double width = 0;
};

// Scales the surroundings of the eye so it is kEyeWidth wide and paints an iris into the
// opening: the real iris is covered by sclera first, so the painted one is the only one there.
PaintedEye paintEye(const cv::Mat& image, const ExampleFace& face, int first,
                    std::mt19937& random) {
    const Point corner0 = face.landmarks[first], corner1 = face.landmarks[first + 3];
    const double realWidth = std::hypot(corner1.x - corner0.x, corner1.y - corner0.y);
    const double scale = kEyeWidth / realWidth;
    const cv::Rect around =
        cv::Rect(cvRound(corner0.x - 2 * realWidth), cvRound(corner0.y - 2 * realWidth),
                 cvRound(5 * realWidth), cvRound(4 * realWidth)) &
        cv::Rect(0, 0, image.cols, image.rows);
    PaintedEye eye;
    cv::Mat scaled;
    cv::resize(image(around), scaled, cv::Size(), scale, scale, cv::INTER_CUBIC);
    cv::cvtColor(scaled, scaled, cv::COLOR_BGR2GRAY);
    std::vector<cv::Point> polygon;
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (int i = first; i < first + 6; ++i) {
        const Point p{(face.landmarks[i].x - around.x) * scale,
                      (face.landmarks[i].y - around.y) * scale};
        eye.outline.push_back(p);
        polygon.emplace_back(cvRound(p.x * 16), cvRound(p.y * 16));
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    eye.width = maxX - minX;
    std::uniform_real_distribution<double> across(0.3, 0.7), down(0.35, 0.65);
    eye.pupil = Point{minX + across(random) * eye.width, minY + down(random) * (maxY - minY)};
    cv::Mat opening = cv::Mat::zeros(scaled.size(), CV_8U);
    cv::fillPoly(opening, std::vector{polygon}, cv::Scalar(255), cv::LINE_AA, 4);
    cv::Mat painted(scaled.size(), CV_8U, cv::Scalar(185));  // sclera
    const cv::Point centre(cvRound(eye.pupil.x * 16), cvRound(eye.pupil.y * 16));
    for (const auto& [radius, level] : {std::pair{0.21, 70}, {0.21 * 0.45, 25}}) {  // iris, pupil
        cv::circle(painted, centre, cvRound(radius * eye.width * 16), cv::Scalar(level), cv::FILLED,
                   cv::LINE_AA, 4);
    }
    // Eyelids clip the iris; the opening's anti-aliased edge blends into the real skin.
    cv::Mat alpha, blended, noise(scaled.size(), CV_32F);
    opening.convertTo(alpha, CV_32F, 1.0 / 255);
    cv::blendLinear(painted, scaled, alpha, 1.0 - alpha, blended);
    blended.convertTo(blended, CV_32F);
    cv::GaussianBlur(blended, blended, cv::Size(0, 0), 0.7);
    cv::randn(noise, 0, 4);  // cv::theRNG, seeded once per test
    cv::Mat(blended + noise).convertTo(scaled, CV_8U);
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", scaled, jpeg, {cv::IMWRITE_JPEG_QUALITY, 80});
    eye.grey = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
    return eye;
}

// The gaze mapping amplifies raw pupil positions about fourfold; an error of 0.05 eye widths
// moves the point a fifth of the screen before filtering.
TEST(PupilLocatorTest, FindsPaintedPupilsWithinAFewHundredthsOfAnEye) {
    std::mt19937 random(2011);
    cv::theRNG().state = 2011;
    PupilLocator locator;
    std::vector<double> errors;
    for (const ExampleFace& face : loadExampleFaces()) {
        const cv::Mat image = cv::imread(face.imagePath, cv::IMREAD_COLOR);
        for (int first : {36, 42}) {
            const PaintedEye eye = paintEye(image, face, first, random);
            const std::optional<Point> found = locator.locate(eye.grey, eye.outline);
            errors.push_back(found ? std::hypot(found->x - eye.pupil.x, found->y - eye.pupil.y) /
                                         eye.width
                                   : std::numeric_limits<double>::infinity());
        }
    }
    std::sort(errors.begin(), errors.end());
    const double median = errors[errors.size() / 2], p90 = errors[errors.size() * 9 / 10];
    EXPECT_LT(median, 0.035);
    EXPECT_LT(p90, 0.07);
}

// An eye 40 × 12 px centred at (50, 30). A dark spot just past the outer corner is the darkest,
// roundest thing in the region, so it wins the search; it must be refused, not reported.
TEST(PupilLocatorTest, ReportsOnlyPupilsInsideTheOutline) {
    PupilLocator locator;
    const auto locate = [&](std::optional<cv::Point> disc) {
        cv::Mat grey(60, 100, CV_8U, cv::Scalar(180));
        if (disc) {
            cv::circle(grey, *disc, 5, cv::Scalar(40), cv::FILLED, cv::LINE_AA);
        }
        return locator.locate(
            grey, std::vector<Point>{{30, 30}, {40, 24}, {60, 24}, {70, 30}, {60, 36}, {40, 36}});
    };
    const std::optional<Point> inside = locate(cv::Point(45, 31));
    ASSERT_TRUE(inside);
    EXPECT_NEAR(inside->x, 45, 1.0);
    EXPECT_NEAR(inside->y, 31, 1.0);
    EXPECT_FALSE(locate(cv::Point(74, 30))) << "past the outer corner";
}

// A face with glasses turning its head, its eyes about 23 px wide, cut out and scaled to the
// 640 × 480 frames a webcam gives; half a second is blanked out, as when the camera is covered.
TEST(GazeFrameAnalyzerTest, FollowsTheRecordedFaceAndItsPupils) {
    GazeFrameAnalyzer analyzer;
    std::string error;
    ASSERT_TRUE(analyzer.load(FaceLandmarker::kDefaultModelPath, &error)) << error;
    cv::VideoCapture video(GLIMMORA_WEBCAM_CLIP, cv::CAP_FFMPEG);
    constexpr std::size_t kBlankFrom = 120, kBlankTo = 135;
    std::vector<FrameAnalysis> frames;
    cv::Mat frame, webcam;
    while (video.read(frame)) {
        cv::resize(frame(cv::Rect(90, 60, 300, 225)), webcam, cv::Size(640, 480));
        if (frames.size() >= kBlankFrom && frames.size() < kBlankTo) {
            webcam.setTo(cv::Scalar::all(128));
        }
        frames.push_back(analyzer.analyze(webcam));
    }
    ASSERT_GE(frames.size(), 240u) << "the recorded clip (package forensics-samples-files)";
    // The track ends while the camera is covered (the regular checks find no face) and starts
    // again right after.
    EXPECT_FALSE(frames[kBlankTo - 1].face) << "the track outlived half a second without a face";
    EXPECT_TRUE(frames[kBlankTo + 1].face) << "the face was not found again";

    const auto eyesCentre = [](const FaceShape& s) {  // between the outer eye corners
        return Point{(s[36].x + s[45].x) / 2, (s[36].y + s[45].y) / 2};
    };
    std::size_t faces = 0, counted = 0;
    std::vector<double> xs, ys;  // raw gaze where both pupils were found
    double largestStep = 0;
    for (std::size_t i = 1; i < frames.size(); ++i) {
        const bool covered = i >= kBlankFrom && i < kBlankTo + 2;
        counted += !covered;
        if (frames[i].face && !covered) {
            ++faces;
            if (frames[i - 1].face) {
                const Point a = eyesCentre(*frames[i - 1].face), b = eyesCentre(*frames[i].face);
                largestStep = std::max(largestStep, std::hypot(b.x - a.x, b.y - a.y));
            }
            if (const std::optional<RawGaze> raw = rawGazeFromEyes(frames[i].eyes)) {
                xs.push_back(raw->x);
                ys.push_back(raw->y);
            }
        }
    }
    EXPECT_GE(faces, counted * 85 / 100);
    // The fastest head turn of the clip moves the eyes about 24 px in a frame; a fit slipping off
    // the eyes moves them by half a face (65 px) or more.
    EXPECT_LT(largestStep, 40.0);
    // Both pupils are found on fewer frames: behind glasses many best centres hug a lid.
    ASSERT_GE(xs.size(), faces * 4 / 10);
    // The user looks at the screen just below the camera throughout.
    for (std::vector<double>* values : {&xs, &ys}) {
        std::nth_element(values->begin(), values->begin() + values->size() / 2, values->end());
        EXPECT_NEAR((*values)[values->size() / 2], 0.5, 0.15);
    }
}

}  // namespace
}  // namespace glimmora
