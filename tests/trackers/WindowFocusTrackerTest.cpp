#include "trackers/WindowFocusTracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/ManualRepeatingTimer.h"
#include "trackers/ActiveWindowRule.h"

namespace glimmora {
namespace {

constexpr std::int32_t kOwnPid = 100;
constexpr std::int32_t kEditorPid = 200;
constexpr std::int32_t kPanelPid = 300;

WindowRecord window(std::uint32_t id, std::int32_t pid, Rect bounds, int layer = 0,
                    double alpha = 1) {
    return {.windowId = id, .ownerPid = pid, .layer = layer, .alpha = alpha, .bounds = bounds};
}

std::optional<std::uint32_t> chosenId(const std::vector<WindowRecord>& list) {
    const std::optional<WindowRecord> chosen = chooseActiveWindow(list, kOwnPid);
    return chosen ? std::optional(chosen->windowId) : std::nullopt;
}

// --- The active-window rule ---

TEST(ActiveWindowRule, SkipsOwnOverlayAndPanelsStackedAboveTheApplication) {
    const std::vector<WindowRecord> list{
        window(1, kOwnPid, {0, 0, 2000, 1000}),        // the overlay covers everything
        window(2, kPanelPid, {0, 0, 2000, 400}, 5),    // a dock above the application
        window(3, kEditorPid, {10, 20, 800, 600}),     // the active application
        window(4, kPanelPid + 1, {0, 0, 1500, 900})};  // another application behind it
    EXPECT_EQ(chosenId(list), 3u);
    EXPECT_EQ(frontmostApplicationPid(list, kOwnPid), kEditorPid);
}

TEST(ActiveWindowRule, TheActiveWindowNamesTheApplicationOverStacking) {
    // Focus without raise: the editor is focused while a viewer's window is stacked above it.
    WindowRecord editor = window(3, kEditorPid, {10, 20, 800, 600});
    editor.isActive = true;
    const std::vector<WindowRecord> list{window(2, kPanelPid + 1, {0, 0, 1500, 900}), editor};
    EXPECT_EQ(chosenId(list), 3u);
    // An active window that is hidden, ownerless or our own does not count: stacking decides.
    for (WindowRecord active :
         {window(3, kEditorPid, {0, 0, 500, 500}), window(3, 0, {0, 0, 500, 500}),
          window(3, kOwnPid, {0, 0, 500, 500})}) {
        active.isActive = true;
        active.isOnScreen = active.ownerPid != kEditorPid;
        EXPECT_EQ(
            frontmostApplicationPid({active, window(4, kPanelPid, {0, 0, 500, 500})}, kOwnPid),
            kPanelPid);
    }
}

TEST(ActiveWindowRule, NoFrontmostApplicationYieldsNothing) {
    EXPECT_EQ(chosenId({}), std::nullopt);
    EXPECT_EQ(chosenId({window(1, kOwnPid, {0, 0, 500, 500})}), std::nullopt);
    // Windows without a known owner cannot name an application.
    EXPECT_EQ(chosenId({window(1, 0, {0, 0, 500, 500})}), std::nullopt);
    // Nor can hidden windows or windows outside the normal layer.
    WindowRecord hidden = window(1, kEditorPid, {0, 0, 500, 500});
    hidden.isOnScreen = false;
    EXPECT_EQ(chosenId({hidden, window(2, kEditorPid, {0, 0, 500, 500}, 3)}), std::nullopt);
}

TEST(ActiveWindowRule, ApplicationWithOnlySmallWindowsYieldsNothing) {
    const std::vector<WindowRecord> list{
        window(1, kEditorPid, {0, 0, 99.5, 400}),   // a tall, narrow palette
        window(2, kEditorPid, {0, 0, 400, 60}),     // a toolbar
        window(3, kPanelPid, {0, 0, 1000, 1000})};  // a large window of another application
    EXPECT_EQ(chosenId(list), std::nullopt);
}

TEST(ActiveWindowRule, AcceptsWindowOfExactlyTheMinimumSize) {
    EXPECT_EQ(chosenId({window(1, kEditorPid, {0, 0, 100, 100})}), 1u);
}

TEST(ActiveWindowRule, EqualLayersChooseTheFrontmostWindow) {
    const std::vector<WindowRecord> list{window(1, kEditorPid, {0, 0, 300, 300}),
                                         window(2, kEditorPid, {0, 0, 900, 900})};
    EXPECT_EQ(chosenId(list), 1u);
}

TEST(ActiveWindowRule, LowerLayerBehindBeatsHigherLayerInFront) {
    const std::vector<WindowRecord> list{window(1, kEditorPid, {0, 0, 300, 300}, 3),
                                         window(2, kEditorPid, {0, 0, 900, 900}, 0),
                                         window(3, kEditorPid, {0, 0, 900, 900}, 0)};
    EXPECT_EQ(chosenId(list), 2u);
}

TEST(ActiveWindowRule, NeverChoosesTransparentNegativeLayerOrHiddenWindows) {
    WindowRecord hidden = window(3, kEditorPid, {0, 0, 500, 500});
    hidden.isOnScreen = false;
    const std::vector<WindowRecord> list{window(1, kEditorPid, {0, 0, 500, 500}, 0, 0),
                                         window(2, kEditorPid, {0, 0, 500, 500}, -1), hidden,
                                         window(4, kEditorPid, {0, 0, 500, 500}, 0, 0.01)};
    EXPECT_EQ(chosenId(list), 4u);
    EXPECT_EQ(principalWindowOf({list[0], list[1], list[2]}, kEditorPid), std::nullopt);
}

TEST(ActiveWindowRule, RejectsNotANumberGeometryAndOpacity) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<WindowRecord> list{window(1, kEditorPid, {0, 0, nan, 500}),
                                         window(2, kEditorPid, {0, 0, 500, nan}),
                                         window(3, kEditorPid, {0, 0, 500, 500}, 0, nan)};
    EXPECT_EQ(principalWindowOf(list, kEditorPid), std::nullopt);
}

TEST(ActiveWindowRule, HighestPossibleLayerNeverQualifies) {
    // The best layer starts at the largest integer and a candidate must be strictly below it.
    const int top = std::numeric_limits<int>::max();
    EXPECT_EQ(principalWindowOf({window(1, kEditorPid, {0, 0, 500, 500}, top)}, kEditorPid),
              std::nullopt);
    EXPECT_EQ(
        principalWindowOf({window(1, kEditorPid, {0, 0, 500, 500}, top - 1)}, kEditorPid)->windowId,
        1u);
}

// --- Normalisation ---

TEST(NormalizeToMonitor, QuarterWindowAndMoveDown) {
    const Rect monitor{0, 0, 2000, 1000};
    EXPECT_EQ(normalizeToMonitor({0, 0, 1000, 500}, monitor), (Rect{0, 0, 0.5, 0.5}));
    const Rect moved = normalizeToMonitor({0, 100, 1000, 500}, monitor);
    EXPECT_DOUBLE_EQ(moved.y, 0.1);
    EXPECT_EQ(moved.height, 0.5);
}

TEST(NormalizeToMonitor, MeasuresFromThePrimaryMonitorsCorner) {
    // Primary monitor right of a 1920-pixel one; the window is centred on it.
    const Rect monitor{1920, 0, 2000, 1000};
    const Rect n = normalizeToMonitor({1920 + 500, 250, 1000, 500}, monitor);
    EXPECT_DOUBLE_EQ(n.x, 0.25);
    EXPECT_DOUBLE_EQ(n.y, 0.25);
    EXPECT_DOUBLE_EQ(n.width, 0.5);
    EXPECT_DOUBLE_EQ(n.height, 0.5);
}

// --- The tracker ---

class WindowFocusTrackerTest : public testing::Test {
protected:
    WindowFocusTrackerTest() {
        auto ownedTimer = std::make_unique<ManualRepeatingTimer>();
        timer = ownedTimer.get();
        tracker = std::make_unique<WindowFocusTracker>(
            settings,
            [this] {
                ++listRequests;
                return windows;
            },
            [this] { return monitor; }, kOwnPid, std::move(ownedTimer));
        settings.isSmartFocusEnabled = true;
    }

