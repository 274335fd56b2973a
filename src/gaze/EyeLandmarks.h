#pragma once

#include <optional>
#include <vector>

#include "core/Point.h"

namespace glimmora {

/// One eye as the face-landmark stage found it in a camera frame: the outline of the eye opening
/// and, when the pupil was localised inside it, the pupil's centre. Pixels of the frame as the
/// camera delivers it: origin top-left, y downward, not mirrored.
struct EyeLandmarks {
    std::vector<Point> outline;
    std::optional<Point> pupil;

    bool operator==(const EyeLandmarks&) const = default;
};

/// Both eyes of the one face the tracker follows. `right` is the subject's right eye (on the
/// left of the unmirrored frame), `left` the subject's left eye.
struct FaceEyes {
    EyeLandmarks right;
    EyeLandmarks left;

    bool operator==(const FaceEyes&) const = default;
};

}  // namespace glimmora
