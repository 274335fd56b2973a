#pragma once

#include <cstddef>

namespace glimmora::gaze_filter_parameters {

// The tuning the gaze tracker builds its filters with. A raw camera gaze estimate jitters by
// tens of points from frame to frame, so the one-euro filter smooths hard at rest and only
// opens up for fast, deliberate eye movements.

/// Cutoff frequency of the one-euro filter while the gaze is still, in Hz.
inline constexpr double kMinCutoff = 0.15;
/// How strongly gaze speed raises the one-euro cutoff, in Hz per (point per second).
inline constexpr double kBeta = 0.3;
/// Cutoff frequency of the one-euro filter's derivative smoothing, in Hz.
inline constexpr double kDCutoff = 1.0;
/// Number of accepted points the running average weighs.
inline constexpr std::size_t kAverageBufferSize = 6;
/// Fastest plausible gaze movement, in screen points per second; faster jumps are dropped.
inline constexpr double kMaxVelocity = 4000.0;

}  // namespace glimmora::gaze_filter_parameters
