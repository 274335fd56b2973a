#include "gaze/RunningAverageBuffer.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "gaze/GazeFilterParameters.h"

namespace glimmora {
namespace {

RunningAverageBuffer gazeBuffer() {
    return RunningAverageBuffer(gaze_filter_parameters::kAverageBufferSize);
}

TEST(RunningAverageBufferTest, SinglePointIsItsOwnAverage) {
    RunningAverageBuffer buffer = gazeBuffer();
    EXPECT_EQ(buffer.add({123.25, -7.5}), (Point{123.25, -7.5}));
    EXPECT_EQ(buffer.count(), 1u);
}

TEST(RunningAverageBufferTest, NewestOfTwoPointsWeighsTwice) {
    RunningAverageBuffer buffer = gazeBuffer();
    buffer.add({3.0, 30.0});
    // (p1 + 2 p2) / 3
    EXPECT_EQ(buffer.add({6.0, -3.0}), (Point{5.0, 8.0}));
}

TEST(RunningAverageBufferTest, SeventhPointDropsTheOldest) {
    RunningAverageBuffer buffer = gazeBuffer();
    buffer.add({1000.0, -1000.0});  // must not count once six newer points are in
    for (int i = 1; i <= 5; ++i) {
        buffer.add({double(i), double(10 * i)});
    }
    EXPECT_EQ(buffer.count(), 6u);
    const Point average = buffer.add({6.0, 60.0});
    EXPECT_EQ(buffer.count(), 6u);
    // Points 1..6 with weights 1..6: sum of i * i is 91, weights sum to 21.
    EXPECT_DOUBLE_EQ(average.x, 91.0 / 21.0);
    EXPECT_DOUBLE_EQ(average.y, 910.0 / 21.0);
}

TEST(RunningAverageBufferTest, NeverHoldsMoreThanItsSize) {
    RunningAverageBuffer buffer(3);
    for (int i = 0; i < 100; ++i) {
        buffer.add({double(i), 0.0});
        EXPECT_LE(buffer.count(), 3u);
    }
    // Only 97, 98, 99 remain: (97 + 2 * 98 + 3 * 99) / 6
    EXPECT_DOUBLE_EQ(buffer.add({100.0, 0.0}).x, (98.0 + 2 * 99.0 + 3 * 100.0) / 6.0);
}

TEST(RunningAverageBufferTest, ResetEmptiesButKeepsTheSize) {
    RunningAverageBuffer buffer = gazeBuffer();
    for (int i = 0; i < 9; ++i) {
        buffer.add({500.0, 500.0});
    }
    buffer.reset();
    EXPECT_EQ(buffer.count(), 0u);
    EXPECT_EQ(buffer.size(), 6u);
    EXPECT_EQ(buffer.add({-4.0, 8.0}), (Point{-4.0, 8.0}));
    for (int i = 0; i < 10; ++i) {
        buffer.add({0.0, 0.0});
    }
    EXPECT_EQ(buffer.count(), 6u);
}

TEST(RunningAverageBufferTest, SizeZeroKeepsTheNewestPoint) {
    RunningAverageBuffer buffer(0);
    buffer.add({1.0, 2.0});
    EXPECT_EQ(buffer.add({3.0, 4.0}), (Point{3.0, 4.0}));
}

TEST(RunningAverageBufferTest, MatchesReferenceOnLongRandomSequence) {
    std::mt19937_64 rng(4711);
    std::uniform_real_distribution<double> coordinate(-500.0, 4000.0);
    for (std::size_t size : {1u, 2u, 6u, 11u}) {
        RunningAverageBuffer buffer(size);
        std::deque<Point> window;
        for (int i = 0; i < 3000; ++i) {
            if (i == 1500) {
                buffer.reset();
                window.clear();
            }
            const Point p{coordinate(rng), coordinate(rng)};
            window.push_back(p);
            if (window.size() > size) {
                window.pop_front();
            }
            Point weighted{0.0, 0.0};
            double weights = 0.0;
            for (std::size_t k = 0; k < window.size(); ++k) {
                const double w = static_cast<double>(k + 1);
                weighted.x += w * window[k].x;
                weighted.y += w * window[k].y;
                weights += w;
            }
            ASSERT_EQ(buffer.add(p), (Point{weighted.x / weights, weighted.y / weights}))
                << "size " << size << " sample " << i;
        }
    }
}

}  // namespace
}  // namespace glimmora
