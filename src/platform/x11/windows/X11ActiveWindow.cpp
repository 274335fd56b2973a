#include "platform/x11/windows/X11ActiveWindow.h"

#include <QString>

#include <cstring>
#include <span>

#include "platform/x11/connection/X11Display.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {

namespace {

xcb_atom_t intern(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : XCB_NONE;
}

/// The 32-bit values of a property reply; empty when it has none.
std::span<const std::uint32_t> values32(const XcbReply<xcb_get_property_reply_t>& reply) {
    if (!reply || reply->format != 32) {
        return {};
    }
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())) / 4};
}

}  // namespace

X11ActiveWindow::X11ActiveWindow(const QString& display) {
    QString error;
    display_ = X11Display::open(display, &error);
    if (!display_) {
        return;
    }
    xcb_connection_t* c = display_->connection();
    activeWindow_ = intern(c, "_NET_ACTIVE_WINDOW");
    pid_ = intern(c, "_NET_WM_PID");
    gtkFrameExtents_ = intern(c, "_GTK_FRAME_EXTENTS");
}

X11ActiveWindow::~X11ActiveWindow() = default;

std::optional<X11ActiveWindow::Window> X11ActiveWindow::read() {
    if (!display_ || display_->hasError()) {
        return std::nullopt;
    }
    xcb_connection_t* c = display_->connection();
    const XcbReply<xcb_get_property_reply_t> active(xcb_get_property_reply(
        c, xcb_get_property(c, 0, display_->root(), activeWindow_, XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    const auto activeValues = values32(active);
    if (activeValues.empty() || activeValues[0] == XCB_NONE) {
        return std::nullopt;
    }
    const xcb_window_t window = activeValues[0];
    // One round trip for the rest: every request goes out before the first reply is read.
    const auto pidCookie = xcb_get_property(c, 0, window, pid_, XCB_ATOM_CARDINAL, 0, 1);
    const auto extentsCookie =
        xcb_get_property(c, 0, window, gtkFrameExtents_, XCB_ATOM_CARDINAL, 0, 4);
    const auto originCookie = xcb_translate_coordinates(c, window, display_->root(), 0, 0);
    const XcbReply<xcb_get_property_reply_t> pid(xcb_get_property_reply(c, pidCookie, nullptr));
    const XcbReply<xcb_get_property_reply_t> extents(
        xcb_get_property_reply(c, extentsCookie, nullptr));
    const XcbReply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c, originCookie, nullptr));
    if (!origin) {
        return std::nullopt;  // gone meanwhile
    }
    Window result;
    const auto pidValues = values32(pid);
    result.pid = pidValues.empty() ? 0 : static_cast<std::int32_t>(pidValues[0]);
    result.contentOrigin =
        Point{static_cast<double>(origin->dst_x), static_cast<double>(origin->dst_y)};
    // left, right, top, bottom
    const auto frame = values32(extents);
    if (frame.size() == 4) {
        result.contentOrigin.x += frame[0];
        result.contentOrigin.y += frame[2];
    }
    return result;
}

}  // namespace glimmora
