#pragma once

#include <xcb/xcb.h>

namespace glimmora {

/// Opens a connection of its own to `displayName` (null: $DISPLAY) for one component, closed on
/// exec so that programs the application starts do not inherit it and keep it alive. Null when
/// the server cannot be reached; otherwise the caller disconnects it.
xcb_connection_t* connectPrivately(const char* displayName);

}  // namespace glimmora
