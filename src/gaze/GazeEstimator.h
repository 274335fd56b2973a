#pragma once

#include <optional>

#include "core/Point.h"
#include "gaze/GazeCalibration.h"
#include "gaze/OutlierRejector.h"
#include "gaze/Point2DFilter.h"
#include "gaze/RawGaze.h"
#include "gaze/RunningAverageBuffer.h"

namespace glimmora {

/// The size of the main display in points.
struct DisplaySize {
    double width = 0;
    double height = 0;

    bool operator==(const DisplaySize&) const = default;
};

/// A gaze point ready to publish: in display points (origin top-left, y downward) and as
/// fractions of the display.
struct GazeEstimate {
    Point point;
    float normalizedX = 0.5f;
    float normalizedY = 0.5f;

    bool operator==(const GazeEstimate&) const = default;
};

/// Turns raw gaze into a steady point on the display: maps it (calibrated or not), clamps it to
/// the display, drops implausible jumps, and smooths what remains. No clock and no threads of
/// its own: the caller passes the time of each frame and calls it from one thread.
class GazeEstimator {
public:
    GazeEstimator();

    /// The calibrated mapping to use from now on, or nothing for the uncalibrated one.
    void setCalibration(std::optional<GazeCalibration> calibration) { calibration_ = calibration; }
    const std::optional<GazeCalibration>& calibration() const { return calibration_; }

    /// The point for `raw` seen at `timestamp` (seconds, monotonic), or nothing when there is no
    /// display (or one without area) or the outlier filter dropped it. The result always lies on
    /// the display, edges included.
    std::optional<GazeEstimate> estimate(RawGaze raw, std::optional<DisplaySize> display,
                                         double timestamp);

    /// Where `raw` lands as fractions of the display before clamping and filtering.
    Point normalizedPosition(RawGaze raw) const;

    /// Forgets all filter history, so that the next accepted point is published as it is.
    void reset();

private:
    std::optional<GazeCalibration> calibration_;
    OutlierRejector outlierRejector_;
    RunningAverageBuffer averageBuffer_;
    Point2DFilter oneEuroFilter_;
};

}  // namespace glimmora
