#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/Rect.h"
#include "trackers/WindowRecord.h"

namespace glimmora {

/// The smallest window, in pixels per side, that smart focus treats as a principal window;
/// anything smaller is a palette, tooltip or similar.
inline constexpr double kMinimumPrincipalWindowSide = 100;

/// The process of the frontmost application: the owner of the active window when the window
/// manager names one with a known owner other than `ownPid`; otherwise the owner of the first
/// on-screen normal-layer (layer 0) window in `frontToBack` with a known owner other than
/// `ownPid`. Our own overlay sits above everything and must not count; panels, docks and
/// notifications stack above the active application and would otherwise be taken for it.
/// Empty when no window qualifies.
std::optional<std::int32_t> frontmostApplicationPid(const std::vector<WindowRecord>& frontToBack,
                                                    std::int32_t ownPid);

/// The principal window of the application `pid`: among its on-screen windows with a layer of
/// 0 or more, an opacity above 0 and both sides at least 100 pixels, the one on the lowest
/// layer, and among equal layers the first in `frontToBack`. Empty when none qualifies.
std::optional<WindowRecord> principalWindowOf(const std::vector<WindowRecord>& frontToBack,
                                              std::int32_t pid);

/// The window smart focus keeps sharp: the principal window of the frontmost application
/// other than ours. Empty when there is no such application or it has no qualifying window.
std::optional<WindowRecord> chooseActiveWindow(const std::vector<WindowRecord>& frontToBack,
                                               std::int32_t ownPid);

/// `bounds` (pixels of the X screen) as fractions of `monitor` (also pixels of the X screen):
/// 0 at the monitor's left and top edges, 1 at its right and bottom edges. `monitor` must have
/// a positive width and height.
Rect normalizeToMonitor(const Rect& bounds, const Rect& monitor);

}  // namespace glimmora
