#include "platform/x11/windows/X11WindowList.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#include "platform/x11/connection/XcbReply.h"

namespace glimmora {
namespace {

/// Longest window list read, in windows; far beyond any real desktop.
constexpr std::uint32_t kMaxWindows = 1 << 16;
/// Most window types and states read per window; windows name one or two of each.
constexpr std::uint32_t kMaxAtoms = 32;
/// _NET_WM_WINDOW_OPACITY's fully opaque value.
constexpr double kOpaque = 0xffffffffu;

template <typename Reply, typename Cookie>
using ReplyFunction = Reply* (*)(xcb_connection_t*, Cookie, xcb_generic_error_t**);

/// The reply to `cookie`, or nothing when the server answered with an error (a window that is
/// gone, for one) or the connection broke. Errors are dropped here: they are expected.
template <typename Reply, typename Cookie>
XcbReply<Reply> take(xcb_connection_t* c, Cookie cookie, ReplyFunction<Reply, Cookie> function) {
    xcb_generic_error_t* error = nullptr;
    XcbReply<Reply> reply(function(c, cookie, &error));
    std::free(error);
    return reply;
}

XcbReply<xcb_get_property_reply_t> takeProperty(xcb_connection_t* c,
                                                xcb_get_property_cookie_t cookie) {
    return take(c, cookie, &xcb_get_property_reply);
}

xcb_get_property_cookie_t askProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                      xcb_atom_t type, std::uint32_t length) {
    return xcb_get_property(c, 0, window, property, type, 0, length);
}

/// The 32-bit values of a property of `type`; empty when it is absent or of another type.
std::span<const std::uint32_t> values32(const XcbReply<xcb_get_property_reply_t>& reply,
                                        xcb_atom_t type) {
    if (!reply || reply->type != type || reply->format != 32) {
        return {};
    }
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())) / 4};
}

bool contains(std::span<const xcb_atom_t> atoms, xcb_atom_t atom) {
    return atom != XCB_NONE && std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

/// Everything asked about one listed window in the second stage.
struct WindowCookies {
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t origin;
    xcb_query_tree_cookie_t tree;
    xcb_get_property_cookie_t pid;
    xcb_get_property_cookie_t types;
    xcb_get_property_cookie_t states;
    xcb_get_property_cookie_t frameExtents;
    xcb_get_property_cookie_t gtkFrameExtents;
    xcb_get_property_cookie_t opacity;
};

}  // namespace

X11WindowList::X11WindowList(xcb_connection_t* connection, xcb_window_t root)
    : connection_(connection), root_(root) {
    struct AtomName {
        xcb_atom_t Atoms::*member;
        const char* name;
    };
    static constexpr AtomName kNames[] = {
        {&Atoms::clientListStacking, "_NET_CLIENT_LIST_STACKING"},
        {&Atoms::clientList, "_NET_CLIENT_LIST"},
        {&Atoms::activeWindow, "_NET_ACTIVE_WINDOW"},
        {&Atoms::pid, "_NET_WM_PID"},
        {&Atoms::windowType, "_NET_WM_WINDOW_TYPE"},
        {&Atoms::state, "_NET_WM_STATE"},
        {&Atoms::frameExtents, "_NET_FRAME_EXTENTS"},
        {&Atoms::gtkFrameExtents, "_GTK_FRAME_EXTENTS"},
        {&Atoms::opacity, "_NET_WM_WINDOW_OPACITY"},
        {&Atoms::stateAbove, "_NET_WM_STATE_ABOVE"},
        {&Atoms::stateHidden, "_NET_WM_STATE_HIDDEN"},
        {&Atoms::typeDesktop, "_NET_WM_WINDOW_TYPE_DESKTOP"},
        {&Atoms::typeDock, "_NET_WM_WINDOW_TYPE_DOCK"},
        {&Atoms::typeNormal, "_NET_WM_WINDOW_TYPE_NORMAL"},
        {&Atoms::typeDialog, "_NET_WM_WINDOW_TYPE_DIALOG"},
        {&Atoms::typeUtility, "_NET_WM_WINDOW_TYPE_UTILITY"},
        {&Atoms::typeToolbar, "_NET_WM_WINDOW_TYPE_TOOLBAR"},
        {&Atoms::typeMenu, "_NET_WM_WINDOW_TYPE_MENU"},
        {&Atoms::typeSplash, "_NET_WM_WINDOW_TYPE_SPLASH"},
        {&Atoms::typeNotification, "_NET_WM_WINDOW_TYPE_NOTIFICATION"},
        {&Atoms::typeTooltip, "_NET_WM_WINDOW_TYPE_TOOLTIP"},
        {&Atoms::typePopupMenu, "_NET_WM_WINDOW_TYPE_POPUP_MENU"},
        {&Atoms::typeDropdownMenu, "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"},
        {&Atoms::typeCombo, "_NET_WM_WINDOW_TYPE_COMBO"},
        {&Atoms::typeDnd, "_NET_WM_WINDOW_TYPE_DND"},
    };
    if (!connection_ || xcb_connection_has_error(connection_)) {
        return;
    }
    // Created when missing (only_if_exists = 0): a window manager that starts after us creates
    // the same atoms, and we must then recognise its properties.
    std::array<xcb_intern_atom_cookie_t, std::size(kNames)> cookies{};
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        cookies[i] =
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(kNames[i].name)),
                            kNames[i].name);
    }
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        const auto reply = take(connection_, cookies[i], &xcb_intern_atom_reply);
        atoms_.*kNames[i].member = reply ? reply->atom : xcb_atom_t{XCB_NONE};
    }
}

