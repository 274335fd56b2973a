#include "gaze/OneEuroFilter.h"

#include <cmath>

namespace glimmora {

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Period assumed for the first sample: one frame of a 60 Hz camera.
constexpr double kFirstSamplePeriod = 1.0 / 60.0;
// Shortest period a sample may claim; guards the derivative against zero or negative steps.
constexpr double kMinimumPeriod = 0.001;

}  // namespace

double smoothingFactor(double cutoff, double period) {
    const double tau = 1.0 / (kTwoPi * cutoff);
    return 1.0 / (1.0 + tau / period);
}

OneEuroFilter::OneEuroFilter(double minCutoff, double beta, double dCutoff)
    : xFilter_(1.0),
      dxFilter_(smoothingFactor(dCutoff, kFirstSamplePeriod)),
      minCutoff_(minCutoff),
      beta_(beta),
      dCutoff_(dCutoff) {}

double OneEuroFilter::filter(double value, double timestamp) {
    double period = kFirstSamplePeriod;
    if (lastTime_) {
        const double elapsed = timestamp - *lastTime_;
        period = elapsed <= kMinimumPeriod ? kMinimumPeriod : elapsed;
    }
    lastTime_ = timestamp;

    const double derivative =
        xFilter_.hasLastValue() ? (value - xFilter_.lastValue()) / period : 0.0;
    dxFilter_.setAlpha(smoothingFactor(dCutoff_, period));
    const double smoothedDerivative = dxFilter_.filter(derivative);

    const double cutoff = minCutoff_ + beta_ * std::abs(smoothedDerivative);
    xFilter_.setAlpha(smoothingFactor(cutoff, period));
    return xFilter_.filter(value);
}

void OneEuroFilter::reset() {
    xFilter_.reset();
    dxFilter_.reset();
    lastTime_.reset();
}

}  // namespace glimmora
