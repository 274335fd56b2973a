#include "platform/x11/windows/X11DesktopEvents.h"

#include <xcb/dpms.h>
#include <xcb/randr.h>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "core/Log.h"

namespace glimmora {
namespace {

// ICCCM WM_STATE values.
constexpr std::uint32_t kNormalState = 1;
constexpr std::uint32_t kIconicState = 3;

// How deep under a top-level window its client may sit (top-level = WM frame, then the
// frame's inner windows); the same bound the usual client-window search uses.
constexpr int kClientSearchDepth = 3;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> own(T* reply) {
    return Reply<T>(reply, &std::free);
}

std::uint32_t internAtom(xcb_connection_t* c, const char* name) {
    const auto reply = own(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
}

std::optional<std::uint32_t> readWmState(xcb_connection_t* c, std::uint32_t window,
                                         std::uint32_t wmStateAtom) {
    const auto reply = own(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, wmStateAtom, wmStateAtom, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) {
        return std::nullopt;
    }
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
}

std::vector<std::uint32_t> childrenOf(xcb_connection_t* c, std::uint32_t window) {
    const auto reply = own(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!reply) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(reply.get());
    return {children, children + xcb_query_tree_children_length(reply.get())};
}

}  // namespace

X11DesktopEvents::X11DesktopEvents(const char* displayName) {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(displayName, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        logLine("X11DesktopEvents: Cannot connect to the X display");
        return;
    }
    connection_ = c;
    xcb_prefetch_extension_data(c, &xcb_randr_id);
    xcb_prefetch_extension_data(c, &xcb_screensaver_id);
    xcb_prefetch_extension_data(c, &xcb_dpms_id);

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    root_ = screens.data->root;
    wmStateAtom_ = internAtom(c, "WM_STATE");
    activeWindowAtom_ = internAtom(c, "_NET_ACTIVE_WINDOW");

    selectRootEvents();
    watchExistingClients();

    const xcb_query_extension_reply_t* dpms = xcb_get_extension_data(c, &xcb_dpms_id);
    if (dpms && dpms->present) {
        const auto capable = own(xcb_dpms_capable_reply(c, xcb_dpms_capable(c), nullptr));
        if (capable && capable->capable) {
            dpmsTimer_.setInterval(kDpmsPollMilliseconds);
            QObject::connect(&dpmsTimer_, &QTimer::timeout, [this] { pollDpms(); });
            dpmsTimer_.start();
        }
    }

    notifier_ =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { processEvents(); });
    xcb_flush(c);
    // The set-up's round trips may already have queued events the socket will not announce.
    processEvents();
}

X11DesktopEvents::~X11DesktopEvents() {
    dpmsTimer_.stop();
    notifier_.reset();
    if (connection_) {
        xcb_disconnect(connection_);
    }
}

void X11DesktopEvents::selectRootEvents() {
    xcb_connection_t* c = connection_;
    // Substructure notify on the root reports every top-level window's creation, mapping,
    // configuration (stacking included) and destruction; property changes bring the window
    // manager's _NET_ACTIVE_WINDOW.
    const std::uint32_t rootMask =
        XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, root_, XCB_CW_EVENT_MASK, &rootMask);

    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr && randr->present) {
        randrFirstEvent_ = randr->first_event;
        xcb_randr_select_input(c, root_, XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE);
    }
    const xcb_query_extension_reply_t* saver = xcb_get_extension_data(c, &xcb_screensaver_id);
    if (saver && saver->present) {
        screenSaverFirstEvent_ = saver->first_event;
        xcb_screensaver_select_input(c, root_, XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
    }
}

void X11DesktopEvents::watchWindow(std::uint32_t window) {
    // Property changes bring WM_STATE; structure notify brings the window's destruction. The
    // selection stays with the window when the window manager reparents it into a frame, so a
    // client watched at its creation stays watched.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &mask);
    hasUnconfirmedWatches_ = true;
}

void X11DesktopEvents::confirmWatches() {
    // Requests of different clients are not ordered with each other: without a round trip a
    // window could change state before the server has taken our selection on it. Callers see
    // every window we learnt of so far watched for real.
    if (hasUnconfirmedWatches_) {
        hasUnconfirmedWatches_ = false;
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }
}

