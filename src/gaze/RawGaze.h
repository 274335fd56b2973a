#pragma once

#include <optional>

#include "gaze/EyeLandmarks.h"

namespace glimmora {

/// Where the pupils sit inside their eye outlines, both eyes averaged: 0 to 1 across each eye's
/// bounding box. This is the quantity calibration records and the screen mapping reads.
///
/// Orientation: x grows towards the subject's left (the frame's right, as the camera sees the
/// face) and y grows upward. The uncalibrated screen mapping negates x, so a user who looks to
/// their left moves the gaze point left on the screen.
struct RawGaze {
    double x = 0.5;
    double y = 0.5;

    bool operator==(const RawGaze&) const = default;
};

/// The raw gaze of a face, or nothing when the face has no usable eyes: an eye without outline
/// points or without a found pupil. An eye's fallback of "the middle of its outline" would carry
/// no gaze at all and drag the estimate to the centre, so such a frame changes nothing.
///
/// This is the one place that turns frame coordinates (y downward) into raw values (y upward).
/// An outline without width (or height) puts that eye's pupil at 0.5 on that axis.
std::optional<RawGaze> rawGazeFromEyes(const FaceEyes& eyes);

}  // namespace glimmora
