#pragma once

namespace glimmora {

/// Where a frame is drawn: a framebuffer object of the current context (0 is the window's own
/// default framebuffer) and its size in device pixels. A zero size means there is nothing to
/// draw into, for example a window that is not exposed yet.
struct RenderTarget {
    unsigned framebuffer = 0;
    int width = 0;
    int height = 0;

    bool isValid() const { return width > 0 && height > 0; }
    bool operator==(const RenderTarget&) const = default;
};

}  // namespace glimmora
