#include "platform/x11/input/X11InputMonitor.h"

#include <xcb/xinput.h>
// xkb.h names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <QTimer>
#include <cstdlib>

#include "platform/x11/connection/PrimaryMonitor.h"
#include "platform/x11/connection/XcbConnect.h"
#include "platform/x11/input/X11KeyboardMapping.h"
#include "platform/x11/input/X11Modifiers.h"

namespace glimmora {
namespace {

template <typename T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;

constexpr std::uint32_t kLeftButton = 1;
constexpr std::uint8_t kGenericEvent = XCB_GE_GENERIC;

/// The raw events we listen to, as one XI 2 event mask for all master devices.
struct RawEventMask {
    xcb_input_event_mask_t head;
    std::uint32_t bits;
};

}  // namespace

X11InputMonitor::X11InputMonitor(const char* displayName) {
    connection_ = connectPrivately(displayName);
    if (connection_ == nullptr) {
        return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
}

X11InputMonitor::~X11InputMonitor() {
    notifier_.reset();
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
    }
}

bool X11InputMonitor::start() {
    if (connection_ == nullptr || notifier_) {
        return notifier_ != nullptr;
    }
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(connection_, &xcb_input_id);
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection_, &xcb_xkb_id);
    if (input == nullptr || input->present == 0 || xkb == nullptr || xkb->present == 0) {
        return false;
    }
    // Announcing 2.2 matters: for older clients the server withholds raw events while another
    // client holds a grab.
    const auto versionCookie = xcb_input_xi_query_version(connection_, 2, 2);
    const auto xkbCookie =
        xcb_xkb_use_extension(connection_, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION);
    XReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(connection_, versionCookie, nullptr), &std::free);
    XReply<xcb_xkb_use_extension_reply_t> xkbUse(
        xcb_xkb_use_extension_reply(connection_, xkbCookie, nullptr), &std::free);
    if (!version || version->major_version < 2 ||
        (version->major_version == 2 && version->minor_version < 2) || !xkbUse ||
        xkbUse->supported == 0) {
        return false;
    }
    inputOpcode_ = input->major_opcode;
    xkbFirstEvent_ = xkb->first_event;

    RawEventMask mask{};
    mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.head.mask_len = 1;
    mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
                XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS;
    xcb_input_xi_select_events(connection_, root_, 1, &mask.head);
    // Modifier changes, and layout changes that move symbols or NumLock between keys.
    constexpr std::uint16_t kXkbEvents = XCB_XKB_EVENT_TYPE_STATE_NOTIFY |
                                         XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                         XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY;
    constexpr std::uint16_t kMapParts =
        XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP;
    xcb_xkb_select_events(connection_, XCB_XKB_ID_USE_CORE_KBD, kXkbEvents, 0, kXkbEvents,
                          kMapParts, kMapParts, nullptr);
    // The state before the first notification, asked after selecting so no change falls
    // between the two.
    XReply<xcb_xkb_get_state_reply_t> state(
        xcb_xkb_get_state_reply(connection_,
                                xcb_xkb_get_state(connection_, XCB_XKB_ID_USE_CORE_KBD), nullptr),
        &std::free);
    if (state) {
        xkbModifiers_ = state->mods;
    }
    reloadKeyboardMapping();

    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_),
                                                  QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { processEvents(); });
    // Whatever arrived with the replies above is already out of the socket.
    processEvents();
    return true;
}

std::optional<Point> X11InputMonitor::pointerPosition() {
    if (connection_ == nullptr) {
        return std::nullopt;
    }
    XReply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr),
        &std::free);
    if (!pointer || pointer->same_screen == 0) {
        return std::nullopt;
    }
    return Point{static_cast<double>(pointer->root_x), static_cast<double>(pointer->root_y)};
}

xcb_window_t X11InputMonitor::inputFocus() {
    if (connection_ == nullptr) {
        return XCB_NONE;
    }
    XReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr),
        &std::free);
    if (!focus || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT) {
        return XCB_NONE;
    }
    return focus->focus;
}

