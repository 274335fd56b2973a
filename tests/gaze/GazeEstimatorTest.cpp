// From eye landmarks to a published point: the raw gaze of a face, its direction on screen, the
// mapping with and without calibration, clamping, and the filters' hand-over.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "gaze/GazeEstimator.h"
#include "gaze/RawGaze.h"

namespace glimmora {
namespace {

// An eye opening 20 px wide and 10 px high with its top-left corner at `origin`.
EyeLandmarks eye(Point origin, std::optional<Point> pupilOffset) {
    EyeLandmarks eye;
    for (Point p :
         {Point{0, 5}, Point{6, 0}, Point{14, 0}, Point{20, 5}, Point{14, 10}, Point{6, 10}}) {
        eye.outline.push_back({origin.x + p.x, origin.y + p.y});
    }
    if (pupilOffset) {
        eye.pupil = Point{origin.x + pupilOffset->x, origin.y + pupilOffset->y};
    }
    return eye;
}

FaceEyes face(std::optional<Point> rightPupil, std::optional<Point> leftPupil) {
    return FaceEyes{eye({100, 200}, rightPupil), eye({160, 202}, leftPupil)};
}

struct RawCase {
    const char* name;
    FaceEyes eyes;
    std::optional<RawGaze> expected;
};

TEST(RawGazeTest, AveragesBothEyesInsideTheirBoxesWithYTurnedUpward) {
    FaceEyes flat = face(Point{10, 5}, Point{10, 5});
    for (EyeLandmarks* e : {&flat.right, &flat.left}) {
        for (Point& p : e->outline) {
            p.x = e->outline.front().x;  // every point on one column: no width
        }
    }
    FaceEyes noOutline = face(Point{10, 5}, Point{10, 5});
    noOutline.left.outline.clear();
    const RawCase cases[] = {
        {"centred", face(Point{10, 5}, Point{10, 5}), RawGaze{0.5, 0.5}},
        // right eye (0.75, 0.25 down), left eye (0.25, 0.5 down): x 0.5, y 1 - 0.375
        {"eyes apart", face(Point{15, 2.5}, Point{5, 5}), RawGaze{0.5, 0.625}},
        {"both towards the frame's right and up", face(Point{14, 3}, Point{14, 3}),
         RawGaze{0.7, 0.7}},
        {"outline without width", flat, RawGaze{0.5, 0.5}},
        {"one pupil not found", face(Point{10, 5}, std::nullopt), std::nullopt},
        {"one eye without outline", noOutline, std::nullopt},
    };
    for (const RawCase& c : cases) {
        const std::optional<RawGaze> raw = rawGazeFromEyes(c.eyes);
        ASSERT_EQ(raw.has_value(), c.expected.has_value()) << c.name;
        if (raw) {
            EXPECT_NEAR(raw->x, c.expected->x, 1e-12) << c.name;
            EXPECT_NEAR(raw->y, c.expected->y, 1e-12) << c.name;
        }
    }
}

// A user looking to their left turns the pupils towards the frame's right (the camera faces
// them); the uncalibrated point must then move left on the screen, and further the more the
// pupils move.
TEST(RawGazeTest, PupilsTowardsTheFramesRightMoveTheUncalibratedPointLeft) {
    const GazeEstimator estimator;
    double lastX = 2.0;
    for (double offset : {6.0, 10.0, 14.0}) {
        const std::optional<RawGaze> raw =
            rawGazeFromEyes(face(Point{offset, 5}, Point{offset, 5}));
        ASSERT_TRUE(raw);
        const double x = estimator.normalizedPosition(*raw).x;
        EXPECT_LT(x, lastX) << offset;
        lastX = x;
    }
}

constexpr DisplaySize kDisplay{1000, 800};

struct EstimateCase {
    const char* name;
    std::optional<GazeCalibration> calibration;
    RawGaze raw;
    Point expected;
};

// The first point after creation passes every filter unchanged, so it shows the mapping alone.
TEST(GazeEstimatorTest, FirstPointShowsTheMappingClampedToTheDisplay) {
    const EstimateCase cases[] = {
        {"centre", std::nullopt, {0.5, 0.5}, {500, 400}},
        // x: 0.5 - 0.1 × 2 × 1.8 = 0.14; y: 0.5 + 0.1 × 2 × 2 = 0.9
        {"x mirrored, y amplified", std::nullopt, {0.6, 0.6}, {140, 720}},
        // y: 0.5 + 0.25 × 4 = 1.5 is clamped to the bottom edge
        {"past the bottom", std::nullopt, {0.4, 0.75}, {860, 800}},
        {"past the top-left", std::nullopt, {0.8, 0.2}, {0, 0}},
        // cx = 0.25 × -2 + 1.5 = 1.0 → 0.5 × 1.2 + 0.5 = 1.1, clamped; cy = 0.75 → 0.8
        {"calibrated", GazeCalibration{-2, 1.5, -1, 1}, {0.25, 0.25}, {1000, 640}},
        {"calibrated identity", GazeCalibration{}, {0.5, 0.25}, {500, 160}},
    };
    for (const EstimateCase& c : cases) {
        GazeEstimator estimator;
        estimator.setCalibration(c.calibration);
        const std::optional<GazeEstimate> estimate = estimator.estimate(c.raw, kDisplay, 1.0);
        ASSERT_TRUE(estimate) << c.name;
        EXPECT_NEAR(estimate->point.x, c.expected.x, 1e-9) << c.name;
        EXPECT_NEAR(estimate->point.y, c.expected.y, 1e-9) << c.name;
        EXPECT_FLOAT_EQ(estimate->normalizedX, static_cast<float>(c.expected.x / 1000)) << c.name;
        EXPECT_FLOAT_EQ(estimate->normalizedY, static_cast<float>(c.expected.y / 800)) << c.name;
    }
}

TEST(GazeEstimatorTest, PublishesNothingWithoutADisplay) {
    GazeEstimator estimator;
    EXPECT_FALSE(estimator.estimate({0.5, 0.5}, std::nullopt, 1.0));
    EXPECT_FALSE(estimator.estimate({0.5, 0.5}, DisplaySize{0, 800}, 1.0));
}

// From (500, 400) to (140, 720) is 481.7 points: too fast in 1/30 s (4000 points a second allow
// 133), plausible after a second, and then blended with the earlier point rather than copied.
TEST(GazeEstimatorTest, DropsJumpsAndSmoothsUntilReset) {
    GazeEstimator estimator;
    estimator.estimate({0.5, 0.5}, kDisplay, 1.0);
    EXPECT_FALSE(estimator.estimate({0.6, 0.6}, kDisplay, 1.0 + 1.0 / 30));
    const std::optional<GazeEstimate> later = estimator.estimate({0.6, 0.6}, kDisplay, 2.0);
    ASSERT_TRUE(later);
    EXPECT_GT(later->point.x, 140);
    EXPECT_LT(later->point.x, 500);
    estimator.reset();
    EXPECT_EQ(estimator.estimate({0.5, 0.5}, kDisplay, 2.01)->point, (Point{500, 400}));
}

}  // namespace
}  // namespace glimmora
