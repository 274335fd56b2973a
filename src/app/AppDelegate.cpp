#include "app/AppDelegate.h"

#include <string>

#include "core/Log.h"
#include "settings/AppState.h"

namespace glimmora {

AppDelegate::AppDelegate(AppState& settings, GazeTrackingHooks gaze, EscapeHatchHooks escapeHatch)
    : settings_(settings), gaze_(std::move(gaze)), escapeHatch_(std::move(escapeHatch)) {}

void AppDelegate::applicationDidFinishLaunching() {
    logLine("AppDelegate: applicationDidFinishLaunching");
    setupGazeTrackingObserver();
    setupEscapeHatchHotkey();
}

void AppDelegate::applicationWillTerminate() {
    if (hasTerminated_) {
        return;
    }
    hasTerminated_ = true;
    removeHotkeys();
}

void AppDelegate::setupGazeTrackingObserver() {
    logLine("AppDelegate: Setting up gaze tracking observer");
    // The subscription lives in cancellables, which dies with the delegate, so the observer
    // never runs on a destroyed delegate.
    cancellables.push_back(settings_.isGazeTrackingEnabled.sinkChanges(
        [this](const bool& enabled) { gazeTrackingToggled(enabled); }));
    logLine("AppDelegate: Observer registered, cancellables count: " +
            std::to_string(cancellables.size()));
}

void AppDelegate::gazeTrackingToggled(bool enabled) {
    // The delivered value, not the store: observers may run before the store holds it.
    logLine(std::string("AppDelegate: Gaze tracking toggled to: ") + (enabled ? "true" : "false"));
    if (!enabled) {
        logLine("AppDelegate: Stopping gaze tracking...");
        if (gaze_.stopTracking) {
            gaze_.stopTracking();
        }
        return;
    }
    logLine("AppDelegate: Starting gaze tracking...");
    if (gaze_.startTracking) {
        gaze_.startTracking();
    }
    if (gaze_.createGazeOverlayWindow) {
        gaze_.createGazeOverlayWindow();
    }
}

void AppDelegate::setupEscapeHatchHotkey() {
    // EMERGENCY QUIT HOOK: the system-wide Control+Alt+Super+Escape key and the key monitors.
    if (escapeHatch_.install) {
        escapeHatch_.install();
    }
}

void AppDelegate::removeHotkeys() {
    // EMERGENCY QUIT HOOK: the key monitors removed and the system-wide key released.
    if (escapeHatch_.remove) {
        escapeHatch_.remove();
    }
}

}  // namespace glimmora