    std::string start() {
        testing::internal::CaptureStdout();
        tracker->startTracking();
        return testing::internal::GetCapturedStdout();
    }

    void showEditorAt(Rect bounds) {
        windows = {window(1, kOwnPid, {0, 0, 2000, 1000}), window(2, kEditorPid, bounds)};
    }

    MemoryUserDefaults defaults;
    AppState settings{defaults};
    std::vector<WindowRecord> windows;
    std::optional<Rect> monitor = Rect{0, 0, 2000, 1000};
    int listRequests = 0;
    ManualRepeatingTimer* timer = nullptr;
    std::unique_ptr<WindowFocusTracker> tracker;
};

TEST_F(WindowFocusTrackerTest, StartUpdatesAtOnceSchedulesThirtyHertzAndLogs) {
    EXPECT_FALSE(tracker->hasActiveWindow());
    EXPECT_EQ(tracker->activeWindowBounds(), (Rect{0, 0, 1, 1}));
    showEditorAt({0, 0, 1000, 500});

    EXPECT_EQ(start(), "WindowFocusTracker: Started tracking\n");
    EXPECT_EQ(listRequests, 1);
    EXPECT_TRUE(tracker->hasActiveWindow());
    EXPECT_EQ(tracker->activeWindowBounds(), (Rect{0, 0, 0.5, 0.5}));
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval().count(), 33);

