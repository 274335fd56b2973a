#include "platform/x11/capture/SceneGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace glimmora {
namespace {

/// The corner of `quad` at picture position (x, y).
SceneVertex corner(const std::array<SceneVertex, 6>& quad, float x, float y) {
    const auto found = std::find_if(quad.begin(), quad.end(), [&](const SceneVertex& vertex) {
        return vertex.x == x && vertex.y == y;
    });
    EXPECT_NE(found, quad.end()) << "no corner at " << x << ", " << y;
    return found != quad.end() ? *found : SceneVertex{};
}

TEST(SceneGeometryTest, CoversTheTargetWithTwoTrianglesOfItsFourCorners) {
    const auto quad = texturedQuad(QRect(10, 20, 30, 40), QRect(0, 0, 30, 40), QSize(30, 40), true);
    for (const auto& [x, y] : {std::pair{10.f, 20.f}, {40.f, 20.f}, {10.f, 60.f}, {40.f, 60.f}}) {
        corner(quad, x, y);
    }
    // Each triangle has the diagonal (top-right to bottom-left) and one more corner.
    EXPECT_EQ(quad[2], quad[3]);
    EXPECT_EQ(quad[1], quad[4]);
    EXPECT_NE(quad[0], quad[5]);
}

TEST(SceneGeometryTest, TopRowFirstPutsThePixmapsTopAtTZero) {
    const auto quad = texturedQuad(QRect(0, 0, 8, 4), QRect(0, 0, 8, 4), QSize(8, 4), true);
    EXPECT_EQ(corner(quad, 0, 0), (SceneVertex{0, 0, 0, 0}));
    EXPECT_EQ(corner(quad, 8, 4), (SceneVertex{8, 4, 1, 1}));
}

TEST(SceneGeometryTest, GlConventionPutsThePixmapsTopAtTOne) {
    const auto quad = texturedQuad(QRect(0, 0, 8, 4), QRect(0, 0, 8, 4), QSize(8, 4), false);
    EXPECT_EQ(corner(quad, 0, 0), (SceneVertex{0, 0, 0, 1}));
    EXPECT_EQ(corner(quad, 8, 4), (SceneVertex{8, 4, 1, 0}));
}

TEST(SceneGeometryTest, ASourcePastThePixmapTilesFromItsOffset) {
    // A 100 × 50 tile under a 300 × 200 picture whose corner lies at (150, 25) of the tiling.
    const auto quad =
        texturedQuad(QRect(0, 0, 300, 200), QRect(150, 25, 300, 200), QSize(100, 50), true);
    EXPECT_EQ(corner(quad, 0, 0), (SceneVertex{0, 0, 1.5f, 0.5f}));
    EXPECT_EQ(corner(quad, 300, 200), (SceneVertex{300, 200, 4.5f, 4.5f}));
    const auto flipped =
        texturedQuad(QRect(0, 0, 300, 200), QRect(150, 25, 300, 200), QSize(100, 50), false);
    EXPECT_EQ(corner(flipped, 0, 0).t, 0.5f);
    EXPECT_EQ(corner(flipped, 0, 200).t, -3.5f);
}

TEST(SceneGeometryTest, ATargetMayReachOutsideThePicture) {
    const auto quad =
        texturedQuad(QRect(-20, 470, 100, 30), QRect(0, 0, 100, 30), QSize(100, 30), true);
    EXPECT_EQ(corner(quad, -20, 470), (SceneVertex{-20, 470, 0, 0}));
    EXPECT_EQ(corner(quad, 80, 500), (SceneVertex{80, 500, 1, 1}));
}

TEST(SceneGeometryTest, AConfigurationThatSaysTrueOrFalseDecides) {
    const PixmapLayoutProbe contradicting{true, false};
    EXPECT_TRUE(isTopRowFirst(true, false, contradicting));
    EXPECT_FALSE(isTopRowFirst(false, true, contradicting));
    EXPECT_TRUE(isTopRowFirst(true, false, std::nullopt));
    EXPECT_FALSE(isTopRowFirst(false, true, std::nullopt));
}

TEST(SceneGeometryTest, DontCareAsksTheDrawableWhileTheProbeFoundItsAnswerTrue) {
    EXPECT_TRUE(isTopRowFirst(std::nullopt, true, std::nullopt));
    EXPECT_FALSE(isTopRowFirst(std::nullopt, false, std::nullopt));
    EXPECT_TRUE(isTopRowFirst(std::nullopt, true, PixmapLayoutProbe{true, true}));
    EXPECT_FALSE(isTopRowFirst(std::nullopt, false, PixmapLayoutProbe{false, false}));
}

TEST(SceneGeometryTest, DontCareTrustsWhatTheProbeSawWhenTheDrawableAnsweredWrongly) {
    // X.Org says FALSE for every pixmap while Mesa lays them top row first.
    EXPECT_TRUE(isTopRowFirst(std::nullopt, false, PixmapLayoutProbe{true, false}));
    EXPECT_FALSE(isTopRowFirst(std::nullopt, true, PixmapLayoutProbe{false, true}));
}

}  // namespace
}  // namespace glimmora
