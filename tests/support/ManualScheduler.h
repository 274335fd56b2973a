#pragma once

#include <algorithm>
#include <functional>
#include <vector>

#include "core/Scheduler.h"

namespace glimmora {

/// Test double of Scheduler with its own virtual clock: nothing runs until advance() moves the
/// clock past a task's time. Tasks due at the same time run in the order they were scheduled.
class ManualScheduler final : public Scheduler {
public:
    void after(double seconds, std::function<void()> task) override {
        tasks_.push_back({now_ + std::max(seconds, 0.0), sequence_++, std::move(task)});
    }

    double now() const { return now_; }

    /// Moves the clock forward by `seconds`, running every task that falls due on the way, at
    /// its own time (tasks scheduled by tasks run too when they fall within the window).
    void advance(double seconds) {
        const double end = now_ + seconds;
        for (;;) {
            auto next =
                std::min_element(tasks_.begin(), tasks_.end(), [](const auto& a, const auto& b) {
                    return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
                });
            if (next == tasks_.end() || next->due > end) {
                break;
            }
            now_ = std::max(now_, next->due);
            auto task = std::move(next->task);
            tasks_.erase(next);
            task();
        }
        now_ = end;
    }

private:
    struct Entry {
        double due;
        unsigned long sequence;
        std::function<void()> task;
    };
    std::vector<Entry> tasks_;
    double now_ = 0;
    unsigned long sequence_ = 0;
};

}  // namespace glimmora