    showEditorAt({0, 100, 1000, 500});
    timer->fire();
    EXPECT_EQ(listRequests, 2);
    EXPECT_DOUBLE_EQ(tracker->activeWindowBounds().y, 0.1);
}

TEST_F(WindowFocusTrackerTest, StopHaltsTheTimerAndLogsEvenWhenIdle) {
    testing::internal::CaptureStdout();
    tracker->stopTracking();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "WindowFocusTracker: Stopped tracking\n");

    start();
    testing::internal::CaptureStdout();
    tracker->stopTracking();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "WindowFocusTracker: Stopped tracking\n");
    EXPECT_FALSE(timer->isActive());
    EXPECT_FALSE(tracker->isTracking());

    testing::internal::CaptureStdout();
    tracker.reset();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "WindowFocusTracker: Stopped tracking\n");
}

TEST_F(WindowFocusTrackerTest, SmartFocusOffNeverRequestsTheWindowList) {
    showEditorAt({0, 0, 1000, 500});
    start();
    ASSERT_TRUE(tracker->hasActiveWindow());
    const int requestsWhileOn = listRequests;

    settings.isSmartFocusEnabled = false;
    timer->fire();
    EXPECT_FALSE(tracker->hasActiveWindow());
    tracker->activationChanged();
    timer->fire();
    EXPECT_EQ(listRequests, requestsWhileOn);
    EXPECT_EQ(tracker->activeWindowBounds(), (Rect{0, 0, 0.5, 0.5}));

    settings.isSmartFocusEnabled = true;
    timer->fire();
    EXPECT_TRUE(tracker->hasActiveWindow());
}

TEST_F(WindowFocusTrackerTest, SmartFocusOffFromTheStartReportsNoWindow) {
    settings.isSmartFocusEnabled = false;
    showEditorAt({0, 0, 1000, 500});
    start();
    timer->fire();
    EXPECT_EQ(listRequests, 0);
    EXPECT_FALSE(tracker->hasActiveWindow());
}

