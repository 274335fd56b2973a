#pragma once

#include "core/Point.h"
#include "gaze/OneEuroFilter.h"

namespace glimmora {

/// One-euro filtering of a 2-D point: x and y go through two independent OneEuroFilters built
/// with the same parameters and fed the same timestamps.
///
/// Not thread-safe: one owner calls it from one thread at a time.
class Point2DFilter {
public:
    /// Parameters as for OneEuroFilter, shared by both axes.
    Point2DFilter(double minCutoff, double beta, double dCutoff);

    /// Filters `point` sampled at `timestamp` (seconds, monotonic clock).
    Point filter(Point point, double timestamp);

    /// Forgets all samples on both axes; the next point passes through unchanged.
    void reset();

private:
    OneEuroFilter xFilter_;
    OneEuroFilter yFilter_;
};

}  // namespace glimmora
