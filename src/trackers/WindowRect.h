#pragma once

namespace glimmora {

/// A rectangle as origin plus size, y growing downward. Used both in pixels of the X screen
/// (window and monitor geometry) and as fractions of the primary monitor (published bounds).
struct WindowRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const WindowRect&) const = default;
};

}  // namespace glimmora
