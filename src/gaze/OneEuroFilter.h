#pragma once

#include <optional>

#include "gaze/LowPassFilter.h"

namespace glimmora {

/// The smoothing factor of a first-order low-pass filter with cutoff frequency `cutoff` (Hz)
/// sampled every `period` seconds: 1 / (1 + tau / period) with tau = 1 / (2 pi cutoff).
double smoothingFactor(double cutoff, double period);

/// The one-euro filter for one scalar channel: a low-pass filter whose cutoff rises with the
/// (smoothed) speed of the signal, so a still signal is smoothed heavily and a moving one is
/// followed with little lag.
///
/// Timestamps are seconds on one monotonic clock, passed in by the caller. A timestamp that does
/// not advance by more than 1 ms counts as 1 ms later, so duplicated or reordered samples never
/// divide by zero or reverse the derivative's sign through time.
///
/// Not thread-safe: one owner calls it from one thread at a time.
class OneEuroFilter {
public:
    /// `minCutoff` (Hz) is the cutoff at rest, `beta` how much speed raises it, `dCutoff` (Hz) the
    /// cutoff of the derivative's own smoothing.
    OneEuroFilter(double minCutoff, double beta, double dCutoff);

    /// Filters `value` sampled at `timestamp` (seconds). The first sample after creation or
    /// reset() is returned unchanged and counts as 1/60 s after a virtual previous one.
    double filter(double value, double timestamp);

    /// Forgets all samples so that the next one is treated as the first. The parameters and the
    /// inner filters' smoothing factors are kept; the next sample overwrites the latter anyway.
    void reset();

    double minCutoff() const { return minCutoff_; }
    double beta() const { return beta_; }
    double dCutoff() const { return dCutoff_; }

private:
    LowPassFilter xFilter_;   // smooths the value itself
    LowPassFilter dxFilter_;  // smooths the value's rate of change
    std::optional<double> lastTime_;
    double minCutoff_;
    double beta_;
    double dCutoff_;
};

}  // namespace glimmora
