#include "platform/x11/capture/LayerComposition.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/x11/capture/PixelRows.h"

namespace glimmora {
namespace {

TEST(LayerCompositionTest, PaintsOnlyTheAreaTopLayerFirstAndTheWallpaperElsewhere) {
    // Rows wider than the layers, as window copies have; one reaches past each picture edge.
    const std::vector<quint32> red(43 * 10, 0xffff0000u), green(43 * 10, 0xff00ff00u);
    const DesktopLayer topToBottom[] = {{QRect(10, 2, 40, 10), red.data(), 43},
                                        {QRect(-5, -4, 20, 10), green.data(), 43}};
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(0xff777777u);
    QImage wallpaper(40, 30, QImage::Format_RGB32);
    wallpaper.fill(0xff101010u);
    composeLayers(picture, QRegion(0, 0, 40, 30) - QRegion(30, 20, 10, 10), topToBottom, wallpaper);

    const struct {
        int x, y;
        QRgb expected;
    } cases[] = {{0, 0, 0xff00ff00u},   {9, 5, 0xff00ff00u},   {14, 1, 0xff00ff00u},
                 {10, 5, 0xffff0000u},  {39, 11, 0xffff0000u}, {15, 0, 0xff101010u},
                 {29, 29, 0xff101010u}, {30, 20, 0xff777777u}, {39, 29, 0xff777777u}};
    for (const auto& each : cases) {
        EXPECT_EQ(picture.pixel(each.x, each.y), each.expected) << each.x << ", " << each.y;
    }
}

TEST(LayerCompositionTest, CopiesOpaqueWhateverTheLength) {
    for (int count = 0; count <= 9; ++count) {
        std::vector<quint32> source(static_cast<size_t>(count));
        std::vector<quint32> destination(static_cast<size_t>(count) + 1, 0x12345678u);
        for (int i = 0; i < count; ++i) {
            source[static_cast<size_t>(i)] = quint32(i) << 24 | 0x010203u * (i + 1);
        }
        copyOpaque(destination.data(), source.data(), count);
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(destination[static_cast<size_t>(i)], 0xff000000u | 0x010203u * (i + 1));
        }
        EXPECT_EQ(destination.back(), 0x12345678u) << "nothing written past " << count;
    }
}

}  // namespace
}  // namespace glimmora
