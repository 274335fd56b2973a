#pragma once

#include <chrono>
#include <functional>

namespace glimmora {

/// A timer on the owner's (main) event loop that calls back every `interval` until stopped.
/// Components take one by injection so tests can fire it by hand instead of waiting.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;

    /// (Re)starts the timer; the first call comes one interval from now.
    virtual void start(std::chrono::milliseconds interval, std::function<void()> onTimeout) = 0;
    /// Stops it; no callback runs afterwards. Harmless when not running.
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

}  // namespace glimmora
