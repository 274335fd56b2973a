#include "app/GazeStatusWindowController.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include "app/WindowManager.h"
#include "gaze/GazeTracker.h"
#include "gaze/views/GazeStatusWindow.h"
#include "platform/x11/windows/X11OverlayWindow.h"
#include "platform/x11/windows/X11StackingKeeper.h"
#include "platform/x11/windows/X11WindowHandle.h"
#include "settings/AppState.h"

namespace glimmora {

GazeStatusWindowController::GazeStatusWindowController(GazeTracker& tracker, AppState& settings,
                                                       X11StackingKeeper& keeper,
                                                       xcb_connection_t* connection)
    : tracker_(tracker), settings_(settings), keeper_(keeper), connection_(connection) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    window_ = std::make_unique<GazeStatusWindow>();
    window_->setTitle(QStringLiteral("Glimmora Gaze"));
    // The overlay's flags before the native window exists, so that configuring does not replace
    // it, and its shape (nothing yet) before it is first shown: a full-screen unshaped window
    // would flash black on a desktop without a compositing manager.
    window_->setFlags(X11OverlayWindow::flags());
    window_->setGeometry(screen->geometry());
    window_->create();
    window_->drawnRegionChanged = [this] { applyShape(); };
    applyShape();
    followState();

    const QPointer<QObject> alive(&context_);
    X11OverlayWindow::configure(*window_, screen->geometry(), connection_, [this, alive] {
        if (!alive) {
            return;
        }
        applyShape();  // on the native window Qt may have made anew
        auto handle = std::make_shared<X11WindowHandle>(*window_, keeper_);
        handle->setLevel(WindowLevel::aboveOverlay);
        WindowManager::shared().gazeOverlayWindow = std::move(handle);
    });
    QObject::connect(screen, &QScreen::geometryChanged, &context_,
                     [this](const QRect& geometry) { window_->setGeometry(geometry); });
}

GazeStatusWindowController::~GazeStatusWindowController() {
    auto& registered = WindowManager::shared().gazeOverlayWindow;
    const auto* handle = dynamic_cast<const X11WindowHandle*>(registered.get());
    if (window_ && handle && handle->window() == window_.get()) {
        registered.reset();
    }
}

void GazeStatusWindowController::followState() {
    // Every published change the drawing reads; the window repaints only on a real change.
    subscriptions_.push_back(tracker_.isTracking.sinkChanges([this](const bool&) { refresh(); }));
    subscriptions_.push_back(tracker_.faceDetected.sinkChanges([this](const bool&) { refresh(); }));
    subscriptions_.push_back(tracker_.gazePoint.sinkChanges([this](const Point&) { refresh(); }));
    subscriptions_.push_back(
        settings_.isGazeTrackingEnabled.sinkChanges([this](const bool&) { refresh(); }));
    refresh();
}

void GazeStatusWindowController::refresh() {
    window_->setState({.enabled = settings_.isGazeTrackingEnabled(),
                       .isTracking = tracker_.isTracking(),
                       .faceDetected = tracker_.faceDetected(),
                       .gazePoint = tracker_.gazePoint()});
}

void GazeStatusWindowController::applyShape() {
    if (!connection_ || !window_) {
        return;
    }
    // With a compositing manager the window shows where it draws. Without one, translucent
    // pixels are not blended but shown dark, so the marker's fading glow would be a dark disc:
    // only its solid core shows then. The badge's translucent backing shows dark either way.
    const GazeOverlayView::State& state = window_->state();
    const QSizeF size = window_->size();
    QRegion shown(GazeOverlayView::badgeBounds(size, state).toAlignedRect());
    QRectF marker = GazeOverlayView::markerBounds(state);
    if (!marker.isEmpty()) {
        if (!compositingAskedAt_.isValid() || compositingAskedAt_.elapsed() >= 1000) {
            compositing_ = X11OverlayWindow::isCompositing(connection_);
            compositingAskedAt_.start();
        }
        if (!compositing_) {
            const double core = GazeOverlayView::kMarkerCoreDiameter;
            marker =
                QRectF(marker.center().x() - core / 2, marker.center().y() - core / 2, core, core);
        }
        shown += QRegion(marker.toAlignedRect(), QRegion::Ellipse);
    }
    const double ratio = window_->devicePixelRatio();
    std::vector<QRect> rectangles;
    for (const QRect& r : shown) {
        rectangles.push_back(
            QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio)
                .toAlignedRect());
    }
    X11OverlayWindow::setVisibleRectangles(
        connection_, static_cast<std::uint32_t>(window_->winId()), rectangles);
}

}  // namespace glimmora
