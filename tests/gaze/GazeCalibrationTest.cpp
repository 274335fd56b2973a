// The calibration fit on simulated sessions: a user whose raw gaze follows known coefficients
// looks at the nine targets, with and without noise; and sessions no fit should be trusted with.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "gaze/GazeCalibration.h"
#include "gaze/GazeEstimator.h"

namespace glimmora {
namespace {

// The raw gaze a user with `truth` shows while looking at a target drawn at `screenPosition`
// (y from the bottom): the calibrated mapping solved backwards, by hand, for each axis.
RawGaze rawFor(const GazeCalibration& truth, Point screenPosition) {
    const double cx = (screenPosition.x - 0.5) / 1.2 + 0.5;
    const double cy = ((1.0 - screenPosition.y) - 0.5) / 1.2 + 0.5;
    return RawGaze{(cx - truth.interceptX) / truth.slopeX, (cy - truth.interceptY) / truth.slopeY};
}

std::array<CalibrationPoint, kCalibrationTargetCount> session(const GazeCalibration& truth,
                                                              double noise, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> jitter(0.0, noise);
    auto points = calibrationTargets();
    for (CalibrationPoint& point : points) {
        const RawGaze raw = rawFor(truth, point.screenPosition);
        point.pupilX = raw.x + (noise > 0 ? jitter(random) : 0.0);
        point.pupilY = raw.y + (noise > 0 ? jitter(random) : 0.0);
        point.recorded = true;
    }
    return points;
}

struct SessionCase {
    const char* name;
    GazeCalibration truth;
    double noise;  // standard deviation of the raw gaze, in eye widths
    double slopeTolerance;
    double interceptTolerance;
};

TEST(GazeCalibrationTest, RecoversTheCoefficientsOfASimulatedUser) {
    // Raw gaze spans about 0.3 of the eye across the screen, so slopes are near -2.5 to -3.
    const SessionCase cases[] = {
        {"exact", {-2.5, 1.75, -3.0, 2.0}, 0.0, 1e-9, 1e-9},
        {"noisy", {-2.5, 1.75, -3.0, 2.0}, 0.005, 0.15, 0.08},
        {"off-centre eyes", {-3.2, 1.3, -2.2, 2.1}, 0.005, 0.2, 0.1},
    };
    for (const SessionCase& c : cases) {
        const auto points = session(c.truth, c.noise, 7);
        const std::optional<GazeCalibration> fit = fitGazeCalibration(points);
        ASSERT_TRUE(fit) << c.name;
        EXPECT_NEAR(fit->slopeX, c.truth.slopeX, c.slopeTolerance) << c.name;
        EXPECT_NEAR(fit->interceptX, c.truth.interceptX, c.interceptTolerance) << c.name;
        EXPECT_NEAR(fit->slopeY, c.truth.slopeY, c.slopeTolerance) << c.name;
        EXPECT_NEAR(fit->interceptY, c.truth.interceptY, c.interceptTolerance) << c.name;
    }
}

// What calibration is for: looking at a target puts the gaze point where the target was drawn.
// The top-left target (0.15, 0.85 from the bottom) is 15 % from the top of the screen.
TEST(GazeCalibrationTest, LookingAtATargetLandsOnItsDrawnPosition) {
    const GazeCalibration truth{-2.5, 1.75, -3.0, 2.0};
    GazeEstimator estimator;
    estimator.setCalibration(fitGazeCalibration(session(truth, 0.0, 1)));
    for (const CalibrationPoint& target : calibrationTargets()) {
        const Point n = estimator.normalizedPosition(rawFor(truth, target.screenPosition));
        EXPECT_NEAR(n.x, target.screenPosition.x, 1e-9);
        EXPECT_NEAR(n.y, 1.0 - target.screenPosition.y, 1e-9);
    }
}

// Unrecorded targets keep their placeholder pupils and must not count: with one recorded
// target there is nothing to fit.
TEST(GazeCalibrationTest, RefusesSessionsNoFitCanBeTrustedWith) {
    const auto good = session({-2.5, 1.75, -3.0, 2.0}, 0.0, 1);
    const auto changed = [&](auto change) {
        auto points = good;
        for (std::size_t i = 0; i < points.size(); ++i) {
            change(i, points[i]);
        }
        return points;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const std::pair<const char*, std::array<CalibrationPoint, kCalibrationTargetCount>> cases[] = {
        {"all equal", changed([](std::size_t, CalibrationPoint& p) { p.pupilX = p.pupilY = 0.5; })},
        {"NaN",
         changed([&](std::size_t i, CalibrationPoint& p) { p.pupilY = i == 4 ? nan : p.pupilY; })},
        {"infinite", changed([&](std::size_t i, CalibrationPoint& p) {
             p.pupilX = i == 2 ? infinity : p.pupilX;
         })},
        {"eyes never moved vertically",
         changed([](std::size_t, CalibrationPoint& p) { p.pupilY = 0.6; })},
        {"x rising to the right",
         changed([](std::size_t, CalibrationPoint& p) { p.pupilX = 1 - p.pupilX; })},
        {"y rising downward",
         changed([](std::size_t, CalibrationPoint& p) { p.pupilY = 1 - p.pupilY; })},
        {"one recorded", changed([](std::size_t i, CalibrationPoint& p) { p.recorded = i == 0; })},
    };
    for (const auto& [name, points] : cases) {
        EXPECT_FALSE(fitGazeCalibration(points)) << name;
    }
}

}  // namespace
}  // namespace glimmora
