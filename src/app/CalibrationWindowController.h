#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "core/Signal.h"

struct xcb_connection_t;

namespace glimmora {

class CalibrationWindow;
class GazeTracker;
class X11KeyboardGrab;
class X11StackingKeeper;

/// Opens the calibration screen and drives a calibration with the keys the screen names.
///
/// Opening begins a calibration on the tracker and shows the title page on a full-screen window
/// above the overlay and the gaze status window. Space on the title page hides it and starts
/// target 0; Space then records the current target and starts the next (a refused record keeps
/// the target, and the user presses again). After the ninth the screen shows every target done
/// for kFinishedMilliseconds and closes. Escape cancels the calibration and closes at once.
///
/// The window is not click-through, and since the window manager gives an override-redirect
/// window no focus, the keyboard is grabbed for it while it is open; the keys are taken from the
/// application's events before the quit-key monitor, which would quit on a bare Escape. A grab
/// that cannot be had cancels the calibration rather than leave an uncloseable screen up.
/// Main thread only; needs a QGuiApplication.
class CalibrationWindowController : public QObject {
public:
    /// `tracker` and `keeper` must outlive the controller; `connection` is Qt's own X connection
    /// (none: no X attributes, no grab). `clock` gives seconds on the tracker's clock.
    CalibrationWindowController(GazeTracker& tracker, X11StackingKeeper& keeper,
                                xcb_connection_t* connection, std::function<double()> clock);
    ~CalibrationWindowController() override;

    /// Begins a calibration and shows the title page; nothing when already open or there is no
    /// primary screen.
    void open();
    bool isOpen() const { return window_ != nullptr; }
    /// The open window; null while closed.
    CalibrationWindow* window() const { return window_.get(); }

    void spacePressed();
    void escapePressed();

    static constexpr int kFinishedMilliseconds = 1000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void close();
    void showState();

    GazeTracker& tracker_;
    X11StackingKeeper& keeper_;
    xcb_connection_t* connection_;
    std::function<double()> clock_;
    std::unique_ptr<CalibrationWindow> window_;
    std::unique_ptr<X11KeyboardGrab> keyboard_;
    std::uint32_t registeredId_ = 0;
    bool showInstructions_ = true;
    bool finishing_ = false;
    Subscription stepChanged_;
    /// Each open gets a new context: the finishing close of an earlier one must not close it.
    std::unique_ptr<QObject> openContext_;
    /// The last closed window and context, on their way out (deleteLater).
    QPointer<CalibrationWindow> closedWindow_;
    QPointer<QObject> closedContext_;
};

}  // namespace glimmora
