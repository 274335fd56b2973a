#pragma once

#include <xcb/xcb.h>

#include <QRect>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "core/KeyInput.h"
#include "core/Point.h"

namespace glimmora {

class X11KeyboardMapping;

/// Watches the pointer, the left button and the keyboard across the whole desktop, whichever
/// application they go to: the input the trackers and the global quit key act on, since the
/// overlay itself lets every click and key through.
///
/// It listens to XInput 2 raw events on the root window, which arrive even while another
/// client grabs the pointer or keyboard (a drag, an open menu, a passive key grab). They carry
/// neither a position nor modifiers: the position is read with QueryPointer when handled, and
/// the modifiers come from XKB state notifications, which the server sends in stream order with
/// the raw events, so a key press is judged with the modifiers held when it was typed even if
/// they are released before we read it. Movement is coalesced: one position query, and one
/// callback, per batch of motion events.
///
/// Own X connection, read through a socket notifier in the Qt event loop. Main thread only.
class X11InputMonitor {
public:
    /// Connects to `displayName` (empty: $DISPLAY). Not connected without a display.
    explicit X11InputMonitor(const char* displayName = nullptr);
    X11InputMonitor(const X11InputMonitor&) = delete;
    X11InputMonitor& operator=(const X11InputMonitor&) = delete;
    ~X11InputMonitor();

    /// Selects the raw events and starts reading them. False, with nothing installed, when
    /// there is no display or the server lacks XInput 2.2 or XKB.
    bool start();
    /// Started and still reading: false again once the server has gone away.
    bool isStarted() const { return notifier_ != nullptr && notifier_->isEnabled(); }

    /// The pointer moved; its position when the movement was handled.
    std::function<void(Point)> onPointerMoved;
    /// The left (first) button went down.
    std::function<void()> onLeftButtonPressed;
    /// A key went down: its first-level symbol and the modifiers held and locks engaged.
    std::function<void(KeySymbol, ModifierMask)> onKeyPressed;

    /// The pointer's position now (one round trip), or nothing when it is on another X screen
    /// or the server does not answer.
    std::optional<Point> pointerPosition();

    /// The window that has the keyboard focus now (one round trip); XCB_NONE when no window
    /// has it, when it follows the pointer (PointerRoot) or the server does not answer.
    xcb_window_t inputFocus();

    /// The primary monitor's rectangle in pixels of the X screen, read now (a few round trips:
    /// cache it); see primaryMonitorRect(). Empty when not connected.
    QRect primaryMonitor();

    /// Reads and dispatches whatever the server has sent; the socket notifier calls it, tests
    /// may call it to pump events without an event loop.
    void processEvents();

private:
    /// Dispatches every event `next` hands out (from the socket, or only those already queued).
    void dispatchEvents(xcb_generic_event_t* (*next)(xcb_connection_t*));
    void dispatch(const xcb_generic_event_t& event);
    void flushMotion();
    void reloadKeyboardMapping();

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    std::uint8_t inputOpcode_ = 0;
    std::uint8_t xkbFirstEvent_ = 0;
    /// The XKB effective modifier state (core bits) as of the last event read.
    std::uint8_t xkbModifiers_ = 0;
    bool hasPendingMotion_ = false;
    bool isFlushQueued_ = false;
    std::unique_ptr<X11KeyboardMapping> keyboard_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace glimmora
