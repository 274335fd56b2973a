#include "gaze/LowPassFilter.h"

namespace glimmora {

double LowPassFilter::filter(double value) {
    if (!hasLastValue_) {
        lastValue_ = value;
        hasLastValue_ = true;
        return value;
    }
    lastValue_ = alpha_ * value + (1.0 - alpha_) * lastValue_;
    return lastValue_;
}

void LowPassFilter::reset() {
    lastValue_ = 0;
    hasLastValue_ = false;
}

}  // namespace glimmora
