#include "gaze/GazeEstimator.h"

#include "gaze/GazeFilterParameters.h"

namespace glimmora {
namespace {

// Clamps to [0, limit]; NaN lands on the far edge, as "not below the limit" does.
double clampToDisplay(double value, double limit) {
    if (!(value < limit)) {
        value = limit;
    }
    if (!(value >= 0)) {
        value = 0;
    }
    return value;
}

}  // namespace

GazeEstimator::GazeEstimator()
    : outlierRejector_(gaze_filter_parameters::kMaxVelocity),
      averageBuffer_(gaze_filter_parameters::kAverageBufferSize),
      oneEuroFilter_(gaze_filter_parameters::kMinCutoff, gaze_filter_parameters::kBeta,
                     gaze_filter_parameters::kDCutoff) {}

Point GazeEstimator::normalizedPosition(RawGaze raw) const {
    if (calibration_) {
        const double cx = raw.x * calibration_->slopeX + calibration_->interceptX;
        const double cy = raw.y * calibration_->slopeY + calibration_->interceptY;
        return Point{(cx - 0.5) * kCalibratedStretch + 0.5, (cy - 0.5) * kCalibratedStretch + 0.5};
    }
    // Without calibration a fixed gain stands in: x is negated (raw x grows towards the user's
    // left), and both axes are amplified because the pupils travel only a fraction of the eye.
    return Point{((raw.x - 0.5) * -2.0) * 1.8 + 0.5, ((raw.y - 0.5) * 2.0) * 2.0 + 0.5};
}

std::optional<GazeEstimate> GazeEstimator::estimate(RawGaze raw, std::optional<DisplaySize> display,
                                                    double timestamp) {
    if (!display || !(display->width > 0) || !(display->height > 0)) {
        return std::nullopt;
    }
    const Point normalized = normalizedPosition(raw);
    const Point onDisplay{clampToDisplay(display->width * normalized.x, display->width),
                          clampToDisplay(display->height * normalized.y, display->height)};
    const std::optional<Point> accepted = outlierRejector_.filter(onDisplay, timestamp);
    if (!accepted) {
        return std::nullopt;
    }
    const Point smoothed = oneEuroFilter_.filter(averageBuffer_.add(*accepted), timestamp);
    return GazeEstimate{smoothed, static_cast<float>(smoothed.x / display->width),
                        static_cast<float>(smoothed.y / display->height)};
}

void GazeEstimator::reset() {
    oneEuroFilter_.reset();
    averageBuffer_.reset();
    outlierRejector_.reset();
}

}  // namespace glimmora
