#pragma once

namespace glimmora {

/// How the current calibration target breathes to draw the eye: its scale eases from 1 to 1.3
/// and back, 0.8 s each way, for as long as the target is shown. A pure function of the time
/// since the target appeared, so the window's timer only has to ask for frames.
class CalibrationPulse {
public:
    /// The scale `seconds` after the pulse started (negative times count as 0).
    static double scaleAt(double seconds);

    static constexpr double kHalfPeriodSeconds = 0.8;
    static constexpr double kPeakScale = 1.3;
};

}  // namespace glimmora
