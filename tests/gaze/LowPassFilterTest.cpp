#include "gaze/LowPassFilter.h"

#include <gtest/gtest.h>

namespace glimmora {
namespace {

TEST(LowPassFilterTest, FirstValuePassesThroughWhateverTheAlpha) {
    LowPassFilter filter(0.25);
    EXPECT_FALSE(filter.hasLastValue());
    EXPECT_EQ(filter.lastValue(), 0.0);

    EXPECT_EQ(filter.filter(-37.5), -37.5);
    EXPECT_TRUE(filter.hasLastValue());
    EXPECT_EQ(filter.lastValue(), -37.5);
}

TEST(LowPassFilterTest, BlendsNewValueWithPreviousOutput) {
    LowPassFilter filter(0.25);
    filter.filter(8.0);
    // 0.25 * 16 + 0.75 * 8 = 10, then 0.25 * 2 + 0.75 * 10 = 8
    EXPECT_EQ(filter.filter(16.0), 10.0);
    EXPECT_EQ(filter.filter(2.0), 8.0);
    EXPECT_EQ(filter.lastValue(), 8.0);
}

TEST(LowPassFilterTest, UsesTheAlphaSetBeforeEachValue) {
    LowPassFilter filter(0.25);
    filter.filter(4.0);
    filter.setAlpha(1.0);
    EXPECT_EQ(filter.filter(100.0), 100.0);
    filter.setAlpha(0.5);
    EXPECT_EQ(filter.filter(0.0), 50.0);
}

TEST(LowPassFilterTest, ResetForgetsOutputButKeepsAlpha) {
    LowPassFilter filter(0.5);
    filter.filter(10.0);
    filter.filter(20.0);
    filter.reset();

    EXPECT_FALSE(filter.hasLastValue());
    EXPECT_EQ(filter.lastValue(), 0.0);
    EXPECT_EQ(filter.alpha(), 0.5);
    EXPECT_EQ(filter.filter(-3.0), -3.0);
    EXPECT_EQ(filter.filter(1.0), -1.0);
}

}  // namespace
}  // namespace glimmora
