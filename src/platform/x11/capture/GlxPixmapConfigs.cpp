#include "platform/x11/capture/GlxPixmapConfigs.h"

#include <GL/glxext.h>
#include <X11/Xutil.h>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/x11/connection/X11ConnectionLossGuard.h"

namespace glimmora {
namespace {

bool hasExtension(const char* extensions, std::string_view name) {
    if (extensions == nullptr) {
        return false;
    }
    // Whole names only: one extension's name may begin another's.
    std::string_view rest(extensions);
    while (!rest.empty()) {
        const size_t end = rest.find(' ');
        if (rest.substr(0, end) == name) {
            return true;
        }
        if (end == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(end + 1);
    }
    return false;
}

int attribute(Display* display, GLXFBConfig config, int name) {
    int value = 0;
    if (glXGetFBConfigAttrib(display, config, name, &value) != Success) {
        return 0;
    }
    return value;
}

}  // namespace

GlxPixmapConfigs::GlxPixmapConfigs(Display* display, xcb_connection_t* connection, int screen) {
    if (display == nullptr) {
        return;
    }
    // A server gone since the last request is noticed here, by Xlib, whose I/O error handler
    // ends the process with the usual line; one that goes while the driver talks to it below
    // would crash the driver instead, which the guard turns into the same clean end.
    XSync(display, False);
    const X11ConnectionLossGuard guard(connection);
    int errorBase = 0;
    int eventBase = 0;
    if (!glXQueryExtension(display, &errorBase, &eventBase)) {
        return;
    }
    offered_ =
        hasExtension(glXQueryExtensionsString(display, screen), "GLX_EXT_texture_from_pixmap") &&
        glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXBindTexImageEXT")) &&
        glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXReleaseTexImageEXT"));
    if (!offered_) {
        return;
    }
    depth24_ = choose(display, screen, 24);
    depth32_ = choose(display, screen, 32);
}

const GlxPixmapConfig* GlxPixmapConfigs::forDepth(int depth) const {
    const std::optional<GlxPixmapConfig>* choice = depth == 24   ? &depth24_
                                                   : depth == 32 ? &depth32_
                                                                 : nullptr;
    return offered_ && choice != nullptr && choice->has_value() ? &**choice : nullptr;
}

std::optional<GlxPixmapConfig> GlxPixmapConfigs::choose(Display* display, int screen,
                                                        int depth) const {
    const bool rgba = depth == 32;
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(display, screen, &count);
    std::optional<GlxPixmapConfig> best;
    int bestCost = std::numeric_limits<int>::max();
    for (int i = 0; i < count; ++i) {
        const GLXFBConfig config = configs[i];
        if (!(attribute(display, config, GLX_DRAWABLE_TYPE) & GLX_PIXMAP_BIT) ||
            !(attribute(display, config, GLX_BIND_TO_TEXTURE_TARGETS_EXT) &
              GLX_TEXTURE_2D_BIT_EXT) ||
            !attribute(display, config,
                       rgba ? GLX_BIND_TO_TEXTURE_RGBA_EXT : GLX_BIND_TO_TEXTURE_RGB_EXT) ||
            attribute(display, config, GLX_BUFFER_SIZE) != depth ||
            attribute(display, config, GLX_ALPHA_SIZE) != (rgba ? 8 : 0)) {
            continue;
        }
        // The server accepts a pixmap only with a configuration of its depth.
        if (XVisualInfo* visual = glXGetVisualFromFBConfig(display, config)) {
            const bool sameDepth = visual->depth == depth;
            XFree(visual);
            if (!sameDepth) {
                continue;
            }
        }
        // Nothing is ever drawn into these pixmaps: the fewer extra buffers the better.
        const int cost = attribute(display, config, GLX_DOUBLEBUFFER) * 1000 +
                         attribute(display, config, GLX_DEPTH_SIZE) +
                         attribute(display, config, GLX_STENCIL_SIZE);
        if (cost < bestCost) {
            bestCost = cost;
            auto yInverted = static_cast<int>(
                GLX_DONT_CARE);  // kept when the driver does not say: ask the pixmap
            glXGetFBConfigAttrib(display, config, GLX_Y_INVERTED_EXT, &yInverted);
            best = GlxPixmapConfig{
                config, rgba ? GLX_TEXTURE_FORMAT_RGBA_EXT : GLX_TEXTURE_FORMAT_RGB_EXT, yInverted};
        }
    }
    if (configs != nullptr) {
        XFree(configs);
    }
    return best;
}

}  // namespace glimmora
