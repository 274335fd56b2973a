#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/WaitUntil.h"

namespace glimmora::test {

/// A rectangle in root-window coordinates.
struct RootRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const RootRect&) const = default;
};

struct Rgb {
    int red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, Rgb colour) {
    return out << "rgb(" << colour.red << ", " << colour.green << ", " << colour.blue << ")";
}

bool isNear(Rgb actual, Rgb expected, int tolerance);

/// What the screen showed at one moment: the root window's pixels, which include every
/// window on it (an overlay too), row by row.
struct ScreenShot {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;

    /// Black outside the picture.
    Rgb at(int x, int y) const;
};

/// The test's own X client: makes windows, paints them, and inspects the stacking order,
/// window attributes and what the screen shows. Requests are flushed as they are made.
class X11TestDisplay {
public:
    explicit X11TestDisplay(const std::string& display);

    bool isConnected() const { return connection_ != nullptr; }
    xcb_connection_t* connection() const { return connection_.get(); }
    xcb_window_t root() const { return root_; }

    /// A window (a top-level one unless `parent` is given), not yet mapped, with a solid
    /// background; `rect` is relative to the parent.
    xcb_window_t createWindow(RootRect rect, bool overrideRedirect = false,
                              std::uint32_t eventMask = 0, xcb_window_t parent = XCB_NONE);
    void map(xcb_window_t window) { flushAfter(xcb_map_window(connection(), window)); }
    void unmap(xcb_window_t window) { flushAfter(xcb_unmap_window(connection(), window)); }
    void destroy(xcb_window_t window) { flushAfter(xcb_destroy_window(connection(), window)); }
    void raise(xcb_window_t window) {
        configure(window, XCB_CONFIG_WINDOW_STACK_MODE, {XCB_STACK_MODE_ABOVE});
    }
    void resize(xcb_window_t window, int width, int height) {
        configure(window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, {width, height});
    }
    void move(xcb_window_t window, int x, int y) {
        configure(window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, {x, y});
    }
    void reparent(xcb_window_t window, xcb_window_t parent, int x, int y) {
        flushAfter(xcb_reparent_window(connection(), window, parent, x, y));
    }
    void setBackground(xcb_window_t window, Rgb colour);
    /// Gives the window a border of `width` pixels in `colour`, around its inside.
    void setBorder(xcb_window_t window, int width, Rgb colour);
    /// Paints `area` of a window or pixmap with `colour` (drawing; the background stays).
    void fill(xcb_drawable_t drawable, RootRect area, Rgb colour);
    xcb_pixmap_t createPixmap(int width, int height, Rgb colour);
    /// A mapped override-redirect window of depth 32 filled with `argb` (0xAARRGGBB,
    /// premultiplied), or XCB_NONE when the server has no 32-bit TrueColor visual.
    xcb_window_t createArgbWindow(RootRect rect, std::uint32_t argb);
    /// A wallpaper of one colour, set as desktop tools do: root background and _XROOTPMAP_ID.
    void setWallpaper(Rgb colour);
    void flush() { xcb_flush(connection()); }
    /// Waits until the server has handled every request sent so far.
    void sync();

    /// The root's children, bottom to top.
    std::vector<xcb_window_t> stack();
    /// The root's child that holds `window` (itself, or the window manager's frame).
    xcb_window_t topLevelOf(xcb_window_t window);
    /// Whether `upper` sits above `lower` among the root's children (both must be children).
    bool isAbove(xcb_window_t upper, xcb_window_t lower);

    std::uint32_t atom(const std::string& name);
    std::vector<std::uint32_t> cardinals(xcb_window_t window, const std::string& name,
                                         xcb_atom_t type);
    std::optional<std::uint32_t> cardinal(xcb_window_t window, const std::string& name,
                                          xcb_atom_t type = XCB_ATOM_CARDINAL) {
        const auto values = cardinals(window, name, type);
        return values.empty() ? std::nullopt : std::optional(values.front());
    }
    std::string text(xcb_window_t window, xcb_atom_t property);
    void setCardinals(xcb_window_t window, const std::string& name, xcb_atom_t type,
                      const std::vector<std::uint32_t>& values);
    void deleteProperty(xcb_window_t window, const std::string& name);

    RootRect rootGeometry(xcb_window_t window);
    ScreenShot screenShot();
    bool isOverrideRedirect(xcb_window_t window);
    bool isViewable(xcb_window_t window);
    /// Rectangles of the window's input region (SHAPE input kind); nothing if it cannot tell.
    std::optional<int> inputRectangleCount(xcb_window_t window);
    /// The viewable top-level window of process `pid` titled `title`, if there is one.
    std::optional<xcb_window_t> findTopLevel(std::uint32_t pid, const std::string& title);
    /// Calls `onEvent` for every event the server has sent this client.
    void drainEvents(const std::function<void(const xcb_generic_event_t&)>& onEvent);

private:
    void flushAfter(xcb_void_cookie_t) { flush(); }
    void configure(xcb_window_t window, std::uint16_t mask, std::initializer_list<int> values);

    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection_{nullptr,
                                                                             &xcb_disconnect};
    xcb_screen_t* screen_ = nullptr;
    xcb_window_t root_ = 0;
};

}  // namespace glimmora::test
