#pragma once

#include <optional>

#include "trackers/Explosion.h"

namespace glimmora {

/// What the renderer remembers from one frame to the next while building the frame parameters:
/// which pointer the focus band follows, and the click explosion being shown.
///
/// Main thread only. Only the frame parameter builder changes the focus-source fields; the
/// click callback sets `currentExplosion` and the builder clears it once it has burnt out.
struct RendererState {
    /// Mouse y (normalised) seen in the previous frame.
    float lastMouseY = 0.5f;
    /// Caret y (normalised) seen in the last frame that had a caret.
    float lastCursorY = 0.5f;
    /// Whether the caret (true) or the mouse (false) moved last. Starts on the caret so that a
    /// caret known at start-up holds the band before anything moves.
    bool useTextCursor = true;
    /// Smallest change of a normalised y that counts as movement (a change must exceed it).
    float mouseMovementThreshold = 0.005f;
    /// The click explosion being shown, if any.
    std::optional<Explosion> currentExplosion;

    bool operator==(const RendererState&) const = default;
};

}  // namespace glimmora
