#include "platform/x11/windows/X11StackingKeeper.h"

#include <xcb/xcb.h>

#include <QTimer>
#include <algorithm>

#include "platform/WindowHandle.h"

namespace glimmora {

StackingClass stackingClassForLevel(int level) {
    if (level < WindowLevel::overlay) {
        return StackingClass::normal;
    }
    return level == WindowLevel::overlay ? StackingClass::aboveAll : StackingClass::aboveOverlay;
}

X11StackingKeeper::X11StackingKeeper(xcb_connection_t* connection) : connection_(connection) {}

void X11StackingKeeper::setLevel(std::uint32_t window, int level) {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [window](const Entry& e) { return e.window == window; });
    const bool wasKept =
        it != entries_.end() && stackingClassForLevel(it->level) != StackingClass::normal;
    if (it == entries_.end()) {
        entries_.push_back({window, level});
    } else {
        it->level = level;
    }
    // A window stepping down goes to the bottom, under what it covered: the modal alert it steps
    // down for is stacked by the window manager among managed windows only, which would leave
    // it under an override-redirect window that merely stopped being raised.
    if (wasKept && stackingClassForLevel(level) == StackingClass::normal && connection_) {
        const std::uint32_t below = XCB_STACK_MODE_BELOW;
        xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &below);
    }
    // Every kept window, not only this one: raising the overlay alone would cover the gaze
    // window above it.
    raiseNow();
}

void X11StackingKeeper::forget(std::uint32_t window) {
    std::erase_if(entries_, [window](const Entry& e) { return e.window == window; });
}

bool X11StackingKeeper::isRegistered(std::uint32_t window) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [window](const Entry& e) { return e.window == window; });
}

void X11StackingKeeper::topLevelChanged(const TopLevelChange& change) {
    // Our own raises come back as configures of our windows: answering them would loop.
    if (isRegistered(change.window) && change.kind != TopLevelChange::Kind::mapped) {
        return;
    }
    if (raisePending_) {
        return;
    }
    raisePending_ = true;
    QTimer::singleShot(0, &context_, [this] {
        raisePending_ = false;
        raiseNow();
    });
}

std::vector<std::uint32_t> X11StackingKeeper::raiseOrder() const {
    std::vector<Entry> kept;
    std::copy_if(entries_.begin(), entries_.end(), std::back_inserter(kept), [](const Entry& e) {
        return stackingClassForLevel(e.level) != StackingClass::normal;
    });
    // By level, which orders the classes and, within the class above the overlay, the windows
    // stacked on each other (the calibration screen over the gaze status window).
    std::stable_sort(kept.begin(), kept.end(),
                     [](const Entry& a, const Entry& b) { return a.level < b.level; });
    std::vector<std::uint32_t> order;
    order.reserve(kept.size());
    for (const Entry& e : kept) {
        order.push_back(e.window);
    }
    return order;
}

void X11StackingKeeper::raiseNow() {
    if (!connection_) {
        return;
    }
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    for (std::uint32_t window : raiseOrder()) {
        xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }
    xcb_flush(connection_);
}

}  // namespace glimmora
