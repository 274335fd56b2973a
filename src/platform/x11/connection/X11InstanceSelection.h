#pragma once

#include <xcb/xcb.h>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace glimmora {

/// Glimmora's claim on the X screen it covers: a selection named for Glimmora and the screen
/// (_GLIMMORA_OVERLAY_S<n>), held the way a compositing manager holds _NET_WM_CM_S<n>. Two
/// overlays on one screen capture each other and feed back into a black screen within seconds;
/// this claim keeps a second one off the screen even when the session bus cannot tell that one
/// already runs. The claim lasts as long as this object and its own X connection.
///
/// Main thread only (lost claims are reported from the Qt event loop).
class X11InstanceSelection {
public:
    enum class Claim {
        owned,          ///< this process holds the selection now
        heldByAnother,  ///< another client holds it: another overlay covers the screen
        noDisplay,      ///< the X server could not be reached
    };

    X11InstanceSelection() = default;
    ~X11InstanceSelection();
    X11InstanceSelection(const X11InstanceSelection&) = delete;
    X11InstanceSelection& operator=(const X11InstanceSelection&) = delete;

    /// Takes the selection of $DISPLAY's default screen unless someone holds it.
    Claim claim();

    /// Called once when another client takes the selection away (two instances that claimed at
    /// the same moment: the one that set it first loses it and must leave).
    std::function<void()> onLost;

private:
    void readEvents();

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = XCB_NONE;
    xcb_atom_t atom_ = XCB_ATOM_NONE;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace glimmora
