#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <vector>

namespace glimmora {

/// One window of a desktop scene: the X pixmap that holds its contents (the window manager's
/// frame included) and where it goes in the picture.
struct SceneLayer {
    quint32 window = 0;  // X window id, so a composer can tell windows apart in its diagnostics
    quint32 pixmap = 0;  // X pixmap with the window's contents, border included
    /// Where the whole pixmap goes, picture pixels (y down); may reach outside the picture.
    QRect rect;
    int depth = 24;  // 24 (xRGB) or 32 (ARGB, shown as if opaque)
    /// Grows whenever the pixmap's contents changed. A composer redraws its copy of a pixmap
    /// when this differs from what it drew last; a counter rather than a "changed" flag because
    /// scenes may be replaced before they are drawn, and a flag would be lost with them.
    quint64 contentVersion = 0;
    bool operator==(const SceneLayer&) const = default;
};

/// The desktop background of a scene: a pixmap tiled from the root window's origin.
struct SceneWallpaper {
    quint32 pixmap = 0;
    QSize size;  // the pixmap's own size; smaller pixmaps repeat
    int depth = 24;
    /// The picture's top-left corner in root coordinates, where the tiling starts from.
    QPoint origin;
    quint64 contentVersion = 0;  // as for SceneLayer
    bool operator==(const SceneWallpaper&) const = default;
};

/// What the desktop looks like, described rather than painted: the zero-copy capture hands
/// this to the draw loop instead of a picture, and the GPU composes it from the pixmaps.
///
/// The pixmaps belong to the capture's X connection. `resources` keeps every pixmap named here
/// (and that connection) alive for as long as any copy of the scene exists, so the consumer
/// may bind them whenever it draws. The wallpaper is the exception: another client owns it and
/// may free it at any time, which a composer must survive.
struct DesktopScene {
    QSize size;  // the picture, device pixels
    /// Nothing when the root names no usable wallpaper: `plainColour` shows instead.
    std::optional<SceneWallpaper> wallpaper;
    quint32 plainColour = 0xff000000u;  // 0xAARRGGBB
    std::vector<SceneLayer> layers;     // bottom to top, each drawn over what lies below
    std::shared_ptr<const void> resources;
    bool operator==(const DesktopScene&) const = default;
};

}  // namespace glimmora
