#include "platform/x11/capture/SharedPixmap.h"

#include "platform/x11/connection/X11Display.h"

namespace glimmora {

class SharedPixmap::Owner {
public:
    Owner(std::shared_ptr<X11Display> display, xcb_pixmap_t pixmap)
        : display_(std::move(display)), pixmap_(pixmap) {}
    ~Owner() {
        if (!display_->hasError()) {
            xcb_free_pixmap(display_->connection(), pixmap_);
            // The delivery thread may be asleep, or gone: send it now.
            xcb_flush(display_->connection());
        }
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    xcb_pixmap_t pixmap() const { return pixmap_; }

private:
    std::shared_ptr<X11Display> display_;
    xcb_pixmap_t pixmap_;
};

SharedPixmap::SharedPixmap(std::shared_ptr<X11Display> display, xcb_pixmap_t pixmap)
    : owner_(std::make_shared<const Owner>(std::move(display), pixmap)) {}

xcb_pixmap_t SharedPixmap::id() const {
    return owner_ ? owner_->pixmap() : XCB_NONE;
}

}  // namespace glimmora
