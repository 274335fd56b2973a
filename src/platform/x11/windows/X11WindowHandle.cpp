#include "platform/x11/windows/X11WindowHandle.h"

#include "platform/x11/windows/X11StackingKeeper.h"

namespace glimmora {

X11WindowHandle::X11WindowHandle(QWindow& window, X11StackingKeeper& keeper)
    : window_(&window), keeper_(keeper) {}

X11WindowHandle::~X11WindowHandle() {
    if (registeredId_ != 0) {
        keeper_.forget(registeredId_);
    }
}

void X11WindowHandle::setLevel(int level) {
    level_ = level;
    syncWithKeeper();
}

void X11WindowHandle::setVisible(bool visible) {
    if (!window_) {
        return;
    }
    window_->setVisible(visible);
    if (visible) {
        // Windows mapped while this one was hidden sit above it.
        syncWithKeeper();
    }
}

bool X11WindowHandle::isVisible() const {
    return window_ && window_->isVisible();
}

void X11WindowHandle::syncWithKeeper() {
    const std::uint32_t id = window_ ? static_cast<std::uint32_t>(window_->winId()) : 0;
    if (registeredId_ != 0 && registeredId_ != id) {
        keeper_.forget(registeredId_);
    }
    registeredId_ = id;
    if (id != 0) {
        keeper_.setLevel(id, level_);
    }
}

}  // namespace glimmora
