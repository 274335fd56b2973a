#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <vector>

#include "core/Signal.h"

struct xcb_connection_t;

namespace glimmora {

class AppState;
class GazeStatusWindow;
class GazeTracker;
class X11StackingKeeper;

/// One gaze status window from its creation to its end: makes it the full-screen, borderless,
/// transparent, click-through window one level above the overlay, registers it with the
/// WindowManager in place of any earlier one, and keeps its drawing in step with the tracker
/// (tracking, face, gaze point) and the gaze switch in the settings. The window shows only where
/// it draws (see X11OverlayWindow::setVisibleRectangles).
///
/// Each switch-on of gaze tracking makes a new controller; the one it replaces closes its
/// window. Main thread only; needs a QGuiApplication.
class GazeStatusWindowController {
public:
    /// `tracker`, `settings` and `keeper` must outlive the controller; `connection` is Qt's own
    /// X connection (none: Qt's flags only, no shape). Without a primary screen no window is
    /// made.
    GazeStatusWindowController(GazeTracker& tracker, AppState& settings, X11StackingKeeper& keeper,
                               xcb_connection_t* connection);
    GazeStatusWindowController(const GazeStatusWindowController&) = delete;
    GazeStatusWindowController& operator=(const GazeStatusWindowController&) = delete;
    /// Takes its window out of the WindowManager (when still registered there) and closes it.
    ~GazeStatusWindowController();

    /// The window; null without a primary screen.
    GazeStatusWindow* window() const { return window_.get(); }

private:
    void followState();
    void refresh();
    /// Sets the window's X shape to what it draws.
    void applyShape();

    GazeTracker& tracker_;
    AppState& settings_;
    X11StackingKeeper& keeper_;
    xcb_connection_t* connection_;
    std::unique_ptr<GazeStatusWindow> window_;
    std::vector<Subscription> subscriptions_;
    QObject context_;  // the screen connection and a pending configuration die with it
    /// Whether a compositing manager runs, asked of the server at most once a second: the
    /// shape follows the marker at the display's pace, and a compositor comes or goes rarely.
    bool compositing_ = false;
    QElapsedTimer compositingAskedAt_;
};

}  // namespace glimmora
