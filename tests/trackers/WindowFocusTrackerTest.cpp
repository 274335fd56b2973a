#include "trackers/WindowFocusTracker.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/LogCapture.h"
#include "support/ManualRepeatingTimer.h"
#include "trackers/ActiveWindowRule.h"

namespace glimmora {
namespace {

constexpr std::int32_t kOwnPid = 100;
constexpr std::int32_t kEditor = 200;
constexpr std::int32_t kPanel = 300;

struct W {
    std::uint32_t id;
    std::int32_t pid;
    double width = 500;
    double height = 500;
    int layer = 0;
    double alpha = 1;
    bool active = false;
    bool hidden = false;
};

std::vector<WindowRecord> records(const std::vector<W>& windows) {
    std::vector<WindowRecord> list;
    for (const W& w : windows) {
        list.push_back(
            {w.id, w.pid, w.layer, w.alpha, {0, 0, w.width, w.height}, !w.hidden, w.active});
    }
    return list;
}

TEST(ActiveWindowRuleTest, ChoosesThePrincipalWindowOfTheFrontmostApplication) {
    // Window lists front to back, and the window smart focus must choose (0: none).
    const struct {
        const char* name;
        std::vector<W> frontToBack;
        std::uint32_t chosen;
    } cases[] = {
        {"SkipsOwnWindowsAndPanelsAbove",
         {{1, kOwnPid}, {2, kPanel, 2000, 40, 5}, {3, kEditor}, {4, kPanel + 1}},
         3},
        {"OnlyOwnOrOwnerlessWindows", {{1, kOwnPid}, {2, 0}}, 0},
        {"HiddenOrHigherLayerCannotNameTheApplication",
         {{1, kEditor, 500, 500, 0, 1, false, true}, {2, kEditor, 500, 500, 3}},
         0},
        {"ActiveWindowWinsOverStacking", {{2, kPanel}, {3, kEditor, 500, 500, 0, 1, true}}, 3},
        {"HiddenActiveWindowDoesNotCount",
         {{3, kEditor, 500, 500, 0, 1, true, true}, {4, kPanel}},
         4},
        {"OwnActiveWindowDoesNotCount", {{3, kOwnPid, 500, 500, 0, 1, true}, {4, kPanel}}, 4},
        {"OnlySmallWindows", {{1, kEditor, 99.5, 400}, {2, kEditor, 400, 60}, {3, kPanel}}, 0},
        {"EqualLayersTakeTheFrontmost", {{1, kEditor, 300, 300}, {2, kEditor}}, 1},
        {"LowerLayerBehindBeatsHigherInFront",
         {{1, kEditor, 300, 300, 3}, {2, kEditor}, {3, kEditor}},
         2},
        {"NeverTransparentNegativeLayerOrHidden",
         {{1, kEditor, 500, 500, 0, 0},
          {2, kEditor, 500, 500, -1},
          {3, kEditor, 500, 500, 0, 1, false, true},
          {4, kEditor, 500, 500, 0, 0.01}},
         4},
    };
    for (const auto& c : cases) {
        const std::optional<WindowRecord> chosen =
            chooseActiveWindow(records(c.frontToBack), kOwnPid);
        EXPECT_EQ(chosen ? chosen->windowId : 0u, c.chosen) << c.name;
    }
}

/// The tracker over a 2000 × 1000 monitor with our overlay in front of an editor window.
class WindowFocusTrackerTest : public testing::Test {
protected:
    WindowFocusTrackerTest() { settings.isSmartFocusEnabled = true; }

    void showEditorAt(Rect bounds) {
        windows = {{.windowId = 1, .ownerPid = kOwnPid, .bounds = {0, 0, 2000, 1000}},
                   {.windowId = 2, .ownerPid = kEditor, .bounds = bounds}};
    }

