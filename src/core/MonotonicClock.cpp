#include "core/MonotonicClock.h"

#include <chrono>

namespace glimmora {

namespace {
// Initialised before main runs, so "process start" is as early as we can make it.
const std::chrono::steady_clock::time_point kProcessStart = std::chrono::steady_clock::now();
}  // namespace

double MonotonicClock::now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - kProcessStart).count();
}

}  // namespace glimmora
