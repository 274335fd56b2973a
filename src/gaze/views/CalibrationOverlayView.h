#pragma once

#include <QPointF>
#include <QSizeF>
#include <span>

#include "core/Point.h"
#include "gaze/GazeCalibration.h"

class QPainter;

namespace glimmora {

/// The calibration screen: a dark layer over the whole screen with either the title page
/// (what to do, and Space to begin) or the calibration page: a progress box at the top, the
/// current target (a pulsing CalibrationDot) and a small green mark on every target already
/// recorded.
///
/// A pure drawing of the calibration state, tested on an image; the window owns the pulse and
/// the keys. Coordinates are logical pixels (points), origin at the top-left corner. A target's
/// position counts y from the bottom edge, as the tracker keeps it.
class CalibrationOverlayView {
public:
    struct State {
        bool showInstructions = true;
        /// The target being recorded: 0 to the number of targets (all recorded).
        int step = 0;
        std::span<const CalibrationPoint> targets;
        double dotScale = 1.0;
    };

    /// Draws `state` over whatever `painter` holds, on an area of `size` points.
    static void paint(QPainter& painter, QSizeF size, const State& state);

    /// Where the target at `screenPosition` (fractions, y from the bottom) is drawn.
    static QPointF targetCentre(QSizeF size, Point screenPosition) {
        return {screenPosition.x * size.width(), (1 - screenPosition.y) * size.height()};
    }

    /// The progress box's centre: halfway across, 60 points below the top.
    static constexpr double kProgressCentreY = 60;
    static constexpr double kDoneMarkDiameter = 20;

private:
    static void paintTitlePage(QPainter& painter, QSizeF size);
    static void paintCalibrationPage(QPainter& painter, QSizeF size, const State& state);
};

}  // namespace glimmora
