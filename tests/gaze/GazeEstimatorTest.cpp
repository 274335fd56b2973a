// The pure gaze core, driven with landmark records: the raw gaze of a face, its direction on
// screen, the mapping with and without calibration, clamping and the filters' hand-over; what a
// calibration target records, and the fit on simulated sessions, where a user whose raw gaze
// follows known coefficients looks at the nine targets, and on sessions no fit should be trusted
// with.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "gaze/CalibrationSampler.h"
#include "gaze/GazeCalibration.h"
#include "gaze/GazeEstimator.h"
#include "gaze/RawGaze.h"

namespace glimmora {
namespace {

// Two eye openings 20 px wide and 10 px high, pupils given relative to each one's top-left.
FaceEyes face(std::optional<Point> rightPupil, std::optional<Point> leftPupil) {
    FaceEyes eyes;
    for (auto [eye, origin, pupil] : {std::tuple{&eyes.right, Point{100, 200}, rightPupil},
                                      std::tuple{&eyes.left, Point{160, 200}, leftPupil}}) {
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
        {flat, RawGaze{0.5, 0.5}},
        // A pupil not found is no frame at all: the outline's mean carries no gaze.
        {face(Point{10, 5}, std::nullopt), std::nullopt},
        {noOutline, std::nullopt},
    };
    for (const auto& [eyes, expected] : cases) {
        EXPECT_EQ(rawGazeFromEyes(eyes), expected);
    }
}

// A user looking to their left turns the pupils towards the frame's right (the camera faces
// them); the uncalibrated point must then move left on the screen, the further the more.
TEST(RawGazeTest, PupilsTowardsTheFramesRightMoveTheUncalibratedPointLeft) {
    const GazeEstimator estimator;
    const auto screenX = [&](double pupilX) {
        return estimator
            .normalizedPosition(*rawGazeFromEyes(face(Point{pupilX, 5}, Point{pupilX, 5})))
            .x;
    };
    EXPECT_LT(screenX(14), screenX(10));
    EXPECT_LT(screenX(10), screenX(6));
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
    EXPECT_TRUE(later->point.x > 140 && later->point.x < 500) << later->point.x;
    estimator.reset();
    EXPECT_EQ(estimator.estimate({0.5, 0.5}, kDisplay, 2.01)->point, (Point{500, 400}));
}

// The median of the raw gaze in the last 0.7 s before the press, once the eyes had 0.3 s to
// settle on the target shown at t = 10. Rows: first sample's time, samples 0.1 s apart, the
// time of the press, what the press records.
TEST(CalibrationSamplerTest, RecordsTheMedianOfTheSettledWindowBeforeThePress) {
    const std::tuple<double, std::vector<RawGaze>, double, std::optional<RawGaze>> cases[] = {
        // A blink (0.875, 0.125) does not move the median of the others; 10.4 is stale.
        {10.4,
         {{.875, .875}, {.375, .625}, {.5, .75}, {.875, .125}, {.4375, .6875}},
         11.15,
         RawGaze{(0.4375 + 0.5) / 2, (0.625 + 0.6875) / 2}},
        // 10.25 is before the eyes settled.
        {10.25, {{0.9, 0.9}, {0.3, 0.7}, {0.3, 0.7}, {0.2, 0.8}}, 10.6, RawGaze{0.3, 0.7}},
        {10.4, {{0.5, 0.5}, {0.5, 0.5}}, 10.6, std::nullopt},  // too few
    };
    for (const auto& [first, samples, pressedAt, expected] : cases) {
        CalibrationSampler sampler;
        sampler.startTarget(10.0);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            sampler.add(samples[i], first + 0.1 * i);
        }
        EXPECT_EQ(sampler.record(pressedAt), expected) << pressedAt;
    }
}

// What a user with `truth` shows while looking at each target drawn at its screen position (y
// from the bottom): the calibrated mapping solved backwards by hand, plus gaze noise.
std::array<CalibrationPoint, kCalibrationTargetCount> session(const GazeCalibration& truth,
                                                              double noise) {
    std::mt19937 random(7);
    std::normal_distribution<double> jitter;
    auto points = calibrationTargets();
    for (CalibrationPoint& point : points) {
        const double cx = (point.screenPosition.x - 0.5) / 1.2 + 0.5;
        const double cy = ((1.0 - point.screenPosition.y) - 0.5) / 1.2 + 0.5;
        point.pupilX = (cx - truth.interceptX) / truth.slopeX + noise * jitter(random);
        point.pupilY = (cy - truth.interceptY) / truth.slopeY + noise * jitter(random);
        point.recorded = true;
    }
    return points;
}

// Raw gaze spans about 0.3 of the eye across the screen, so slopes are near -2.5 to -3.
TEST(GazeCalibrationTest, RecoversTheCoefficientsOfASimulatedUser) {
    const std::tuple<GazeCalibration, double, double> cases[] = {
        {{-2.5, 1.75, -3.0, 2.0}, 0.0, 1e-9},
        {{-3.2, 1.3, -2.2, 2.1}, 0.005, 0.2},  // noise in eye widths
    };
    for (const auto& [truth, noise, tolerance] : cases) {
        const std::optional<GazeCalibration> fit = fitGazeCalibration(session(truth, noise));
        ASSERT_TRUE(fit) << noise;
        EXPECT_NEAR(fit->slopeX, truth.slopeX, tolerance) << noise;
        EXPECT_NEAR(fit->interceptX, truth.interceptX, tolerance / 2) << noise;
        EXPECT_NEAR(fit->slopeY, truth.slopeY, tolerance) << noise;
        EXPECT_NEAR(fit->interceptY, truth.interceptY, tolerance / 2) << noise;
    }
}

// Unrecorded targets keep their placeholder pupils and must not count: with one recorded
// target there is nothing to fit.
TEST(GazeCalibrationTest, RefusesSessionsNoFitCanBeTrustedWith) {
    const std::pair<const char*, void (*)(std::size_t, CalibrationPoint&)> cases[] = {
        {"all equal", [](std::size_t, CalibrationPoint& p) { p.pupilX = p.pupilY = 0.5; }},
        {"NaN", [](std::size_t i, CalibrationPoint& p) { p.pupilY = i == 4 ? NAN : p.pupilY; }},
        {"eyes never moved vertically", [](std::size_t, CalibrationPoint& p) { p.pupilY = 0.6; }},
        {"x rising to the right", [](std::size_t, CalibrationPoint& p) { p.pupilX *= -1; }},
        {"y rising downward", [](std::size_t, CalibrationPoint& p) { p.pupilY *= -1; }},
        {"one recorded", [](std::size_t i, CalibrationPoint& p) { p.recorded = i == 0; }},
    };
    for (const auto& [name, change] : cases) {
        auto points = session({-2.5, 1.75, -3.0, 2.0}, 0.0);
        for (std::size_t i = 0; i < points.size(); ++i) {
            change(i, points[i]);
        }
        EXPECT_FALSE(fitGazeCalibration(points)) << name;
    }
}

}  // namespace
}  // namespace glimmora
