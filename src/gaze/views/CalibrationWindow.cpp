#include "gaze/views/CalibrationWindow.h"

#include <QPaintEvent>
#include <QPainter>
#include <QSurfaceFormat>
#include <cmath>

#include "gaze/views/CalibrationDot.h"
#include "gaze/views/CalibrationOverlayView.h"
#include "gaze/views/CalibrationPulse.h"

namespace glimmora {

CalibrationWindow::CalibrationWindow() : targets_(calibrationTargets()) {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setAlphaBufferSize(8);
    setFormat(format);
    pulseTimer_.setInterval(kPulseFrameMilliseconds);
    QObject::connect(&pulseTimer_, &QTimer::timeout, this, [this] { update(targetArea()); });
}

void CalibrationWindow::setState(
    bool showInstructions, int step,
    const std::array<CalibrationPoint, kCalibrationTargetCount>& targets) {
    const bool newTarget = step != step_ || showInstructions != showInstructions_;
    showInstructions_ = showInstructions;
    step_ = step;
    targets_ = targets;
    if (newTarget) {
        pulseClock_.start();
    }
    followPulse();
    update();
}

bool CalibrationWindow::hasTarget() const {
    return !(showInstructions_ && step_ == 0) && step_ >= 0 &&
           step_ < static_cast<int>(targets_.size());
}

void CalibrationWindow::followPulse() {
    if (isVisible() && hasTarget()) {
        if (!pulseTimer_.isActive()) {
            pulseClock_.start();
            pulseTimer_.start();
        }
    } else {
        pulseTimer_.stop();
    }
}

QRect CalibrationWindow::targetArea() const {
    if (!hasTarget()) {
        return {};
    }
    const QPointF centre = CalibrationOverlayView::targetCentre(
        size(), targets_[static_cast<std::size_t>(step_)].screenPosition);
    // The outer ring's line reaches past its diameter; a margin covers antialiasing.
    const double half = CalibrationDot::kDiameter * CalibrationPulse::kPeakScale / 2 + 4;
    return QRectF(centre.x() - half, centre.y() - half, half * 2, half * 2).toAlignedRect();
}

void CalibrationWindow::showEvent(QShowEvent* event) {
    QRasterWindow::showEvent(event);
    followPulse();
}

void CalibrationWindow::hideEvent(QHideEvent* event) {
    QRasterWindow::hideEvent(event);
    followPulse();
}

void CalibrationWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(event->rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setClipRegion(event->region());
    const double seconds =
        pulseClock_.isValid() ? static_cast<double>(pulseClock_.elapsed()) / 1000.0 : 0.0;
    CalibrationOverlayView::paint(painter, size(),
                                  {showInstructions_, step_, targets_,
                                   hasTarget() ? CalibrationPulse::scaleAt(seconds) : 1.0});
}

}  // namespace glimmora
