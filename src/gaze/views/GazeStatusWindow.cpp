#include "gaze/views/GazeStatusWindow.h"

#include <QPaintEvent>
#include <QPainter>
#include <QSurfaceFormat>

namespace glimmora {
namespace {

// Antialiased edges spill a little past the drawing's rectangles.
constexpr int kEdgeMargin = 2;

QRegion regionOf(QSizeF size, const GazeOverlayView::State& state) {
    QRegion region;
    for (const QRectF& r :
         {GazeOverlayView::badgeBounds(size, state), GazeOverlayView::markerBounds(state)}) {
        if (!r.isEmpty()) {
            region +=
                r.toAlignedRect().adjusted(-kEdgeMargin, -kEdgeMargin, kEdgeMargin, kEdgeMargin);
        }
    }
    return region;
}

}  // namespace

GazeStatusWindow::GazeStatusWindow() {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setAlphaBufferSize(8);
    setFormat(format);
}

void GazeStatusWindow::setState(const GazeOverlayView::State& state) {
    if (state == state_) {
        return;
    }
    state_ = state;
    const QRegion previous = drawnRegion_;
    drawnRegion_ = regionOf(size(), state_);
    if (drawnRegion_ != previous && drawnRegionChanged) {
        drawnRegionChanged();
    }
    // Only what was drawn and what will be: a full-screen repaint for each gaze point would
    // cost a full-screen upload per camera frame.
    update(previous + drawnRegion_);
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
