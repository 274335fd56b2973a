#pragma once

#include <xcb/xcb.h>
#include <memory>

namespace glimmora {

class X11Display;

/// A pixmap of ours shared by everyone who may still draw from it: the window tracker while it
/// is the window's current contents, and every scene handed out that names it. The last holder
/// to let go frees it on the server, from whatever thread that is (xcb is thread-safe), and the
/// X connection it belongs to stays open until then. Copies are cheap and share the pixmap.
class SharedPixmap {
public:
    SharedPixmap() = default;
    /// Takes `pixmap`, made on `display`'s connection.
    SharedPixmap(std::shared_ptr<X11Display> display, xcb_pixmap_t pixmap);

    xcb_pixmap_t id() const;
    explicit operator bool() const { return owner_ != nullptr; }
    /// Lets go of this copy's share.
    void reset() { owner_.reset(); }
    /// The share itself, for holders that only keep the pixmap alive.
    std::shared_ptr<const void> share() const { return owner_; }

private:
    class Owner;
    std::shared_ptr<const Owner> owner_;
};

}  // namespace glimmora
