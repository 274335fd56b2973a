#pragma once

#include <functional>
#include <optional>

#include "core/KeyInput.h"
#include "core/Point.h"
#include "core/Published.h"
#include "core/Rect.h"
#include "core/Signal.h"

namespace glimmora {

class AppState;

/// Follows the pointer across the whole desktop and publishes where it is relative to the
/// primary monitor, for the focus band, reading ruler and cursor spotlight. It also turns left
/// clicks into click explosions while they are switched on, and owns the global Alt+F shortcut
/// that toggles focus mode.
///
/// This is the decision logic only: the input layer watches the X server and calls the event
/// methods below, and answers the tracker's questions (primary monitor, pointer position)
/// through the functions given at construction, so everything here runs without a display.
/// Events are acted on only between startTracking() and stopTracking().
///
/// Main thread only; no lock.
class MouseTracker {
public:
    /// The primary monitor's rectangle, or nullopt when there is none (no RandR output marked
    /// primary and no fallback): pointer and click events are then ignored.
    using PrimaryMonitorSource = std::function<std::optional<Rect>()>;
    /// The pointer's current global position, or nullopt when it cannot be read.
    using PointerSource = std::function<std::optional<Point>()>;
    /// Receives a click's normalised position (same convention as normalizedX / normalizedY).
    using ClickExplosionHandler = std::function<void(float x, float y)>;

    /// `appState` must outlive the tracker.
    MouseTracker(AppState& appState, PrimaryMonitorSource primaryMonitor, PointerSource pointer);
    MouseTracker(const MouseTracker&) = delete;
    MouseTracker& operator=(const MouseTracker&) = delete;
    /// Stops tracking if it is still running.
    ~MouseTracker();

    /// Emitted before any published field changes; no payload.
    Signal<>& objectWillChange() { return objectWillChange_; }

    /// Starts acting on events and prints "MouseTracker: Started tracking".
    void startTracking();
    /// Stops acting on events and prints "MouseTracker: Stopped tracking". The published fields
    /// keep their last values.
    void stopTracking();
    bool isTracking() const { return tracking_; }

    /// Installs the handler called for every left click while explosions are on; an empty
    /// function removes it.
    void setClickExplosionHandler(ClickExplosionHandler handler);

    /// The pointer moved to (x, y) (global X pixels, read when the event was handled).
    /// Publishes mousePosition, normalizedX and normalizedY in that order. Drags count as
    /// movement too, so the published position follows the pointer while a button is held.
    void pointerMoved(double x, double y);
    /// The left button went down. While explosions are on, reads the pointer, calls the click
    /// handler with its normalised position and prints "BOOM at (x, y)". Published fields are
    /// not changed by a click. Other buttons must not be reported here.
    void leftButtonPressed();
    /// A key went down anywhere on the desktop. Alt+F (other modifiers may be held as well)
    /// toggles focus mode and prints "Focus: ON" or "Focus: OFF"; everything else is ignored.
    void keyPressed(KeySymbol key, ModifierMask modifiers);
    /// Whether keyPressed() acts on this key: Alt+F, other modifiers allowed.
    static bool isFocusToggleKey(KeySymbol key, ModifierMask modifiers) {
        return key == kKeyF && holdsAll(modifiers, kAlt);
    }

private:
    Signal<> objectWillChange_;  // declared first: every published field below refers to it

public:
    /// Last pointer position seen, in global X pixels.
    Published<Point> mousePosition{objectWillChange_, Point{}};
    /// Pointer y as a fraction of the primary monitor: 0 = top edge, 1 = bottom edge. Not
    /// clamped, so a pointer on another monitor gives values outside 0 to 1.
    Published<float> normalizedY{objectWillChange_, 0.5f};
    /// Pointer x as a fraction of the primary monitor: 0 = left edge, 1 = right edge. Not
    /// clamped, so it is negative on a monitor left of the primary one.
    Published<float> normalizedX{objectWillChange_, 0.5f};

private:
    AppState& appState_;
    PrimaryMonitorSource primaryMonitor_;
    PointerSource pointer_;
    ClickExplosionHandler onClickExplosion_;
    bool tracking_ = false;
};

}  // namespace glimmora
