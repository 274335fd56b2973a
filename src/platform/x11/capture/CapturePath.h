#pragma once

namespace glimmora {

/// How an X11 capture stream gets the desktop to the draw loop.
enum class CapturePath {
    /// Scenes: the draw loop binds the windows' pixmaps as textures
    /// (GLX_EXT_texture_from_pixmap) and composes them on the GPU; no pixel crosses the CPU.
    ZeroCopy,
    /// Pictures: the X server composes the changed areas into pixmaps whose memory we share
    /// (MIT-SHM), then the draw loop uploads them.
    Copying,
};

}  // namespace glimmora
