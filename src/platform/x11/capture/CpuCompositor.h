#pragma once

#include <xcb/xfixes.h>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <unordered_map>
#include <vector>

#include "platform/x11/capture/LayerComposition.h"
#include "platform/x11/capture/ShmImageReader.h"

namespace glimmora {

class TopLevelWindowList;
class X11Display;

/// The copying path of desktop capture: keeps a CPU copy of each window in the pictures,
/// refreshed from the damaged areas of its named pixmap only, and paints pictures of the
/// capture rectangle from those copies over the wallpaper.
///
/// Each update costs one XFIXES round trip for all damaged windows together plus the
/// shared-memory reads of the damaged pixels (pipelined), each copied once into the window's
/// copy; a picture costs one memcpy per row of what changed. Windows are opaque rectangles:
/// 32-bit (ARGB) windows are shown as if opaque, and window shapes are ignored.
class CpuCompositor {
public:
    /// `capture` is the picture's rectangle in root coordinates. All references must outlive
    /// the compositor.
    CpuCompositor(const X11Display& display, TopLevelWindowList& tracker, ShmImageReader& reader,
                  const QRect& capture);
    ~CpuCompositor();
    CpuCompositor(const CpuCompositor&) = delete;
    CpuCompositor& operator=(const CpuCompositor&) = delete;

    /// Reads what changed since the last call (everything on the first). Returns the part of
    /// the picture, in picture coordinates, that may look different now: empty when nothing
    /// visible changed (drawing outside the capture or under other windows, say).
    QRegion update();

    /// Paints `area` (picture coordinates) of the desktop as of the last update() into
    /// `picture` (the capture's size, Format_RGB32).
    void compose(QImage& picture, const QRegion& area);

private:
    /// A window's pixels, pixmap coordinates (the border's top-left corner is 0,0).
    struct WindowImage {
        QSize size;
        std::vector<quint32> pixels;
        QRect valid;  // the part that holds the window's current contents
        bool hasContent = false;
    };

    void fetchDamage();
    void planReads(QRegion& changed);

    const X11Display& display_;
    TopLevelWindowList& tracker_;
    ShmImageReader& reader_;
    QRect capture_;
    xcb_xfixes_region_t region_;
    std::unordered_map<xcb_window_t, WindowImage> images_;
    QImage wallpaper_;
    bool first_ = true;

    // Kept between updates so that a steady stream of frames allocates nothing big.
    struct DamageRange {
        size_t begin = 0;
        size_t end = 0;
    };
    std::vector<std::pair<size_t, xcb_xfixes_fetch_region_cookie_t>> fetches_;
    std::vector<DamageRange> damageOfWindow_;  // by index in the tracker's list
    std::vector<QRect> damage_;                // window coordinates
    std::vector<ImageRead> reads_;
    std::vector<xcb_window_t> readOwners_;
    std::vector<char> readSucceeded_;
    std::vector<DesktopLayer> layers_;
};

}  // namespace glimmora
