#include "gaze/OneEuroFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "gaze/GazeFilterParameters.h"
#include "gaze/RandomSamples.h"

namespace glimmora {
namespace {

namespace params = gaze_filter_parameters;

// Cutoff whose time constant tau is exactly one second (up to rounding).
constexpr double kOneSecondCutoff = 1.0 / (2.0 * std::numbers::pi);

/// The one-euro filter transcribed straight from its formulas with plain variables, kept apart
/// from the production class so that a slip in either shows up as a mismatch.
class ReferenceOneEuro {
public:
    ReferenceOneEuro(double minCutoff, double beta, double dCutoff)
        : minCutoff_(minCutoff), beta_(beta), dCutoff_(dCutoff) {}

    double operator()(double x, double t) {
        const double dt = started_ ? std::max(t - previousTime_, 0.001) : 1.0 / 60.0;
        previousTime_ = t;
        if (!started_) {
            started_ = true;
            speed_ = 0.0;
            output_ = x;
            return output_;
        }
        const double rawSpeed = (x - output_) / dt;
        const double speedAlpha = alpha(dCutoff_, dt);
        speed_ = speedAlpha * rawSpeed + (1.0 - speedAlpha) * speed_;
        const double valueAlpha = alpha(minCutoff_ + beta_ * std::fabs(speed_), dt);
        output_ = valueAlpha * x + (1.0 - valueAlpha) * output_;
        return output_;
    }

    void restart() { started_ = false; }

private:
    static double alpha(double cutoff, double dt) {
        const double tau = 1.0 / (2.0 * std::numbers::pi * cutoff);
        return 1.0 / (1.0 + tau / dt);
    }

