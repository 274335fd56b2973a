#include "platform/x11/capture/Wallpaper.h"

#include <cstring>

#include "platform/x11/connection/XcbReply.h"

namespace glimmora {
namespace {

xcb_pixmap_t pixmapProperty(xcb_connection_t* c, xcb_window_t root, const char* name) {
    XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    if (!atom || atom->atom == XCB_NONE) {
        return XCB_NONE;
    }
    XcbReply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_PIXMAP, 0, 1), nullptr));
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) != 4) {
        return XCB_NONE;
    }
    xcb_pixmap_t pixmap = XCB_NONE;
    std::memcpy(&pixmap, xcb_get_property_value(property.get()), sizeof pixmap);
    return pixmap;
}

}  // namespace

std::array<xcb_pixmap_t, 2> wallpaperPixmaps(xcb_connection_t* connection, xcb_window_t root) {
    return {pixmapProperty(connection, root, "_XROOTPMAP_ID"),
            pixmapProperty(connection, root, "_XSETROOT_ID")};
}

}  // namespace glimmora
