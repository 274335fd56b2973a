#pragma once

#include <QRectF>
#include <QSizeF>

#include "core/Point.h"

class QPainter;

namespace glimmora {

/// The content of the gaze status window: while gaze tracking runs, a small badge near the
/// top-right corner that says whether a face is seen (with a hint to face the camera while none
/// is) and, while a face is seen, a glowing marker where the user looks.
///
/// A pure drawing of plain state, so that it is tested on an image and the window only decides
/// when to repaint. Coordinates are logical pixels (points) with the origin at the top-left
/// corner; the painter's device pixel ratio scales them to the device.
class GazeOverlayView {
public:
    /// What the drawing shows; the gaze point is in the window's own coordinates, used as it is.
    struct State {
        bool enabled = false;  ///< gaze tracking switched on in the settings
        bool isTracking = false;
        bool faceDetected = false;
        Point gazePoint;

        bool operator==(const State&) const = default;
    };

    /// Draws `state` over whatever `painter` holds, on an area of `size` points. Draws nothing
    /// when tracking is switched off or not running.
    static void paint(QPainter& painter, QSizeF size, const State& state);

    /// The rectangles the drawing of `state` may touch: the badge with its hint, and the marker.
    /// Empty when nothing is drawn. The window limits its shape to them, so that a desktop
    /// without a compositing manager (where transparent pixels are black) sees only these.
    static QRectF badgeBounds(QSizeF size, const State& state);
    static QRectF markerBounds(const State& state);

    /// Where the marker is drawn `progress` of the way through its glide from `from` to `to`
    /// (0 to 1, clamped): easing out, so it sets off quickly and settles gently.
    static Point glide(Point from, Point to, double progress);
    /// How long the marker takes to glide to a new gaze point, in seconds.
    static constexpr double kGlideSeconds = 0.08;

    /// The centre of the badge's stack: 120 points left of the right edge, 50 below the top.
    static constexpr double kBadgeInsetRight = 120;
    static constexpr double kBadgeCentreY = 50;
    static constexpr double kMarkerGlowDiameter = 100;
    /// The marker's solid part: the white ring around the cyan centre.
    static constexpr double kMarkerCoreDiameter = 16;

private:
    static bool isShown(const State& state) { return state.enabled && state.isTracking; }
};

}  // namespace glimmora
