#pragma once

#include <QElapsedTimer>
#include <QRasterWindow>
#include <QTimer>
#include <array>

#include "gaze/GazeCalibration.h"

namespace glimmora {

/// The window that shows the CalibrationOverlayView over the whole screen and pulses its
/// current target. The pulse timer runs only while the window is shown and a target is on the
/// screen, and each tick repaints only the target; a new target starts its pulse afresh.
///
/// The keys and the window's place on the screen belong to whoever opens it (the X11 layer).
/// Main thread only.
class CalibrationWindow : public QRasterWindow {
public:
    CalibrationWindow();

    void setState(bool showInstructions, int step,
                  const std::array<CalibrationPoint, kCalibrationTargetCount>& targets);
    bool showsInstructions() const { return showInstructions_; }
    int step() const { return step_; }
    bool isPulsing() const { return pulseTimer_.isActive(); }

    /// About 60 frames a second for the pulse.
    static constexpr int kPulseFrameMilliseconds = 16;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool hasTarget() const;
    /// Starts or stops the pulse after a change of state or visibility.
    void followPulse();
    /// The area the current target covers at its largest.
    QRect targetArea() const;

    bool showInstructions_ = true;
    int step_ = 0;
    std::array<CalibrationPoint, kCalibrationTargetCount> targets_;
    QTimer pulseTimer_;
    QElapsedTimer pulseClock_;
};

}  // namespace glimmora
