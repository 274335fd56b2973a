#pragma once

#include <optional>

#include "core/Point.h"

namespace glimmora {

/// Drops points that would mean the tracked position moved faster than a maximum speed, such as
/// a single misdetected camera frame.
///
/// Each point is compared with the last *accepted* point and its time; a rejected point leaves
/// no trace. After a real jump, points at the new place are therefore accepted as soon as enough
/// time has passed since the last accepted one for the jump to be plausible.
///
/// Not thread-safe: one owner calls it from one thread at a time.
class OutlierRejector {
public:
    /// `maxVelocity` is in point units per second.
    explicit OutlierRejector(double maxVelocity) : maxVelocity_(maxVelocity) {}

    /// Returns `point` if it is the first one or if reaching it from the last accepted point by
    /// `timestamp` (seconds) needs no more than the maximum speed; otherwise nothing. Time steps of
    /// 1 ms or less, also zero or negative ones, count as 1 ms.
    std::optional<Point> filter(Point point, double timestamp);

    /// Forgets the last accepted point, so the next point is accepted whatever its distance.
    void reset();

    double maxVelocity() const { return maxVelocity_; }

private:
    std::optional<Point> lastPoint_;
    std::optional<double> lastTime_;
    double maxVelocity_;
};

}  // namespace glimmora
