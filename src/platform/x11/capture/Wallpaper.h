#pragma once

#include <xcb/xcb.h>
#include <QtGlobal>
#include <array>

namespace glimmora {

/// The colour shown where neither a window nor a wallpaper pixmap is (0xffRRGGBB).
inline constexpr quint32 kPlainDesktopColour = 0xff000000u;

/// The pixmaps the root names as its wallpaper, in the order to try them: _XROOTPMAP_ID (set by
/// most wallpaper setters), then _XSETROOT_ID (xsetroot); XCB_NONE where a property is missing.
/// They belong to other clients, which may free them at any time. The root window itself is
/// never read for the wallpaper: it shows every window, Glimmora's overlay included.
std::array<xcb_pixmap_t, 2> wallpaperPixmaps(xcb_connection_t* connection, xcb_window_t root);

}  // namespace glimmora
