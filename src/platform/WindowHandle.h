#pragma once

namespace glimmora {

/// Window levels the overlay windows use. Higher levels stack above lower ones; the platform
/// layer turns them into stacking classes (normal, above everything, above the overlay).
namespace WindowLevel {
/// An ordinary window among the others: both overlays step down to it while a modal alert shows.
inline constexpr int normal = 0;
/// The shader overlay: above every other window.
inline constexpr int overlay = 1000;
/// The gaze status window: one above the shader overlay.
inline constexpr int aboveOverlay = overlay + 1;
/// The gaze calibration screen: above the gaze status window, which would otherwise cover it.
inline constexpr int calibration = overlay + 2;
}  // namespace WindowLevel

/// Whether other programs' screen sharing and recording may show a window.
enum class WindowSharingType {
    none = 0,      ///< left out of screen sharing
    readOnly = 1,  ///< captured like any other window (the default)
};

/// One of the full-screen windows the WindowManager keeps: the few window-wide policies that
/// change after the window exists. The application wraps a real window; tests use a fake.
class WindowHandle {
public:
    virtual ~WindowHandle() = default;

    /// The window's current level (see WindowLevel).
    virtual int level() const = 0;
    /// Moves the window to `level` at once.
    virtual void setLevel(int level) = 0;

    virtual WindowSharingType sharingType() const = 0;
    virtual void setSharingType(WindowSharingType type) = 0;

    /// Shows (orders in) or hides (orders out) the window, keeping its level.
    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
};

}  // namespace glimmora
