// From eye landmarks to a published point: the raw gaze of a face, its direction on screen, the
// mapping with and without calibration, clamping, and the filters' hand-over.

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "gaze/GazeEstimator.h"
#include "gaze/RawGaze.h"

namespace glimmora {
namespace {

// Two eye openings 20 px wide and 10 px high, pupils given relative to each one's top-left.
FaceEyes face(std::optional<Point> rightPupil, std::optional<Point> leftPupil) {
    FaceEyes eyes;
    for (auto [eye, origin, pupil] : {std::tuple{&eyes.right, Point{100, 200}, rightPupil},
                                      std::tuple{&eyes.left, Point{160, 202}, leftPupil}}) {
        for (Point p :
             {Point{0, 5}, Point{6, 0}, Point{14, 0}, Point{20, 5}, Point{14, 10}, Point{6, 10}}) {
            eye->outline.push_back({origin.x + p.x, origin.y + p.y});
        }
        if (pupil) {
            eye->pupil = Point{origin.x + pupil->x, origin.y + pupil->y};
        }
    }
    return eyes;
}

TEST(RawGazeTest, AveragesBothEyesInsideTheirBoxesWithYTurnedUpward) {
    FaceEyes noOutline = face(Point{10, 5}, Point{10, 5});
    noOutline.left.outline.clear();
    FaceEyes flat = face(Point{10, 5}, Point{10, 5});
    flat.right.outline = flat.left.outline = {Point{100, 200}, Point{100, 210}};  // no width
    const std::pair<FaceEyes, std::optional<RawGaze>> cases[] = {
        // right eye (0.75, 0.25 down), left eye (0.25, 0.5 down): x 0.5, y 1 - 0.375
        {face(Point{15, 2.5}, Point{5, 5}), RawGaze{0.5, 0.625}},
        // A pupil not found is no frame at all: the outline's mean carries no gaze.
        {flat, RawGaze{0.5, 0.4}},
        {face(Point{10, 5}, std::nullopt), std::nullopt},
        {noOutline, std::nullopt},
    };
    for (const auto& [eyes, expected] : cases) {
        const std::optional<RawGaze> raw = rawGazeFromEyes(eyes);
        ASSERT_EQ(raw.has_value(), expected.has_value());
        if (raw) {
            EXPECT_NEAR(raw->x, expected->x, 1e-12);
            EXPECT_NEAR(raw->y, expected->y, 1e-12);
        }
    }
}

// A user looking to their left turns the pupils towards the frame's right (the camera faces
// them); the uncalibrated point must then move left on the screen, the further the more.
TEST(RawGazeTest, PupilsTowardsTheFramesRightMoveTheUncalibratedPointLeft) {
    const GazeEstimator estimator;
    double lastX = 2.0;
    for (double offset : {6.0, 10.0, 14.0}) {
        const double x =
            estimator.normalizedPosition(*rawGazeFromEyes(face(Point{offset, 5}, Point{offset, 5})))
                .x;
        EXPECT_LT(x, lastX) << offset;
        lastX = x;
    }
}

constexpr DisplaySize kDisplay{1000, 800};

// The first point after creation passes every filter unchanged, so it shows the mapping alone.
TEST(GazeEstimatorTest, FirstPointShowsTheMappingClampedToTheDisplay) {
    const std::tuple<std::optional<GazeCalibration>, RawGaze, Point> cases[] = {
        {std::nullopt, {0.5, 0.5}, {500, 400}},
        // x: 0.5 - 0.1 × 2 × 1.8 = 0.14; y: 0.5 + 0.1 × 2 × 2 = 0.9
        {std::nullopt, {0.6, 0.6}, {140, 720}},
        // y: 0.5 + 0.25 × 4 = 1.5 is clamped to the bottom edge
        {std::nullopt, {0.4, 0.75}, {860, 800}},
        {std::nullopt, {0.8, 0.2}, {0, 0}},
        // cx = 0.25 × -2 + 1.5 = 1.0 → 0.5 × 1.2 + 0.5 = 1.1, clamped; cy = 0.75 → 0.8
        {GazeCalibration{-2, 1.5, -1, 1}, {0.25, 0.25}, {1000, 640}},
    };
    for (const auto& [calibration, raw, expected] : cases) {
        GazeEstimator estimator;
        estimator.setCalibration(calibration);
        const std::optional<GazeEstimate> estimate = estimator.estimate(raw, kDisplay, 1.0);
        ASSERT_TRUE(estimate) << raw.x << ", " << raw.y;
        EXPECT_NEAR(estimate->point.x, expected.x, 1e-9) << raw.x << ", " << raw.y;
        EXPECT_NEAR(estimate->point.y, expected.y, 1e-9) << raw.x << ", " << raw.y;
        EXPECT_FLOAT_EQ(estimate->normalizedX, static_cast<float>(expected.x / 1000));
        EXPECT_FLOAT_EQ(estimate->normalizedY, static_cast<float>(expected.y / 800));
    }
}

// From (500, 400) to (140, 720) is 481.7 points: too fast in 1/30 s (4000 points a second allow
// 133), plausible after a second, and then blended with the earlier point rather than copied.
TEST(GazeEstimatorTest, DropsJumpsAndSmoothsUntilReset) {
    GazeEstimator estimator;
    EXPECT_FALSE(estimator.estimate({0.5, 0.5}, DisplaySize{0, 800}, 0.5)) << "no display";
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
