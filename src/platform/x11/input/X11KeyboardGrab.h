#pragma once

#include <QObject>
#include <cstdint>
#include <functional>

struct xcb_connection_t;

namespace glimmora {

/// Takes the whole keyboard for one of our windows while it exists, so that window gets every
/// key the user types: an override-redirect window is never given the focus by the window
/// manager, yet a screen that asks for keys (the gaze calibration) must receive them.
///
/// The grab may be refused for a moment: the window not yet viewable, or another client (a
/// closing menu) still holding the keyboard. It is asked for again every kRetryMilliseconds for
/// up to kPatienceMilliseconds; after that `failed` runs once and nothing more is tried.
/// Destroying the object releases the grab. Main thread only.
class X11KeyboardGrab {
public:
    /// `connection` (Qt's own, so the grab is ordered after Qt's mapping of the window) must
    /// outlive the grab. Without one nothing is grabbed and nothing fails.
    X11KeyboardGrab(xcb_connection_t* connection, std::uint32_t window,
                    std::function<void()> failed);
    X11KeyboardGrab(const X11KeyboardGrab&) = delete;
    X11KeyboardGrab& operator=(const X11KeyboardGrab&) = delete;
    ~X11KeyboardGrab();

    bool isHeld() const { return isHeld_; }

    static constexpr int kRetryMilliseconds = 20;
    static constexpr int kPatienceMilliseconds = 1000;

private:
    void tryGrab(int millisecondsLeft);

    xcb_connection_t* connection_;
    std::uint32_t window_;
    std::function<void()> failed_;
    bool isHeld_ = false;
    QObject context_;  // pending retries die with the grab
};

}  // namespace glimmora
