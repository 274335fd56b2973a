#include "gaze/OutlierRejector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>

#include "gaze/GazeFilterParameters.h"
#include "gaze/RandomSamples.h"

namespace glimmora {
namespace {

OutlierRejector gazeRejector() {
    return OutlierRejector(gaze_filter_parameters::kMaxVelocity);
}

TEST(OutlierRejectorTest, AcceptsFirstPointWhereverItIs) {
    OutlierRejector rejector = gazeRejector();
    EXPECT_EQ(rejector.filter({1e7, -1e7}, 0.0), (Point{1e7, -1e7}));
}

TEST(OutlierRejectorTest, AcceptsSpeedEqualToMaximum) {
    OutlierRejector rejector = gazeRejector();
    rejector.filter({0.0, 0.0}, 2.0);
    // 1000 points (a 600-800 right triangle) in 0.25 s: exactly 4000 points per second.
    EXPECT_EQ(rejector.filter({600.0, 800.0}, 2.25), (Point{600.0, 800.0}));
}

TEST(OutlierRejectorTest, RejectsSpeedAboveMaximum) {
    OutlierRejector rejector(std::nextafter(4000.0, 0.0));
    rejector.filter({0.0, 0.0}, 2.0);
    EXPECT_EQ(rejector.filter({600.0, 800.0}, 2.25), std::nullopt);
    EXPECT_EQ(rejector.filter({-800.0, -600.0}, 2.25), std::nullopt);
}

TEST(OutlierRejectorTest, RejectedPointLeavesNoTrace) {
    OutlierRejector rejector = gazeRejector();
    rejector.filter({100.0, 100.0}, 0.0);
    EXPECT_EQ(rejector.filter({500.0, 100.0}, 0.05), std::nullopt);
    // Measured from the rejected point this would be no move at all; measured from the last
    // accepted one it is still 400 points in 0.09 s.
    EXPECT_EQ(rejector.filter({500.0, 100.0}, 0.09), std::nullopt);
    // Small moves around the last accepted point keep being accepted.
    EXPECT_EQ(rejector.filter({110.0, 100.0}, 0.095), (Point{110.0, 100.0}));
}

TEST(OutlierRejectorTest, AcceptsJumpOnceEnoughTimeHasPassedSinceLastAcceptedPoint) {
    OutlierRejector rejector = gazeRejector();
    rejector.filter({100.0, 100.0}, 0.0);
    EXPECT_EQ(rejector.filter({500.0, 100.0}, 1.0 / 30.0), std::nullopt);
    EXPECT_EQ(rejector.filter({500.0, 100.0}, 2.0 / 30.0), std::nullopt);
    EXPECT_EQ(rejector.filter({500.0, 100.0}, 0.1), (Point{500.0, 100.0}));
    // The new place is now the reference.
    EXPECT_EQ(rejector.filter({505.0, 100.0}, 0.13), (Point{505.0, 100.0}));
    EXPECT_EQ(rejector.filter({100.0, 100.0}, 0.16), std::nullopt);
}

TEST(OutlierRejectorTest, TimeStepsOfAtMostOneMillisecondCountAsOne) {
    // Starting at 0 keeps the steps exact. At 1 ms, 4000 points per second allow 4 points.
    OutlierRejector rejector = gazeRejector();
    rejector.filter({0.0, 0.0}, 0.0);
    EXPECT_EQ(rejector.filter({3.0, 0.0}, 0.0), (Point{3.0, 0.0}));   // same time
    EXPECT_EQ(rejector.filter({3.0, 4.5}, 0.0), std::nullopt);        // 4.5 in 1 ms
    EXPECT_EQ(rejector.filter({3.0, 3.5}, -1.0), (Point{3.0, 3.5}));  // earlier
    EXPECT_EQ(rejector.filter({3.0, -1.0}, -2.0), std::nullopt);      // 4.5 in 1 ms
    // 0.5 ms, then 0.3 ms later: still judged as 1 ms steps.
    EXPECT_EQ(rejector.filter({3.0, 0.5}, -0.9995), (Point{3.0, 0.5}));
    EXPECT_EQ(rejector.filter({3.0, 4.4}, -0.9992), (Point{3.0, 4.4}));
}

TEST(OutlierRejectorTest, ResetAcceptsNextPointWhateverItsDistance) {
    OutlierRejector rejector = gazeRejector();
    rejector.filter({0.0, 0.0}, 5.0);
    rejector.reset();
    EXPECT_EQ(rejector.filter({3000.0, 2000.0}, 5.0), (Point{3000.0, 2000.0}));
    // The maximum speed survives the reset.
    EXPECT_EQ(rejector.maxVelocity(), 4000.0);
    EXPECT_EQ(rejector.filter({0.0, 0.0}, 5.01), std::nullopt);
}

TEST(OutlierRejectorTest, MatchesReferenceOnLongIrregularSequence) {
    std::mt19937_64 rng(90210);
    const double maxVelocity = 4000.0;
    OutlierRejector rejector(maxVelocity);
    bool haveLast = false;
    Point last{};
    double lastTime = 0;
    int accepted = 0, rejected = 0;
    double t = 0.0;
    Point p{960.0, 540.0};
    for (int i = 0; i < 5000; ++i) {
        if (i == 2500) {
            rejector.reset();
            haveLast = false;
        }
        t = test::nextIrregularTimestamp(rng, t);
        p = {test::nextWanderingValue(rng, p.x), test::nextWanderingValue(rng, p.y)};
        std::optional<Point> expected = p;
        if (haveLast) {
            const double distance =
                std::sqrt((p.x - last.x) * (p.x - last.x) + (p.y - last.y) * (p.y - last.y));
            if (distance / std::max(t - lastTime, 0.001) > maxVelocity) {
                expected = std::nullopt;
            }
        }
        if (expected) {
            haveLast = true;
            last = p;
            lastTime = t;
            ++accepted;
        } else {
            ++rejected;
        }
        ASSERT_EQ(rejector.filter(p, t), expected) << "sample " << i;
    }
    // The sequence must exercise both outcomes to prove anything.
    EXPECT_GT(accepted, 500);
    EXPECT_GT(rejected, 500);
}

}  // namespace
}  // namespace glimmora
