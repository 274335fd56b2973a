#include "gaze/views/CalibrationPulse.h"

#include <cmath>
#include <numbers>

namespace glimmora {

double CalibrationPulse::scaleAt(double seconds) {
    if (!(seconds > 0)) {
        return 1.0;
    }
    // Where in the current half period we are, reversed on every odd one.
    const double halves = seconds / kHalfPeriodSeconds;
    double phase = halves - std::floor(halves);
    if (static_cast<long long>(std::floor(halves)) % 2 == 1) {
        phase = 1 - phase;
    }
    // Ease in and out: slow at both ends of the swing.
    const double eased = (1 - std::cos(phase * std::numbers::pi)) / 2;
    return 1.0 + (kPeakScale - 1.0) * eased;
}

}  // namespace glimmora
