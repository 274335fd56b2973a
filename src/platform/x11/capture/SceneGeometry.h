#pragma once

#include <QRect>
#include <QSize>
#include <array>
#include <optional>

namespace glimmora {

/// One corner of a textured quad of a scene: its place in the picture (pixels, y down) and its
/// texture coordinates.
struct SceneVertex {
    float x = 0;
    float y = 0;
    float s = 0;
    float t = 0;
    bool operator==(const SceneVertex&) const = default;
};

/// The two triangles that draw `source` (pixmap pixels, y down) of a pixmap of `pixmapSize`
/// onto `target` (picture pixels), one pixel to one pixel. `source` may reach past the pixmap;
/// a repeating texture then tiles it (a small wallpaper).
///
/// `topRowFirst` says how the pixmap lies in its texture: true when its top row is at t = 0
/// (pixels uploaded top row first, or a pixmap bound with GLX_Y_INVERTED_EXT true), false when
/// it is at t = 1 (OpenGL's own convention, GLX_Y_INVERTED_EXT false).
std::array<SceneVertex, 6> texturedQuad(const QRect& target, const QRect& source, QSize pixmapSize,
                                        bool topRowFirst);

/// How a pixmap bound with one configuration was seen to lie in its texture, by binding a probe
/// pixmap of known contents and reading the texture back, next to what the drawable query said.
struct PixmapLayoutProbe {
    bool topRowFirst = false;
    bool drawableSaysTopRowFirst = false;  // glXQueryDrawable(GLX_Y_INVERTED_EXT)
    bool operator==(const PixmapLayoutProbe&) const = default;
};

/// Whether a pixmap bound as a texture lies top row first, from GLX_Y_INVERTED_EXT:
/// `configSays` is the configuration's value (nothing for GLX_DONT_CARE), `drawableSays` the
/// pixmap's own answer, asked when the configuration leaves it to the drawable.
///
/// The configuration's TRUE or FALSE is the driver's word and is used as given. "Don't care"
/// defers to the drawable, but X.Org's server answers that query itself with a fixed FALSE,
/// whatever the driver does (Mesa lays bound pixmaps top row first). So where a `probe` of the
/// same configuration caught the drawable query saying the wrong thing, the layout the probe
/// saw wins.
bool isTopRowFirst(std::optional<bool> configSays, bool drawableSays,
                   const std::optional<PixmapLayoutProbe>& probe);

}  // namespace glimmora
