#include "platform/x11/capture/SceneBuilder.h"

#include <xcb/damage.h>
#include <cstdlib>
#include <vector>

#include "platform/x11/capture/SharedPixmap.h"
#include "platform/x11/capture/TopLevelWindowList.h"
#include "platform/x11/capture/Wallpaper.h"
#include "platform/x11/connection/X11Display.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {

SceneBuilder::SceneBuilder(std::shared_ptr<X11Display> display, TopLevelWindowList& tracker,
                           const QRect& capture)
    : display_(std::move(display)), tracker_(tracker), capture_(capture) {}

bool SceneBuilder::update() {
    xcb_connection_t* c = display_->connection();
    bool changed = false;
    for (const xcb_window_t id : tracker_.takeRemoved()) {
        versions_.erase(id);
    }
    if (tracker_.takeWallpaperChanged() || first_) {
        readWallpaper();
        changed = true;
        first_ = false;
    }
    if (tracker_.takeExposed().intersects(capture_)) {
        changed = true;
    }
    bool subtracted = false;
    for (TrackedWindow& window : tracker_.windows()) {
        // Own and hidden windows stay quiet: NonEmpty reports only after a subtract.
        if (!(window.damaged || window.contentReset) || !window.isComposited()) {
            continue;
        }
        window.damaged = false;
        window.contentReset = false;
        xcb_damage_subtract(c, window.damage, XCB_NONE, XCB_NONE);
        subtracted = true;
        versions_[window.id] = nextVersion_++;
        changed = changed || window.outer.intersects(capture_);
    }
    if (subtracted) {
        // The composer binds the pixmaps on another connection. Once this round trip is back,
        // the server has taken the damage, so whatever it binds is at least this new, and
        // drawing from now on is reported again.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    return changed;
}

void SceneBuilder::readWallpaper() {
    wallpaper_.reset();
    xcb_connection_t* c = display_->connection();
    for (const xcb_pixmap_t pixmap : wallpaperPixmaps(c, display_->root())) {
        if (pixmap == XCB_NONE) {
            continue;
        }
        XcbReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, pixmap), nullptr));
        if (!geometry || !display_->isCopyableDepth(geometry->depth) || geometry->width == 0 ||
            geometry->height == 0) {
            continue;
        }
        wallpaper_ = SceneWallpaper{pixmap, QSize(geometry->width, geometry->height),
                                    geometry->depth, capture_.topLeft(), ++wallpaperVersion_};
        return;
    }
}

std::shared_ptr<const DesktopScene> SceneBuilder::scene() const {
    auto scene = std::make_shared<DesktopScene>();
    scene->size = capture_.size();
    scene->wallpaper = wallpaper_;
    scene->plainColour = kPlainDesktopColour;
    auto pixmaps = std::make_shared<std::vector<SharedPixmap>>();
    for (const TrackedWindow& window : tracker_.windows()) {
        if (!window.isComposited() || !window.pixmap || !window.outer.intersects(capture_)) {
            continue;
        }
        const auto version = versions_.find(window.id);
        scene->layers.push_back({window.id, window.pixmap.id(),
                                 window.outer.translated(-capture_.topLeft()), window.depth,
                                 version == versions_.end() ? 0 : version->second});
        pixmaps->push_back(window.pixmap);
    }
    scene->resources = std::move(pixmaps);
    return scene;
}

}  // namespace glimmora
