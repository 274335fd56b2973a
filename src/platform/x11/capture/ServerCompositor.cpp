#include "platform/x11/capture/ServerCompositor.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/damage.h>
#include <xcb/shm.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/Log.h"
#include "platform/x11/capture/TopLevelWindowList.h"
#include "platform/x11/capture/Wallpaper.h"
#include "platform/x11/connection/X11Display.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {
namespace {

// A window reporting more damage rectangles than this counts as their bounding box.
constexpr int kMostRectanglesPerWindow = 32;
// An area of more rectangles than this is painted as its bounding box: one larger area costs the
// server less than a long list, and a clip list must fit in one request.
constexpr int kMostRectanglesPerPaint = 1024;

xcb_rectangle_t toX(const QRect& rect) {
    return {static_cast<int16_t>(rect.x()), static_cast<int16_t>(rect.y()),
            static_cast<uint16_t>(rect.width()), static_cast<uint16_t>(rect.height())};
}

xcb_render_color_t toRenderColour(quint32 rgb) {
    const auto channel = [rgb](int shift) {
        return static_cast<uint16_t>(((rgb >> shift) & 0xff) * 0x101);
    };
    return {channel(16), channel(8), channel(0), 0xffff};
}

}  // namespace

std::unique_ptr<ServerCompositor> ServerCompositor::create(const X11Display& display,
                                                           TopLevelWindowList& tracker,
                                                           const QRect& capture, int pictureCount,
                                                           QString* error) {
    std::unique_ptr<ServerCompositor> compositor(new ServerCompositor(display, tracker, capture));
    xcb_connection_t* c = display.connection();
    const auto width = static_cast<uint16_t>(capture.width());
    const auto height = static_cast<uint16_t>(capture.height());
    const xcb_pixmap_t wallpaper = xcb_generate_id(c);
    xcb_create_pixmap(c, 24, wallpaper, display.root(), width, height);
    compositor->wallpaper_ = compositor->makeTarget(wallpaper, 24);

    // Set to compare the two ways, or to get around a server whose shared pixmaps misbehave.
    const bool turnedOff = qEnvironmentVariableIsSet("GLIMMORA_NO_SHARED_PIXMAPS");
    if (display.hasSharedPixmaps() && display.isCopyableDepth(32) && !turnedOff) {
        if (std::optional<QString> failed = compositor->makeSharedPictures(pictureCount)) {
            *error = *failed;
            return nullptr;
        }
        return compositor;
    }
    logLine(turnedOff ? "Capture without shared pixmaps (GLIMMORA_NO_SHARED_PIXMAPS is set): "
                        "each picture reads its changes from a pixmap the X server composes"
                      : "The X server offers no shared pixmaps: each picture reads its changes "
                        "from a pixmap the X server composes");
    compositor->reader_ = ShmImageReader::create(c, static_cast<size_t>(width) * height * 4, error);
    if (!compositor->reader_) {
        return nullptr;
    }
    const uint8_t depth = display.screen().root_depth;
    const xcb_pixmap_t plain = xcb_generate_id(c);
    xcb_create_pixmap(c, depth, plain, display.root(), width, height);
    compositor->targets_.push_back(compositor->makeTarget(plain, depth));
    for (int i = 0; i < pictureCount; ++i) {
        compositor->pictures_.emplace_back(capture.size(), QImage::Format_RGB32);
    }
    return compositor;
}

ServerCompositor::ServerCompositor(const X11Display& display, TopLevelWindowList& tracker,
                                   const QRect& capture)
    : display_(display),
      tracker_(tracker),
      capture_(capture),
      region_(xcb_generate_id(display.connection())) {
    xcb_xfixes_create_region(display.connection(), region_, 0, nullptr);
}

ServerCompositor::~ServerCompositor() {
    if (display_.hasError()) {
        return;
    }
    xcb_connection_t* c = display_.connection();
    targets_.push_back(wallpaper_);
    for (const Target& target : targets_) {
        xcb_render_free_picture(c, target.picture);
        xcb_free_pixmap(c, target.pixmap);
    }
    xcb_xfixes_destroy_region(c, region_);
}