    double minCutoff_, beta_, dCutoff_;
    bool started_ = false;
    double previousTime_ = 0, speed_ = 0, output_ = 0;
};

TEST(SmoothingFactorTest, IsOneOverOnePlusTauOverPeriod) {
    // tau equal to the period gives an even blend.
    EXPECT_DOUBLE_EQ(smoothingFactor(kOneSecondCutoff, 1.0), 0.5);
    EXPECT_DOUBLE_EQ(smoothingFactor(kOneSecondCutoff, 3.0), 0.75);
    // 1 Hz at 60 Hz sampling: 1 / (1 + 60 / 2pi) = 2pi / (2pi + 60)
    EXPECT_DOUBLE_EQ(smoothingFactor(1.0, 1.0 / 60.0),
                     2.0 * std::numbers::pi / (2.0 * std::numbers::pi + 60.0));
}

TEST(OneEuroFilterTest, ReturnsFirstSampleExactly) {
    for (double value : {0.0, -123.456, 1e9, 0.1}) {
        OneEuroFilter filter(params::kMinCutoff, params::kBeta, params::kDCutoff);
        EXPECT_EQ(filter.filter(value, 1234.5), value);
    }
}

TEST(OneEuroFilterTest, HoldsAStillSignal) {
    OneEuroFilter filter(params::kMinCutoff, params::kBeta, params::kDCutoff);
    double t = 10.0;
    for (int i = 0; i < 50; ++i) {
        EXPECT_DOUBLE_EQ(filter.filter(812.25, t), 812.25);
        t += 1.0 / 30.0;
    }
}

TEST(OneEuroFilterTest, WithoutBetaIsAPlainLowPassAtMinimumCutoff) {
    // beta 0 pins the cutoff at minCutoff; tau = 1 s and 1 s steps give alpha = 0.5.
    OneEuroFilter filter(kOneSecondCutoff, 0.0, 1.0);
    EXPECT_EQ(filter.filter(0.0, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(filter.filter(10.0, 1.0), 5.0);
    EXPECT_DOUBLE_EQ(filter.filter(10.0, 2.0), 7.5);
    // A 3 s step: alpha = 0.75.
    EXPECT_DOUBLE_EQ(filter.filter(2.5, 5.0), 3.75);
}

TEST(OneEuroFilterTest, SpeedRaisesTheCutoff) {
    OneEuroFilter still(params::kMinCutoff, 0.0, params::kDCutoff);
    OneEuroFilter adaptive(params::kMinCutoff, params::kBeta, params::kDCutoff);
    double t = 0.0;
    double lagStill = 0, lagAdaptive = 0;
    for (int i = 0; i < 30; ++i, t += 1.0 / 30.0) {
        const double target = 40.0 * i;  // 1200 points per second
        lagStill = target - still.filter(target, t);
        lagAdaptive = target - adaptive.filter(target, t);
    }
    EXPECT_GT(lagAdaptive, 0.0);
    EXPECT_LT(lagAdaptive, lagStill / 10.0);
}

TEST(OneEuroFilterTest, SecondSampleFollowsTheFormulas) {
    const double minCutoff = 0.5, beta = 0.02, dCutoff = 2.0;
    OneEuroFilter filter(minCutoff, beta, dCutoff);
    filter.filter(100.0, 3.0);
    const double dt = 0.04;
    const double rawSpeed = (160.0 - 100.0) / dt;
    const double speed = smoothingFactor(dCutoff, dt) * rawSpeed;  // previous speed is 0
    const double alpha = smoothingFactor(minCutoff + beta * speed, dt);
    EXPECT_DOUBLE_EQ(filter.filter(160.0, 3.0 + dt), alpha * 160.0 + (1.0 - alpha) * 100.0);
}

TEST(OneEuroFilterTest, StepsOfAtMostOneMillisecondCountAsOne) {
    auto run = [](double firstStep, double secondStep) {
        OneEuroFilter filter(params::kMinCutoff, params::kBeta, params::kDCutoff);
        // Starting at 0 keeps 1 ms steps exact: 0.001 and 0.002 - 0.001 are the same double.
        double t = 0.0;
        filter.filter(5.0, t);
        filter.filter(80.0, t += firstStep);
        return filter.filter(20.0, t += secondStep);
    };
    const double floor = run(0.001, 0.001);
    EXPECT_EQ(run(0.0, 0.0), floor);
    EXPECT_EQ(run(-0.5, -2.0), floor);
    EXPECT_EQ(run(0.0005, 0.0), floor);
    EXPECT_NE(run(0.0011, 0.0011), floor);
}

TEST(OneEuroFilterTest, ResetStartsOverLikeANewFilter) {
    OneEuroFilter used(params::kMinCutoff, params::kBeta, params::kDCutoff);
    used.filter(10.0, 1.0);
    used.filter(900.0, 1.03);
    used.filter(-40.0, 1.07);
    used.reset();

    OneEuroFilter fresh(params::kMinCutoff, params::kBeta, params::kDCutoff);
    // Timestamps before the forgotten ones must not matter either.
    EXPECT_EQ(used.filter(333.0, 0.5), 333.0);
    EXPECT_EQ(fresh.filter(333.0, 0.5), 333.0);
    for (double t = 0.53, v = 340.0; t < 2.0; t += 0.033, v += 17.0) {
        EXPECT_EQ(used.filter(v, t), fresh.filter(v, t));
    }
}

TEST(OneEuroFilterTest, MatchesReferenceOnLongIrregularSequence) {
    struct Parameters {
        double minCutoff, beta, dCutoff;
    };
    const Parameters sets[] = {
        {params::kMinCutoff, params::kBeta, params::kDCutoff},
        {1.0, 0.007, 1.0},
        {0.02, 5.0, 0.3},
    };
    std::mt19937_64 rng(20240611);
    for (const Parameters& p : sets) {
        OneEuroFilter filter(p.minCutoff, p.beta, p.dCutoff);
        ReferenceOneEuro reference(p.minCutoff, p.beta, p.dCutoff);
        double t = 1000.0;
        double value = 500.0;
        for (int i = 0; i < 5000; ++i) {
            if (i % 1700 == 1699) {
                filter.reset();
                reference.restart();
            }
            t = test::nextIrregularTimestamp(rng, t);
            value = test::nextWanderingValue(rng, value);
            ASSERT_EQ(filter.filter(value, t), reference(value, t))
                << "sample " << i << " minCutoff " << p.minCutoff;
        }
    }
}

}  // namespace
}  // namespace glimmora
