#pragma once

#include <QSize>
#include <memory>

#include "capture/DesktopScene.h"

namespace glimmora {

/// Turns a desktop scene into the draw loop's picture on the GPU, in the draw loop's own OpenGL
/// context: on X11 the window pixmaps are bound as textures (GLX_EXT_texture_from_pixmap) and
/// drawn bottom to top. A renderer without one (offline rendering, tests) cannot show scenes,
/// and the capture is then asked for pictures instead.
///
/// Main thread only, with the draw loop's context current for every call, destruction included.
class ScenePictureCompositor {
public:
    virtual ~ScenePictureCompositor() = default;

    /// Makes the GPU objects, once. False when this context cannot compose scenes (not the
    /// kind of context the compositor works with, or the driver lacks what it needs).
    virtual bool initialize() = 0;

    /// Draws `scene` into `texture`, an 8-bit RGBA 2-D texture of `size` (the scene's size)
    /// that holds pictures top row first, as every picture of the draw loop does. The scene is
    /// kept until the next call, so the pixmaps it names outlive whatever was made of them.
    /// Windows that cannot be shown are left out quietly. False when nothing could be drawn;
    /// the texture's contents are then undefined and the caller falls back to its backup copy.
    virtual bool composeInto(unsigned texture, QSize size,
                             const std::shared_ptr<const DesktopScene>& scene) = 0;
};

}  // namespace glimmora
