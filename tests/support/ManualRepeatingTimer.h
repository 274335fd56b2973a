#pragma once

#include "core/RepeatingTimer.h"

namespace glimmora {

/// Test double of RepeatingTimer: remembers what it was started with and fires on demand.
class ManualRepeatingTimer final : public RepeatingTimer {
public:
    void start(std::chrono::milliseconds interval, std::function<void()> onTimeout) override {
        interval_ = interval;
        onTimeout_ = std::move(onTimeout);
        active_ = true;
        ++startCount_;
    }
    void stop() override {
        active_ = false;
        onTimeout_ = nullptr;
    }
    bool isActive() const override { return active_; }

    /// Runs the callback as one elapsed interval would; does nothing while stopped.
    void fire() {
        if (active_ && onTimeout_) {
            auto callback = onTimeout_;  // the callback may stop or restart this timer
            callback();
        }
    }
    std::chrono::milliseconds interval() const { return interval_; }
    int startCount() const { return startCount_; }

private:
    std::chrono::milliseconds interval_{0};
    std::function<void()> onTimeout_;
    bool active_ = false;
    int startCount_ = 0;
};

}  // namespace glimmora