std::vector<WindowRecord> X11WindowList::frontToBack() noexcept {
    // Only reserving memory can throw, and read() does all of it at points where no reply is
    // outstanding; an allocation failure leaves the caller with an empty list, like a broken
    // connection.
    try {
        return read();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::vector<WindowRecord> X11WindowList::read() {
    lastRoundTrips_ = 0;
    xcb_connection_t* c = connection_;
    if (!c || xcb_connection_has_error(c)) {
        return {};
    }

    // Stage 1: the window list and the active window, from the root.
    const auto stackingCookie =
        askProperty(c, root_, atoms_.clientListStacking, XCB_ATOM_WINDOW, kMaxWindows);
    const auto listCookie = askProperty(c, root_, atoms_.clientList, XCB_ATOM_WINDOW, kMaxWindows);
    const auto activeCookie = askProperty(c, root_, atoms_.activeWindow, XCB_ATOM_WINDOW, 1);
    const auto stackingReply = takeProperty(c, stackingCookie);
    const auto listReply = takeProperty(c, listCookie);
    const auto activeReply = takeProperty(c, activeCookie);
    lastRoundTrips_ = 1;

    const auto isPresent = [](const XcbReply<xcb_get_property_reply_t>& reply) {
        return reply && reply->type == XCB_ATOM_WINDOW && reply->format == 32;
    };
    std::vector<xcb_window_t> ids;
    if (isPresent(stackingReply)) {
        // Bottom to top.
        const auto stacking = values32(stackingReply, XCB_ATOM_WINDOW);
        ids.assign(stacking.rbegin(), stacking.rend());
    } else if (isPresent(listReply)) {
        // Mapping order at best; the only order there is.
        const auto list = values32(listReply, XCB_ATOM_WINDOW);
        ids.assign(list.begin(), list.end());
    }
    if (ids.empty()) {
        return {};
    }
    const auto active = values32(activeReply, XCB_ATOM_WINDOW);
    const xcb_window_t activeId = active.empty() ? xcb_window_t{XCB_NONE} : active.front();

    std::vector<WindowCookies> cookies;
    cookies.reserve(ids.size());
    std::vector<WindowRecord> records;
    records.reserve(ids.size());
    // The frame of each record, XCB_NONE for a window that is a child of the root itself.
    std::vector<xcb_window_t> frames;
    frames.reserve(ids.size());
    std::vector<xcb_get_property_cookie_t> frameOpacityCookies;
    frameOpacityCookies.reserve(ids.size());

    // Stage 2: everything about each window.
    for (const xcb_window_t id : ids) {
        cookies.push_back({
            .attributes = xcb_get_window_attributes(c, id),
            .geometry = xcb_get_geometry(c, id),
            .origin = xcb_translate_coordinates(c, id, root_, 0, 0),
            .tree = xcb_query_tree(c, id),
            .pid = askProperty(c, id, atoms_.pid, XCB_ATOM_CARDINAL, 1),
            .types = askProperty(c, id, atoms_.windowType, XCB_ATOM_ATOM, kMaxAtoms),
            .states = askProperty(c, id, atoms_.state, XCB_ATOM_ATOM, kMaxAtoms),
            .frameExtents = askProperty(c, id, atoms_.frameExtents, XCB_ATOM_CARDINAL, 4),
            .gtkFrameExtents = askProperty(c, id, atoms_.gtkFrameExtents, XCB_ATOM_CARDINAL, 4),
            .opacity = askProperty(c, id, atoms_.opacity, XCB_ATOM_CARDINAL, 1),
        });
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        // Every reply is taken, also those of a window found gone, so none stays queued.
        const WindowCookies& asked = cookies[i];
        const auto attributes = take(c, asked.attributes, &xcb_get_window_attributes_reply);
        const auto geometry = take(c, asked.geometry, &xcb_get_geometry_reply);
        const auto origin = take(c, asked.origin, &xcb_translate_coordinates_reply);
        const auto tree = take(c, asked.tree, &xcb_query_tree_reply);
        const auto pid = takeProperty(c, asked.pid);
        const auto types = takeProperty(c, asked.types);
        const auto states = takeProperty(c, asked.states);
        const auto frameExtents = takeProperty(c, asked.frameExtents);
        const auto gtkFrameExtents = takeProperty(c, asked.gtkFrameExtents);
        const auto opacity = takeProperty(c, asked.opacity);
        if (!attributes || !geometry || !origin || !tree) {
            continue;  // destroyed since the window manager listed it
        }

        WindowRecord record;
        record.windowId = ids[i];
        if (const auto value = values32(pid, XCB_ATOM_CARDINAL); !value.empty()) {
            record.ownerPid = static_cast<std::int32_t>(value.front());
        }
        const auto stateAtoms = values32(states, XCB_ATOM_ATOM);
        record.layer = layerOf(values32(types, XCB_ATOM_ATOM), stateAtoms);
        record.isOnScreen = attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                            !contains(stateAtoms, atoms_.stateHidden);
        record.isActive = activeId != XCB_NONE && ids[i] == activeId;
        if (const auto value = values32(opacity, XCB_ATOM_CARDINAL); !value.empty()) {
            record.alpha = value.front() / kOpaque;
        }

        // The client's own area, grown by the decorations the window manager draws around it
        // and shrunk by the shadows a client-side decorated window draws inside itself.
        double left = 0, right = 0, top = 0, bottom = 0;
        if (const auto e = values32(frameExtents, XCB_ATOM_CARDINAL); e.size() == 4) {
            left += e[0];
            right += e[1];
            top += e[2];
            bottom += e[3];
        }
        if (const auto e = values32(gtkFrameExtents, XCB_ATOM_CARDINAL); e.size() == 4) {
            left -= e[0];
            right -= e[1];
            top -= e[2];
            bottom -= e[3];
        }
        record.bounds = {
            .x = origin->dst_x - left,
            .y = origin->dst_y - top,
            .width = std::max(0.0, geometry->width + left + right),
            .height = std::max(0.0, geometry->height + top + bottom),
        };

        records.push_back(record);
        frames.push_back(tree->parent != root_ ? tree->parent : xcb_window_t{XCB_NONE});
    }
    lastRoundTrips_ = 2;

    // Stage 3: the frames' opacity. Reparenting window managers keep it on the frame, where
    // compositors read it; the client's own value counts only when the frame has none.
    for (const xcb_window_t frame : frames) {
        if (frame != XCB_NONE) {
            frameOpacityCookies.push_back(
                askProperty(c, frame, atoms_.opacity, XCB_ATOM_CARDINAL, 1));
        }
    }
    if (frameOpacityCookies.empty()) {
        return records;
    }
    auto nextCookie = frameOpacityCookies.begin();
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (frames[i] == XCB_NONE) {
            continue;
        }
        const auto opacity = takeProperty(c, *nextCookie++);
        if (const auto value = values32(opacity, XCB_ATOM_CARDINAL); !value.empty()) {
            records[i].alpha = value.front() / kOpaque;
        }
    }
    lastRoundTrips_ = 3;
    return records;
}

int X11WindowList::layerOf(std::span<const xcb_atom_t> types,
                           std::span<const xcb_atom_t> states) const {
    const Atoms& a = atoms_;
    int layer = kNormalLayer;
    // A window lists its types most specific first and the ones we do not know are skipped.
    for (const xcb_atom_t type : types) {
        if (type == XCB_NONE) {
            continue;
        }
        if (type == a.typeDesktop) {
            // Below everything, whatever its state says: the desktop covers the whole screen
            // and is never the window the user works in.
            return kDesktopLayer;
        }
        if (type == a.typeDock) {
            layer = kDockLayer;
            break;
        }
        if (type == a.typeNotification || type == a.typeTooltip || type == a.typePopupMenu ||
            type == a.typeDropdownMenu || type == a.typeCombo || type == a.typeDnd) {
            layer = kPopupLayer;
            break;
        }
        if (type == a.typeNormal || type == a.typeDialog || type == a.typeUtility ||
            type == a.typeToolbar || type == a.typeMenu || type == a.typeSplash) {
            break;
        }
    }
    if (contains(states, a.stateAbove)) {
        layer = std::max(layer, kKeepAboveLayer);
    }
    return layer;
}

}  // namespace glimmora
