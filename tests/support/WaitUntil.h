#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace glimmora::test {

/// Polls `condition` every `interval`, running `pump` before each poll (to handle Qt or X
/// events, or to space out costly polls), until it holds or `timeout` passes; whether it held.
/// The one wait of the test suites: a test never sleeps for a fixed time where it can wait for
/// what it expects.
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
