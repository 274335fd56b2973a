#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>
#include <span>

namespace glimmora {

/// One opaque layer of the desktop picture: a window's pixels placed in the picture.
struct DesktopLayer {
    QRect rect;                       // picture coordinates; may reach outside the picture
    const quint32* pixels = nullptr;  // the rect's top-left pixel
    int stride = 0;                   // pixels from one row to the next
};

/// Paints `area` of `picture` (QImage::Format_RGB32) from `topToBottom`, the first layer
/// winning, and from `wallpaper` (the picture's size) where no layer lies. Layers are opaque,
/// so every pixel is written once, one memcpy per row of each visible rectangle, and nothing
/// outside `area` is touched.
void composeLayers(QImage& picture, const QRegion& area, std::span<const DesktopLayer> topToBottom,
                   const QImage& wallpaper);

}  // namespace glimmora
