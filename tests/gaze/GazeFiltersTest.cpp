// The gaze filters, each on a hand-worked signal: a step, a falling signal, an outlier.

#include <gtest/gtest.h>

#include <numbers>
#include <optional>

#include "gaze/LowPassFilter.h"
#include "gaze/OneEuroFilter.h"
#include "gaze/OutlierRejector.h"
#include "gaze/Point2DFilter.h"
#include "gaze/RunningAverageBuffer.h"

namespace glimmora {
namespace {

// The cutoff whose time constant is one second: sampled once a second it blends half and half.
constexpr double kOneSecondCutoff = 1.0 / (2.0 * std::numbers::pi);

TEST(LowPassFilterTest, PassesTheFirstValueThenBlendsWithTheAlphaOfTheMoment) {
    LowPassFilter filter(0.25);
    EXPECT_EQ(filter.filter(8.0), 8.0);
    EXPECT_EQ(filter.filter(16.0), 10.0);  // 0.25 × 16 + 0.75 × 8
    filter.setAlpha(0.5);
    EXPECT_EQ(filter.filter(2.0), 6.0);
    filter.reset();
    EXPECT_EQ(filter.filter(-3.0), -3.0);
    EXPECT_EQ(filter.filter(1.0), -1.0) << "the alpha survives a reset";
}

// Sampled every 3 s, the one-second time constant leaves a quarter: period and tau not swapped.
TEST(OneEuroFilterTest, SmoothingFactorIsOneOverOnePlusTauOverPeriod) {
    EXPECT_DOUBLE_EQ(smoothingFactor(kOneSecondCutoff, 1.0), 0.5);
    EXPECT_DOUBLE_EQ(smoothingFactor(kOneSecondCutoff, 3.0), 0.75);
}

// With 1 s steps and both cutoffs at kOneSecondCutoff every smoothing factor at rest is 1/2. A
// step of 10 is a speed of 10, smoothed to 5; beta 1/(5 pi) then triples the cutoff to 3/(2 pi),
// and the factor becomes 1 / (1 + 1/3) = 3/4.
TEST(OneEuroFilterTest, FollowsAStepFasterTheFasterItMoves) {
    struct Case {
        double from, to, beta, expected;
    };
    const Case cases[] = {
        {0.0, 10.0, 0.0, 5.0},                           // no beta: a plain low-pass
        {0.0, 10.0, 1.0 / (5 * std::numbers::pi), 7.5},  // a rising step opens the filter
        {10.0, 0.0, 1.0 / (5 * std::numbers::pi), 2.5},  // and so does a falling one
    };
    for (const Case& c : cases) {
        // A used filter, reset, must behave exactly like a new one.
        for (const bool used : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.from << " to " << c.to << ", beta " << c.beta
                                            << (used ? ", after a reset" : ""));
            OneEuroFilter filter(kOneSecondCutoff, c.beta, kOneSecondCutoff);
            if (used) {
                filter.filter(900.0, 50.0);
                filter.filter(-40.0, 50.5);
                filter.reset();
            }
            EXPECT_EQ(filter.filter(c.from, 3.0), c.from);
            EXPECT_DOUBLE_EQ(filter.filter(c.to, 4.0), c.expected);
        }
    }
}

TEST(Point2DFilterTest, FiltersEachAxisOnItsOwn) {
    Point2DFilter filter(kOneSecondCutoff, 0.0, kOneSecondCutoff);
    EXPECT_EQ(filter.filter({0.0, 20.0}, 1.0), (Point{0.0, 20.0}));
    EXPECT_EQ(filter.filter({10.0, 0.0}, 2.0), (Point{5.0, 10.0}));
    filter.reset();
    EXPECT_EQ(filter.filter({-7.0, 3.0}, 0.5), (Point{-7.0, 3.0}));
}

TEST(RunningAverageBufferTest, WeighsNewerPointsMoreOverTheLastFew) {
    RunningAverageBuffer buffer(3);
    EXPECT_EQ(buffer.add({3.0, 30.0}), (Point{3.0, 30.0}));
    EXPECT_EQ(buffer.add({6.0, -3.0}), (Point{5.0, 8.0}));  // (p1 + 2 p2) / 3
    buffer.add({100.0, 0.0});
    // The first point is dropped: (6 + 2 × 100 + 3 × 12) / 6 and (-3 + 0 + 3 × 7) / 6.
    EXPECT_EQ(buffer.add({12.0, 7.0}), (Point{242.0 / 6, 3.0}));
    buffer.reset();
    EXPECT_EQ(buffer.add({-4.0, 8.0}), (Point{-4.0, 8.0}));
}

TEST(OutlierRejectorTest, DropsJumpsFasterThanTheMaximumSpeed) {
    OutlierRejector rejector(4000.0);  // points per second
    struct Step {
        Point point;
        double time;
        bool accepted;
    };
    // Times are binary fractions, so every elapsed time is exact.
    const Step steps[] = {
        {{100, 100}, 0.0, true},       // the first, wherever it is
        {{500, 100}, 0.0625, false},   // 400 in 1/16 s: a misdetection
        {{500, 100}, 0.09375, false},  // still 400 from the last accepted point
        {{110, 100}, 0.125, true},     // small moves around the last accepted point go on
        {{500, 100}, 0.25, true},      // a real jump, once enough time has passed
        {{1100, 900}, 0.5, true},      // 1000 in 1/4 s: exactly the maximum
        {{1103, 900}, 0.5, true},      // no time at all counts as 1 ms: 3 in 1 ms
        {{1103, 904.5}, 0.5, false},   // 4.5 in 1 ms
        {{1103, 903.5}, 0.25, true},   // stepping back in time counts as 1 ms too
    };
    for (const Step& s : steps) {
        EXPECT_EQ(rejector.filter(s.point, s.time),
                  s.accepted ? std::optional(s.point) : std::nullopt)
            << s.point.x << ", " << s.point.y << " at " << s.time;
    }
    rejector.reset();
    EXPECT_EQ(rejector.filter({0, 0}, 0.2), (Point{0, 0})) << "after a reset, anywhere";
}

}  // namespace
}  // namespace glimmora
