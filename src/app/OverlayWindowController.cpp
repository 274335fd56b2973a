#include "app/OverlayWindowController.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <memory>

#include "app/WindowManager.h"
#include "platform/x11/windows/X11OverlayWindow.h"
#include "platform/x11/windows/X11StackingKeeper.h"
#include "platform/x11/windows/X11WindowHandle.h"
#include "settings/AppState.h"

namespace glimmora {

OverlayWindowController::OverlayWindowController(QWindow& window, AppState& appState,
                                                 X11StackingKeeper& keeper,
                                                 xcb_connection_t* connection,
                                                 std::function<void()> screensChanged)
    : window_(window),
      appState_(appState),
      keeper_(keeper),
      connection_(connection),
      screensChanged_(std::move(screensChanged)) {}

OverlayWindowController::~OverlayWindowController() {
    if (isConfigured_) {
        WindowManager::shared().overlayWindow.reset();
    }
}

void OverlayWindowController::configure() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    // The full frame of the primary monitor: panels and docks are covered too. The wait for the
    // window manager to let go of the window may outlast this controller; then nothing is left
    // to do.
    const QPointer<QObject> alive(&context_);
    X11OverlayWindow::configure(window_, screen->geometry(), connection_, [this, alive] {
        if (!alive) {
            return;
        }
        auto handle = std::make_shared<X11WindowHandle>(window_, keeper_);
        handle->setLevel(WindowLevel::overlay);
        WindowManager::shared().overlayWindow = std::move(handle);
        isConfigured_ = true;
        // The screens may have changed while the window manager let go of the window.
        refit();
        followOverlaySwitch();
    });
    followPrimaryScreen();
}

void OverlayWindowController::followOverlaySwitch() {
    // While the overlay is switched off the renderer draws nothing. Without a compositing
    // manager an undrawn window is not see-through but black (or stale), and it would hide the
    // desktop it no longer shows: so the overlay window is taken off the screen while the
    // switch is off, and put back on top when it comes on.
    overlaySwitch_ = appState_.isOverlayEnabled.sink([this](const bool& enabled) {
        if (!isConfigured_) {
            return;
        }
        window_.setVisible(enabled);
        if (enabled) {
            window_.raise();
        }
    });
}

void OverlayWindowController::followPrimaryScreen() {
    // Qt's screens follow RandR (sizes, monitors, the primary output). Every screen is watched,
    // not just the primary: the one that becomes primary may change in the same update.
    const auto watch = [this](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, &context_, [this] { refit(); });
    };
    for (QScreen* screen : QGuiApplication::screens()) {
        watch(screen);
    }
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, &context_, watch);
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, &context_,
                     [this] { refit(); });
}

void OverlayWindowController::refit() {
    // After a screen change (a new resolution, a monitor added, removed or made primary) the
    // overlay must cover the primary monitor's new full frame, as configure() placed it on the
    // old one: otherwise it covers too little or too much, and the desktop pictures, which
    // follow the primary monitor, are drawn stretched over the old frame. Only the geometry
    // changes, without configuring anew (hide, wait, show): the window is override-redirect, so
    // the server resizes it at once, without the window manager, and it stays the same window
    // with the same attributes.
    if (screensChanged_) {
        screensChanged_();
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!isConfigured_ || !screen || window_.geometry() == screen->geometry()) {
        return;
    }
    window_.setGeometry(screen->geometry());
    // A changed screen may have moved other windows in the stack too.
    keeper_.raiseNow();
    window_.requestUpdate();
}

}  // namespace glimmora
