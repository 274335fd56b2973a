#include "gaze/OutlierRejector.h"

#include <cmath>

namespace glimmora {

namespace {

// Shortest time step a point may claim; keeps the speed finite for duplicated timestamps.
constexpr double kMinimumPeriod = 0.001;

}  // namespace

std::optional<Point> OutlierRejector::filter(Point point, double timestamp) {
    if (lastPoint_ && lastTime_) {
        const double dx = point.x - lastPoint_->x;
        const double dy = point.y - lastPoint_->y;
        const double distance = std::sqrt(dx * dx + dy * dy);
        const double elapsed = timestamp - *lastTime_;
        const double period = elapsed <= kMinimumPeriod ? kMinimumPeriod : elapsed;
        if (distance / period > maxVelocity_) {
            return std::nullopt;
        }
    }
    lastPoint_ = point;
    lastTime_ = timestamp;
    return point;
}

void OutlierRejector::reset() {
    lastPoint_.reset();
    lastTime_.reset();
}

}  // namespace glimmora
