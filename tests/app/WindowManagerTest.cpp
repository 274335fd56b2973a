#include "app/WindowManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/FakeWindowHandle.h"

namespace glimmora {
namespace {

using test::FakeWindowHandle;

std::string printedBy(const std::function<void()>& action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

class WindowManagerTest : public testing::Test {
protected:
    std::shared_ptr<FakeWindowHandle> addOverlay(int level = WindowLevel::overlay) {
        auto window = std::make_shared<FakeWindowHandle>(level);
        manager.overlayWindow = window;
        return window;
    }
    std::shared_ptr<FakeWindowHandle> addGazeWindow(int level = WindowLevel::aboveOverlay) {
        auto window = std::make_shared<FakeWindowHandle>(level);
        manager.gazeOverlayWindow = window;
        return window;
    }

    WindowManager manager;
};

TEST_F(WindowManagerTest, HidingWithNoWindowsOnlyPrintsTheLine) {
    EXPECT_EQ(printedBy([&] { manager.setHiddenFromScreenSharing(true); }),
              "Overlay hidden from screen sharing: true\n");
    EXPECT_EQ(manager.overlayWindow, nullptr);
    EXPECT_EQ(manager.gazeOverlayWindow, nullptr);
    EXPECT_FALSE(manager.savedWindowLevel.has_value());
}

TEST_F(WindowManagerTest, HidingAppliesToBothWindowsAndShowingUndoesIt) {
    const auto overlay = addOverlay();
    const auto gaze = addGazeWindow();

    EXPECT_EQ(printedBy([&] { manager.setHiddenFromScreenSharing(true); }),
              "Overlay hidden from screen sharing: true\n");
    EXPECT_EQ(overlay->sharingType(), WindowSharingType::none);
    EXPECT_EQ(gaze->sharingType(), WindowSharingType::none);

    EXPECT_EQ(printedBy([&] { manager.setHiddenFromScreenSharing(false); }),
              "Overlay hidden from screen sharing: false\n");
    EXPECT_EQ(overlay->sharingType(), WindowSharingType::readOnly);
    EXPECT_EQ(gaze->sharingType(), WindowSharingType::readOnly);
}

TEST_F(WindowManagerTest, HidingReachesWhicheverWindowExists) {
    const auto gaze = addGazeWindow();
    printedBy([&] { manager.setHiddenFromScreenSharing(true); });
    EXPECT_EQ(gaze->sharingType(), WindowSharingType::none);

    manager.gazeOverlayWindow.reset();
    const auto overlay = addOverlay();
    printedBy([&] { manager.setHiddenFromScreenSharing(true); });
    EXPECT_EQ(overlay->sharingType(), WindowSharingType::none);
}

TEST_F(WindowManagerTest, GazeWindowCreatedAfterHidingStaysVisibleUntilTheNextToggle) {
    addOverlay();
    printedBy([&] { manager.setHiddenFromScreenSharing(true); });

    const auto gaze = addGazeWindow();  // a new window starts with the default: captured
    EXPECT_EQ(gaze->sharingType(), WindowSharingType::readOnly);

    printedBy([&] { manager.setHiddenFromScreenSharing(false); });
    printedBy([&] { manager.setHiddenFromScreenSharing(true); });
    EXPECT_EQ(gaze->sharingType(), WindowSharingType::none);
}

TEST_F(WindowManagerTest, LevelOperationsPrintNothing) {
    addOverlay();
    addGazeWindow();
    EXPECT_EQ(printedBy([&] {
                  manager.lowerWindowLevels();
                  manager.restoreWindowLevels();
              }),
              "");
}

TEST_F(WindowManagerTest, LowerPutsBothWindowsAtNormalAndSavesTheOverlayLevel) {
    const auto overlay = addOverlay();
    const auto gaze = addGazeWindow();

    manager.lowerWindowLevels();

    EXPECT_EQ(overlay->level(), WindowLevel::normal);
    EXPECT_EQ(gaze->level(), WindowLevel::normal);
    EXPECT_EQ(manager.savedWindowLevel, WindowLevel::overlay);
}

TEST_F(WindowManagerTest, LowerAndRestoreAtNormalLevelsRoundTrips) {
    const auto overlay = addOverlay();
    const auto gaze = addGazeWindow();

    manager.lowerWindowLevels();
    manager.restoreWindowLevels();

    EXPECT_EQ(overlay->level(), WindowLevel::overlay);
    EXPECT_EQ(gaze->level(), WindowLevel::aboveOverlay);
    EXPECT_FALSE(manager.savedWindowLevel.has_value());
    EXPECT_EQ(overlay->levelHistory, (std::vector<int>{0, 1000}));
    EXPECT_EQ(gaze->levelHistory, (std::vector<int>{0, 1001}));
}

TEST_F(WindowManagerTest, RestoreWithoutLowerUsesTheOverlayLevel) {
    const auto overlay = addOverlay(WindowLevel::normal);
    const auto gaze = addGazeWindow(WindowLevel::normal);

    manager.restoreWindowLevels();

    EXPECT_EQ(overlay->level(), 1000);
    EXPECT_EQ(gaze->level(), 1001);
    EXPECT_FALSE(manager.savedWindowLevel.has_value());
}

TEST_F(WindowManagerTest, RestoreTakesTheSavedLevelEvenWhenItIsNotTheOverlayLevel) {
    const auto overlay = addOverlay(7);
    const auto gaze = addGazeWindow();

    manager.lowerWindowLevels();
    EXPECT_EQ(manager.savedWindowLevel, 7);
    manager.restoreWindowLevels();

    EXPECT_EQ(overlay->level(), 7);
    EXPECT_EQ(gaze->level(), 8);  // one above the restored overlay, not the fixed 1001
}

TEST_F(WindowManagerTest, OnlyGazeWindowGoesToNormalAndBackAboveTheOverlay) {
    const auto gaze = addGazeWindow();

    manager.lowerWindowLevels();
    EXPECT_EQ(gaze->level(), WindowLevel::normal);
    EXPECT_FALSE(manager.savedWindowLevel.has_value());

    manager.restoreWindowLevels();
    EXPECT_EQ(gaze->level(), WindowLevel::aboveOverlay);
}

TEST_F(WindowManagerTest, LowerWithoutOverlayForgetsAnEarlierSavedLevel) {
    manager.savedWindowLevel = 5;
    const auto gaze = addGazeWindow();

    manager.lowerWindowLevels();
    manager.restoreWindowLevels();

    EXPECT_EQ(gaze->level(), WindowLevel::aboveOverlay);
}

TEST_F(WindowManagerTest, SecondLowerSavesTheAlreadyLoweredLevel) {
    // Two alerts without a restore between them: the second save sees level 0, and the
    // restore puts the overlay there (lowering saves whatever level the overlay has).
    const auto overlay = addOverlay();
    manager.lowerWindowLevels();
    manager.lowerWindowLevels();
    EXPECT_EQ(manager.savedWindowLevel, WindowLevel::normal);

    manager.restoreWindowLevels();
    EXPECT_EQ(overlay->level(), WindowLevel::normal);
}

TEST_F(WindowManagerTest, RestoreWithNoWindowsOnlyClearsTheSavedLevel) {
    manager.savedWindowLevel = 1000;
    manager.restoreWindowLevels();
    EXPECT_FALSE(manager.savedWindowLevel.has_value());
}

TEST_F(WindowManagerTest, ReplacingTheGazeWindowLeavesTheOldOneAlone) {
    const auto first = addGazeWindow();
    const auto second = addGazeWindow();

    manager.lowerWindowLevels();

    EXPECT_EQ(second->level(), WindowLevel::normal);
    EXPECT_EQ(first->level(), WindowLevel::aboveOverlay);
    EXPECT_TRUE(first->levelHistory.empty());
}

}  // namespace
}  // namespace glimmora
