#pragma once

#include <cstdint>

#include "core/Rect.h"

namespace glimmora {

/// One top-level window as the platform's window list reports it, already mapped to the terms
/// the active-window rule reads: the owning process, a stacking layer (desktop below 0, normal
/// windows 0, docks, notifications and keep-above windows higher), an opacity and the frame's
/// bounds in pixels of the X screen.
struct WindowRecord {
    /// The X window id; only for diagnostics and for telling records apart.
    std::uint32_t windowId = 0;
    /// The owning process; 0 when the window does not say (no _NET_WM_PID, no client id).
    std::int32_t ownerPid = 0;
    int layer = 0;
    /// 1 = opaque, 0 = fully transparent.
    double alpha = 1;
    /// Frame bounds in pixels of the X screen (origin at the root window's top-left corner).
    Rect bounds;
    /// False for hidden (minimised, on another workspace) or unmapped windows.
    bool isOnScreen = true;
    /// The window the window manager reports as active (the one with keyboard focus).
    bool isActive = false;

    bool operator==(const WindowRecord&) const = default;
};

}  // namespace glimmora