std::optional<QString> ServerCompositor::makeSharedPictures(int count) {
    xcb_connection_t* c = display_.connection();
    const int width = capture_.width();
    const int height = capture_.height();
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    for (int i = 0; i < count; ++i) {
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        void* memory = id < 0 ? reinterpret_cast<void*>(-1) : shmat(id, nullptr, SHM_RDONLY);
        if (memory == reinterpret_cast<void*>(-1)) {
            const QString why = QString::fromLocal8Bit(std::strerror(errno));
            if (id >= 0) {
                shmctl(id, IPC_RMID, nullptr);
            }
            return QStringLiteral("Cannot share %1 bytes of memory with the X server: %2")
                .arg(bytes)
                .arg(why);
        }
        // Our mapping goes with the last copy of the picture, whoever holds it then.
        pictures_.emplace_back(
            static_cast<const uchar*>(memory), width, height, width * 4, QImage::Format_RGB32,
            [](void* mapping) { shmdt(mapping); }, memory);
        const xcb_shm_seg_t segment = xcb_generate_id(c);
        XcbReply<xcb_generic_error_t> attachError(
            xcb_request_check(c, xcb_shm_attach_checked(c, segment, id, 0)));
        // Marked for removal now that both sides hold it: it goes away with the last detach,
        // even if this process dies.
        shmctl(id, IPC_RMID, nullptr);
        if (attachError) {
            return QStringLiteral(
                       "X server cannot attach our shared memory (a remote display? MIT-SHM "
                       "error %1)")
                .arg(attachError->error_code);
        }
        const xcb_pixmap_t pixmap = xcb_generate_id(c);
        xcb_shm_create_pixmap(c, pixmap, display_.root(), static_cast<uint16_t>(width),
                              static_cast<uint16_t>(height), 32, segment, 0);
        xcb_shm_detach(c, segment);  // the pixmap keeps the memory attached on the server
        targets_.push_back(makeTarget(pixmap, 32));
    }
    return std::nullopt;
}

ServerCompositor::Target ServerCompositor::makeTarget(xcb_pixmap_t pixmap, uint8_t depth) {
    const Target target{pixmap, xcb_generate_id(display_.connection())};
    xcb_render_create_picture(display_.connection(), target.picture, pixmap,
                              display_.pictureFormat(depth, XCB_NONE), 0, nullptr);
    return target;
}

QRegion ServerCompositor::update() {
    tracker_.takeRemoved();  // their pictures went with them; nothing of theirs is kept here
    QRegion changed;         // root coordinates
    if (tracker_.takeWallpaperChanged() || first_) {
        readWallpaper();
        changed = capture_;
        first_ = false;
    }
    changed += tracker_.takeExposed();
    fetchDamage();

    std::vector<TrackedWindow>& windows = tracker_.windows();
    QRegion coveredAbove;  // drawing under it changes nothing visible
    for (size_t i = windows.size(); i-- > 0;) {
        TrackedWindow& window = windows[i];
        if (!window.isComposited()) {
            continue;
        }
        // A newly named or shown window was exposed as a whole; its damage went unread.
        window.contentReset = false;
        const QRect visible = window.outer & capture_;
        if (window.picture == XCB_NONE || visible.isEmpty()) {
            continue;
        }
        QRegion drawn;
        const QPoint origin =  // DAMAGE counts from the window's inside corner
            window.outer.topLeft() + QPoint(window.borderWidth, window.borderWidth);
        for (size_t r = damageOfWindow_[i].begin; r < damageOfWindow_[i].end; ++r) {
            drawn += damage_[r].translated(origin) & visible;
        }
        changed += drawn - coveredAbove;
        coveredAbove += visible;
    }
    const QRegion result = (changed & capture_).translated(-capture_.topLeft());
    if (reader_ && !result.isEmpty()) {
        paint(targets_.front().picture, result);
    }
    return result;
}

