#include "platform/x11/capture/TopLevelWindowList.h"

#include <xcb/composite.h>
#include <algorithm>
#include <cstring>

#include "platform/x11/connection/X11Display.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {
namespace {

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

/// Releases a server grab however the scan ends.
class ServerGrab {
public:
    explicit ServerGrab(xcb_connection_t* c) : c_(c) { xcb_grab_server(c_); }
    ~ServerGrab() {
        xcb_ungrab_server(c_);
        xcb_flush(c_);
    }
    ServerGrab(const ServerGrab&) = delete;
    ServerGrab& operator=(const ServerGrab&) = delete;

private:
    xcb_connection_t* c_;
};

struct WindowCookies {
    xcb_window_t id;
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_geometry_cookie_t geometry;
};

WindowCookies askAbout(xcb_connection_t* c, xcb_window_t id) {
    return {id, xcb_get_window_attributes(c, id), xcb_get_geometry(c, id)};
}

}  // namespace

TopLevelWindowList::TopLevelWindowList(std::shared_ptr<X11Display> display,
                                       std::function<bool(uint8_t depth)> isCopyableDepth,
                                       bool makesPictures)
    : display_(std::move(display)),
      connection_(display_->connection()),
      root_(display_->root()),
      damageEventBase_(display_->damageEventBase()),
      isCopyableDepth_(std::move(isCopyableDepth)),
      makesPictures_(makesPictures) {}

TopLevelWindowList::~TopLevelWindowList() {
    for (TrackedWindow& window : windows_) {
        releaseContents(window);
    }
    if (xcb_connection_has_error(connection_)) {
        return;
    }
    for (TrackedWindow& window : windows_) {
        if (window.damage != XCB_NONE) {
            xcb_damage_destroy(connection_, window.damage);
        }
    }
    xcb_composite_unredirect_subwindows(connection_, root_, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    xcb_flush(connection_);
}

std::optional<QString> TopLevelWindowList::start() {
    xcb_connection_t* c = connection_;
    rootPixmapAtom_ = internAtom(c, "_XROOTPMAP_ID");
    setRootAtom_ = internAtom(c, "_XSETROOT_ID");

    const ServerGrab grab(c);
    const uint32_t events[] = {XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_change_window_attributes(c, root_, XCB_CW_EVENT_MASK, events);
    // Automatic, never manual: the server goes on painting the screen itself, and any
    // compositing manager keeps its own (manual) redirection.
    XcbReply<xcb_generic_error_t> redirectError(xcb_request_check(
        c, xcb_composite_redirect_subwindows_checked(c, root_, XCB_COMPOSITE_REDIRECT_AUTOMATIC)));
    if (redirectError) {
        return QStringLiteral("Cannot redirect the X root window's children (X error %1)")
            .arg(redirectError->error_code);
    }
    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, root_), nullptr));
    if (!tree) {
        return QStringLiteral("Cannot list the X root window's children");
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    std::vector<WindowCookies> cookies;
    cookies.reserve(static_cast<size_t>(xcb_query_tree_children_length(tree.get())));
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        cookies.push_back(askAbout(c, children[i]));
    }
    windows_.clear();
    for (const WindowCookies& asked : cookies) {
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, asked.attributes, nullptr));
        XcbReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, asked.geometry, nullptr));
        if (attributes && geometry) {
            track(asked.id, *attributes, *geometry);
        }
    }
    return std::nullopt;
}

void TopLevelWindowList::track(xcb_window_t id, const xcb_get_window_attributes_reply_t& attributes,
                               const xcb_get_geometry_reply_t& geometry) {
    TrackedWindow window;
    window.id = id;
    window.borderWidth = geometry.border_width;
    window.outer = QRect(geometry.x, geometry.y, geometry.width + 2 * geometry.border_width,
                         geometry.height + 2 * geometry.border_width);
    window.depth = geometry.depth;
    window.visual = attributes.visual;
    window.inputOutput = attributes._class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
    window.copyable = isCopyableDepth_(geometry.depth);
    window.viewable = attributes.map_state == XCB_MAP_STATE_VIEWABLE;
    window.serial = nextSerial_++;
    if (window.inputOutput) {
        // NonEmpty reports once until the damage is subtracted: one event per window and frame
        // however busily it draws.
        window.damage = xcb_generate_id(connection_);
        xcb_damage_create(connection_, window.damage, id, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    }
    if (window.viewable) {
        nameContents(window);
    }
    windows_.push_back(window);
}

void TopLevelWindowList::add(xcb_window_t id) {
    if (find(id) != nullptr) {
        return;
    }
    const WindowCookies asked = askAbout(connection_, id);
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection_, asked.attributes, nullptr));
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, asked.geometry, nullptr));
    if (attributes && geometry) {  // else it is gone already
        track(id, *attributes, *geometry);
    }
}

