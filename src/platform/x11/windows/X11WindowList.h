#pragma once

#include <xcb/xcb.h>

#include <span>
#include <vector>

#include "trackers/WindowRecord.h"

namespace glimmora {

/// Reads the window manager's list of managed top-level windows (EWMH) and describes each one
/// as a WindowRecord, frontmost first, for smart focus.
///
/// Smart focus asks up to 30 times a second on the main thread, so a read costs a small, fixed
/// number of round trips whatever the number of windows: every request of a stage is sent
/// before the first of its replies is read (root properties, then everything about each
/// window, then the frames' opacity). Windows come and go while that happens; one that is gone
/// by the time its requests arrive is left out, and a property that cannot be read counts as
/// absent.
class X11WindowList {
public:
    /// Stacking layers, as WindowRecord::layer reports them. The desktop (wallpaper and icons)
    /// lies below everything and is never a candidate. Application windows, their dialogs and
    /// menus share the normal layer. "Keep above" windows float above normal ones; docks and
    /// panels stack above applications, and notifications, tooltips and popup menus above
    /// those, so none of them is taken for the window the user works in.
    static constexpr int kDesktopLayer = -1000;
    static constexpr int kNormalLayer = 0;
    static constexpr int kKeepAboveLayer = 3;
    static constexpr int kDockLayer = 20;
    static constexpr int kPopupLayer = 25;

    /// Reads from `connection`, which it does not own and which must outlive it; `root` is the
    /// root window of the screen whose windows it lists. Interns the atoms it reads (one round
    /// trip), creating those the window manager has not created yet, so that a window manager
    /// started later is still understood.
    X11WindowList(xcb_connection_t* connection, xcb_window_t root);
    X11WindowList(const X11WindowList&) = delete;
    X11WindowList& operator=(const X11WindowList&) = delete;

    /// The managed top-level windows, frontmost first (in the window manager's list order when
    /// it publishes no stacking order). Empty when the window manager publishes no list or the
    /// connection is broken. Blocks only for the replies to its own requests; never throws.
    std::vector<WindowRecord> frontToBack() noexcept;

    /// How many times the last frontToBack() waited for replies (0 to 3), for benchmarks.
    int lastRoundTrips() const { return lastRoundTrips_; }

private:
    /// The atoms read, interned once; XCB_NONE only when interning failed.
    struct Atoms {
        xcb_atom_t clientListStacking = XCB_NONE;
        xcb_atom_t clientList = XCB_NONE;
        xcb_atom_t activeWindow = XCB_NONE;
        xcb_atom_t pid = XCB_NONE;
        xcb_atom_t windowType = XCB_NONE;
        xcb_atom_t state = XCB_NONE;
        xcb_atom_t frameExtents = XCB_NONE;
        xcb_atom_t gtkFrameExtents = XCB_NONE;
        xcb_atom_t opacity = XCB_NONE;
        xcb_atom_t stateAbove = XCB_NONE;
        xcb_atom_t stateHidden = XCB_NONE;
        xcb_atom_t typeDesktop = XCB_NONE;
        xcb_atom_t typeDock = XCB_NONE;
        xcb_atom_t typeNormal = XCB_NONE;
        xcb_atom_t typeDialog = XCB_NONE;
        xcb_atom_t typeUtility = XCB_NONE;
        xcb_atom_t typeToolbar = XCB_NONE;
        xcb_atom_t typeMenu = XCB_NONE;
        xcb_atom_t typeSplash = XCB_NONE;
        xcb_atom_t typeNotification = XCB_NONE;
        xcb_atom_t typeTooltip = XCB_NONE;
        xcb_atom_t typePopupMenu = XCB_NONE;
        xcb_atom_t typeDropdownMenu = XCB_NONE;
        xcb_atom_t typeCombo = XCB_NONE;
        xcb_atom_t typeDnd = XCB_NONE;
    };

    std::vector<WindowRecord> read();
    /// The layer of a window with these _NET_WM_WINDOW_TYPE and _NET_WM_STATE values.
    int layerOf(std::span<const xcb_atom_t> types, std::span<const xcb_atom_t> states) const;

    xcb_connection_t* connection_;
    xcb_window_t root_;
    Atoms atoms_;
    int lastRoundTrips_ = 0;
};

}  // namespace glimmora
