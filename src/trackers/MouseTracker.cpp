#include "trackers/MouseTracker.h"

#include <charconv>
#include <string>
#include <utility>

#include "core/Log.h"
#include "settings/AppState.h"

namespace glimmora {

namespace {

struct NormalizedPoint {
    float x;
    float y;
};

/// Position relative to the monitor's own top-left corner, as fractions of its size. The
/// primary monitor need not sit at the X screen's origin (a monitor to its left or above
/// shifts it), so its origin is subtracted: using the size alone would only be right for a
/// primary at 0,0. Computed in double and only then narrowed, so large desktops lose nothing
/// before the division.
NormalizedPoint normalize(Point p, const Rect& monitor) {
    return {static_cast<float>((p.x - monitor.x) / monitor.width),
            static_cast<float>((p.y - monitor.y) / monitor.height)};
}

/// The primary monitor, or nullopt when there is none or it has no area to divide by.
std::optional<Rect> usableMonitor(const MouseTracker::PrimaryMonitorSource& source) {
    std::optional<Rect> monitor = source ? source() : std::nullopt;
    if (monitor && (monitor->width <= 0 || monitor->height <= 0)) {
        return std::nullopt;
    }
    return monitor;
}

/// Shortest decimal text that reads back as the same float (0.5 gives "0.5").
std::string shortestText(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace

MouseTracker::MouseTracker(AppState& appState, PrimaryMonitorSource primaryMonitor,
                           PointerSource pointer)
    : appState_(appState),
      primaryMonitor_(std::move(primaryMonitor)),
      pointer_(std::move(pointer)) {}

MouseTracker::~MouseTracker() {
    if (tracking_) {
        stopTracking();
    }
}

void MouseTracker::startTracking() {
    tracking_ = true;
    logLine("MouseTracker: Started tracking");
}

void MouseTracker::stopTracking() {
    tracking_ = false;
    logLine("MouseTracker: Stopped tracking");
}

void MouseTracker::setClickExplosionHandler(ClickExplosionHandler handler) {
    onClickExplosion_ = std::move(handler);
}

void MouseTracker::pointerMoved(double x, double y) {
    if (!tracking_) {
        return;
    }
    const std::optional<Rect> monitor = usableMonitor(primaryMonitor_);
    if (!monitor) {
        return;
    }
    const Point position{x, y};
    const NormalizedPoint normalized = normalize(position, *monitor);
    mousePosition = position;
    normalizedX = normalized.x;
    normalizedY = normalized.y;
}

void MouseTracker::leftButtonPressed() {
    if (!tracking_ || !appState_.isExplosionEnabled()) {
        return;
    }
    const std::optional<Rect> monitor = usableMonitor(primaryMonitor_);
    if (!monitor) {
        return;
    }
    const std::optional<Point> pointer = pointer_ ? pointer_() : std::nullopt;
    if (!pointer) {
        return;
    }
    const NormalizedPoint click = normalize(*pointer, *monitor);
    if (onClickExplosion_) {
        onClickExplosion_(click.x, click.y);
    }
    logLine("BOOM at (" + shortestText(click.x) + ", " + shortestText(click.y) + ")");
}

void MouseTracker::keyPressed(KeySymbol key, ModifierMask modifiers) {
    if (!tracking_ || !isFocusToggleKey(key, modifiers)) {
        return;
    }
    appState_.isFocusEnabled = !appState_.isFocusEnabled();
    logLine(appState_.isFocusEnabled() ? "Focus: ON" : "Focus: OFF");
}

}  // namespace glimmora
