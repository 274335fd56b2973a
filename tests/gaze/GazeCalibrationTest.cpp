// Gaze calibration: what each target records, and the fit on simulated sessions, where a user
// whose raw gaze follows known coefficients looks at the nine targets; and sessions no fit
// should be trusted with.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "gaze/CalibrationSampler.h"
#include "gaze/GazeCalibration.h"

namespace glimmora {
namespace {

// The median of the raw gaze in the last 0.7 s before the press, once the eyes had 0.3 s to
// settle on the target shown at t = 10.
TEST(CalibrationSamplerTest, RecordsTheMedianOfTheSettledWindowBeforeThePress) {
    const std::tuple<std::vector<std::pair<double, RawGaze>>, double, std::optional<RawGaze>>
        cases[] = {
            // A blink (0.9, 0.1) among steady samples does not move the median; 10.4 is stale.
            {{{10.4, {0.9, 0.9}},
              {10.5, {0.4, 0.6}},
              {10.6, {0.42, 0.62}},
              {10.7, {0.9, 0.1}},
              {10.8, {0.41, 0.61}}},
             11.15,
             RawGaze{0.415, 0.605}},
            // 10.25 is before the eyes settled.
            {{{10.25, {0.9, 0.9}}, {10.35, {0.3, 0.7}}, {10.4, {0.3, 0.7}}, {10.45, {0.2, 0.8}}},
             10.5,
             RawGaze{0.3, 0.7}},
            {{{10.4, {0.5, 0.5}}, {10.5, {0.5, 0.5}}}, 10.6, std::nullopt},  // too few
        };
    for (const auto& [samples, pressedAt, expected] : cases) {
        CalibrationSampler sampler;
        sampler.add({0.0, 0.0}, 9.9);  // the previous target's
        sampler.startTarget(10.0);
        for (const auto& [time, raw] : samples) {
            sampler.add(raw, time);
        }
        const std::optional<RawGaze> recorded = sampler.record(pressedAt);
        ASSERT_EQ(recorded.has_value(), expected.has_value()) << pressedAt;
        if (recorded) {
            EXPECT_DOUBLE_EQ(recorded->x, expected->x) << pressedAt;
            EXPECT_DOUBLE_EQ(recorded->y, expected->y) << pressedAt;
        }
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
    using Change = void (*)(std::size_t, CalibrationPoint&);
    const std::pair<const char*, Change> cases[] = {
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
