#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/Published.h"
#include "core/Rect.h"
#include "core/RepeatingTimer.h"
#include "core/Signal.h"
#include "trackers/WindowRecord.h"

namespace glimmora {

class AppState;

/// Supplies the rectangle smart focus keeps sharp: 30 times a second, and at once when another
/// application becomes active, it reads the window list, picks the frontmost application's
/// principal window (chooseActiveWindow) and publishes its bounds as fractions of the primary
/// monitor. While smart focus is off it reads no window list at all and reports no window.
///
/// Main thread only: the timer, the activation notification and the readers all run there.
class WindowFocusTracker {
public:
    /// Returns the on-screen top-level windows, frontmost first.
    using WindowListSource = std::function<std::vector<WindowRecord>()>;
    /// Returns the primary monitor in pixels of the X screen, or nothing when there is none.
    using MonitorSource = std::function<std::optional<Rect>()>;

    /// `ownPid` is this process, whose overlay window is never the active one. The tracker owns
    /// `timer` and stops it before it is destroyed.
    WindowFocusTracker(AppState& appState, WindowListSource windowList,
                       MonitorSource primaryMonitor, std::int32_t ownPid,
                       std::unique_ptr<RepeatingTimer> timer);
    WindowFocusTracker(const WindowFocusTracker&) = delete;
    WindowFocusTracker& operator=(const WindowFocusTracker&) = delete;
    ~WindowFocusTracker();

    /// Emitted before either published value changes; no payload.
    Signal<>& objectWillChange() { return objectWillChange_; }

private:
    Signal<> objectWillChange_;  // declared first: both properties below refer to it

public:
    /// Bounds of the chosen window as fractions of the primary monitor (0, 0, 1, 1 = all of it).
    /// Keeps its last value when the window is lost; meaningful only while `hasActiveWindow`.
    /// Republished only when a component moves by more than 0.001, so a still window wakes no
    /// observer.
    Published<Rect> activeWindowBounds{objectWillChange_, Rect{0, 0, 1, 1}};
    /// Whether the last update found a window; assigned on every update that gets that far.
    Published<bool> hasActiveWindow{objectWillChange_, false};

    /// Updates once now, then on every timer tick and activation notification. Not guarded
    /// against a second call; the renderer calls it once.
    void startTracking();
    /// Stops the timer and ignores activation notifications; logs also when nothing ran.
    void stopTracking();
    /// One update step; see the class comment. Leaves everything unchanged when there is no
    /// primary monitor.
    void updateActiveWindow();
    /// The platform's "another application became active" notification: updates at once
    /// instead of waiting for the next tick. Ignored while not tracking.
    void activationChanged();

    bool isTracking() const { return isObservingActivation_; }

private:
    AppState& appState_;
    WindowListSource windowList_;
    MonitorSource primaryMonitor_;
    std::int32_t ownPid_;
    std::unique_ptr<RepeatingTimer> updateTimer_;
    bool isObservingActivation_ = false;
};

}  // namespace glimmora
