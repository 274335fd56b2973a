#pragma once

#include <array>
#include <optional>
#include <span>

#include "core/Point.h"

namespace glimmora {

/// The calibrated screen mapping per axis: c = raw × slope + intercept, then stretched about the
/// centre by kCalibratedStretch. The identity values are what an uncalibrated tracker holds.
struct GazeCalibration {
    double slopeX = 1.0;
    double interceptX = 0.0;
    double slopeY = 1.0;
    double interceptY = 0.0;

    bool operator==(const GazeCalibration&) const = default;
};

/// How far the calibrated mapping pushes points out from the screen's centre, so that the edges
/// are reachable without looking past them.
inline constexpr double kCalibratedStretch = 1.2;

/// One calibration target and what was recorded for it. `screenPosition` is in fractions of the
/// screen with x from the left edge and y from the *bottom* edge, as the calibration screen
/// places it; `pupilX`, `pupilY` are the raw gaze recorded while the user looked at it.
struct CalibrationPoint {
    Point screenPosition;
    double pupilX = 0.5;
    double pupilY = 0.5;
    bool recorded = false;

    bool operator==(const CalibrationPoint&) const = default;
};

inline constexpr std::size_t kCalibrationTargetCount = 9;

/// The nine targets, unrecorded: row by row from the top row to the bottom one, left to right.
std::array<CalibrationPoint, kCalibrationTargetCount> calibrationTargets();

/// Fits each axis's slope and intercept by least squares over the recorded points, so that the
/// calibrated mapping sends each recorded raw gaze to where its target was drawn (y counted from
/// the top, as the published gaze point is).
///
/// Returns nothing when the fit cannot be trusted: fewer than two recorded points, a raw axis
/// that does not vary, any non-finite number, or a slope of the wrong sign. Both slopes must be
/// negative: raw x grows towards the user's left and raw y upward, while screen x grows to the
/// right and screen y downward. The caller then keeps the calibration it had.
std::optional<GazeCalibration> fitGazeCalibration(std::span<const CalibrationPoint> points);

}  // namespace glimmora
