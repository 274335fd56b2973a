#pragma once

#include <QObject>
#include <cstdint>
#include <vector>

#include "platform/x11/windows/X11DesktopEvents.h"

struct xcb_connection_t;

namespace glimmora {

/// How a window level stacks on X11, which has no levels of its own.
enum class StackingClass {
    normal,        ///< not kept: left among the other windows (at the bottom after being kept)
    aboveAll,      ///< kept above every other top-level window
    aboveOverlay,  ///< kept above the aboveAll windows too
};

/// The stacking class of a window level: below the overlay level a window is normal, at it
/// above all, above it above the overlay.
StackingClass stackingClassForLevel(int level);

/// Keeps our override-redirect windows above every other top-level window, in the order of
/// their levels: whenever another top-level window maps or moves in the stack, the kept
/// windows are raised again (ConfigureWindow, stack mode Above), lowest level first, so the
/// highest ends on top. A window manager does not stack override-redirect windows, and a newly
/// mapped tooltip or full-screen window would otherwise cover the overlay.
///
/// Raising one of our windows reports a configure of that window; changes of our own windows
/// are ignored (all but their mapping), so the keeper never answers its own raises. Raises
/// asked for by desktop events are gathered into one per turn of the event loop.
/// Main thread only.
class X11StackingKeeper {
public:
    /// `connection` must outlive the keeper; the application passes Qt's own, so that raises
    /// are ordered after Qt's mapping of the same window.
    explicit X11StackingKeeper(xcb_connection_t* connection);

    /// Registers `window` at `level` (or moves it there) and restacks every kept window now. A
    /// kept window moved to a normal level goes to the bottom of the stack.
    void setLevel(std::uint32_t window, int level);
    /// Stops keeping `window` (destroyed or recreated).
    void forget(std::uint32_t window);
    bool isRegistered(std::uint32_t window) const;

    /// Feed for X11DesktopEvents::onTopLevelChanged.
    void topLevelChanged(const TopLevelChange& change);

    /// Raises every kept window now, lowest level first, and flushes.
    void raiseNow();
    /// The windows raiseNow() raises, in that order.
    std::vector<std::uint32_t> raiseOrder() const;

private:
    struct Entry {
        std::uint32_t window;
        int level;
    };

    xcb_connection_t* connection_;
    std::vector<Entry> entries_;  // registration order, which breaks ties between equal levels
    bool raisePending_ = false;
    QObject context_;  // pending raises die with the keeper
};

}  // namespace glimmora
