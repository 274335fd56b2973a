#include "platform/x11/windows/X11OverlayWindow.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <QPointer>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace glimmora {
namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> own(T* reply) {
    return {reply, &std::free};
}

std::uint32_t internAtom(xcb_connection_t* c, const char* name) {
    const auto reply = own(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
}

}  // namespace

Qt::WindowFlags X11OverlayWindow::flags() {
    // No stays-on-top hint: it means nothing to a window manager for an override-redirect
    // window (the stacking keeper does that job), and changing it makes Qt replace the native
    // window when it is next shown. Qt empties the input region for transparent-for-input
    // (XFixes), but Qt 6.4 forgets to on such a replaced window; clearInputRegion() makes
    // click-through independent of that.
    return Qt::Window | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
           Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint;
}

void X11OverlayWindow::configure(QWindow& window, const QRect& frame, xcb_connection_t* connection,
                                 std::function<void()> done) {
    window.hide();
    if (!connection) {
        apply(window, frame, connection);
        if (done) {
            done();
        }
        return;
    }
    xcb_flush(connection);
    applyWhenWithdrawn(window, frame, connection, std::move(done), kWithdrawTimeoutMilliseconds);
}

void X11OverlayWindow::applyWhenWithdrawn(QWindow& window, const QRect& frame,
                                          xcb_connection_t* connection, std::function<void()> done,
                                          int millisecondsLeft) {
    const auto id = static_cast<std::uint32_t>(window.winId());
    if (millisecondsLeft > 0 && !isWithdrawn(connection, id)) {
        // The window is the timer's context: a destroyed window ends the wait.
        QTimer::singleShot(kWithdrawPollMilliseconds, &window,
                           [&window, frame, connection, done = std::move(done),
                            left = millisecondsLeft - kWithdrawPollMilliseconds]() mutable {
                               applyWhenWithdrawn(window, frame, connection, std::move(done), left);
                           });
        return;
    }
    apply(window, frame, connection);
    if (done) {
        done();
    }
}

bool X11OverlayWindow::isWithdrawn(xcb_connection_t* connection, std::uint32_t window) {
    const auto tree =
        own(xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    if (!tree) {
        return true;  // gone: nobody holds it
    }
    if (tree->parent != tree->root) {
        return false;  // still inside the window manager's frame
    }
    const std::uint32_t wmState = internAtom(connection, "WM_STATE");
    const auto state = own(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, wmState, wmState, 0, 1), nullptr));
    if (!state || state->format != 32 || xcb_get_property_value_length(state.get()) < 4) {
        return true;
    }
    // ICCCM: the window manager deletes WM_STATE or sets it to Withdrawn (0).
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(state.get())) == 0;
}

void X11OverlayWindow::apply(QWindow& window, const QRect& frame, xcb_connection_t* connection) {
    window.setFlags(flags());
    window.setGeometry(frame);
    // The attributes go on before the window is mapped, so that it never shows up able to
    // catch a click.
    const auto id = static_cast<std::uint32_t>(window.winId());
    setAttributes(connection, id);
    window.show();
    // Should Qt have replaced the native window on show, the new one needs them too.
    const auto shownId = static_cast<std::uint32_t>(window.winId());
    if (shownId != id) {
        setAttributes(connection, shownId);
    }
    window.requestUpdate();
}

void X11OverlayWindow::setAttributes(xcb_connection_t* connection, std::uint32_t window) {
    if (!connection) {
        return;
    }
    setNoShadow(connection, window);
    clearInputRegion(connection, window);
    xcb_flush(connection);
}

void X11OverlayWindow::setNoShadow(xcb_connection_t* connection, std::uint32_t window) {
    const std::uint32_t atom = internAtom(connection, "_COMPTON_SHADOW");
    if (atom == XCB_ATOM_NONE) {
        return;
    }
    const std::uint32_t noShadow = 0;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom, XCB_ATOM_CARDINAL, 32, 1,
                        &noShadow);
}

void X11OverlayWindow::clearInputRegion(xcb_connection_t* connection, std::uint32_t window) {
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(connection, &xcb_shape_id);
    if (!shape || !shape->present) {
        return;  // the window keeps its input region (every common X server has SHAPE)
    }
    // No rectangles in the input kind of the SHAPE extension: an empty input region.
    xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                         XCB_CLIP_ORDERING_UNSORTED, window, 0, 0, 0, nullptr);
}

bool X11OverlayWindow::isCompositing(xcb_connection_t* connection) {
    const std::uint32_t selection = internAtom(connection, "_NET_WM_CM_S0");
    if (selection == XCB_ATOM_NONE) {
        return false;
    }
    const auto owner = own(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr));
    return owner && owner->owner != XCB_NONE;
}

void X11OverlayWindow::setVisibleRectangles(xcb_connection_t* connection, std::uint32_t window,
                                            const std::vector<QRect>& rectangles) {
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(connection, &xcb_shape_id);
    if (!shape || !shape->present) {
        return;
    }
    std::vector<xcb_rectangle_t> shaped;
    shaped.reserve(rectangles.size());
    for (const QRect& r : rectangles) {
        shaped.push_back({static_cast<std::int16_t>(r.x()), static_cast<std::int16_t>(r.y()),
                          static_cast<std::uint16_t>(r.width()),
                          static_cast<std::uint16_t>(r.height())});
    }
    xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                         XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                         static_cast<std::uint32_t>(shaped.size()), shaped.data());
    xcb_flush(connection);
}

}  // namespace glimmora