QRect X11InputMonitor::primaryMonitor() {
    if (connection_ == nullptr) {
        return {};
    }
    return primaryMonitorRect(connection_,
                              *xcb_setup_roots_iterator(xcb_get_setup(connection_)).data);
}

void X11InputMonitor::processEvents() {
    if (connection_ == nullptr) {
        return;
    }
    dispatchEvents(&xcb_poll_for_event);
    // The position query reads its reply from the socket, and with it whatever events came
    // first; they now wait in xcb's queue, where the socket notifier would not see them.
    flushMotion();
    dispatchEvents(&xcb_poll_for_queued_event);
    if (hasPendingMotion_ && !isFlushQueued_) {
        // The pointer moved again meanwhile: once more from the event loop, which draws a frame
        // in between instead of chasing a pointer that keeps moving.
        isFlushQueued_ = true;
        QTimer::singleShot(0, notifier_.get(), [this] {
            isFlushQueued_ = false;
            processEvents();
        });
    }
    if (xcb_connection_has_error(connection_) != 0 && notifier_) {
        // The server is gone: the socket would stay readable for ever.
        notifier_->setEnabled(false);
    }
}

void X11InputMonitor::dispatchEvents(xcb_generic_event_t* (*next)(xcb_connection_t*)) {
    while (xcb_generic_event_t* event = next(connection_)) {
        XReply<xcb_generic_event_t> owned(event, &std::free);
        dispatch(*event);
    }
}

void X11InputMonitor::flushMotion() {
    if (!hasPendingMotion_) {
        return;
    }
    hasPendingMotion_ = false;
    if (const std::optional<Point> position = pointerPosition(); position && onPointerMoved) {
        onPointerMoved(*position);
    }
}

void X11InputMonitor::dispatch(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7f;
    if (type == kGenericEvent) {
        const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
        if (generic.extension != inputOpcode_) {
            return;
        }
        switch (generic.event_type) {
            case XCB_INPUT_RAW_MOTION:
                hasPendingMotion_ = true;
                break;
            case XCB_INPUT_RAW_BUTTON_PRESS: {
                const auto& press =
                    reinterpret_cast<const xcb_input_raw_button_press_event_t&>(event);
                // A tap on a touch screen comes as an emulated press of this button, and counts
                // as the click every application takes it for.
                if (press.detail == kLeftButton) {
                    // The movement that led to the click is reported first, in order.
                    flushMotion();
                    if (onLeftButtonPressed) {
                        onLeftButtonPressed();
                    }
                }
                break;
            }
            case XCB_INPUT_RAW_KEY_PRESS: {
                const auto& press = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
                // Auto-repeat sends a press for every repeat; only the first is a key stroke.
                if ((press.flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT) != 0 || !keyboard_) {
                    break;
                }
                const KeySymbol symbol =
                    keyboard_->unshiftedSymbol(static_cast<xcb_keycode_t>(press.detail));
                if (symbol != 0 && onKeyPressed) {
                    onKeyPressed(symbol, fromXModifiers(xkbModifiers_, keyboard_->numLockMask()));
                }
                break;
            }
            default:
                break;
        }
        return;
    }
    if (type == xkbFirstEvent_ && xkbFirstEvent_ != 0) {
        // All XKB events share one code; the second byte says which.
        switch (reinterpret_cast<const xcb_xkb_state_notify_event_t&>(event).xkbType) {
            case XCB_XKB_STATE_NOTIFY:
                xkbModifiers_ = reinterpret_cast<const xcb_xkb_state_notify_event_t&>(event).mods;
                break;
            case XCB_XKB_MAP_NOTIFY:
            case XCB_XKB_NEW_KEYBOARD_NOTIFY:
                reloadKeyboardMapping();
                break;
            default:
                break;
        }
        return;
    }
    if (type == XCB_MAPPING_NOTIFY) {
        reloadKeyboardMapping();
    }
}

void X11InputMonitor::reloadKeyboardMapping() {
    keyboard_ = std::make_unique<X11KeyboardMapping>(connection_);
}

}  // namespace glimmora
