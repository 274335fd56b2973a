#include "gaze/Point2DFilter.h"

#include <gtest/gtest.h>

#include <random>

#include "gaze/GazeFilterParameters.h"
#include "gaze/OneEuroFilter.h"
#include "gaze/RandomSamples.h"

namespace glimmora {
namespace {

namespace params = gaze_filter_parameters;

Point2DFilter gazeFilter() {
    return Point2DFilter(params::kMinCutoff, params::kBeta, params::kDCutoff);
}

TEST(Point2DFilterTest, ReturnsFirstPointExactly) {
    Point2DFilter filter = gazeFilter();
    EXPECT_EQ(filter.filter({640.5, -12.25}, 7.0), (Point{640.5, -12.25}));
}

TEST(Point2DFilterTest, FiltersEachAxisOnItsOwnWithTheSameTimestamps) {
    Point2DFilter filter(0.4, 0.05, 1.5);
    OneEuroFilter x(0.4, 0.05, 1.5);
    OneEuroFilter y(0.4, 0.05, 1.5);
    std::mt19937_64 rng(77);
    double t = 3.0;
    Point p{100.0, 900.0};
    for (int i = 0; i < 3000; ++i) {
        t = test::nextIrregularTimestamp(rng, t);
        p = {test::nextWanderingValue(rng, p.x), test::nextWanderingValue(rng, p.y)};
        const Point expected{x.filter(p.x, t), y.filter(p.y, t)};
        ASSERT_EQ(filter.filter(p, t), expected) << "sample " << i;
    }
}

TEST(Point2DFilterTest, ResetStartsBothAxesOver) {
    Point2DFilter used = gazeFilter();
    used.filter({10.0, 20.0}, 1.0);
    used.filter({900.0, -300.0}, 1.02);
    used.filter({450.0, 75.0}, 1.05);
    used.reset();

    Point2DFilter fresh = gazeFilter();
    EXPECT_EQ(used.filter({1.5, 2.5}, 0.25), (Point{1.5, 2.5}));
    fresh.filter({1.5, 2.5}, 0.25);
    for (double t = 0.28, v = 5.0; t < 1.5; t += 0.031, v *= 1.3) {
        EXPECT_EQ(used.filter({v, -v}, t), fresh.filter({v, -v}, t));
    }
}

}  // namespace
}  // namespace glimmora
