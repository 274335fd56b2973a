#include "gaze/views/GazeStatusWindow.h"

#include <QPaintEvent>
#include <QPainter>
#include <QSurfaceFormat>
#include <utility>

namespace glimmora {
namespace {

// Antialiased edges spill a little past the drawing's rectangles.
constexpr int kEdgeMargin = 2;

QRegion regionOf(const QRectF& bounds) {
    return bounds.isEmpty() ? QRegion()
                            : QRegion(bounds.toAlignedRect().adjusted(-kEdgeMargin, -kEdgeMargin,
                                                                      kEdgeMargin, kEdgeMargin));
}

QRegion regionOf(QSizeF size, const GazeOverlayView::State& state) {
    return regionOf(GazeOverlayView::badgeBounds(size, state)) +
           regionOf(GazeOverlayView::markerBounds(state));
}

}  // namespace

GazeStatusWindow::GazeStatusWindow() {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setAlphaBufferSize(8);
    setFormat(format);
    glideTimer_.setTimerType(Qt::PreciseTimer);
    glideTimer_.setInterval(16);
    connect(&glideTimer_, &QTimer::timeout, this, [this] { glideStep(); });
}

void GazeStatusWindow::setState(const GazeOverlayView::State& state) {
    target_ = state;
    GazeOverlayView::State moved = state_;
    moved.gazePoint = state.gazePoint;
    const bool glides = state.faceDetected && state_.faceDetected && moved == state &&
                        state.gazePoint != state_.gazePoint;
    if (!glides) {
        glideTimer_.stop();
        show(state);
        return;
    }
    // From wherever the marker is now: a new point mid-glide sets off from there.
    glideFrom_ = state_.gazePoint;
    glideClock_.start();
    if (!glideTimer_.isActive()) {
        glideTimer_.start();
    }
}

void GazeStatusWindow::glideStep() {
    const double progress =
        static_cast<double>(glideClock_.elapsed()) / 1000 / GazeOverlayView::kGlideSeconds;
    GazeOverlayView::State step = target_;
    step.gazePoint = GazeOverlayView::glide(glideFrom_, target_.gazePoint, progress);
    show(step);
    if (progress >= 1) {
        glideTimer_.stop();
    }
}

void GazeStatusWindow::show(const GazeOverlayView::State& state) {
    if (state == state_) {
        return;
    }
    const GazeOverlayView::State before = std::exchange(state_, state);
    const QRegion previous = drawnRegion_;
    drawnRegion_ = regionOf(size(), state_);
    if (drawnRegion_ != previous && drawnRegionChanged) {
        drawnRegionChanged();
    }
    // Only what was drawn and what will be: a full-screen repaint for each gaze point would
    // cost a full-screen upload per camera frame. As the gaze moves, that is the marker alone;
    // the badge only when what it says changes.
    QRegion dirty = regionOf(GazeOverlayView::markerBounds(before)) +
                    regionOf(GazeOverlayView::markerBounds(state_));
    if (before.enabled != state_.enabled || before.isTracking != state_.isTracking ||
        before.faceDetected != state_.faceDetected) {
        dirty += regionOf(GazeOverlayView::badgeBounds(size(), before)) +
                 regionOf(GazeOverlayView::badgeBounds(size(), state_));
    }
    update(dirty);
}

QRegion GazeStatusWindow::drawnRegion() const {
    return drawnRegion_;
}

void GazeStatusWindow::resizeEvent(QResizeEvent* event) {
    QRasterWindow::resizeEvent(event);
    // The badge keeps its distance from the right edge.
    drawnRegion_ = regionOf(size(), state_);
    if (drawnRegionChanged) {
        drawnRegionChanged();
    }
    update();
}

void GazeStatusWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(event->rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setClipRegion(event->region());
    GazeOverlayView::paint(painter, size(), state_);
}

}  // namespace glimmora
