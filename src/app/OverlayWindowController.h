#pragma once

#include <QObject>
#include <functional>

#include "core/Signal.h"

struct xcb_connection_t;
class QWindow;

namespace glimmora {

class AppState;
class X11StackingKeeper;

/// The overlay window's life once the content window exists: turning it into the full-screen,
/// click-through overlay on the primary monitor and registering it with the WindowManager, then
/// keeping it right: on the screen exactly while the overlay is switched on, and covering the
/// primary monitor's full frame after every screen change.
///
/// It lives in the application layer, not beside X11OverlayWindow, because what it follows is
/// the application's: the overlay switch in the settings and the WindowManager's registry. It
/// writes no log lines. Main thread only; needs a QGuiApplication on the xcb platform.
class OverlayWindowController {
public:
    /// `window` is the content window, named rather than taken from Qt's top-level windows:
    /// that list has no defined order and also holds helper windows (the tray icon's, for one).
    /// It, `appState` and `keeper` must outlive the controller. `connection` is Qt's own X
    /// connection (see X11OverlayWindow::configure). `screensChanged` runs before every refit,
    /// for the rest of the application to read the primary monitor again.
    OverlayWindowController(QWindow& window, AppState& appState, X11StackingKeeper& keeper,
                            xcb_connection_t* connection, std::function<void()> screensChanged);
    OverlayWindowController(const OverlayWindowController&) = delete;
    OverlayWindowController& operator=(const OverlayWindowController&) = delete;
    /// Takes the overlay out of the WindowManager: its handle refers to the stacking keeper.
    ~OverlayWindowController();

    /// Turns the window into the overlay and registers it; from then on it follows the overlay
    /// switch and the primary screen. Called once, after the window was first shown.
    void configure();

    bool isConfigured() const { return isConfigured_; }

private:
    /// Keeps the overlay window on screen exactly while the overlay is switched on.
    void followOverlaySwitch();
    /// Calls refit() whenever a screen changes size or place, or another screen becomes the
    /// primary one.
    void followPrimaryScreen();
    /// Puts the configured overlay on the primary monitor's full frame again, in place.
    void refit();

    QWindow& window_;
    AppState& appState_;
    X11StackingKeeper& keeper_;
    xcb_connection_t* connection_;
    std::function<void()> screensChanged_;
    Subscription overlaySwitch_;
    /// configure() has finished: the window is the override-redirect overlay.
    bool isConfigured_ = false;
    QObject context_;  // the screen connections and a pending configuration die with it
};

}  // namespace glimmora
