#include "platform/x11/capture/LayerComposition.h"

#include <cstring>

namespace glimmora {
namespace {

void copyRect(uchar* target, qsizetype targetBytesPerLine, const QRect& rect, const quint32* source,
              qsizetype sourceStride) {
    const size_t rowBytes = static_cast<size_t>(rect.width()) * 4;
    for (int y = 0; y < rect.height(); ++y) {
        std::memcpy(target + (rect.y() + y) * targetBytesPerLine + rect.x() * 4,
                    source + y * sourceStride, rowBytes);
    }
}

}  // namespace

void composeLayers(QImage& picture, const QRegion& area, std::span<const DesktopLayer> topToBottom,
                   const QImage& wallpaper) {
    QRegion remaining = area & picture.rect();
    if (remaining.isEmpty()) {
        return;
    }
    uchar* target = picture.bits();
    const qsizetype bytesPerLine = picture.bytesPerLine();
    for (const DesktopLayer& layer : topToBottom) {
        const QRegion visible = remaining & layer.rect;
        for (const QRect& rect : visible) {
            const quint32* source =
                layer.pixels + static_cast<qsizetype>(rect.y() - layer.rect.y()) * layer.stride +
                (rect.x() - layer.rect.x());
            copyRect(target, bytesPerLine, rect, source, layer.stride);
        }
        if (!visible.isEmpty()) {
            remaining -= layer.rect;
            if (remaining.isEmpty()) {
                return;
            }
        }
    }
    const auto* wallpaperPixels = reinterpret_cast<const quint32*>(wallpaper.constBits());
    const qsizetype wallpaperStride = wallpaper.bytesPerLine() / 4;
    for (const QRect& rect : remaining) {
        copyRect(target, bytesPerLine, rect,
                 wallpaperPixels + rect.y() * wallpaperStride + rect.x(), wallpaperStride);
    }
}

}  // namespace glimmora
