// dlib's example faces with the 68 landmarks dlib's own tools gave them: our image-to-dlib wiring
// must reproduce those landmarks, and the pupil locator must find a synthetic iris painted at a
// known place into each real eye opening (scaled so the eyes are as wide as a webcam shows them),
// clipped by the real eyelids, then blurred, noised and JPEG-compressed.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iostream>
#include <limits>
#include <random>
#include <regex>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "gaze/vision/FaceLandmarker.h"
#include "gaze/vision/PupilLocator.h"

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
                faces.push_back(
                    {imagePath,
                     {std::stoi(m[2]), std::stoi(m[1]), std::stoi(m[3]), std::stoi(m[4])},
                     {}});
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
        double faceSum = 0;
        for (std::size_t i = 0; i < found.size(); ++i) {
            faceSum +=
                std::hypot(found[i].x - face.landmarks[i].x, found[i].y - face.landmarks[i].y);
        }
        EXPECT_LT(faceSum / found.size(), 2.0) << face.imagePath;
        sum += faceSum / found.size();
    }
    std::cout << "mean landmark error over " << faces.size() << " faces: " << sum / faces.size()
              << " px\n";
    EXPECT_LT(sum / faces.size(), 1.0);
}

// A face 60 cm from a 640 × 480 webcam with a 60° field of view.
constexpr double kEyeWidth = 23.0;

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
    cv::Mat skin, paint, alpha, noise(scaled.size(), CV_32F);
    scaled.convertTo(skin, CV_32F);
    painted.convertTo(paint, CV_32F);
    opening.convertTo(alpha, CV_32F, 1.0 / 255);
    cv::Mat blended = paint.mul(alpha) + skin.mul(1.0 - alpha);
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
        ASSERT_FALSE(image.empty()) << face.imagePath;
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
    std::cout << "pupil error over " << errors.size() << " eyes, in eye widths: median " << median
              << ", 90th percentile " << p90 << "\n";
    EXPECT_LT(median, 0.035);
    EXPECT_LT(p90, 0.07);
}

// An eye 40 × 12 px centred at (50, 30). A dark spot just past the outer corner is the darkest,
// roundest thing in the region, so it wins the search; it must be refused, not reported.
TEST(PupilLocatorTest, ReportsOnlyPupilsInsideTheOutline) {
    const std::vector<Point> outline{{30, 30}, {40, 24}, {60, 24}, {70, 30}, {60, 36}, {40, 36}};
    const std::pair<std::optional<cv::Point>, std::optional<Point>> cases[] = {
        {cv::Point(45, 31), Point{45, 31}},
        {cv::Point(74, 30), std::nullopt},
        {std::nullopt, std::nullopt},  // no edges at all
    };
    PupilLocator locator;
    for (const auto& [disc, expected] : cases) {
        cv::Mat grey(60, 100, CV_8U, cv::Scalar(180));
        if (disc) {
            cv::circle(grey, *disc, 5, cv::Scalar(40), cv::FILLED, cv::LINE_AA);
        }
        const std::optional<Point> found = locator.locate(grey, outline);
        ASSERT_EQ(found.has_value(), expected.has_value()) << disc.value_or(cv::Point());
        if (found) {
            EXPECT_NEAR(found->x, expected->x, 1.0);
            EXPECT_NEAR(found->y, expected->y, 1.0);
        }
    }
}

}  // namespace
}  // namespace glimmora
