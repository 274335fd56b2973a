#pragma once

#include "render/FrameInputs.h"
#include "render/ParameterBlocks.h"
#include "render/RendererState.h"

namespace glimmora {

class AppState;

/// Builds the twelve fragment parameter blocks of one frame from the settings, the trackers'
/// readings and the renderer's state between frames.
///
/// A pure computation: the frame time comes in `inputs.now` (it has no clock of its own), the
/// settings and readings are only read, and the only side effects are on `state`: which pointer
/// the focus band follows (`lastMouseY`, `lastCursorY`, `useTextCursor`) and forgetting a
/// burnt-out `currentExplosion`. Allocates nothing. Main thread, once per displayed frame.
FrameParameters buildFrameParameters(const AppState& settings, const FrameInputs& inputs,
                                     RendererState& state);

}  // namespace glimmora
