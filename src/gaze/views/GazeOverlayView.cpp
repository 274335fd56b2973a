#include "gaze/views/GazeOverlayView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <algorithm>

#include "gaze/views/ViewPalette.h"

namespace glimmora {
namespace {

using namespace viewpalette;

constexpr double kDotDiameter = 8;
constexpr double kDotSpacing = 6;
constexpr double kBadgePaddingX = 10;
constexpr double kBadgePaddingY = 6;
constexpr double kBadgeRadius = 12;
constexpr double kHintPaddingX = 10;
constexpr double kHintPaddingY = 4;
constexpr double kHintRadius = 8;
constexpr double kRowSpacing = 4;

QFont badgeFont() {
    return systemFont(11, QFont::Medium);
}
QFont hintFont() {
    return systemFont(10);
}
QString badgeText(bool faceDetected) {
    return faceDetected ? QStringLiteral("Face Detected") : QStringLiteral("Looking for face...");
}
QString hintText() {
    return QStringLiteral("Position your face in front of the camera");
}

/// Where the badge and (without a face) its hint go: a stack aligned on its trailing edge,
/// centred on the badge point.
struct BadgeLayout {
    QRectF badge;
    QRectF hint;  // empty while a face is seen
    QRectF text;  // the badge's text
    QPointF dotCentre;
};

BadgeLayout layoutBadge(QSizeF size, bool faceDetected) {
    const QFontMetricsF badgeMetrics(badgeFont());
    const QString text = badgeText(faceDetected);
    const QSizeF textSize(badgeMetrics.horizontalAdvance(text), badgeMetrics.height());
    const double contentHeight = std::max(kDotDiameter, textSize.height());
    const QSizeF badgeSize(kBadgePaddingX * 2 + kDotDiameter + kDotSpacing + textSize.width(),
                           kBadgePaddingY * 2 + contentHeight);

    QSizeF hintSize;
    if (!faceDetected) {
        const QFontMetricsF hintMetrics(hintFont());
        hintSize = QSizeF(hintMetrics.horizontalAdvance(hintText()) + kHintPaddingX * 2,
                          hintMetrics.height() + kHintPaddingY * 2);
    }
    const double stackWidth = std::max(badgeSize.width(), hintSize.width());
    const double stackHeight =
        badgeSize.height() + (faceDetected ? 0 : kRowSpacing + hintSize.height());
    const double right = size.width() - GazeOverlayView::kBadgeInsetRight + stackWidth / 2;
    const double top = GazeOverlayView::kBadgeCentreY - stackHeight / 2;

    BadgeLayout layout;
    layout.badge = QRectF(QPointF(right - badgeSize.width(), top), badgeSize);
    if (!faceDetected) {
        layout.hint = QRectF(QPointF(right - hintSize.width(), layout.badge.bottom() + kRowSpacing),
                             hintSize);
    }
    const double contentTop = layout.badge.top() + kBadgePaddingY;
    const double dotLeft = layout.badge.left() + kBadgePaddingX;
    layout.dotCentre = QPointF(dotLeft + kDotDiameter / 2, contentTop + contentHeight / 2);
    layout.text = QRectF(QPointF(dotLeft + kDotDiameter + kDotSpacing,
                                 contentTop + (contentHeight - textSize.height()) / 2),
                         textSize);
    return layout;
}

void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& color) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, color);
}

void fillCircle(QPainter& painter, QPointF centre, double diameter, const QBrush& brush) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(brush);
    painter.drawEllipse(centre, diameter / 2, diameter / 2);
}

void paintMarker(QPainter& painter, QPointF centre) {
    const double radius = GazeOverlayView::kMarkerGlowDiameter / 2;
    // The glow keeps its full strength inside the start radius of 5 and fades out to the rim.
    QRadialGradient glow(centre, radius);
    glow.setColorAt(0, withOpacity(cyan(), 0.4));
    glow.setColorAt(5 / radius, withOpacity(cyan(), 0.4));
    glow.setColorAt(1, withOpacity(cyan(), 0.0));
    fillCircle(painter, centre, GazeOverlayView::kMarkerGlowDiameter, glow);
    fillCircle(painter, centre, GazeOverlayView::kMarkerCoreDiameter, withOpacity(Qt::white, 0.9));
    fillCircle(painter, centre, 8, cyan());
}

void paintBadge(QPainter& painter, const BadgeLayout& layout, bool faceDetected) {
    fillRounded(painter, layout.badge, kBadgeRadius, withOpacity(Qt::black, 0.5));
    fillCircle(painter, layout.dotCentre, kDotDiameter, faceDetected ? green() : orange());
    painter.setFont(badgeFont());
    painter.setPen(withOpacity(Qt::white, 0.8));
    painter.drawText(layout.text, Qt::AlignLeft | Qt::AlignVCenter, badgeText(faceDetected));
    if (layout.hint.isEmpty()) {
        return;
    }
    fillRounded(painter, layout.hint, kHintRadius, withOpacity(Qt::black, 0.4));
    painter.setFont(hintFont());
    painter.setPen(withOpacity(Qt::white, 0.6));
    painter.drawText(layout.hint, Qt::AlignCenter, hintText());
}

}  // namespace

void GazeOverlayView::paint(QPainter& painter, QSizeF size, const State& state) {
    if (!isShown(state)) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // A window repaints only what changed, mostly the marker as the gaze moves: a part outside
    // the painter's clip is not even laid out (the badge's text costs more than the marker).
    const auto needed = [&painter](const QRectF& bounds) {
        return !painter.hasClipping() || painter.clipBoundingRect().intersects(bounds);
    };
    if (state.faceDetected && needed(markerBounds(state))) {
        paintMarker(painter, QPointF(state.gazePoint.x, state.gazePoint.y));
    }
    if (needed(badgeBounds(size, state))) {
        paintBadge(painter, layoutBadge(size, state.faceDetected), state.faceDetected);
    }
    painter.restore();
}

Point GazeOverlayView::glide(Point from, Point to, double progress) {
    const double t = std::clamp(progress, 0.0, 1.0);
    const double eased = 1 - (1 - t) * (1 - t);
    return {from.x + (to.x - from.x) * eased, from.y + (to.y - from.y) * eased};
}

QRectF GazeOverlayView::badgeBounds(QSizeF size, const State& state) {
    if (!isShown(state)) {
        return {};
    }
    const BadgeLayout layout = layoutBadge(size, state.faceDetected);
    return layout.badge.united(layout.hint);
}

QRectF GazeOverlayView::markerBounds(const State& state) {
    if (!isShown(state) || !state.faceDetected) {
        return {};
    }
    const double radius = kMarkerGlowDiameter / 2;
    return {state.gazePoint.x - radius, state.gazePoint.y - radius, kMarkerGlowDiameter,
            kMarkerGlowDiameter};
}

}  // namespace glimmora
