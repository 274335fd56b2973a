#pragma once

namespace glimmora {

/// The application's reverse-DNS id, the one name the desktop knows Glimmora by: its D-Bus
/// control service and interface, its autostart entry and its icon are all named after it.
inline constexpr char kApplicationId[] = "io.github.glimmora.Glimmora";

}  // namespace glimmora