void ServerCompositor::fetchDamage() {
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
            // Changed as a whole anyway, or out of sight. A reset drops its damage even before
            // DAMAGE reported it: a new damage object starts out reporting the whole window,
            // and that report may still be on its way.
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

void ServerCompositor::readWallpaper() {
    xcb_connection_t* c = display_.connection();
    const xcb_rectangle_t whole = toX(QRect(QPoint(0, 0), capture_.size()));
    xcb_render_fill_rectangles(c, XCB_RENDER_PICT_OP_SRC, wallpaper_.picture,
                               toRenderColour(kPlainDesktopColour), 1, &whole);
    for (const xcb_pixmap_t pixmap : wallpaperPixmaps(c, display_.root())) {
        if (pixmap == XCB_NONE) {
            continue;
        }
        XcbReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, pixmap), nullptr));
        if (!geometry || !display_.isCopyableDepth(geometry->depth) || geometry->width == 0 ||
            geometry->height == 0) {
            continue;
        }
        // Another client's pixmap, which it may free any time: then the plain colour stays.
        const xcb_render_picture_t tile = xcb_generate_id(c);
        const uint32_t repeat = XCB_RENDER_REPEAT_NORMAL;
        xcb_render_create_picture(c, tile, pixmap,
                                  display_.pictureFormat(geometry->depth, XCB_NONE),
                                  XCB_RENDER_CP_REPEAT, &repeat);
        // Tiled from the root's origin when smaller than the screen.
        xcb_render_composite(c, XCB_RENDER_PICT_OP_SRC, tile, XCB_NONE, wallpaper_.picture,
                             static_cast<int16_t>(capture_.x()), static_cast<int16_t>(capture_.y()),
                             0, 0, 0, 0, whole.width, whole.height);
        xcb_render_free_picture(c, tile);
        return;
    }
}

bool ServerCompositor::compose(int index, QImage& picture, const QRegion& area) {
    if (reader_) {
        reads_.clear();
        auto* pixels = reinterpret_cast<quint32*>(picture.bits());
        const int stride = static_cast<int>(picture.bytesPerLine() / 4);
        for (const QRect& rect : area& picture.rect()) {
            reads_.push_back({targets_.front().pixmap, rect,
                              pixels + static_cast<ptrdiff_t>(rect.y()) * stride + rect.x(),
                              stride});
        }
        reader_->read(reads_, readSucceeded_);
        return std::ranges::all_of(readSucceeded_, [](char ok) { return ok != 0; });
    }
    paint(targets_[static_cast<size_t>(index)].picture, area);
    // Once this answer is back, the server has written the picture.
    xcb_connection_t* c = display_.connection();
    XcbReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return reply != nullptr;
}

void ServerCompositor::paint(xcb_render_picture_t target, const QRegion& area) {
    xcb_connection_t* c = display_.connection();
    const QRect whole(QPoint(0, 0), capture_.size());
    QRegion remaining =
        (area.rectCount() > kMostRectanglesPerPaint ? QRegion(area.boundingRect()) : area) & whole;
    const std::vector<TrackedWindow>& windows = tracker_.windows();
    for (auto window = windows.rbegin(); window != windows.rend() && !remaining.isEmpty();
         ++window) {
        if (!window->isComposited() || window->picture == XCB_NONE) {
            continue;
        }
        const QRect rect = window->outer.translated(-capture_.topLeft());
        const QRegion visible = remaining & rect;
        if (visible.isEmpty()) {
            continue;
        }
        clip(target, visible);
        const xcb_rectangle_t place = toX(rect);
        xcb_render_composite(c, XCB_RENDER_PICT_OP_SRC, window->picture, XCB_NONE, target, 0, 0, 0,
                             0, place.x, place.y, place.width, place.height);
        if (window->depth == 32) {
            // Full alpha added to premultiplied colour leaves the colour and makes it opaque.
            xcb_render_fill_rectangles(c, XCB_RENDER_PICT_OP_ADD, target, {0, 0, 0, 0xffff}, 1,
                                       &place);
        }
        remaining -= rect;
    }
    if (!remaining.isEmpty()) {
        clip(target, remaining);
        xcb_render_composite(c, XCB_RENDER_PICT_OP_SRC, wallpaper_.picture, XCB_NONE, target, 0, 0,
                             0, 0, 0, 0, static_cast<uint16_t>(whole.width()),
                             static_cast<uint16_t>(whole.height()));
    }
}

void ServerCompositor::clip(xcb_render_picture_t target, const QRegion& area) {
    rectangles_.clear();
    for (const QRect& rect : area) {
        rectangles_.push_back(toX(rect));
    }
    xcb_render_set_picture_clip_rectangles(display_.connection(), target, 0, 0,
                                           static_cast<uint32_t>(rectangles_.size()),
                                           rectangles_.data());
}

}  // namespace glimmora
