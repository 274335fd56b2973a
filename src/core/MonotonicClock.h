#pragma once

namespace glimmora {

/// Seconds since the process started, on a clock that never jumps (steady_clock).
///
/// Counting from process start rather than boot keeps the 32-bit float frame time at millisecond
/// resolution however long the machine has been up; a float of seconds since boot would lose it
/// after a few days and animations would visibly step.
class MonotonicClock {
public:
    static double now();
};

}  // namespace glimmora
