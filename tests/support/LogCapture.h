#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "core/Log.h"

namespace glimmora::test {

/// Collects what the program logs while it lives, instead of standard output.
class LogCapture {
public:
    LogCapture() {
        setLogSink([this](std::string_view line) {
            const std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~LogCapture() { setLogSink({}); }

    std::vector<std::string> lines() const {
        const std::lock_guard lock(mutex_);
        return lines_;
    }

    /// Every line so far, each followed by a newline, as standard output would have shown them.
    std::string text() const {
        std::string all;
        for (const std::string& line : lines()) {
            all += line + '\n';
        }
        return all;
    }

    /// How many lines so far are exactly `line`.
    int count(std::string_view line) const {
        return static_cast<int>(std::ranges::count(lines(), line));
    }

    void clear() {
        const std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace glimmora::test
