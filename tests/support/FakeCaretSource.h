#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "trackers/CaretSource.h"

namespace glimmora::test {

/// A caret source that answers what the test sets: the start-up answer when the test calls
/// answerStart(), and `reading` as the newest measurement. Remembers what it was asked.
class FakeCaretSource final : public CaretSource {
public:
    void start(std::function<void(bool trusted)> onStarted) override {
        ++startCount;
        onStarted_ = std::move(onStarted);
    }
    void stop() override { ++stopCount; }
    std::optional<CaretReading> latest() override { return reading; }
    void setAccessibilityWanted(bool wanted) override { wishes.push_back(wanted); }

    /// Delivers the start-up answer, as the platform does later on the main thread.
    void answerStart(bool trusted) {
        if (onStarted_) {
            std::exchange(onStarted_, {})(trusted);
        }
    }

    std::optional<CaretReading> reading;
    std::vector<bool> wishes;
    int startCount = 0;
    int stopCount = 0;

private:
    std::function<void(bool)> onStarted_;
};

}  // namespace glimmora::test
