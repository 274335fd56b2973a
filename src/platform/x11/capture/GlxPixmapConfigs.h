#pragma once

#include <GL/glx.h>
#include <xcb/xcb.h>

#include <optional>

namespace glimmora {

/// How pixmaps of one depth are bound as textures: the GLX frame-buffer configuration to make
/// their GLX pixmaps with, the texture format, and how the driver lays them out.
struct GlxPixmapConfig {
    GLXFBConfig config = nullptr;
    int textureFormat = 0;  // GLX_TEXTURE_FORMAT_RGB_EXT or GLX_TEXTURE_FORMAT_RGBA_EXT
    /// GLX_Y_INVERTED_EXT: True, False, or GLX_DONT_CARE, which leaves it to each drawable.
    int yInverted = 0;
};

/// What GLX_EXT_texture_from_pixmap offers on one screen: whether the extension is there, and
/// a configuration for 24-bit (RGB) and 32-bit (RGBA) pixmaps, read once. No context needed.
///
/// Reading them is often the first GLX call of the process, which sets the driver up and talks
/// to the server for a while. Should the server go away meanwhile (in the first moments of a
/// session), the process ends with the X error line and status 1 instead of a driver crash.
class GlxPixmapConfigs {
public:
    /// `connection` is the XCB connection under `display`.
    GlxPixmapConfigs(Display* display, xcb_connection_t* connection, int screen);

    /// The extension is offered, with its entry points, and 24-bit pixmaps can be bound.
    bool canBindPixmaps() const { return offered_ && depth24_.has_value(); }
    /// The configuration for pixmaps of `depth`; nothing for depths that cannot be bound.
    const GlxPixmapConfig* forDepth(int depth) const;

private:
    std::optional<GlxPixmapConfig> choose(Display* display, int screen, int depth) const;

    bool offered_ = false;
    std::optional<GlxPixmapConfig> depth24_;
    std::optional<GlxPixmapConfig> depth32_;
};

}  // namespace glimmora
