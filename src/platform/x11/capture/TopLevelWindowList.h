#pragma once

#include <xcb/damage.h>
#include <xcb/render.h>
#include <xcb/xcb.h>
#include <QRect>
#include <QRegion>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "platform/x11/capture/SharedPixmap.h"

namespace glimmora {

class X11Display;

/// One top-level window (a child of the root) as desktop capture sees it.
struct TrackedWindow {
    xcb_window_t id = XCB_NONE;
    /// Root coordinates, border included: the extent of the window's named pixmap.
    QRect outer;
    int borderWidth = 0;
    uint8_t depth = 0;
    xcb_visualid_t visual = XCB_NONE;
    bool inputOutput = true;
    bool viewable = false;
    /// Whether its pixels come as 32-bit words (depth 24 or 32); others are left out.
    bool copyable = true;
    /// The own-window check has been made for it. Unchecked windows stay out of the pictures
    /// until it has, so that a Glimmora window never shows for a frame.
    bool classified = false;
    /// One of Glimmora's own windows, or the frame around one: never in the pictures.
    bool own = false;
    /// Creation order among tracked windows, to tell which ones an own-window check covered.
    quint64 serial = 0;

    xcb_damage_damage_t damage = XCB_NONE;
    /// The window's contents, named while it is viewable and renamed after each map and
    /// resize. Shared: a pixmap replaced here lives on while a scene handed out still names it.
    SharedPixmap pixmap;
    /// A RENDER picture of `pixmap`, for a consumer that composes on the server; XCB_NONE when
    /// none was asked for, or when the server could not make it (the window vanished before its
    /// pixmap was named): such a window is left out until its pixmap is named again.
    xcb_render_picture_t picture = XCB_NONE;
    /// DAMAGE reported new drawing that has not been subtracted yet.
    bool damaged = false;
    /// The pixmap was (re)named or the window became visible to capture: read all of it.
    bool contentReset = false;

    /// Whether the window belongs in the pictures.
    bool isComposited() const { return viewable && inputOutput && copyable && classified && !own; }
};

/// Keeps the list of top-level windows, their geometry, stacking, named pixmaps and DAMAGE
/// objects up to date from the root's SubstructureNotify events.
///
/// It reads no pixels: a consumer (the server compositor, or the scene builder whose scenes the
/// GPU composes from the same pixmaps) reads `windows()`, acts on `damaged` and `contentReset`
/// and clears them. Windows that vanish between an event and a request are dropped quietly; the
/// errors they cause are expected, and an error about a window's picture or pixmap takes its
/// picture away.
class TopLevelWindowList {
public:
    /// Tracks the children of `display`'s root, on its connection (with the capture extensions
    /// initialised). `isCopyableDepth` says which window depths the consumer can show;
    /// `makesPictures`, whether it wants a RENDER picture of each named pixmap.
    TopLevelWindowList(std::shared_ptr<X11Display> display,
                       std::function<bool(uint8_t depth)> isCopyableDepth,
                       bool makesPictures = false);
    /// Lets go of the named pixmaps (freed unless a scene still holds them) and frees the
    /// DAMAGE objects and pictures (when the connection still works).
    ~TopLevelWindowList();
    TopLevelWindowList(const TopLevelWindowList&) = delete;
    TopLevelWindowList& operator=(const TopLevelWindowList&) = delete;

    /// Redirects the root's children automatically (the server keeps painting the screen),
    /// selects the root's events and reads the present top-levels, all under a server grab so
    /// that no change slips between the reading and the events. All start unclassified.
    std::optional<QString> start();

    /// Applies one event (or error) from the connection's queue; others are ignored.
    void handleEvent(const xcb_generic_event_t& event);

    /// Bottom to top, as the server stacks them.
    const std::vector<TrackedWindow>& windows() const { return windows_; }
    std::vector<TrackedWindow>& windows() { return windows_; }

    /// Root-coordinate areas whose look changed without drawing (maps, unmaps, moves,
    /// restacking, windows entering or leaving the pictures) since the last call.
    QRegion takeExposed() { return std::exchange(exposed_, QRegion()); }
    /// Windows no longer tracked since the last call, so a consumer can drop what it kept.
    std::vector<xcb_window_t> takeRemoved() { return std::exchange(removed_, {}); }
    /// The root's wallpaper properties changed since the last call.
    bool takeWallpaperChanged() { return std::exchange(wallpaperChanged_, false); }

    /// Whether anything might change the pictures: exposure, a wallpaper change, or new
    /// drawing or contents in a window that is in the pictures.
    bool hasPendingChanges() const;

    /// The highest `serial` handed out so far.
    quint64 lastSerial() const { return nextSerial_ - 1; }
    /// Whether some window awaits the own-window check.
    bool hasUnclassified() const;
    /// Marks every window with `serial <= upTo` as checked: own when it is in `ownTopLevels`.
    void classify(const std::unordered_set<xcb_window_t>& ownTopLevels, quint64 upTo);
    /// The top-level (root child) that holds `window`, or XCB_NONE when it is gone. Blocks for
    /// one round trip per level of nesting.
    xcb_window_t topLevelOf(xcb_window_t window);

private:
    TrackedWindow* find(xcb_window_t id);
    /// Starts tracking `id` on top, reading its attributes (one round trip).
    void add(xcb_window_t id);
    /// Starts tracking a window on top of the others, from what the server said of it.
    void track(xcb_window_t id, const xcb_get_window_attributes_reply_t& attributes,
               const xcb_get_geometry_reply_t& geometry);
    void remove(xcb_window_t id);
    void restack(xcb_window_t id, xcb_window_t above);
    void nameContents(TrackedWindow& window);
    void releaseContents(TrackedWindow& window);
    void expose(const TrackedWindow& window);

    void onConfigure(const xcb_configure_notify_event_t& event);
    void onMap(xcb_window_t id);
    void onUnmap(xcb_window_t id);
    void onError(const xcb_generic_error_t& error);

    std::shared_ptr<X11Display> display_;
    xcb_connection_t* connection_;
    xcb_window_t root_;
    uint8_t damageEventBase_;
    std::function<bool(uint8_t)> isCopyableDepth_;
    bool makesPictures_;
    xcb_atom_t rootPixmapAtom_ = XCB_NONE;
    xcb_atom_t setRootAtom_ = XCB_NONE;

    std::vector<TrackedWindow> windows_;
    QRegion exposed_;
    std::vector<xcb_window_t> removed_;
    bool wallpaperChanged_ = false;
    quint64 nextSerial_ = 1;
};

}  // namespace glimmora
