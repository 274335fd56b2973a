#include "platform/x11/capture/SceneGeometry.h"

#include <gtest/gtest.h>

namespace glimmora {
namespace {

TEST(SceneGeometryTest, MapsTheTargetsCornersToTheirPlaceInThePixmapEitherWayUp) {
    // A 100 × 50 tile under a target whose corner lies at (150, 25) of the tiling: s runs from
    // 1.5 to 4.5 and t from 0.5 to 4.5, or from 0.5 to -3.5 when the pixmap's top is at t = 1.
    const QRect target(-20, 10, 300, 200);
    for (const bool topRowFirst : {true, false}) {
        const auto quad =
            texturedQuad(target, QRect(150, 25, 300, 200), QSize(100, 50), topRowFirst);
        for (const SceneVertex& corner : quad) {
            const bool left = corner.x == -20.f;
            const bool top = corner.y == 10.f;
            EXPECT_TRUE(left || corner.x == 280.f);
            EXPECT_TRUE(top || corner.y == 210.f);
            EXPECT_EQ(corner.s, left ? 1.5f : 4.5f);
            EXPECT_EQ(corner.t, top ? 0.5f : (topRowFirst ? 4.5f : -3.5f));
        }
        EXPECT_EQ(quad[2], quad[3]) << "two triangles that share a diagonal";
        EXPECT_EQ(quad[1], quad[4]);
        EXPECT_NE(quad[0], quad[5]);
    }
}

TEST(SceneGeometryTest, TheConfigurationDecidesElseTheDrawableUnlessTheProbeCaughtItWrong) {
    const struct {
        std::optional<bool> configSays;
        bool drawableSays;
        std::optional<PixmapLayoutProbe> probe;
        bool expected;
    } cases[] = {
        {true, false, PixmapLayoutProbe{true, false}, true},
        {false, true, PixmapLayoutProbe{true, false}, false},
        {std::nullopt, true, std::nullopt, true},
        {std::nullopt, false, std::nullopt, false},
        // X.Org says FALSE for every pixmap while Mesa lays them top row first.
        {std::nullopt, false, PixmapLayoutProbe{true, false}, true},
        {std::nullopt, true, PixmapLayoutProbe{false, true}, false},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(isTopRowFirst(each.configSays, each.drawableSays, each.probe), each.expected)
            << each.configSays.value_or(-1) << " " << each.drawableSays << " "
            << (each.probe ? each.probe->topRowFirst : -1);
    }
}

}  // namespace
}  // namespace glimmora
