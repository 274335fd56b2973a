#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace glimmora {

/// The system-wide emergency quit key: Control+Alt+Super+Escape, grabbed on the root window so
/// it reaches us whichever application has the keyboard, and whatever state our own main
/// thread is in.
///
/// It has its own X connection, read on its own thread: a main loop that hangs (a stuck GL
/// driver, a deadlock) must never lock the user behind the full-screen overlay. A press asks the
/// application to quit through its event loop, and if the process is still there
/// kForcedExitDelay later, ends it at once without any clean-up.
///
/// install() and remove() are called from the main thread; the rest runs on the key thread.
class X11QuitHotKey {
public:
    /// `requestQuit` runs on the key thread and must only post the request (the default queues
    /// QCoreApplication::quit on the main thread). `displayName` empty: $DISPLAY.
    explicit X11QuitHotKey(std::function<void()> requestQuit = {},
                           const char* displayName = nullptr);
    X11QuitHotKey(const X11QuitHotKey&) = delete;
    X11QuitHotKey& operator=(const X11QuitHotKey&) = delete;
    /// Releases the key like remove().
    ~X11QuitHotKey();

    /// Grabs the combination for every lock state, prints whether that worked (a combination
    /// another client holds is reported with its X error code), and starts the key thread.
    /// Without a display it prints the failure and does nothing else. Call once.
    void install();
    /// Releases the grab and stops the key thread; a second call does nothing. A forced exit
    /// already under way still happens.
    void remove();

    /// Whether the combination is grabbed now: every grab succeeded at install(), or at the
    /// last re-grab after a keyboard change. Any thread.
    bool isRegistered() const { return isRegistered_.load(); }

    /// How long a quit request may take before the process is ended by force.
    static constexpr std::chrono::milliseconds kForcedExitDelay{2000};

private:
    /// Looks up the Escape key codes and NumLock's modifier bit in the current keyboard
    /// mapping, then grabs every code with every lock variant. Returns the X error code of the
    /// first grab that failed, or 0.
    std::uint8_t grab();
    void ungrab();
    /// The key thread: waits for key presses and mapping changes until remove() wakes it.
    void run();
    void triggered();

    std::function<void()> requestQuit_;
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    /// The key codes currently grabbed; the key thread owns them once it runs.
    std::vector<xcb_keycode_t> escapeKeys_;
    std::uint16_t numLockMask_ = 0;
    std::atomic<bool> isRegistered_{false};
    /// remove() writes a byte here to wake the key thread from its wait.
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
    bool isRemoved_ = false;
    /// Set by the first press, so that repeated presses start one forced-exit timer only.
    std::atomic<bool> hasTriggered_{false};
};

}  // namespace glimmora
