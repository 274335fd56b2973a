#include "platform/x11/input/X11KeyboardGrab.h"

#include <xcb/xcb.h>

#include <QTimer>
#include <cstdlib>

namespace glimmora {

X11KeyboardGrab::X11KeyboardGrab(xcb_connection_t* connection, std::uint32_t window,
                                 std::function<void()> failed)
    : connection_(connection), window_(window), failed_(std::move(failed)) {
    if (connection_) {
        tryGrab(kPatienceMilliseconds);
    }
}

X11KeyboardGrab::~X11KeyboardGrab() {
    if (isHeld_) {
        xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
    }
}

void X11KeyboardGrab::tryGrab(int millisecondsLeft) {
    // Not owner events: every key goes to our window, none to the application under it.
    xcb_grab_keyboard_reply_t* reply =
        xcb_grab_keyboard_reply(connection_,
                                xcb_grab_keyboard(connection_, 0, window_, XCB_CURRENT_TIME,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                nullptr);
    isHeld_ = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    if (isHeld_) {
        return;
    }
    if (millisecondsLeft <= 0) {
        if (failed_) {
            failed_();
        }
        return;
    }
    QTimer::singleShot(kRetryMilliseconds, &context_, [this, millisecondsLeft] {
        tryGrab(millisecondsLeft - kRetryMilliseconds);
    });
}

}  // namespace glimmora
