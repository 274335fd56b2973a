#include "app/CalibrationWindowController.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include "core/Log.h"
#include "gaze/GazeTracker.h"
#include "gaze/views/CalibrationWindow.h"
#include "platform/WindowHandle.h"
#include "platform/x11/input/X11KeyboardGrab.h"
#include "platform/x11/windows/X11OverlayWindow.h"
#include "platform/x11/windows/X11StackingKeeper.h"

namespace glimmora {

CalibrationWindowController::CalibrationWindowController(GazeTracker& tracker,
                                                         X11StackingKeeper& keeper,
                                                         xcb_connection_t* connection,
                                                         std::function<double()> clock)
    : tracker_(tracker), keeper_(keeper), connection_(connection), clock_(std::move(clock)) {}

CalibrationWindowController::~CalibrationWindowController() {
    close();
    // Nothing is waiting on the event loop any more: what close() handed to it goes now.
    delete closedWindow_;
    delete closedContext_;
}

void CalibrationWindowController::open() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (isOpen() || !screen) {
        return;
    }
    openContext_ = std::make_unique<QObject>();
    showInstructions_ = true;
    finishing_ = false;
    tracker_.beginCalibration(clock_());

    window_ = std::make_unique<CalibrationWindow>();
    window_->setTitle(QStringLiteral("Glimmora Gaze Calibration"));
    // Out of the window manager's hands like the overlay, but it takes clicks: nothing under it
    // should be clicked by a user who is looking at targets.
    window_->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    window_->setGeometry(screen->geometry());
    showState();
    window_->show();
    const auto id = static_cast<std::uint32_t>(window_->winId());
    if (connection_) {
        X11OverlayWindow::setNoShadow(connection_, id);
    }
    registeredId_ = id;
    keeper_.setLevel(id, WindowLevel::calibration);
    stepChanged_ = tracker_.calibrationStep.sinkChanges([this](const int&) { showState(); });
    // Installed last, so it sees the keys before the quit-key monitor does.
    QCoreApplication::instance()->installEventFilter(this);
    keyboard_ = std::make_unique<X11KeyboardGrab>(connection_, id, [this] {
        logLine(
            "Calibration: the keyboard could not be taken for the calibration screen; "
            "calibration cancelled");
        // Not from inside the grab's own retry.
        QTimer::singleShot(0, openContext_.get(), [this] { escapePressed(); });
    });
}

void CalibrationWindowController::close() {
    if (!isOpen()) {
        return;
    }
    QCoreApplication::instance()->removeEventFilter(this);
    keyboard_.reset();
    stepChanged_ = {};
    keeper_.forget(registeredId_);
    registeredId_ = 0;
    // Closing may be asked from inside the window's own key event or the context's own timer:
    // both go once the event loop is back, the window off the screen already.
    window_->hide();
    closedWindow_ = window_.release();
    closedWindow_->deleteLater();
    closedContext_ = openContext_.release();
    closedContext_->deleteLater();
}

void CalibrationWindowController::spacePressed() {
    if (!isOpen() || finishing_) {
        return;
    }
    if (showInstructions_) {
        showInstructions_ = false;
        tracker_.startCalibrationTarget(clock_());
        showState();
        return;
    }
    if (!tracker_.recordCalibrationTarget(clock_())) {
        // Too few samples: the tracker said so, and the same target waits for a new press.
        // Without a running camera (none, or it went away) no press ever records: the screen
        // gives way instead of waiting for one.
        if (!tracker_.isTracking()) {
            logLine(
                "CalibrationWindowController: the camera is not running; calibration cancelled");
            escapePressed();
        }
        return;
    }
    if (tracker_.isCalibrating()) {
        tracker_.startCalibrationTarget(clock_());
        return;
    }
    // All nine recorded (the fit kept or refused, as the tracker logged): show them all done
    // for a moment.
    finishing_ = true;
    showState();
    QTimer::singleShot(kFinishedMilliseconds, openContext_.get(), [this] { close(); });
}

void CalibrationWindowController::escapePressed() {
    if (!isOpen()) {
        return;
    }
    tracker_.cancelCalibration();  // nothing once the calibration has finished
    close();
}

void CalibrationWindowController::showState() {
    if (window_) {
        window_->setState(showInstructions_, tracker_.calibrationStep(),
                          tracker_.calibrationPoints());
    }
}

bool CalibrationWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWindowType()) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<const QKeyEvent*>(event);
    // Bare keys only: a combination with Escape (the emergency quit) goes on to its monitor.
    const Qt::KeyboardModifiers held = key->modifiers() & ~Qt::KeypadModifier;
    if (held != Qt::NoModifier || key->isAutoRepeat()) {
        return QObject::eventFilter(watched, event);
    }
    if (key->key() == Qt::Key_Space) {
        spacePressed();
        return true;
    }
    if (key->key() == Qt::Key_Escape) {
        escapePressed();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace glimmora
