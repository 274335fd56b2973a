#include "trackers/TextCursorTracker.h"

#include <cstdio>
#include <string>
#include <utility>

#include "core/Log.h"
#include "core/SystemLog.h"
#include "settings/AppState.h"
#include "trackers/CaretSource.h"

namespace glimmora {

namespace {

/// Every this many successful polls the position is logged even without a re-acquisition:
/// about every 5 seconds of continuous success.
constexpr std::int64_t kLogEvery = 100;

/// Narrows the quotient to float, limits it to at most 1 (a quotient that is not a number
/// ends there too, as it fails the comparison), then lifts a negative result to 0.
float clampedFraction(double quotient) {
    float value = static_cast<float>(quotient);
    value = value < 1.0f ? value : 1.0f;
    return value < 0.0f ? 0.0f : value;
}

std::string formatted(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

}  // namespace

TextCursorTracker::TextCursorTracker(AppState& appState, CaretSource& source,
                                     MonitorSource primaryMonitor,
                                     std::unique_ptr<RepeatingTimer> timer)
    : appState_(appState),
      source_(source),
      primaryMonitor_(std::move(primaryMonitor)),
      pollTimer_(std::move(timer)) {}

TextCursorTracker::~TextCursorTracker() {
    if (isTracking_) {
        stopTracking();
    }
}

void TextCursorTracker::startTracking() {
    if (isTracking_) {
        return;
    }
    isTracking_ = true;
    const std::uint64_t generation = ++generation_;
    // Applications expose their caret only while the desktop's accessibility is on: keep it on
    // while either feature follows the caret. Both sinks deliver the current value at once.
    const auto followWish = [this](const bool&) {
        source_.setAccessibilityWanted(appState_.focusFollowsCursor() ||
                                       appState_.rulerFollowsCursor());
    };
    subscriptions_.push_back(appState_.focusFollowsCursor.sink(followWish));
    subscriptions_.push_back(appState_.rulerFollowsCursor.sink(followWish));
    // The answer comes later, on the main thread; it finds out whether this tracker and this
    // start are still current before it touches anything.
    source_.start([this, alive = std::weak_ptr<int>(lifetime_), generation](bool trusted) {
        if (alive.lock() && generation == generation_ && isTracking_) {
            sourceStarted(trusted);
        }
    });
}

void TextCursorTracker::sourceStarted(bool trusted) {
    systemLogLine(std::string("TextCursorTracker: Starting, accessibility trusted: ") +
                  (trusted ? "true" : "false"));
    logLine(std::string("TextCursorTracker: Starting, accessibility trusted: ") +
            (trusted ? "YES" : "NO"));
    // The tracker owns the timer and stops it before it goes, so `this` outlives every tick.
    pollTimer_->start(kPollInterval, [this] { poll(); });
    logLine("TextCursorTracker: Timer started");
}

void TextCursorTracker::stopTracking() {
    isTracking_ = false;
    ++generation_;
    pollTimer_->stop();
    subscriptions_.clear();
    source_.stop();
    logLine("TextCursorTracker: Stopped");
}

void TextCursorTracker::poll() {
    const std::optional<Rect> monitor = primaryMonitor_ ? primaryMonitor_() : std::nullopt;
    if (!monitor) {
        return;
    }
    const std::optional<CaretReading> reading = source_.latest();
    if (!reading) {
        hasCursorPosition = false;
        return;
    }
    const Rect& rect = reading->rect;
    const double cx = rect.x + rect.width * 0.5;
    const double cy = rect.y + rect.height * 0.5;
    cursorPosition = Point{cx, cy};
    // Relative to the monitor's own corner, as the pointer is: the primary monitor need not
    // sit at the X screen's origin, and band and pointer must agree on where a line is.
    normalizedX = clampedFraction((cx - monitor->x) / monitor->width);
    normalizedY = clampedFraction((cy - monitor->y) / monitor->height);
    normalizedHeight = clampedFraction(rect.height / monitor->height);
    const bool hadCursorPosition = hasCursorPosition();
    hasCursorPosition = true;
    ++debugCounter_;

    if (hadCursorPosition && debugCounter_ % kLogEvery != 0) {
        return;
    }
    const std::string application =
        reading->applicationName.empty() ? "unknown" : reading->applicationName;
    systemLogLine(formatted("TextCursorTracker: Cursor at Y=%.3f", normalizedY()) + " in " +
                  application);
    logLine(formatted("TextCursorTracker: Cursor at normalizedY=%.3f", normalizedY()));
}

}  // namespace glimmora
