#pragma once

#include <xcb/render.h>
#include <xcb/xfixes.h>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "platform/x11/capture/ShmImageReader.h"

namespace glimmora {

class TopLevelWindowList;
class X11Display;

/// The copying path of desktop capture: the X server composes the pictures from the windows'
/// named pixmaps; we only work out which areas changed and never touch a window's pixels.
///
/// Each picture is a pixmap of depth 32 in memory shared with the server (MIT-SHM shared
/// pixmaps), and its QImage lies over that memory: no copy on our side. To bring a picture up to
/// date the server paints only its out-of-date area (RENDER, op Src), top window first, each
/// clipped to what no window above covers, then the wallpaper (tiled once into a pixmap of
/// ours) in what is left: every pixel is written once. Sources of depth 24 come out with a full
/// alpha byte, and 32-bit (ARGB) windows get full alpha added over them, so the pictures are
/// valid QImage::Format_RGB32 (0xffRRGGBB) and translucent windows show as if opaque. Window
/// shapes are ignored.
///
/// Costs: an update is one XFIXES round trip for all damaged windows together (none when nothing
/// was drawn); a picture is a few requests per window in its out-of-date area and one round trip,
/// so that the server has finished writing before the picture is handed over. The server copies
/// a change once into each picture as its turn comes; we copy nothing, and the draw loop uploads
/// the changed area.
///
/// A server without shared pixmaps gets one plain pixmap, composed the same way at every update,
/// and each picture reads what it lacks from it through MIT-SHM: one read of the changed area
/// instead of one per window, which the server writes into shared memory and we copy once more.
class ServerCompositor {
public:
    /// `pictureCount` pictures of `capture` (the picture's rectangle in root coordinates); null
    /// with one error line when the server will not share memory. The references must outlive
    /// the compositor; the pictures may outlive it.
    static std::unique_ptr<ServerCompositor> create(const X11Display& display,
                                                    TopLevelWindowList& tracker,
                                                    const QRect& capture, int pictureCount,
                                                    QString* error);
    ~ServerCompositor();
    ServerCompositor(const ServerCompositor&) = delete;
    ServerCompositor& operator=(const ServerCompositor&) = delete;

    /// The pictures, Format_RGB32, once: compose() addresses them by their index here.
    std::vector<QImage> takePictures() { return std::move(pictures_); }

    /// Takes in what changed since the last call (everything on the first). Returns the part of
    /// the picture, in picture coordinates, that may look different now: empty when nothing
    /// visible changed (drawing outside the capture or under other windows, say).
    QRegion update();

    /// Paints `area` (picture coordinates) of the desktop as of the last update() into picture
    /// `index`, which no one else may hold. False when the server did not answer.
    bool compose(int index, QImage& picture, const QRegion& area);

private:
    struct Target {
        xcb_pixmap_t pixmap = XCB_NONE;
        xcb_render_picture_t picture = XCB_NONE;
    };

    ServerCompositor(const X11Display& display, TopLevelWindowList& tracker, const QRect& capture);
    std::optional<QString> makeSharedPictures(int count);
    Target makeTarget(xcb_pixmap_t pixmap, uint8_t depth);
    void readWallpaper();
    void fetchDamage();
    void paint(xcb_render_picture_t target, const QRegion& area);
    void clip(xcb_render_picture_t target, const QRegion& area);

    const X11Display& display_;
    TopLevelWindowList& tracker_;
    QRect capture_;
    xcb_xfixes_region_t region_;
    Target wallpaper_;
    std::vector<Target> targets_;  // one per picture, or the one plain pixmap
    std::vector<QImage> pictures_;
    std::unique_ptr<ShmImageReader> reader_;  // without shared pixmaps only
    bool first_ = true;

    // Kept between updates so that a steady stream of frames allocates nothing big.
    struct DamageRange {
        size_t begin = 0;
        size_t end = 0;
    };
    std::vector<std::pair<size_t, xcb_xfixes_fetch_region_cookie_t>> fetches_;
    std::vector<DamageRange> damageOfWindow_;  // by index in the tracker's list
    std::vector<QRect> damage_;                // window coordinates
    std::vector<xcb_rectangle_t> rectangles_;
    std::vector<ImageRead> reads_;
    std::vector<char> readSucceeded_;
};

}  // namespace glimmora
