#include "platform/x11/capture/LayerComposition.h"

#include <gtest/gtest.h>
#include <vector>

#include "platform/x11/capture/PixelRows.h"

namespace glimmora {
namespace {

constexpr quint32 kWallpaper = 0xff101010u;
constexpr quint32 kUntouched = 0xff777777u;

/// A layer of one colour with a stride wider than the layer, as window copies have.
struct SolidLayer {
    SolidLayer(QRect rect, quint32 colour, int extraStride = 3)
        : stride(rect.width() + extraStride),
          pixels(static_cast<size_t>(stride) * rect.height(), colour),
          layer{rect, pixels.data(), stride} {}
    int stride;
    std::vector<quint32> pixels;
    DesktopLayer layer;
};

quint32 at(const QImage& picture, int x, int y) {
    return reinterpret_cast<const quint32*>(picture.constScanLine(y))[x];
}

class LayerCompositionTest : public ::testing::Test {
protected:
    LayerCompositionTest()
        : picture_(40, 30, QImage::Format_RGB32), wallpaper_(40, 30, QImage::Format_RGB32) {
        picture_.fill(kUntouched);
        wallpaper_.fill(kWallpaper);
    }
    QImage picture_;
    QImage wallpaper_;
};

TEST_F(LayerCompositionTest, TopLayerWinsAndWallpaperFillsTheRest) {
    const SolidLayer top(QRect(10, 10, 10, 10), 0xffff0000u);
    const SolidLayer below(QRect(5, 5, 10, 10), 0xff00ff00u);
    const DesktopLayer layers[] = {top.layer, below.layer};
    composeLayers(picture_, QRegion(picture_.rect()), layers, wallpaper_);

    EXPECT_EQ(at(picture_, 12, 12), 0xffff0000u) << "overlap";
    EXPECT_EQ(at(picture_, 19, 19), 0xffff0000u);
    EXPECT_EQ(at(picture_, 6, 6), 0xff00ff00u);
    EXPECT_EQ(at(picture_, 14, 9), 0xff00ff00u);
    EXPECT_EQ(at(picture_, 20, 12), kWallpaper);
    EXPECT_EQ(at(picture_, 4, 4), kWallpaper);
    EXPECT_EQ(at(picture_, 39, 29), kWallpaper);
}

TEST_F(LayerCompositionTest, PaintsNothingOutsideTheArea) {
    const SolidLayer layer(QRect(0, 0, 40, 30), 0xff0000ffu);
    const QRegion area = QRegion(2, 3, 5, 4) + QRegion(30, 20, 4, 4);
    composeLayers(picture_, area, std::span(&layer.layer, 1), wallpaper_);

    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const quint32 expected = area.contains(QPoint(x, y)) ? 0xff0000ffu : kUntouched;
            ASSERT_EQ(at(picture_, x, y), expected) << x << "," << y;
        }
    }
}

TEST_F(LayerCompositionTest, TakesPixelsFromTheRightPlaceOfLayersReachingOutside) {
    // A layer starting left of and above the picture: its pixel (dx, dy) lands at
    // (rect.x + dx, rect.y + dy).
    SolidLayer layer(QRect(-5, -4, 20, 10), 0);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) {
            layer.pixels[static_cast<size_t>(y * layer.stride + x)] = 0xff000000u | (y << 8) | x;
        }
    }
    const SolidLayer farRight(QRect(35, 25, 20, 20), 0xffabcdefu);
    const DesktopLayer layers[] = {layer.layer, farRight.layer};
    composeLayers(picture_, QRegion(picture_.rect()), layers, wallpaper_);

    EXPECT_EQ(at(picture_, 0, 0), 0xff000000u | (4 << 8) | 5);
    EXPECT_EQ(at(picture_, 14, 5), 0xff000000u | (9 << 8) | 19);
    EXPECT_EQ(at(picture_, 15, 5), kWallpaper);
    EXPECT_EQ(at(picture_, 14, 6), kWallpaper);
    EXPECT_EQ(at(picture_, 39, 29), 0xffabcdefu);
    EXPECT_EQ(at(picture_, 34, 29), kWallpaper);
}

TEST(CopyOpaqueTest, SetsAlphaAndKeepsColourForEveryLength) {
    for (int count = 0; count <= 9; ++count) {
        std::vector<quint32> source(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            source[static_cast<size_t>(i)] =
                (static_cast<quint32>(i) << 24) | (0x010203u * (i + 1));
        }
        std::vector<quint32> destination(static_cast<size_t>(count) + 1, 0x12345678u);
        copyOpaque(destination.data(), source.data(), count);
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(destination[static_cast<size_t>(i)], 0xff000000u | (0x010203u * (i + 1)))
                << "pixel " << i << " of " << count;
        }
        EXPECT_EQ(destination.back(), 0x12345678u) << "nothing written past " << count;
    }
}

}  // namespace
}  // namespace glimmora
