#pragma once

#include <functional>
#include <vector>

#include "core/Signal.h"

namespace glimmora {

class AppState;

/// What the gaze observer drives: starting and stopping the gaze tracker and opening its status
/// window. A hook left empty is skipped. GAZE HOOK: the status window is not part of the
/// program yet; until it is, createGazeOverlayWindow stays empty.
struct GazeTrackingHooks {
    std::function<void()> startTracking;
    std::function<void()> stopTracking;
    std::function<void()> createGazeOverlayWindow;
};

/// Installing and releasing the emergency quit keys. EMERGENCY QUIT HOOK: the quit-key
/// component is not part of the program yet; until it is, these stay empty.
struct EscapeHatchHooks {
    std::function<void()> install;
    std::function<void()> remove;
};

/// The application delegate: what happens once the application has launched (the gaze observer
/// and the emergency quit keys) and once when it terminates (the keys are released).
///
/// Main thread only.
class AppDelegate {
public:
    /// `settings` must outlive the delegate.
    explicit AppDelegate(AppState& settings, GazeTrackingHooks gaze = {},
                         EscapeHatchHooks escapeHatch = {});
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    /// Called once after launch: prints its line, installs the gaze observer, then the
    /// emergency quit keys.
    void applicationDidFinishLaunching();
    /// Called when the application terminates, by whatever path; releases the quit keys. Saves
    /// nothing (the menu's quit item saves before it asks to terminate). A second call does
    /// nothing, so the keys are released exactly once.
    void applicationWillTerminate();

    /// Keeps the gaze observer's subscription alive for the delegate's lifetime.
    std::vector<Subscription> cancellables;

private:
    /// Starts or stops gaze tracking whenever `isGazeTrackingEnabled` changes (not for the value
    /// current at subscription time).
    void setupGazeTrackingObserver();
    void gazeTrackingToggled(bool enabled);

    /// The emergency quit keys: installed at launch, released at termination.
    void setupEscapeHatchHotkey();
    void removeHotkeys();

    AppState& settings_;
    GazeTrackingHooks gaze_;
    EscapeHatchHooks escapeHatch_;
    bool hasTerminated_ = false;
};

}  // namespace glimmora