TEST_F(WindowFocusTrackerTest, SmallMovesDoNotRepublishBoundsButReassignTheFlag) {
    showEditorAt({0, 0, 1000, 500});
    start();
    int boundsChanges = 0;
    int flagAssignments = 0;
    Subscription b = tracker->activeWindowBounds.sinkChanges([&](const auto&) { ++boundsChanges; });
    Subscription f = tracker->hasActiveWindow.sinkChanges([&](bool) { ++flagAssignments; });

    showEditorAt({1, 0, 1000, 500});  // 0.0005 of the width
    timer->fire();
    showEditorAt({2, 0, 1000, 500});  // exactly the threshold: not more than it
    timer->fire();
    EXPECT_EQ(boundsChanges, 0);
    EXPECT_EQ(flagAssignments, 2);
    EXPECT_EQ(tracker->activeWindowBounds(), (Rect{0, 0, 0.5, 0.5}));

    showEditorAt({3, 0, 1000, 500});
    timer->fire();
    EXPECT_EQ(boundsChanges, 1);
    EXPECT_DOUBLE_EQ(tracker->activeWindowBounds().x, 0.0015);

    showEditorAt({3, 0, 1000, 503});  // only the height changes noticeably
    timer->fire();
    EXPECT_EQ(boundsChanges, 2);
}

TEST_F(WindowFocusTrackerTest, LosingTheWindowKeepsTheLastBounds) {
    showEditorAt({500, 250, 1000, 500});
    start();
    windows = {window(2, kEditorPid, {0, 0, 50, 50})};
    timer->fire();
    EXPECT_FALSE(tracker->hasActiveWindow());
    EXPECT_EQ(tracker->activeWindowBounds(), (Rect{0.25, 0.25, 0.5, 0.5}));
}

TEST_F(WindowFocusTrackerTest, MissingMonitorLeavesEverythingUnchanged) {
    showEditorAt({0, 0, 1000, 500});
    start();
    int notifications = 0;
    Subscription s = tracker->objectWillChange().connect([&] { ++notifications; });

    windows.clear();
    for (const std::optional<Rect>& absent :
         {std::optional<Rect>(), std::optional<Rect>(Rect{0, 0, 0, 1000})}) {
        monitor = absent;
        timer->fire();
    }
    EXPECT_EQ(notifications, 0);
    EXPECT_TRUE(tracker->hasActiveWindow());
    EXPECT_EQ(listRequests, 1);
}

TEST_F(WindowFocusTrackerTest, ActivationUpdatesAtOnceOnlyWhileTracking) {
    showEditorAt({0, 0, 1000, 500});
    tracker->activationChanged();
    EXPECT_EQ(listRequests, 0);

    start();
    windows.insert(windows.begin() + 1, window(7, kPanelPid, {0, 0, 2000, 1000}));
    tracker->activationChanged();  // no timer tick in between
    EXPECT_EQ(tracker->activeWindowBounds(), (Rect{0, 0, 1, 1}));

    testing::internal::CaptureStdout();
    tracker->stopTracking();
    testing::internal::GetCapturedStdout();
    const int requestsBeforeStop = listRequests;
    tracker->activationChanged();
    EXPECT_EQ(listRequests, requestsBeforeStop);
}

TEST_F(WindowFocusTrackerTest, WillChangeFiresBeforeTheNewValueIsStored) {
    showEditorAt({0, 0, 1000, 500});
    std::vector<bool> seenFlags;
    Subscription s = tracker->objectWillChange().connect(
        [&] { seenFlags.push_back(tracker->hasActiveWindow()); });
    tracker->updateActiveWindow();
    // Bounds publish first (flag still false), then the flag (still false when announced).
    EXPECT_EQ(seenFlags, (std::vector<bool>{false, false}));
    EXPECT_TRUE(tracker->hasActiveWindow());
}

}  // namespace
}  // namespace glimmora
