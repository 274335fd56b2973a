#include "gaze/GazeCalibration.h"

#include <cmath>
#include <vector>

namespace glimmora {
namespace {

struct Line {
    double slope = 0;
    double intercept = 0;
};

// Ordinary least squares of ys on xs; nothing when xs do not vary (a spread below a millionth of
// an eye is rounding, not movement) or a number is not finite.
std::optional<Line> fitLine(const std::vector<double>& xs, const std::vector<double>& ys) {
    const double n = static_cast<double>(xs.size());
    double sumX = 0;
    double sumY = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        sumX += xs[i];
        sumY += ys[i];
    }
    const double meanX = sumX / n;
    const double meanY = sumY / n;
    double sxx = 0;
    double sxy = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        sxx += (xs[i] - meanX) * (xs[i] - meanX);
        sxy += (xs[i] - meanX) * (ys[i] - meanY);
    }
    constexpr double kSmallestSpread = 1e-6;
    if (!(sxx > n * kSmallestSpread * kSmallestSpread)) {
        return std::nullopt;
    }
    const Line line{sxy / sxx, meanY - (sxy / sxx) * meanX};
    if (!std::isfinite(line.slope) || !std::isfinite(line.intercept)) {
        return std::nullopt;
    }
    return line;
}

// The value c the calibrated mapping must produce for the stretched result to be `target`.
double unstretched(double target) {
    return (target - 0.5) / kCalibratedStretch + 0.5;
}

}  // namespace

std::array<CalibrationPoint, kCalibrationTargetCount> calibrationTargets() {
    std::array<CalibrationPoint, kCalibrationTargetCount> targets;
    constexpr double kRows[] = {0.85, 0.5, 0.15};
    constexpr double kColumns[] = {0.15, 0.5, 0.85};
    for (std::size_t i = 0; i < targets.size(); ++i) {
        targets[i].screenPosition = Point{kColumns[i % 3], kRows[i / 3]};
    }
    return targets;
}

std::optional<GazeCalibration> fitGazeCalibration(std::span<const CalibrationPoint> points) {
    std::vector<double> rawX, rawY, targetX, targetY;
    for (const CalibrationPoint& point : points) {
        if (!point.recorded) {
            continue;
        }
        rawX.push_back(point.pupilX);
        rawY.push_back(point.pupilY);
        targetX.push_back(unstretched(point.screenPosition.x));
        targetY.push_back(unstretched(1.0 - point.screenPosition.y));
    }
    if (rawX.size() < 2) {
        return std::nullopt;
    }
    const std::optional<Line> x = fitLine(rawX, targetX);
    const std::optional<Line> y = fitLine(rawY, targetY);
    if (!x || !y || !(x->slope < 0) || !(y->slope < 0)) {
        return std::nullopt;
    }
    return GazeCalibration{x->slope, x->intercept, y->slope, y->intercept};
}

}  // namespace glimmora
