#pragma once

namespace glimmora {

/// A rectangle as origin plus size, y growing downward, in the same planes as Point: pixels of
/// the X screen (window and monitor geometry) or fractions of the primary monitor (published
/// bounds). A negative size is allowed where a reader says so (it then swaps the edges).
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const Rect&) const = default;
};

}  // namespace glimmora
