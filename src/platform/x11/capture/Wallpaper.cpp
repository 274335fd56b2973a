#include "platform/x11/capture/Wallpaper.h"

#include <cstring>
#include <vector>

#include "platform/x11/capture/ShmImageReader.h"
#include "platform/x11/connection/X11Display.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {
namespace {

// Larger pixmaps are not tiled from memory (no root pixmap is that big in practice).
constexpr int kLargestTile = 8192;

xcb_pixmap_t pixmapProperty(xcb_connection_t* c, xcb_window_t root, const char* name) {
    XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    if (!atom || atom->atom == XCB_NONE) {
        return XCB_NONE;
    }
    XcbReply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_PIXMAP, 0, 1), nullptr));
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) != 4) {
        return XCB_NONE;
    }
    xcb_pixmap_t pixmap = XCB_NONE;
    std::memcpy(&pixmap, xcb_get_property_value(property.get()), sizeof pixmap);
    return pixmap;
}

/// Wallpaper pixels from `pixmap`, tiled from the root's origin; false when it cannot be read.
bool readPixmap(const X11Display& display, ShmImageReader& reader, xcb_pixmap_t pixmap,
                const QRect& capture, QImage& wallpaper) {
    xcb_connection_t* c = display.connection();
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, pixmap), nullptr));
    if (!geometry || !display.isCopyableDepth(geometry->depth) || geometry->width == 0 ||
        geometry->height == 0) {
        return false;
    }
    const QRect pixmapRect(0, 0, geometry->width, geometry->height);
    auto* target = reinterpret_cast<quint32*>(wallpaper.bits());
    const int targetStride = static_cast<int>(wallpaper.bytesPerLine() / 4);
    std::vector<char> succeeded;
    if (pixmapRect.contains(capture)) {
        const ImageRead read{pixmap, capture, target, targetStride};
        reader.read(std::span(&read, 1), succeeded);
        return succeeded[0] != 0;
    }
    if (pixmapRect.width() > kLargestTile || pixmapRect.height() > kLargestTile) {
        return false;
    }
    std::vector<quint32> tile(static_cast<size_t>(pixmapRect.width()) * pixmapRect.height());
    const ImageRead read{pixmap, pixmapRect, tile.data(), pixmapRect.width()};
    reader.read(std::span(&read, 1), succeeded);
    if (!succeeded[0]) {
        return false;
    }
    const int tileWidth = pixmapRect.width();
    const int tileHeight = pixmapRect.height();
    for (int y = 0; y < capture.height(); ++y) {
        const int tileY = ((capture.y() + y) % tileHeight + tileHeight) % tileHeight;
        const quint32* tileRow = tile.data() + static_cast<size_t>(tileY) * tileWidth;
        quint32* row = target + static_cast<ptrdiff_t>(y) * targetStride;
        for (int x = 0; x < capture.width();) {
            const int tileX = ((capture.x() + x) % tileWidth + tileWidth) % tileWidth;
            const int run = std::min(tileWidth - tileX, capture.width() - x);
            std::memcpy(row + x, tileRow + tileX, static_cast<size_t>(run) * 4);
            x += run;
        }
    }
    return true;
}

}  // namespace

std::array<xcb_pixmap_t, 2> wallpaperPixmaps(xcb_connection_t* connection, xcb_window_t root) {
    return {pixmapProperty(connection, root, "_XROOTPMAP_ID"),
            pixmapProperty(connection, root, "_XSETROOT_ID")};
}

void readWallpaper(const X11Display& display, ShmImageReader& reader, const QRect& capture,
                   QImage& wallpaper) {
    for (const xcb_pixmap_t pixmap : wallpaperPixmaps(display.connection(), display.root())) {
        if (pixmap != XCB_NONE && readPixmap(display, reader, pixmap, capture, wallpaper)) {
            return;
        }
    }
    wallpaper.fill(kPlainDesktopColour);
}

}  // namespace glimmora
