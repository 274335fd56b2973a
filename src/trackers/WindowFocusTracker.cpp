#include "trackers/WindowFocusTracker.h"

#include <chrono>
#include <cmath>

#include "core/Log.h"
#include "settings/AppState.h"
#include "trackers/ActiveWindowRule.h"

namespace glimmora {

namespace {

/// 1/30 s, rounded to the timer's millisecond resolution.
constexpr std::chrono::milliseconds kUpdateInterval{33};

/// Smaller moves than this, as a fraction of the monitor, are not worth waking observers for.
constexpr double kRepublishThreshold = 0.001;

bool differsNoticeably(const Rect& a, const Rect& b) {
    return std::abs(a.x - b.x) > kRepublishThreshold || std::abs(a.y - b.y) > kRepublishThreshold ||
           std::abs(a.width - b.width) > kRepublishThreshold ||
           std::abs(a.height - b.height) > kRepublishThreshold;
}

}  // namespace

WindowFocusTracker::WindowFocusTracker(AppState& appState, WindowListSource windowList,
                                       MonitorSource primaryMonitor, std::int32_t ownPid,
                                       std::unique_ptr<RepeatingTimer> timer)
    : appState_(appState),
      windowList_(std::move(windowList)),
      primaryMonitor_(std::move(primaryMonitor)),
      ownPid_(ownPid),
      updateTimer_(std::move(timer)) {}

WindowFocusTracker::~WindowFocusTracker() {
    stopTracking();
}

void WindowFocusTracker::startTracking() {
    updateActiveWindow();
    // The tracker owns the timer and stops it on destruction, so `this` outlives every tick.
    updateTimer_->start(kUpdateInterval, [this] { updateActiveWindow(); });
    isObservingActivation_ = true;
    logLine("WindowFocusTracker: Started tracking");
}

void WindowFocusTracker::stopTracking() {
    updateTimer_->stop();
    isObservingActivation_ = false;
    logLine("WindowFocusTracker: Stopped tracking");
}

void WindowFocusTracker::activationChanged() {
    if (isObservingActivation_) {
        updateActiveWindow();
    }
}

void WindowFocusTracker::updateActiveWindow() {
    if (!appState_.isSmartFocusEnabled()) {
        hasActiveWindow = false;
        return;
    }
    const std::optional<Rect> monitor = primaryMonitor_();
    // A monitor without area cannot be divided by; treat it like no monitor at all.
    if (!monitor || !(monitor->width > 0) || !(monitor->height > 0)) {
        return;
    }
    const std::optional<WindowRecord> window = chooseActiveWindow(windowList_(), ownPid_);
    if (!window) {
        hasActiveWindow = false;
        return;
    }
    const Rect normalized = normalizeToMonitor(window->bounds, *monitor);
    if (differsNoticeably(normalized, activeWindowBounds())) {
        activeWindowBounds = normalized;
    }
    hasActiveWindow = true;
}

}  // namespace glimmora
