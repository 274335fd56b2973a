#pragma once

namespace glimmora {

/// One click explosion: where the user clicked and when. The renderer shows it for a short
/// while after `birthTime` and then forgets it; a new click replaces it.
struct Explosion {
    /// Click position, normalised to the main display (0 = left / top edge, 1 = right / bottom).
    float centerX = 0;
    float centerY = 0;
    /// Monotonic clock reading of the click, in seconds. Must come from the same clock as the
    /// frame time the renderer builds its parameters with, or the explosion's age is meaningless.
    double birthTime = 0;

    bool operator==(const Explosion&) const = default;
};

}  // namespace glimmora