void TopLevelWindowList::remove(xcb_window_t id) {
    const auto it = std::find_if(windows_.begin(), windows_.end(),
                                 [id](const TrackedWindow& w) { return w.id == id; });
    if (it == windows_.end()) {
        return;
    }
    expose(*it);
    releaseContents(*it);
    if (it->damage != XCB_NONE) {
        // Already gone with a destroyed window; the BadDamage that follows is expected.
        xcb_damage_destroy(connection_, it->damage);
    }
    removed_.push_back(id);
    windows_.erase(it);
}

TrackedWindow* TopLevelWindowList::find(xcb_window_t id) {
    for (TrackedWindow& window : windows_) {
        if (window.id == id) {
            return &window;
        }
    }
    return nullptr;
}

void TopLevelWindowList::restack(xcb_window_t id, xcb_window_t above) {
    const auto it = std::find_if(windows_.begin(), windows_.end(),
                                 [id](const TrackedWindow& w) { return w.id == id; });
    if (it == windows_.end()) {
        return;
    }
    TrackedWindow window = std::move(*it);
    windows_.erase(it);
    auto position = windows_.begin();  // no sibling below: bottom of the stack
    if (above != XCB_NONE) {
        const auto sibling =
            std::find_if(windows_.begin(), windows_.end(),
                         [above](const TrackedWindow& w) { return w.id == above; });
        position = sibling == windows_.end() ? windows_.end() : sibling + 1;
    }
    windows_.insert(position, std::move(window));
}

void TopLevelWindowList::nameContents(TrackedWindow& window) {
    releaseContents(window);
    if (!window.inputOutput) {
        return;
    }
    // The name keeps the pixmap of this moment; a later resize makes a new one, so the
    // name is renewed after every map and resize.
    const xcb_pixmap_t pixmap = xcb_generate_id(connection_);
    xcb_composite_name_window_pixmap(connection_, window.id, pixmap);
    window.pixmap = SharedPixmap(display_, pixmap);
    window.contentReset = true;
    if (!makesPictures_) {
        return;
    }
    if (const xcb_render_pictformat_t format = display_->pictureFormat(window.depth, window.visual);
        format != XCB_NONE) {
        window.picture = xcb_generate_id(connection_);
        xcb_render_create_picture(connection_, window.picture, pixmap, format, 0, nullptr);
    }
}

void TopLevelWindowList::releaseContents(TrackedWindow& window) {
    // Freed now unless a scene still names it; then with the last such scene.
    window.pixmap.reset();
    if (window.picture != XCB_NONE && !xcb_connection_has_error(connection_)) {
        xcb_render_free_picture(connection_, window.picture);
    }
    window.picture = XCB_NONE;
}

void TopLevelWindowList::expose(const TrackedWindow& window) {
    if (window.isComposited()) {
        exposed_ += window.outer;
    }
}

void TopLevelWindowList::handleEvent(const xcb_generic_event_t& event) {
    const uint8_t type = event.response_type & 0x7f;
    if (type == 0) {
        onError(reinterpret_cast<const xcb_generic_error_t&>(event));
        return;
    }
    if (type == damageEventBase_ + XCB_DAMAGE_NOTIFY) {
        const auto& damage = reinterpret_cast<const xcb_damage_notify_event_t&>(event);
        if (TrackedWindow* window = find(damage.drawable)) {
            window->damaged = true;
        }
        return;
    }
    switch (type) {
        case XCB_CREATE_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_create_notify_event_t&>(event);
            if (e.parent == root_) {
                add(e.window);
            }
            break;
        }
        case XCB_DESTROY_NOTIFY:
            remove(reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
            break;
        case XCB_MAP_NOTIFY:
            onMap(reinterpret_cast<const xcb_map_notify_event_t&>(event).window);
            break;
        case XCB_UNMAP_NOTIFY:
            onUnmap(reinterpret_cast<const xcb_unmap_notify_event_t&>(event).window);
            break;
        case XCB_CONFIGURE_NOTIFY:
            onConfigure(reinterpret_cast<const xcb_configure_notify_event_t&>(event));
            break;
        case XCB_REPARENT_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_reparent_notify_event_t&>(event);
            if (e.parent == root_) {
                add(e.window);
            } else {
                remove(e.window);
                if (TrackedWindow* frame = find(e.parent)) {
                    // A client moved into a frame: the frame may now hold one of our windows.
                    expose(*frame);
                    frame->classified = false;
                    frame->serial = nextSerial_++;
                }
            }
            break;
        }
        case XCB_CIRCULATE_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_circulate_notify_event_t&>(event);
            TrackedWindow* window = find(e.window);
            if (window == nullptr) {
                break;
            }
            expose(*window);
            const xcb_window_t below =
                e.place == XCB_PLACE_ON_TOP && !windows_.empty() ? windows_.back().id : XCB_NONE;
            if (below != e.window) {
                restack(e.window, below);
            }
            break;
        }
        case XCB_GRAVITY_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_gravity_notify_event_t&>(event);
            if (TrackedWindow* window = find(e.window)) {
                expose(*window);
                window->outer.moveTo(e.x, e.y);
                expose(*window);
            }
            break;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (e.window == root_ && (e.atom == rootPixmapAtom_ || e.atom == setRootAtom_)) {
                wallpaperChanged_ = true;
            }
            break;
        }
        default:
            break;  // events we did not ask for
    }
}

