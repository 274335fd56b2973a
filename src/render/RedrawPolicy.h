#pragma once

#include "render/ParameterBlocks.h"

namespace glimmora {

/// When the overlay has to draw again over the same desktop picture.
///
/// The overlay runs all day, mostly over a desktop that does not change, and on a machine
/// without a GPU every frame is a full-screen pass on the CPU. So the draw loop draws only when
/// the result would differ from the frame on screen: a new picture (the hand-over says so), or
/// parameters that change what the shader shows. This class answers the second part from the
/// parameter blocks alone, which is what the shader sees: blocks of effect groups that are off
/// are ignored, and so are the time fields, except while an effect that moves with time on its
/// own (grain, flicker, glitch slices, the breath pacer, an explosion) is on; those keep the
/// loop at full rate.
class RedrawPolicy {
public:
    /// Whether a frame drawn with `frame` changes with time alone.
    static bool animates(const FrameParameters& frame);
    /// Whether frames drawn with `a` and `b` over the same picture look alike, judged as if
    /// neither animated.
    static bool looksAlike(const FrameParameters& a, const FrameParameters& b);
};

}  // namespace glimmora
