#pragma once

namespace glimmora {

/// A point in whatever plane its user works in (the gaze filters use screen points). Cheap to
/// copy; compared exactly.
struct Point2D {
    double x = 0;
    double y = 0;
    bool operator==(const Point2D&) const = default;
};

}  // namespace glimmora