    MemoryUserDefaults defaults;
    AppState settings{defaults};
    std::vector<WindowRecord> windows;
    std::optional<Rect> monitor = Rect{0, 0, 2000, 1000};
    int listReads = 0;
    test::LogCapture log;
    ManualRepeatingTimer* timer = new ManualRepeatingTimer;
    std::unique_ptr<WindowFocusTracker> tracker = std::make_unique<WindowFocusTracker>(
        settings,
        [this] {
            ++listReads;
            return windows;
        },
        [this] { return monitor; }, kOwnPid, std::unique_ptr<RepeatingTimer>(timer));
};

TEST_F(WindowFocusTrackerTest, StartUpdatesAtOnceThenThirtyTimesASecondUntilStopped) {
    showEditorAt({0, 0, 1000, 500});
    tracker->startTracking();
    EXPECT_EQ(tracker->activeWindowBounds(), (Rect{0, 0, 0.5, 0.5}));
    EXPECT_EQ(timer->interval().count(), 33);

    showEditorAt({0, 100, 1000, 500});
    timer->fire();
    EXPECT_DOUBLE_EQ(tracker->activeWindowBounds().y, 0.1);

    tracker->stopTracking();
    EXPECT_FALSE(timer->isActive());
    tracker.reset();  // stops, and says so, once more
    EXPECT_EQ(log.count("WindowFocusTracker: Stopped tracking"), 2);
}

// Smart focus off: no list is read, so an idle desktop costs nothing.
TEST_F(WindowFocusTrackerTest, SmartFocusOffReadsNoWindowListAndReportsNoWindow) {
    showEditorAt({0, 0, 1000, 500});
    tracker->startTracking();
    settings.isSmartFocusEnabled = false;
    timer->fire();
    tracker->activationChanged();
    EXPECT_EQ(listReads, 1);
    EXPECT_FALSE(tracker->hasActiveWindow());

    settings.isSmartFocusEnabled = true;
    timer->fire();
    EXPECT_TRUE(tracker->hasActiveWindow());
}

TEST_F(WindowFocusTrackerTest, OnlyMovesAboveAThousandthArePublished) {
    // One pixel is 0.0005 of the width and 0.001 of the height.
    const struct {
        Rect moved;
        bool publishes;
    } cases[] = {
        {{1, 0, 1000, 500}, false}, {{2, 0, 1000, 500}, false}, {{3, 0, 1000, 500}, true},
        {{0, 2, 1000, 500}, true},  {{0, 0, 1003, 500}, true},  {{0, 0, 1000, 502}, true},
    };
    tracker->startTracking();
    for (const auto& c : cases) {
        showEditorAt({0, 0, 1000, 500});
        timer->fire();
        int boundsChanges = 0;
        int flagAssignments = 0;
        Subscription b =
            tracker->activeWindowBounds.sinkChanges([&](const Rect&) { ++boundsChanges; });
        Subscription f = tracker->hasActiveWindow.sinkChanges([&](bool) { ++flagAssignments; });
        showEditorAt(c.moved);
        timer->fire();
        EXPECT_EQ(boundsChanges, c.publishes ? 1 : 0) << c.moved.x << " " << c.moved.width;
        EXPECT_EQ(flagAssignments, 1) << "the flag is assigned on every update";
    }
}

TEST_F(WindowFocusTrackerTest, MeasuresFromThePrimaryMonitorAndKeepsTheBoundsOfALostWindow) {
    monitor = Rect{1920, 0, 2000, 1000};  // right of a 1920-pixel monitor
    showEditorAt({2420, 250, 1000, 500});
    tracker->startTracking();
    EXPECT_EQ(tracker->activeWindowBounds(), (Rect{0.25, 0.25, 0.5, 0.5}));
    windows = {{.windowId = 2, .ownerPid = kEditor, .bounds = {0, 0, 50, 50}}};
    timer->fire();
    EXPECT_FALSE(tracker->hasActiveWindow());
    EXPECT_EQ(tracker->activeWindowBounds(), (Rect{0.25, 0.25, 0.5, 0.5}));
}

}  // namespace
}  // namespace glimmora
