#include "platform/x11/connection/X11ConnectionLossGuard.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

namespace glimmora {
namespace {

// What the handler needs, reachable from a signal handler.
std::atomic<xcb_connection_t*> guardedConnection{nullptr};
struct sigaction previousSegvAction {};
struct sigaction previousBusAction {};

int endOnXlibIoError(Display*) {
    static constexpr char kLine[] = "XIO: the connection to the X server broke; exiting\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, kLine, sizeof kLine - 1);
    ::_exit(EXIT_FAILURE);
}

}  // namespace

void endAtOnceWhenXlibLosesTheServer() {
    XSetIOErrorHandler(&endOnXlibIoError);
}

X11ConnectionLossGuard::X11ConnectionLossGuard(xcb_connection_t* connection) {
    struct sigaction action {};
    action.sa_sigaction = &X11ConnectionLossGuard::handle;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGSEGV, &action, &previousSegv_);
    ::sigaction(SIGBUS, &action, &previousBus_);
    previousSegvAction = previousSegv_;
    previousBusAction = previousBus_;
    guardedConnection = connection;
}

X11ConnectionLossGuard::~X11ConnectionLossGuard() {
    guardedConnection = nullptr;
    ::sigaction(SIGSEGV, &previousSegv_, nullptr);
    ::sigaction(SIGBUS, &previousBus_, nullptr);
}

void X11ConnectionLossGuard::handle(int signal, siginfo_t*, void*) {
    // Only async-signal-safe calls here: reading the connection's error flag, write, _exit.
    xcb_connection_t* connection = guardedConnection.load();
    if (connection != nullptr && xcb_connection_has_error(connection) != 0) {
        static constexpr char kLine[] =
            "The X11 connection broke while the graphics driver was talking to the X server; "
            "exiting\n";
        [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, kLine, sizeof kLine - 1);
        ::_exit(EXIT_FAILURE);
    }
    // A crash of another kind: the previous handler takes it when the instruction faults again.
    ::sigaction(signal, signal == SIGSEGV ? &previousSegvAction : &previousBusAction, nullptr);
}

}  // namespace glimmora
