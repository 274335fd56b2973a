#pragma once

#include <memory>
#include <optional>

#include "platform/WindowHandle.h"

namespace glimmora {

/// The registry of the two full-screen windows laid over the desktop, the shader overlay and the
/// gaze status window, and the two window-wide policies that change after they exist: whether
/// screen sharing may see them, and whether they stay above everything or step down so that a
/// modal alert can be seen and used.
///
/// Every operation tolerates missing windows: a missing one is skipped and the rest still runs.
/// Main thread only; no lock.
class WindowManager {
public:
    WindowManager() = default;
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    /// The process-wide registry, created on first use and never destroyed.
    static WindowManager& shared();

    /// Leaves both windows out of screen sharing (`hidden`) or lets it see them, and prints
    /// "Overlay hidden from screen sharing: true/false" whether or not any window exists.
    void setHiddenFromScreenSharing(bool hidden);

    /// Before a modal alert: saves the overlay's level (none without an overlay) and puts both
    /// windows at the normal level.
    void lowerWindowLevels();
    /// After the alert: the overlay back to the saved level (the overlay level when none was
    /// saved), the gaze window one above it; forgets the saved level.
    void restoreWindowLevels();

    /// The shader overlay, registered by the launch sequence; read by the overlay toggle.
    std::shared_ptr<WindowHandle> overlayWindow;
    /// The gaze status window; each new one replaces the previous reference.
    std::shared_ptr<WindowHandle> gazeOverlayWindow;
    /// The overlay's level between lowerWindowLevels() and the next restoreWindowLevels().
    std::optional<int> savedWindowLevel;
};

}  // namespace glimmora
