#pragma once

#include <xcb/xcb.h>
#include <QImage>
#include <QRect>
#include <array>

namespace glimmora {

class ShmImageReader;
class X11Display;

/// The colour shown where neither a window nor a wallpaper pixmap is (0xffRRGGBB).
inline constexpr quint32 kPlainDesktopColour = 0xff000000u;

/// The pixmaps the root names as its wallpaper, in the order to try them: _XROOTPMAP_ID (set by
/// most wallpaper setters), then _XSETROOT_ID (xsetroot); XCB_NONE where a property is missing.
/// They belong to other clients, which may free them at any time.
std::array<xcb_pixmap_t, 2> wallpaperPixmaps(xcb_connection_t* connection, xcb_window_t root);

/// Fills `wallpaper` (the capture's size, Format_RGB32) with the desktop background under
/// `capture` (root coordinates): the pixmap named by the root's _XROOTPMAP_ID (set by most
/// wallpaper setters), else by _XSETROOT_ID (xsetroot), tiled from the root's origin when it is
/// smaller than the screen; else kPlainDesktopColour. The root window itself is never read:
/// it shows every window, Glimmora's overlay included.
void readWallpaper(const X11Display& display, ShmImageReader& reader, const QRect& capture,
                   QImage& wallpaper);

}  // namespace glimmora
