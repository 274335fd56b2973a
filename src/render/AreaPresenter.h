#pragma once

#include <QRegion>

namespace glimmora {

/// Puts part of a window's back buffer on screen without swapping buffers, so that the back
/// buffer keeps the frame and the next frame may redraw only what changed in it.
///
/// Where OpenGL draws on the CPU, a buffer swap copies the whole frame to the window; showing
/// only the part that changed costs as much less as that part is smaller. Made for the window's
/// context while it is current, and used only with it current.
class AreaPresenter {
public:
    virtual ~AreaPresenter() = default;

    /// Shows `area` (device pixels, row 0 at the top) of the back buffer of the current window,
    /// which is `height` device pixels high. False when it could not.
    virtual bool present(const QRegion& area, int height) = 0;
};

}  // namespace glimmora
