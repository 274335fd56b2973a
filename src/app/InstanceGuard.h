#pragma once

#include <functional>
#include <memory>

namespace glimmora {

class X11InstanceSelection;

/// Keeps Glimmora to one instance per display. A second Glimmora on the same display would
/// capture the first one's overlay and the two would feed back into a black screen within
/// seconds. Two claims, in order: the control service's name on the session bus (how a second
/// instance finds the first, and how the command line reaches it), then an X selection for the
/// screen, which holds even when the session bus cannot be reached.
///
/// Main thread only; needs the Qt application. The claims last as long as the guard.
class InstanceGuard {
public:
    InstanceGuard();
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    /// Claims the display for this process. False, after one line saying why, when another
    /// Glimmora runs there: this one must leave without showing anything.
    bool claim();

    /// Called if another Glimmora takes the screen later (two that started at the same moment,
    /// without a session bus): this one must then leave.
    std::function<void()> onDisplayTaken;

private:
    std::unique_ptr<X11InstanceSelection> selection_;
};

}  // namespace glimmora
