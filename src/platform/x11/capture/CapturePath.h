#pragma once

namespace glimmora {

/// How an X11 capture stream gets the desktop to the draw loop.
enum class CapturePath {
    /// Scenes: the draw loop binds the windows' pixmaps as textures
    /// (GLX_EXT_texture_from_pixmap) and composes them on the GPU; no pixel crosses the CPU.
    ZeroCopy,
    /// Pictures: the damaged areas are read through MIT-SHM and composed on the CPU, then
    /// uploaded.
    Copying,
};

}  // namespace glimmora
