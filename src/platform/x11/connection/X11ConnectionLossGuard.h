#pragma once

#include <xcb/xcb.h>

#include <csignal>

namespace glimmora {

/// Ends the process cleanly, with one line, when a graphics driver crashes because the X
/// server went away under it, for as long as the guard lives.
///
/// Some of Mesa's GLX calls take a failed reply for a good one: when the server dies while
/// they wait (it is killed or crashes in the first moments of a session), they dereference
/// nothing and the process dies of SIGSEGV inside the driver, with a core dump and no word on
/// what happened. Around such calls the guard catches SIGSEGV and SIGBUS: when the connection
/// has failed, it writes "The X11 connection broke ..." and exits with status 1, as Xlib does
/// when it notices a lost server itself. Any other crash goes on to whatever handled the
/// signal before (the default action, or a sanitizer), exactly as without the guard.
///
/// Main thread only, one guard at a time; cheap to make (two sigaction calls).
class X11ConnectionLossGuard {
public:
    explicit X11ConnectionLossGuard(xcb_connection_t* connection);
    ~X11ConnectionLossGuard();
    X11ConnectionLossGuard(const X11ConnectionLossGuard&) = delete;
    X11ConnectionLossGuard& operator=(const X11ConnectionLossGuard&) = delete;

private:
    static void handle(int signal, siginfo_t* info, void* context);

    struct sigaction previousSegv_ {};
    struct sigaction previousBus_ {};
};

/// Makes Xlib end the process at once, with one line and status 1, when any of its connections
/// loses the X server. Xlib's own handler calls exit(), which runs every static destructor while
/// other threads (the graphics driver's, the capture thread) still use what those destroy; and
/// when Qt is already exiting over the same loss, the teardown touches the lost display again
/// and that second exit() crashes. A process without its display has nothing to tear down.
void endAtOnceWhenXlibLosesTheServer();

}  // namespace glimmora
