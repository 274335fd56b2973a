#pragma once

#include <QElapsedTimer>
#include <QRasterWindow>
#include <QRegion>
#include <QTimer>
#include <functional>

#include "gaze/views/GazeOverlayView.h"

namespace glimmora {

/// The window that shows the GazeOverlayView over the whole screen: transparent (an alpha
/// channel, so a compositing manager blends it over the desktop) and redrawn only when its
/// state changes, and then only where the drawing was or now is.
///
/// Making it borderless, click-through and kept on top is the X11 layer's job; this class knows
/// nothing of X. Coordinates are logical pixels; the backing store scales by the device pixel
/// ratio. Main thread only.
class GazeStatusWindow : public QRasterWindow {
public:
    GazeStatusWindow();

    /// What is shown now (the marker may still be gliding towards the last state set).
    const GazeOverlayView::State& state() const { return state_; }
    /// Redraws what changed; nothing when `state` is what is shown. A marker that moves glides
    /// to its new place over GazeOverlayView::kGlideSeconds, redrawn at the display's pace
    /// only while it moves; anything else shows at once.
    void setState(const GazeOverlayView::State& state);

    /// The parts of the window the drawing covers, in logical pixels, rounded outward.
    QRegion drawnRegion() const;
    /// Runs after every change of drawnRegion(), for the window's shape to follow it.
    std::function<void()> drawnRegionChanged;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    /// Shows `state` at once.
    void show(const GazeOverlayView::State& state);
    void glideStep();

    GazeOverlayView::State state_;
    GazeOverlayView::State target_;
    QRegion drawnRegion_;
    Point glideFrom_;
    QElapsedTimer glideClock_;
    QTimer glideTimer_;
};

}  // namespace glimmora
