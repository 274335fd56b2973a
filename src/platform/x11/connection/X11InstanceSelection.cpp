#include "platform/x11/connection/X11InstanceSelection.h"

#include <cstdlib>
#include <string>

#include "platform/x11/connection/XcbConnect.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {

X11InstanceSelection::~X11InstanceSelection() {
    notifier_.reset();
    if (connection_ != nullptr) {
        // Closing the connection gives the selection up.
        xcb_disconnect(connection_);
    }
}

X11InstanceSelection::Claim X11InstanceSelection::claim() {
    char* host = nullptr;
    int displayNumber = 0;
    int screenNumber = 0;
    if (xcb_parse_display(nullptr, &host, &displayNumber, &screenNumber) != 0) {
        std::free(host);
    }
    connection_ = connectPrivately(nullptr);
    if (connection_ == nullptr) {
        return Claim::noDisplay;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return Claim::noDisplay;
    }
    const std::string name = "_GLIMMORA_OVERLAY_S" + std::to_string(screenNumber);
    const XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.c_str()),
        nullptr));
    if (!atom) {
        return Claim::noDisplay;
    }
    atom_ = atom->atom;

    const auto owner = [this] {
        const XcbReply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
            connection_, xcb_get_selection_owner(connection_, atom_), nullptr));
        return reply ? reply->owner : XCB_NONE;
    };
    if (owner() != XCB_NONE) {
        return Claim::heldByAnother;
    }
    // An unmapped input-only window owns the selection; it receives SelectionClear.
    window_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screens.data->root, -1, -1, 1, 1,
                      0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(connection_, window_, atom_, XCB_CURRENT_TIME);
    if (owner() != window_) {
        return Claim::heldByAnother;
    }
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_),
                                                  QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readEvents(); });
    return Claim::owned;
}

void X11InstanceSelection::readEvents() {
    bool lost = false;
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) {
        if ((event->response_type & 0x7f) == XCB_SELECTION_CLEAR) {
            const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(*event);
            lost = lost || clear.selection == atom_;
        }
    }
    if (xcb_connection_has_error(connection_) != 0) {
        notifier_->setEnabled(false);  // the server is gone; the application learns it elsewhere
    }
    if (lost) {
        notifier_->setEnabled(false);
        if (onLost) {
            onLost();
        }
    }
}

}  // namespace glimmora
