#include "gaze/RawGaze.h"

#include <algorithm>

namespace glimmora {
namespace {

// The pupil's place inside the eye's bounding box, in frame orientation (y downward).
std::optional<Point> relativePupil(const EyeLandmarks& eye) {
    if (eye.outline.empty() || !eye.pupil) {
        return std::nullopt;
    }
    auto [minX, maxX] = std::minmax_element(eye.outline.begin(), eye.outline.end(),
                                            [](Point a, Point b) { return a.x < b.x; });
    auto [minY, maxY] = std::minmax_element(eye.outline.begin(), eye.outline.end(),
                                            [](Point a, Point b) { return a.y < b.y; });
    const double width = maxX->x - minX->x;
    const double height = maxY->y - minY->y;
    return Point{width > 0 ? (eye.pupil->x - minX->x) / width : 0.5,
                 height > 0 ? (eye.pupil->y - minY->y) / height : 0.5};
}

}  // namespace

std::optional<RawGaze> rawGazeFromEyes(const FaceEyes& eyes) {
    const std::optional<Point> right = relativePupil(eyes.right);
    const std::optional<Point> left = relativePupil(eyes.left);
    if (!right || !left) {
        return std::nullopt;
    }
    // x keeps the frame's direction; y turns upward.
    return RawGaze{(right->x + left->x) * 0.5, 1.0 - (right->y + left->y) * 0.5};
}

}  // namespace glimmora
