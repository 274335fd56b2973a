#pragma once

namespace glimmora {

/// A point, y growing downward. The plane is the user's to say: pixels of the X screen (the
/// pointer), fractions of the primary monitor (published positions), or screen points (gaze).
/// Cheap to copy; compared exactly.
struct Point {
    double x = 0;
    double y = 0;

    bool operator==(const Point&) const = default;
};

}  // namespace glimmora
