#include "trackers/MouseTracker.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/LogCapture.h"

namespace glimmora {
namespace {

using Lines = std::vector<std::string>;

class MouseTrackerTest : public testing::Test {
protected:
    MouseTrackerTest() {
        tracker.setClickExplosionHandler([this](float x, float y) { clicks.push_back({x, y}); });
        tracker.startTracking();
        log.clear();
    }

    MemoryUserDefaults defaults;
    AppState state{defaults};
    std::optional<Rect> primary = Rect{0, 0, 1920, 1080};
    std::optional<Point> pointer = Point{0, 0};
    std::vector<std::pair<float, float>> clicks;
    test::LogCapture log;
    MouseTracker tracker{state, [this] { return primary; }, [this] { return pointer; }};
};

TEST_F(MouseTrackerTest, PublishesThePositionAsFractionsOfThePrimaryMonitorUnclamped) {
    const struct {
        Rect primary;
        Point pointer;
        float x;
        float y;
    } cases[] = {
        {{0, 0, 1920, 1080}, {1920, 1080}, 1, 1},
        // A 2560-pixel monitor left of the primary puts the primary's origin at x = 2560.
        {{2560, 200, 1920, 1080}, {3040, 470}, 0.25f, 0.25f},
        {{2560, 200, 1920, 1080}, {1600, 2360}, -0.5f, 2},
    };
    for (const auto& c : cases) {
        primary = c.primary;
        tracker.pointerMoved(c.pointer.x, c.pointer.y);
        EXPECT_EQ(tracker.mousePosition(), c.pointer);
        EXPECT_EQ(tracker.normalizedX(), c.x);
        EXPECT_EQ(tracker.normalizedY(), c.y);
    }
}

TEST_F(MouseTrackerTest, LeftClickExplodesAtThePointerOnlyWhileExplosionsAreOn) {
    pointer = Point{640, 270};  // a third of the width, a quarter of the height
    tracker.leftButtonPressed();
    state.isExplosionEnabled = true;
    primary.reset();
    tracker.leftButtonPressed();
    EXPECT_TRUE(clicks.empty());
    EXPECT_TRUE(log.lines().empty());

    primary = Rect{0, 0, 1920, 1080};
    tracker.leftButtonPressed();
    EXPECT_EQ(clicks, (std::vector<std::pair<float, float>>{{1.0f / 3, 0.25f}}));
    // The shortest text that reads back as the same float.
    EXPECT_EQ(log.lines(), Lines{"BOOM at (0.33333334, 0.25)"});
    EXPECT_EQ(tracker.normalizedX(), 0.5f) << "a click does not move the published position";
}

TEST_F(MouseTrackerTest, AltFTogglesFocusWhateverElseIsHeld) {
    const struct {
        KeySymbol key;
        ModifierMask modifiers;
        bool toggles;
    } cases[] = {
        {kKeyF, kAlt, true},
        {kKeyF, kAlt | kNumLock | kControl, true},
        {kKeyG, kAlt, false},
        {kKeyF, kNoModifiers, false},
        {kKeyF, kControl | kSuper | kShift, false},
        {0x46, kAlt | kShift, false},  // an upper-case F
    };
    for (const auto& c : cases) {
        const bool before = state.isFocusEnabled();
        log.clear();
        tracker.keyPressed(c.key, c.modifiers);
        EXPECT_EQ(state.isFocusEnabled(), before != c.toggles) << c.key << " " << c.modifiers;
        EXPECT_EQ(log.lines(), c.toggles ? Lines{before ? "Focus: OFF" : "Focus: ON"} : Lines{});
    }
}

}  // namespace
}  // namespace glimmora
