#include "platform/x11/capture/CpuCompositor.h"

#include <xcb/damage.h>

#include "platform/x11/capture/TopLevelWindowList.h"
#include "platform/x11/capture/Wallpaper.h"
#include "platform/x11/connection/X11Display.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {
namespace {

// A window reporting more damage rectangles than this is read as their bounding box: one
// larger read costs the server less than many small ones.
constexpr int kMostRectanglesPerWindow = 32;

}  // namespace

CpuCompositor::CpuCompositor(const X11Display& display, TopLevelWindowList& tracker,
                             ShmImageReader& reader, const QRect& capture)
    : display_(display),
      tracker_(tracker),
      reader_(reader),
      capture_(capture),
      region_(xcb_generate_id(display.connection())),
      wallpaper_(capture.size(), QImage::Format_RGB32) {
    xcb_xfixes_create_region(display.connection(), region_, 0, nullptr);
}

CpuCompositor::~CpuCompositor() {
    if (!display_.hasError()) {
        xcb_xfixes_destroy_region(display_.connection(), region_);
    }
}

QRegion CpuCompositor::update() {
    QRegion changed;  // root coordinates
    for (const xcb_window_t id : tracker_.takeRemoved()) {
        images_.erase(id);
    }
    if (tracker_.takeWallpaperChanged() || first_) {
        readWallpaper(display_, reader_, capture_, wallpaper_);
        changed = capture_;
        first_ = false;
    }
    changed += tracker_.takeExposed();
    fetchDamage();
    planReads(changed);

    reader_.read(reads_, readSucceeded_);
    for (size_t i = 0; i < reads_.size(); ++i) {
        if (readSucceeded_[i]) {
            continue;
        }
        // Its window vanished or changed under us: leave it out until it is read whole again.
        const auto image = images_.find(readOwners_[i]);
        if (image != images_.end() && image->second.hasContent) {
            image->second.hasContent = false;
            for (const TrackedWindow& window : tracker_.windows()) {
                if (window.id == readOwners_[i]) {
                    changed += window.outer;
                }
            }
        }
    }
    return (changed & capture_).translated(-capture_.topLeft());
}

void CpuCompositor::fetchDamage() {
    xcb_connection_t* c = display_.connection();
    std::vector<TrackedWindow>& windows = tracker_.windows();
    damageOfWindow_.assign(windows.size(), {});
    damage_.clear();

    // Subtract every window's damage first, then collect the rectangles: one round trip for
    // all windows. One XFIXES region serves them all because the server runs the requests in
    // order.
    fetches_.clear();
    for (size_t i = 0; i < windows.size(); ++i) {
        TrackedWindow& window = windows[i];
        // Own and hidden windows stay quiet: NonEmpty reports only after a subtract.
        if (!(window.damaged || window.contentReset) || !window.isComposited()) {
            continue;
        }
        window.damaged = false;
        if (window.contentReset || !window.outer.intersects(capture_)) {
            // Read whole anyway, or not at all (its copy is marked stale below). A window read
            // whole drops its damage even before DAMAGE reported it: a new damage object starts
            // out reporting the whole window, and that report may still be on its way.
            xcb_damage_subtract(c, window.damage, XCB_NONE, XCB_NONE);
        } else {
            xcb_damage_subtract(c, window.damage, XCB_NONE, region_);
            fetches_.emplace_back(i, xcb_xfixes_fetch_region(c, region_));
        }
    }
    for (const auto& [index, cookie] : fetches_) {
        XcbReply<xcb_xfixes_fetch_region_reply_t> reply(
            xcb_xfixes_fetch_region_reply(c, cookie, nullptr));
        if (!reply) {
            continue;
        }
        const int count = xcb_xfixes_fetch_region_rectangles_length(reply.get());
        const xcb_rectangle_t* rectangles = xcb_xfixes_fetch_region_rectangles(reply.get());
        DamageRange& range = damageOfWindow_[index];
        range.begin = damage_.size();
        if (count > kMostRectanglesPerWindow) {
            const auto bounds = reply->extents;
            damage_.emplace_back(bounds.x, bounds.y, bounds.width, bounds.height);
        } else {
            for (int r = 0; r < count; ++r) {
                damage_.emplace_back(rectangles[r].x, rectangles[r].y, rectangles[r].width,
                                     rectangles[r].height);
            }
        }
        range.end = damage_.size();
    }
}

void CpuCompositor::planReads(QRegion& changed) {
    reads_.clear();
    readOwners_.clear();
    std::vector<TrackedWindow>& windows = tracker_.windows();
    QRegion coveredAbove;  // root coordinates; drawing under it changes nothing visible
    for (size_t i = windows.size(); i-- > 0;) {
        TrackedWindow& window = windows[i];
        if (!window.isComposited()) {
            continue;
        }
        const bool reset = std::exchange(window.contentReset, false);
        const QRect visible = window.outer & capture_;
        if (visible.isEmpty()) {
            if (const auto image = images_.find(window.id); image != images_.end()) {
                image->second.valid = QRect();  // its drawing out there was not read
            }
            continue;
        }
        WindowImage& image = images_[window.id];
        if (image.size != window.outer.size()) {
            image.size = window.outer.size();
            image.pixels.resize(static_cast<size_t>(image.size.width()) * image.size.height());
            image.valid = QRect();
        }
        const QRect local = visible.translated(-window.outer.topLeft());
        const int stride = image.size.width();
        auto addRead = [&](const QRect& area) {
            reads_.push_back(
                {window.pixmap.id(), area,
                 image.pixels.data() + static_cast<ptrdiff_t>(area.y()) * stride + area.x(),
                 stride});
            readOwners_.push_back(window.id);
        };
        QRegion drawn;  // pixmap coordinates
        if (reset || !image.hasContent || !image.valid.contains(local)) {
            // Newly shown, resized, or moved so that parts never read come into view.
            addRead(local);
            drawn = local;
            image.hasContent = true;
        } else {
            const DamageRange range = damageOfWindow_[i];
            for (size_t r = range.begin; r < range.end; ++r) {
                // DAMAGE counts from the window's inside corner; the pixmap includes the border.
                const QRect area =
                    damage_[r].translated(window.borderWidth, window.borderWidth) & local;
                if (!area.isEmpty()) {
                    addRead(area);
                    drawn += area;
                }
            }
        }
        // Damage outside the capture was not read, so only the visible part stays current.
        image.valid = local;
        if (!drawn.isEmpty()) {
            changed += drawn.translated(window.outer.topLeft()) - coveredAbove;
        }
        coveredAbove += visible;
    }
}

void CpuCompositor::compose(QImage& picture, const QRegion& area) {
    layers_.clear();
    const std::vector<TrackedWindow>& windows = tracker_.windows();
    for (auto window = windows.rbegin(); window != windows.rend(); ++window) {
        if (!window->isComposited()) {
            continue;
        }
        const auto image = images_.find(window->id);
        if (image == images_.end() || !image->second.hasContent ||
            image->second.size != window->outer.size()) {
            continue;
        }
        layers_.push_back({window->outer.translated(-capture_.topLeft()),
                           image->second.pixels.data(), image->second.size.width()});
    }
    composeLayers(picture, area, layers_, wallpaper_);
}

}  // namespace glimmora
