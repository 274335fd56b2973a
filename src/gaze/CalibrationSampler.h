#pragma once

#include <optional>
#include <vector>

#include "gaze/RawGaze.h"

namespace glimmora {

/// Collects the raw gaze while the user looks at one calibration target and gives what to
/// record for it when they press the key: the median over the last 0.7 s before the press,
/// leaving out the first 0.3 s after the target appeared, while the eyes were still on their way.
/// The median shrugs off the odd blink or misplaced pupil that a mean would follow.
///
/// No clock of its own: timestamps are seconds on one monotonic clock, passed in.
class CalibrationSampler {
public:
    static constexpr double kWindow = 0.7;
    static constexpr double kSettle = 0.3;

    /// A new target appeared at `timestamp`: forgets the samples of the previous one.
    void startTarget(double timestamp);

    /// One frame's raw gaze, seen at `timestamp`.
    void add(RawGaze raw, double timestamp);

    /// What to record for a press at `now`, per axis; nothing while fewer than three usable
    /// samples were seen (the user pressed too early, or no face was seen).
    std::optional<RawGaze> record(double now) const;

private:
    struct Sample {
        RawGaze raw;
        double timestamp;
    };
    std::vector<Sample> samples_;
    double targetShownAt_ = 0;
};

}  // namespace glimmora