void TopLevelWindowList::onMap(xcb_window_t id) {
    TrackedWindow* window = find(id);
    if (window == nullptr) {
        add(id);
        window = find(id);
        if (window != nullptr) {
            expose(*window);
        }
        return;
    }
    window->viewable = true;
    nameContents(*window);
    expose(*window);
}

void TopLevelWindowList::onUnmap(xcb_window_t id) {
    if (TrackedWindow* window = find(id)) {
        expose(*window);
        window->viewable = false;
        releaseContents(*window);
    }
}

void TopLevelWindowList::onError(const xcb_generic_error_t& error) {
    // The window was gone before its pixmap was named, so neither the pixmap nor its picture
    // exists: compose without it until it is named again (or its end is reported).
    for (TrackedWindow& window : windows_) {
        if (window.picture != XCB_NONE &&
            (error.resource_id == window.picture || error.resource_id == window.pixmap.id())) {
            expose(window);
            window.picture = XCB_NONE;
        }
    }
}

void TopLevelWindowList::onConfigure(const xcb_configure_notify_event_t& e) {
    TrackedWindow* window = find(e.window);
    if (window == nullptr) {
        return;
    }
    const QRect outer(e.x, e.y, e.width + 2 * e.border_width, e.height + 2 * e.border_width);
    const bool resized =
        outer.size() != window->outer.size() || e.border_width != window->borderWidth;
    const auto index = window - windows_.data();
    const xcb_window_t below = index > 0 ? windows_[static_cast<size_t>(index) - 1].id : XCB_NONE;
    if (outer == window->outer && below == e.above_sibling && !resized) {
        return;
    }
    expose(*window);
    window->outer = outer;
    window->borderWidth = e.border_width;
    if (below != e.above_sibling) {
        restack(e.window, e.above_sibling);
        window = find(e.window);
    }
    if (resized && window->viewable) {
        nameContents(*window);
    }
    expose(*window);
}

bool TopLevelWindowList::hasPendingChanges() const {
    if (!exposed_.isEmpty() || wallpaperChanged_) {
        return true;
    }
    return std::any_of(windows_.begin(), windows_.end(), [](const TrackedWindow& w) {
        return w.isComposited() && (w.damaged || w.contentReset);
    });
}

bool TopLevelWindowList::hasUnclassified() const {
    return std::any_of(windows_.begin(), windows_.end(),
                       [](const TrackedWindow& w) { return !w.classified; });
}

void TopLevelWindowList::classify(const std::unordered_set<xcb_window_t>& ownTopLevels,
                                  quint64 upTo) {
    for (TrackedWindow& window : windows_) {
        if (window.serial > upTo) {
            continue;
        }
        const bool own = ownTopLevels.contains(window.id);
        if (window.classified && window.own == own) {
            continue;
        }
        const bool wasComposited = window.isComposited();
        window.classified = true;
        window.own = own;
        if (wasComposited != window.isComposited()) {
            exposed_ += window.outer;
            window.contentReset = static_cast<bool>(window.pixmap);
        }
    }
}

xcb_window_t TopLevelWindowList::topLevelOf(xcb_window_t window) {
    for (int depth = 0; depth < 64 && window != XCB_NONE && window != root_; ++depth) {
        XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
        if (!tree) {
            return XCB_NONE;
        }
        if (tree->parent == root_) {
            return window;
        }
        window = tree->parent;
    }
    return XCB_NONE;
}

}  // namespace glimmora
