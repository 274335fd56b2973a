#include "app/WindowManager.h"

#include <string>

#include "core/Log.h"

namespace glimmora {

WindowManager& WindowManager::shared() {
    // Never destroyed: the windows it holds live until the process exits.
    static WindowManager* const instance = new WindowManager();
    return *instance;
}

void WindowManager::setHiddenFromScreenSharing(bool hidden) {
    const WindowSharingType type = hidden ? WindowSharingType::none : WindowSharingType::readOnly;
    if (overlayWindow) {
        overlayWindow->setSharingType(type);
    }
    if (gazeOverlayWindow) {
        gazeOverlayWindow->setSharingType(type);
    }
    logLine(std::string("Overlay hidden from screen sharing: ") + (hidden ? "true" : "false"));
}

void WindowManager::lowerWindowLevels() {
    if (overlayWindow) {
        savedWindowLevel = overlayWindow->level();
        overlayWindow->setLevel(WindowLevel::normal);
    } else {
        savedWindowLevel.reset();
    }
    if (gazeOverlayWindow) {
        gazeOverlayWindow->setLevel(WindowLevel::normal);
    }
}

void WindowManager::restoreWindowLevels() {
    const int level = savedWindowLevel.value_or(WindowLevel::overlay);
    if (overlayWindow) {
        overlayWindow->setLevel(level);
    }
    if (gazeOverlayWindow) {
        gazeOverlayWindow->setLevel(level + 1);
    }
    savedWindowLevel.reset();
}

}  // namespace glimmora
