#pragma once

namespace glimmora {

/// First-order exponential smoothing of one scalar channel: the building block of OneEuroFilter,
/// which recomputes `alpha` before every sample.
///
/// Not thread-safe: one owner calls it from one thread at a time.
class LowPassFilter {
public:
    /// `alpha` is the smoothing factor, 0 < alpha <= 1 (1 passes the input through).
    explicit LowPassFilter(double alpha) : alpha_(alpha) {}

    /// Returns alpha * value + (1 - alpha) * previous output. The very first value (and the first
    /// after reset()) is returned unchanged, so the filter does not drift up from zero.
    double filter(double value);

    /// Forgets the previous output; `alpha` stays as it is.
    void reset();

    double alpha() const { return alpha_; }
    void setAlpha(double alpha) { alpha_ = alpha; }
    /// The last output, or 0 before the first sample.
    double lastValue() const { return lastValue_; }
    /// Whether lastValue() holds a real output yet.
    bool hasLastValue() const { return hasLastValue_; }

private:
    double alpha_;
    double lastValue_ = 0;
    bool hasLastValue_ = false;
};

}  // namespace glimmora
