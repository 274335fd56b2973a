#pragma once

#include <QPointF>

class QPainter;

namespace glimmora {

/// The calibration target the user looks at: four concentric circles, an outer white ring, a
/// green ring, a green disc and a white centre. A fixed drawing; its size only changes with the
/// scale the calibration screen pulses it by.
class CalibrationDot {
public:
    /// Draws the dot centred on `centre`, `scale` times its size (1 is 60 points across).
    static void paint(QPainter& painter, QPointF centre, double scale);

    static constexpr double kDiameter = 60;
};

}  // namespace glimmora
