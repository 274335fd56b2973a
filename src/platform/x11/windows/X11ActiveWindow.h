#pragma once

#include <xcb/xcb.h>

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

#include "core/Point.h"

namespace glimmora {

class X11Display;

/// The window the user works in (EWMH _NET_ACTIVE_WINDOW) as the caret measurement needs it:
/// the process that owns it, and where its contents start on the screen. GTK 4 gives caret
/// positions relative to its window only; adding this origin puts them on the screen.
///
/// It has a connection of its own, so it can be used on the caret reader's thread; one thread
/// at a time.
class X11ActiveWindow {
public:
    struct Window {
        /// _NET_WM_PID; 0 when the window does not say.
        std::int32_t pid = 0;
        /// The client window's top-left corner in root pixels, plus GTK's invisible frame
        /// (_GTK_FRAME_EXTENTS: the shadow of client-side decorations) where there is one.
        Point contentOrigin;
    };

    /// Connects to `display` (empty: $DISPLAY); read() finds nothing when that fails.
    explicit X11ActiveWindow(const QString& display = QString());
    ~X11ActiveWindow();
    X11ActiveWindow(const X11ActiveWindow&) = delete;
    X11ActiveWindow& operator=(const X11ActiveWindow&) = delete;

    /// The active window now; nothing when there is none or the server is gone. Two round
    /// trips.
    std::optional<Window> read();

private:
    std::unique_ptr<X11Display> display_;
    xcb_atom_t activeWindow_ = XCB_NONE;
    xcb_atom_t pid_ = XCB_NONE;
    xcb_atom_t gtkFrameExtents_ = XCB_NONE;
};

}  // namespace glimmora
