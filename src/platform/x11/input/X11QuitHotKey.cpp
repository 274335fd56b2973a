#include "platform/x11/input/X11QuitHotKey.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "core/Log.h"
#include "platform/x11/connection/XcbConnect.h"
#include "platform/x11/input/X11KeyboardMapping.h"
#include "platform/x11/input/X11Modifiers.h"
#include "trackers/QuitKeys.h"

namespace glimmora {
namespace {

template <typename T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;

void postQuit() {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            application, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    }
}

}  // namespace

X11QuitHotKey::X11QuitHotKey(std::function<void()> requestQuit, const char* displayName)
    : requestQuit_(requestQuit ? std::move(requestQuit) : std::function<void()>(&postQuit)) {
    connection_ = connectPrivately(displayName);
    if (connection_ == nullptr) {
        return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
}

X11QuitHotKey::~X11QuitHotKey() {
    remove();
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
    }
}

void X11QuitHotKey::install() {
    if (connection_ == nullptr) {
        logLine("⚠️ Global hotkey registration failed: " +
                std::to_string(static_cast<int>(XCB_CONN_ERROR)));
        return;
    }
    const std::uint8_t error = grab();
    isRegistered_ = error == 0;
    if (isRegistered_) {
        logLine("✅ Global hotkey registered successfully");
    } else {
        logLine("⚠️ Global hotkey registration failed: " +
                std::to_string(static_cast<int>(error)));
    }
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return;
    }
    wakeRead_ = pipeEnds[0];
    wakeWrite_ = pipeEnds[1];
    // The grabs that did succeed still serve: the key thread runs either way.
    thread_ = std::thread([this] { run(); });
}

void X11QuitHotKey::remove() {
    if (isRemoved_) {
        return;
    }
    isRemoved_ = true;
    if (thread_.joinable()) {
        const char wake = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &wake, 1);
        thread_.join();
    }
    for (const int fd : {wakeRead_, wakeWrite_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    wakeRead_ = wakeWrite_ = -1;
}

std::uint8_t X11QuitHotKey::grab() {
    const X11KeyboardMapping mapping(connection_);
    escapeKeys_ = mapping.keyCodesFor(kKeyEscape, false);
    numLockMask_ = mapping.numLockMask();
    std::vector<xcb_void_cookie_t> cookies;
    for (const xcb_keycode_t key : escapeKeys_) {
        for (const ModifierMask locks : quitGrabLockVariants()) {
            // Asynchronous: the keyboard is never frozen waiting for us.
            cookies.push_back(xcb_grab_key_checked(
                connection_, 1, root_, toXModifiers(kQuitModifiers | locks, numLockMask_), key,
                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    // No key on this keyboard produces Escape: nothing to grab, reported as a bad value.
    std::uint8_t firstError = escapeKeys_.empty() ? XCB_VALUE : 0;
    for (const xcb_void_cookie_t cookie : cookies) {
        XReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie), &std::free);
        if (error && firstError == 0) {
            firstError = error->error_code;
        }
    }
    return firstError;
}

void X11QuitHotKey::ungrab() {
    for (const xcb_keycode_t key : escapeKeys_) {
        xcb_ungrab_key(connection_, key, root_, XCB_MOD_MASK_ANY);
    }
    escapeKeys_.clear();
}

void X11QuitHotKey::run() {
    pollfd waits[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    while (xcb_connection_has_error(connection_) == 0) {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(connection_)) {
            XReply<xcb_generic_event_t> event(raw, &std::free);
            switch (event->response_type & 0x7f) {
                case XCB_KEY_PRESS: {
                    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(raw);
                    if (isGlobalQuitCombination(kKeyEscape,
                                                fromXModifiers(press->state, numLockMask_))) {
                        triggered();
                    }
                    break;
                }
                case XCB_MAPPING_NOTIFY: {
                    // A new keyboard layout may move Escape or NumLock: grab them where they are
                    // now.
                    const auto* change = reinterpret_cast<const xcb_mapping_notify_event_t*>(raw);
                    if (change->request != XCB_MAPPING_POINTER) {
                        ungrab();
                        const std::uint8_t error = grab();
                        // Said once when the combination is lost, not at every keyboard switch
                        // (each switch between devices counts as a change).
                        const bool wasRegistered = isRegistered_.exchange(error == 0);
                        if (error != 0 && wasRegistered) {
                            logLine(
                                "Quit hot key: grabbing again after a keyboard change failed: " +
                                std::to_string(static_cast<int>(error)));
                        }
                    }
                    break;
                }
                default:
                    break;
            }
        }
        xcb_flush(connection_);
        if (::poll(waits, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            break;
        }
    }
    ungrab();
    xcb_flush(connection_);
}

void X11QuitHotKey::triggered() {
    logLine("🚨 Global hotkey triggered! Quitting app...");
    requestQuit_();
    if (hasTriggered_.exchange(true)) {
        return;
    }
    // Independent of this object and of the main thread: whatever state they are in, the
    // process ends once the delay has passed.
    std::thread([] {
        std::this_thread::sleep_for(kForcedExitDelay);
        logLine("Quit hot key: the application did not quit in time, ending it now");
        ::_exit(EXIT_SUCCESS);
    }).detach();
}

}  // namespace glimmora
