#pragma once

#include <xcb/xcb.h>
#include <QRect>
#include <memory>
#include <optional>
#include <unordered_map>

#include "capture/DesktopScene.h"

namespace glimmora {

class TopLevelWindowList;
class X11Display;

/// The zero-copy path's side of a delivery thread: instead of reading pixels it describes the
/// desktop (the wallpaper pixmap, then the named pixmaps of the windows in the pictures,
/// bottom to top) for the draw loop to compose on the GPU.
///
/// It still takes every window's DAMAGE, so that windows keep reporting, and counts each
/// window's changes in its layer's `contentVersion`, which tells the composer what to bind
/// again. An update costs one round trip when some window drew, none otherwise; no pixel is
/// read on this side.
class SceneBuilder {
public:
    /// `capture` is the picture's rectangle in root coordinates. The tracker must outlive the
    /// builder; scenes it made may outlive both (they share the pixmaps and the connection).
    SceneBuilder(std::shared_ptr<X11Display> display, TopLevelWindowList& tracker,
                 const QRect& capture);
    SceneBuilder(const SceneBuilder&) = delete;
    SceneBuilder& operator=(const SceneBuilder&) = delete;

    /// Takes what changed since the last call (everything on the first); whether the picture
    /// may look different now. Before it returns, the server has taken the damage it reported,
    /// so drawing that a composer's binding might miss is reported again.
    bool update();

    /// The desktop as of the last update(). Every pixmap it names stays alive while the scene
    /// does.
    std::shared_ptr<const DesktopScene> scene() const;

private:
    void readWallpaper();

    std::shared_ptr<X11Display> display_;
    TopLevelWindowList& tracker_;
    QRect capture_;
    std::optional<SceneWallpaper> wallpaper_;
    quint64 wallpaperVersion_ = 0;
    std::unordered_map<xcb_window_t, quint64> versions_;  // by window
    quint64 nextVersion_ = 1;
    bool first_ = true;
};

}  // namespace glimmora
