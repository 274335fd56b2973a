#pragma once

#include "core/Rect.h"

namespace glimmora {

/// Everything the trackers and the clock say about one frame, read once by the renderer and
/// handed to the frame parameter builder so that the build itself stays a pure computation.
///
/// Positions and sizes are fractions of the main display: x 0 at the left edge and 1 at the
/// right, y 0 at the top edge and 1 at the bottom. Defaults are the trackers' initial values.
struct FrameInputs {
    /// The mouse pointer. Values outside 0 to 1 mean the pointer is on another display.
    struct Mouse {
        float normalizedX = 0.5f;
        float normalizedY = 0.5f;
        bool operator==(const Mouse&) const = default;
    };

    /// The text caret of the focused application. The position keeps its last good value when
    /// the caret is lost, so it means something only while `hasCursorPosition` is true.
    struct Caret {
        float normalizedX = 0.5f;
        float normalizedY = 0.5f;
        bool hasCursorPosition = false;
        /// The height of the caret's line as a fraction of the display height; 0 when the
        /// tracker does not know it.
        float normalizedHeight = 0.0f;
        bool operator==(const Caret&) const = default;
    };

    /// The frontmost window. `activeWindowBounds` is meaningful only while `hasActiveWindow`;
    /// its size may be negative, and readers then swap the edges.
    struct Window {
        bool hasActiveWindow = false;
        Rect activeWindowBounds{0, 0, 1, 1};
        bool operator==(const Window&) const = default;
    };

    /// The camera gaze estimate. `normalizedGazeY` is meaningful only while `faceDetected`.
    struct Gaze {
        bool faceDetected = false;
        float normalizedGazeY = 0.5f;
        bool operator==(const Gaze&) const = default;
    };

    Mouse mouse;
    Caret caret;
    Window window;
    Gaze gaze;
    /// The frame's monotonic clock reading in seconds; the clock click explosions are born on.
    double now = 0;

    bool operator==(const FrameInputs&) const = default;
};

}  // namespace glimmora
