// Pupil localisation against known ground truth: a synthetic iris is painted at a chosen place
// into each real eye opening of dlib's example faces (scaled so the eyes are as wide as a webcam
// shows them), clipped by the real eyelids, then blurred, noised and JPEG-compressed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <random>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "ExampleFaces.h"
#include "gaze/vision/PupilLocator.h"

namespace glimmora {
namespace {

// A face 60 cm from a 640 × 480 webcam with a 60° field of view.
constexpr double kEyeWidth = 23.0;

struct PaintedEye {
    cv::Mat grey;
    std::vector<Point> outline;
    Point pupil;
    double width = 0;
};

// Scales the face's image so this eye is kEyeWidth wide and paints an iris into the opening: the
// real iris is covered by sclera first, so the painted one is the only one there.
PaintedEye paintEye(const cv::Mat& image, const test::ExampleFace& face, int firstPoint,
                    std::mt19937& random) {
    const Point corner0 = face.landmarks[firstPoint], corner1 = face.landmarks[firstPoint + 3];
    const double realWidth = std::hypot(corner1.x - corner0.x, corner1.y - corner0.y);
    const double scale = kEyeWidth / realWidth;
    // Only the surroundings of the eye, two eye widths each way, are scaled and painted.
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
    for (int i = firstPoint; i < firstPoint + 6; ++i) {
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
    cv::fillPoly(opening, std::vector<std::vector<cv::Point>>{polygon}, cv::Scalar(255),
                 cv::LINE_AA, 4);
    cv::Mat painted(scaled.size(), CV_8U, cv::Scalar(185));  // sclera
    const cv::Point centre(cvRound(eye.pupil.x * 16), cvRound(eye.pupil.y * 16));
    const double irisRadius = 0.21 * eye.width;
    cv::circle(painted, centre, cvRound(irisRadius * 16), cv::Scalar(70), cv::FILLED, cv::LINE_AA,
               4);
    cv::circle(painted, centre, cvRound(irisRadius * 0.45 * 16), cv::Scalar(25), cv::FILLED,
               cv::LINE_AA, 4);
    // Eyelids clip the iris; the opening's anti-aliased edge blends into the real skin.
    cv::Mat skin, paint, alpha;
    scaled.convertTo(skin, CV_32F);
    painted.convertTo(paint, CV_32F);
    opening.convertTo(alpha, CV_32F, 1.0 / 255);
    cv::Mat blended = paint.mul(alpha) + skin.mul(1.0 - alpha);
    cv::GaussianBlur(blended, blended, cv::Size(0, 0), 0.7);
    cv::Mat noise(blended.size(), CV_32F);
    cv::randn(noise, 0, 4);  // cv::theRNG, seeded once per test
    blended += noise;
    blended.convertTo(scaled, CV_8U);
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", scaled, jpeg, {cv::IMWRITE_JPEG_QUALITY, 80});
    eye.grey = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
    return eye;
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

// The gaze mapping amplifies raw pupil positions about fourfold; an error of 0.05 eye widths
// moves the point a fifth of the screen before filtering.
TEST(PupilLocatorTest, FindsPaintedPupilsWithinAFewHundredthsOfAnEye) {
    const std::vector<test::ExampleFace> faces = test::loadExampleFaces();
    ASSERT_GE(faces.size(), 40u) << "dlib's example faces (package libdlib19.1) are missing";
    std::mt19937 random(2011);
    cv::theRNG().state = 2011;
    PupilLocator locator;
    std::vector<double> errors;
    std::string loadedPath;
    cv::Mat image;
    for (const test::ExampleFace& face : faces) {
        if (face.imagePath != loadedPath) {
            image = cv::imread(face.imagePath, cv::IMREAD_COLOR);
            loadedPath = face.imagePath;
        }
        ASSERT_FALSE(image.empty()) << face.imagePath;
        for (int firstPoint : {36, 42}) {
            const PaintedEye eye = paintEye(image, face, firstPoint, random);
            const std::optional<Point> found = locator.locate(eye.grey, eye.outline);
            errors.push_back(found ? std::hypot(found->x - eye.pupil.x, found->y - eye.pupil.y) /
                                         eye.width
                                   : std::numeric_limits<double>::infinity());
        }
    }
    const double median = percentile(errors, 0.5), p90 = percentile(errors, 0.9);
    std::cout << "pupil error over " << errors.size() << " eyes, in eye widths: median " << median
              << ", 90th percentile " << p90 << "\n";
    EXPECT_LT(median, 0.035);
    EXPECT_LT(p90, 0.07);
}

struct DrawnCase {
    const char* name;
    std::optional<cv::Point> disc;  // a dark disc of radius 5 on a bright image
    std::optional<Point> expected;
};

// An eye 40 × 12 px centred at (50, 30). A dark spot just past the outer corner is the darkest,
// roundest thing in the region, so it wins the search; it must be refused, not reported.
TEST(PupilLocatorTest, ReportsOnlyPupilsInsideTheOutline) {
    const std::vector<Point> outline{{30, 30}, {40, 24}, {60, 24}, {70, 30}, {60, 36}, {40, 36}};
    const DrawnCase cases[] = {
        {"inside", cv::Point(45, 31), Point{45, 31}},
        {"past the corner", cv::Point(74, 30), std::nullopt},
        {"no edges at all", std::nullopt, std::nullopt},
    };
    PupilLocator locator;
    for (const DrawnCase& c : cases) {
        cv::Mat grey(60, 100, CV_8U, cv::Scalar(180));
        if (c.disc) {
            cv::circle(grey, *c.disc, 5, cv::Scalar(40), cv::FILLED, cv::LINE_AA);
        }
        const std::optional<Point> found = locator.locate(grey, outline);
        ASSERT_EQ(found.has_value(), c.expected.has_value()) << c.name;
        if (found) {
            EXPECT_NEAR(found->x, c.expected->x, 1.0) << c.name;
            EXPECT_NEAR(found->y, c.expected->y, 1.0) << c.name;
        }
    }
    cv::Mat grey(60, 100, CV_8U, cv::Scalar(180));
    EXPECT_FALSE(locator.locate(grey, std::vector<Point>{{30, 30}, {70, 30}, {50, 30}}))
        << "an outline without height";
}

}  // namespace
}  // namespace glimmora
