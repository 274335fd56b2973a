#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

#include <xcb/xcb.h>

namespace glimmora {

/// One change to a top-level window (a child of the root window) that may have put it above
/// others.
struct TopLevelChange {
    enum class Kind {
        mapped,      ///< it became visible where it sits in the stack
        configured,  ///< it was moved, resized or restacked
        circulated,  ///< it went to the top or bottom of the stack
    };
    std::uint32_t window = 0;
    Kind kind = Kind::configured;
    bool operator==(const TopLevelChange&) const = default;
};

/// The desktop happenings the application reacts to, read from the X server on the main
/// thread: top-level windows mapping or moving in the stack, the active window changing, the
/// screen configuration changing, the screens waking up, and a client window coming back from
/// being minimised.
///
/// It has its own X connection, read through a socket notifier in the Qt event loop, so its
/// event selections never mix with Qt's. The callbacks are plain hooks; an empty one is skipped.
/// Main thread only.
class X11DesktopEvents {
public:
    /// Connects to `displayName` (empty: $DISPLAY). Without a display it stays silent and
    /// isConnected() is false (the line was printed).
    explicit X11DesktopEvents(const char* displayName = nullptr);
    X11DesktopEvents(const X11DesktopEvents&) = delete;
    X11DesktopEvents& operator=(const X11DesktopEvents&) = delete;
    ~X11DesktopEvents();

    bool isConnected() const { return notifier_ != nullptr; }
    /// The connection, for requests that should share its ordering (restacking our windows).
    /// Null when not connected.
    xcb_connection_t* connection() const { return connection_; }
    std::uint32_t rootWindow() const { return root_; }

    /// A top-level window was mapped, configured or circulated. Our own windows are reported
    /// too; telling them apart is the receiver's business.
    std::function<void(const TopLevelChange&)> onTopLevelChanged;
    /// The screen's size or monitor arrangement changed (RandR screen change).
    std::function<void()> onScreenParametersChanged;
    /// The screens woke up: the screen saver went off, or the monitors came back from a DPMS
    /// power saving mode.
    std::function<void()> onScreensDidWake;
    /// The window manager named another active window (_NET_ACTIVE_WINDOW on the root changed):
    /// the user switched application or window.
    std::function<void()> onActiveWindowChanged;
    /// A client window went from minimised (WM_STATE Iconic) back to shown (Normal).
    std::function<void(std::uint32_t client)> onWindowRestored;

    /// Reads and dispatches whatever the server has sent; the socket notifier calls it, tests
    /// may call it to pump events without an event loop.
    void processEvents();

    /// How often the DPMS power level is polled (the protocol has no notification for it).
    static constexpr int kDpmsPollMilliseconds = 2000;

private:
    void selectRootEvents();
    void watchExistingClients();
    void watchWindow(std::uint32_t window);
    /// One round trip when windows were newly watched, so the server has taken the selections.
    void confirmWatches();
    void dispatch(const xcb_generic_event_t& event);
    void wmStateChanged(std::uint32_t window, bool deleted);
    void pollDpms();

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t wmStateAtom_ = 0;
    std::uint32_t activeWindowAtom_ = 0;
    int randrFirstEvent_ = -1;        // -1: extension missing
    int screenSaverFirstEvent_ = -1;  // -1: extension missing
    bool dpmsWasOn_ = true;
    bool hasUnconfirmedWatches_ = false;
    std::unordered_map<std::uint32_t, std::uint32_t> wmStates_;  // client -> last WM_STATE
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer dpmsTimer_;
};

}  // namespace glimmora
