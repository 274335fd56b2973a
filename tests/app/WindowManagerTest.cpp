#include "app/WindowManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "support/FakeWindowHandle.h"
#include "support/LogCapture.h"

namespace glimmora {
namespace {

using test::FakeWindowHandle;

std::shared_ptr<FakeWindowHandle> windowAt(std::optional<int> level) {
    return level ? std::make_shared<FakeWindowHandle>(*level) : nullptr;
}

// Only the gaze window here: the menu's suite covers the overlay alone.
TEST(WindowManagerTest, SharingReachesWhicheverWindowsExist) {
    WindowManager manager;
    const auto gaze = windowAt(1001);
    manager.gazeOverlayWindow = gaze;
    manager.setHiddenFromScreenSharing(true);
    EXPECT_EQ(gaze->sharingType(), WindowSharingType::none);
    manager.setHiddenFromScreenSharing(false);
    EXPECT_EQ(gaze->sharingType(), WindowSharingType::readOnly);
}

/// Levels before, a sequence of lowerWindowLevels() (L) and restoreWindowLevels() (R), and
/// the levels after; a missing window is nullopt.
struct LevelCase {
    const char* name;
    std::optional<int> overlay;
    std::optional<int> gaze;
    std::optional<int> savedBefore;
    std::string steps;
    std::optional<int> overlayAfter;
    std::optional<int> gazeAfter;
    std::optional<int> savedAfter;
};

class WindowLevelsTest : public testing::TestWithParam<LevelCase> {};

TEST_P(WindowLevelsTest, LowerAndRestore) {
    const LevelCase& c = GetParam();
    WindowManager manager;
    const auto overlay = windowAt(c.overlay);
    const auto gaze = windowAt(c.gaze);
    manager.overlayWindow = overlay;
    manager.gazeOverlayWindow = gaze;
    manager.savedWindowLevel = c.savedBefore;
    test::LogCapture log;
    for (const char step : c.steps) {
        step == 'L' ? manager.lowerWindowLevels() : manager.restoreWindowLevels();
    }
    EXPECT_EQ(overlay ? std::optional(overlay->level()) : std::nullopt, c.overlayAfter);
    EXPECT_EQ(gaze ? std::optional(gaze->level()) : std::nullopt, c.gazeAfter);
    EXPECT_EQ(manager.savedWindowLevel, c.savedAfter);
    EXPECT_TRUE(log.lines().empty());
}

// WindowLevel: normal 0, overlay 1000, aboveOverlay 1001.
INSTANTIATE_TEST_SUITE_P(
    WindowManagerTest, WindowLevelsTest,
    testing::Values(
        LevelCase{"LowerPutsBothAtNormalAndSavesTheOverlayLevel", 1000, 1001, {}, "L", 0, 0, 1000},
        LevelCase{"RestoreUndoesLower", 1000, 1001, {}, "LR", 1000, 1001, {}},
        LevelCase{"RestoreWithoutLowerUsesTheOverlayLevel", 0, 0, {}, "R", 1000, 1001, {}},
        LevelCase{"GazeGoesOneAboveTheSavedLevel", 7, 1001, {}, "LR", 7, 8, {}},
        LevelCase{"OnlyGazeWindowSavesNothing", {}, 1001, {}, "L", {}, 0, {}},
        LevelCase{"SecondLowerSavesTheLoweredLevel", 1000, {}, {}, "LLR", 0, {}, {}},
        LevelCase{"RestoreWithNoWindowsForgetsTheLevel", {}, {}, 1000, "R", {}, {}, {}}),
    [](const testing::TestParamInfo<LevelCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace glimmora
