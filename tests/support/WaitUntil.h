#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace glimmora::test {

/// Polls `condition` every `interval`, running `pump` (Qt or X events) before each poll, until it
/// holds or `timeout` passes; whether it held. Tests wait for what they expect, never a fixed time.
inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                      const std::function<void()>& pump = {},
                      std::chrono::milliseconds interval = std::chrono::milliseconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (pump) {
            pump();
        }
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(interval);
    }
}

}  // namespace glimmora::test
