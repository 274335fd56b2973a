#pragma once

#include <cstddef>
#include <vector>

#include "core/Point.h"

namespace glimmora {

/// A linearly weighted moving average over the last `size` points: the oldest point weighs 1,
/// the newest weighs as many as the buffer holds, so the average leans towards recent points
/// without the lag of a plain mean.
///
/// Storage is reserved once at creation; adding points never allocates.
/// Not thread-safe: one owner calls it from one thread at a time.
class RunningAverageBuffer {
public:
    /// `size` is the number of points kept; a size of 0 is treated as 1.
    explicit RunningAverageBuffer(std::size_t size);

    /// Appends `point`, drops the oldest point if more than size() are held, and returns the
    /// weighted mean of the points now held.
    Point add(Point point);

    /// Empties the buffer; size() is kept.
    void reset();

    /// The number of points the buffer keeps once full.
    std::size_t size() const { return size_; }
    /// The number of points held now, at most size().
    std::size_t count() const { return buffer_.size(); }

private:
    std::size_t size_;
    std::vector<Point> buffer_;  // oldest first
};

}  // namespace glimmora
