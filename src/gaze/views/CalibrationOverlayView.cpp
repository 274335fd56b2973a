#include "gaze/views/CalibrationOverlayView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <algorithm>
#include <vector>

#include "gaze/views/CalibrationDot.h"
#include "gaze/views/ViewPalette.h"

namespace glimmora {
namespace {

using namespace viewpalette;

constexpr double kTitleSpacing = 20;
constexpr double kBeginPaddingTop = 20;
constexpr double kProgressSpacing = 8;  // the usual gap between stacked lines
constexpr double kProgressPadding = 16;
constexpr double kProgressRadius = 10;
constexpr double kCancelPaddingTop = 5;

/// One line of a centred text stack; `paddingTop` is extra room above it.
struct Line {
    QString text;
    QFont font;
    QColor color;
    double paddingTop = 0;
};

QSizeF lineSize(const Line& line) {
    const QFontMetricsF metrics(line.font);
    return {metrics.horizontalAdvance(line.text), metrics.height() + line.paddingTop};
}

QSizeF stackSize(const std::vector<Line>& lines, double spacing) {
    QSizeF size(0, spacing * static_cast<double>(lines.size() - 1));
    for (const Line& line : lines) {
        const QSizeF s = lineSize(line);
        size.setWidth(std::max(size.width(), s.width()));
        size.setHeight(size.height() + s.height());
    }
    return size;
}

/// Draws `lines` one under the other, each centred on `centreX`, the first starting at `top`.
void paintStack(QPainter& painter, const std::vector<Line>& lines, double spacing, double centreX,
                double top) {
    double y = top;
    for (const Line& line : lines) {
        const QSizeF size = lineSize(line);
        const QRectF textRect(centreX - size.width() / 2, y + line.paddingTop, size.width(),
                              size.height() - line.paddingTop);
        painter.setFont(line.font);
        painter.setPen(line.color);
        painter.drawText(textRect, Qt::AlignCenter, line.text);
        y += size.height() + spacing;
    }
}

}  // namespace

void CalibrationOverlayView::paint(QPainter& painter, QSizeF size, const State& state) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(QPointF(), size), withOpacity(Qt::black, 0.85));
    if (state.showInstructions && state.step == 0) {
        paintTitlePage(painter, size);
    } else {
        paintCalibrationPage(painter, size, state);
    }
    painter.restore();
}

void CalibrationOverlayView::paintTitlePage(QPainter& painter, QSizeF size) {
    const std::vector<Line> lines{
        {QStringLiteral("Gaze Calibration"), systemFont(48, QFont::Bold), Qt::white},
        {QStringLiteral("Look at each dot and press SPACE to record"), systemFont(24), gray()},
        {QStringLiteral("Press SPACE to begin"), systemFont(18), green(), kBeginPaddingTop},
    };
    const QSizeF stack = stackSize(lines, kTitleSpacing);
    paintStack(painter, lines, kTitleSpacing, size.width() / 2,
               (size.height() - stack.height()) / 2);
}

void CalibrationOverlayView::paintCalibrationPage(QPainter& painter, QSizeF size,
                                                  const State& state) {
    const int count = static_cast<int>(state.targets.size());
    const int step = std::clamp(state.step, 0, count);

    const std::vector<Line> lines{
        {QStringLiteral("Point %1 of %2").arg(step + 1).arg(count), systemFont(24, QFont::Medium),
         Qt::white},
        {QStringLiteral("Look at the dot and press SPACE"), systemFont(16), gray()},
        {QStringLiteral("Press ESC to cancel"), systemFont(14), withOpacity(gray(), 0.6),
         kCancelPaddingTop},
    };
    const QSizeF stack = stackSize(lines, kProgressSpacing);
    const QSizeF box(stack.width() + kProgressPadding * 2, stack.height() + kProgressPadding * 2);
    const QRectF boxRect(size.width() / 2 - box.width() / 2, kProgressCentreY - box.height() / 2,
                         box.width(), box.height());
    QPainterPath boxPath;
    boxPath.addRoundedRect(boxRect, kProgressRadius, kProgressRadius);
    painter.fillPath(boxPath, withOpacity(Qt::black, 0.5));
    paintStack(painter, lines, kProgressSpacing, boxRect.center().x(),
               boxRect.top() + kProgressPadding);

    if (step < count) {
        CalibrationDot::paint(
            painter,
            targetCentre(size, state.targets[static_cast<std::size_t>(step)].screenPosition),
            state.dotScale);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(green(), 0.5));
    for (int i = 0; i < step; ++i) {
        painter.drawEllipse(
            targetCentre(size, state.targets[static_cast<std::size_t>(i)].screenPosition),
            kDoneMarkDiameter / 2, kDoneMarkDiameter / 2);
    }
}

}  // namespace glimmora
