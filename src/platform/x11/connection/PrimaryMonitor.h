#pragma once

#include <xcb/xcb.h>
#include <QRect>

namespace glimmora {

/// The main display's rectangle in root coordinates (device pixels): the RandR monitor marked
/// primary, else the CRTC of the primary output, else the first monitor, else the whole screen
/// (also when the server has no RandR, or one older than 1.5).
QRect primaryMonitorRect(xcb_connection_t* connection, const xcb_screen_t& screen);

}  // namespace glimmora