void X11DesktopEvents::watchExistingClients() {
    // Windows created from now on arrive as CreateNotify; those already there are found here:
    // a client is the window with WM_STATE, the top-level itself or a window inside its frame.
    std::vector<std::pair<std::uint32_t, int>> pending;
    for (std::uint32_t topLevel : childrenOf(connection_, root_)) {
        watchWindow(topLevel);
        pending.emplace_back(topLevel, 0);
    }
    while (!pending.empty()) {
        const auto [window, depth] = pending.back();
        pending.pop_back();
        if (const auto state = readWmState(connection_, window, wmStateAtom_)) {
            wmStates_[window] = *state;
            watchWindow(window);
            continue;
        }
        if (depth + 1 < kClientSearchDepth) {
            for (std::uint32_t child : childrenOf(connection_, window)) {
                pending.emplace_back(child, depth + 1);
            }
        }
    }
}

void X11DesktopEvents::processEvents() {
    if (!connection_) {
        return;
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        const auto owned = own(event);
        dispatch(*event);
    }
    // Dispatching may have asked for more (watching a new window); send it now.
    xcb_flush(connection_);
    if (notifier_ && xcb_connection_has_error(connection_)) {
        logLine("X11DesktopEvents: Lost the connection to the X display");
        notifier_.reset();
        dpmsTimer_.stop();
    }
}

void X11DesktopEvents::dispatch(const xcb_generic_event_t& event) {
    const int type = event.response_type & ~0x80;
    switch (type) {
        case 0:
            // Errors: a window we asked about vanished first. Nothing to do.
            return;
        case XCB_CREATE_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_create_notify_event_t&>(event);
            if (e.parent == root_) {
                watchWindow(e.window);
            }
            return;
        }
        case XCB_REPARENT_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_reparent_notify_event_t&>(event);
            if (e.parent == root_) {
                watchWindow(e.window);
            }
            return;
        }
        case XCB_DESTROY_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
            wmStates_.erase(e.window);
            return;
        }
        case XCB_MAP_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_map_notify_event_t&>(event);
            // Watched windows report their own structure too; only the root's view counts here.
            if (e.event == root_ && onTopLevelChanged) {
                confirmWatches();
                onTopLevelChanged({e.window, TopLevelChange::Kind::mapped});
            }
            return;
        }
        case XCB_CONFIGURE_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
            if (e.event == root_ && onTopLevelChanged) {
                confirmWatches();
                onTopLevelChanged({e.window, TopLevelChange::Kind::configured});
            }
            return;
        }
        case XCB_CIRCULATE_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_circulate_notify_event_t&>(event);
            if (e.event == root_ && onTopLevelChanged) {
                confirmWatches();
                onTopLevelChanged({e.window, TopLevelChange::Kind::circulated});
            }
            return;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (e.atom == wmStateAtom_) {
                wmStateChanged(e.window, e.state == XCB_PROPERTY_DELETE);
            } else if (e.window == root_ && e.atom == activeWindowAtom_ && onActiveWindowChanged) {
                onActiveWindowChanged();
            }
            return;
        }
        default:
            break;
    }
    if (randrFirstEvent_ >= 0 && type == randrFirstEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY) {
        if (onScreenParametersChanged) {
            onScreenParametersChanged();
        }
        return;
    }
    if (screenSaverFirstEvent_ >= 0 && type == screenSaverFirstEvent_ + XCB_SCREENSAVER_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_screensaver_notify_event_t&>(event);
        if (e.state == XCB_SCREENSAVER_STATE_OFF && onScreensDidWake) {
            onScreensDidWake();
        }
    }
}

void X11DesktopEvents::wmStateChanged(std::uint32_t window, bool deleted) {
    if (deleted) {
        // Withdrawn: the window manager let go of it.
        wmStates_.erase(window);
        return;
    }
    const auto state = readWmState(connection_, window, wmStateAtom_);
    if (!state) {
        return;
    }
    const auto previous = wmStates_.find(window);
    const bool wasIconic = previous != wmStates_.end() && previous->second == kIconicState;
    wmStates_[window] = *state;
    if (wasIconic && *state == kNormalState && onWindowRestored) {
        onWindowRestored(window);
    }
}

void X11DesktopEvents::pollDpms() {
    const auto info = own(xcb_dpms_info_reply(connection_, xcb_dpms_info(connection_), nullptr));
    if (!info) {
        return;
    }
    // With DPMS disabled the monitors never leave the on state.
    const bool isOn = !info->state || info->power_level == XCB_DPMS_DPMS_MODE_ON;
    const bool woke = isOn && !dpmsWasOn_;
    dpmsWasOn_ = isOn;
    if (woke && onScreensDidWake) {
        onScreensDidWake();
    }
    // The round trip may have queued events the socket will not announce again.
    processEvents();
}

}  // namespace glimmora
