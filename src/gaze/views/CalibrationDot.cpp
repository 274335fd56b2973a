#include "gaze/views/CalibrationDot.h"

#include <QPainter>
#include <QPen>

#include "gaze/views/ViewPalette.h"

namespace glimmora {

void CalibrationDot::paint(QPainter& painter, QPointF centre, double scale) {
    using namespace viewpalette;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Scaled about its centre, line widths included, as the whole drawing grows.
    painter.translate(centre);
    painter.scale(scale, scale);
    const auto ring = [&painter](double diameter, const QColor& color, double width) {
        painter.setPen(QPen(color, width));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(), diameter / 2, diameter / 2);
    };
    const auto disc = [&painter](double diameter, const QColor& color) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(), diameter / 2, diameter / 2);
    };
    ring(kDiameter, withOpacity(Qt::white, 0.5), 3);
    ring(40, green(), 2);
    disc(16, green());
    disc(6, Qt::white);
    painter.restore();
}

}  // namespace glimmora
