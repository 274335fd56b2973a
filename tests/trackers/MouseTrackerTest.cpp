#include "trackers/MouseTracker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"

namespace glimmora {
namespace {

class MouseTrackerTest : public testing::Test {
protected:
    MouseTrackerTest() {
        tracker.setClickExplosionHandler([this](float x, float y) { clicks.push_back({x, y}); });
        tracker.startTracking();
    }

    /// Runs `action` and returns what it printed.
    template <typename Action>
    std::string printedBy(Action action) {
        testing::internal::CaptureStdout();
        action();
        return testing::internal::GetCapturedStdout();
    }

    MemoryUserDefaults defaults;
    AppState state{defaults};
    std::optional<Rect> primary = Rect{0, 0, 1920, 1080};
    std::optional<Point> pointer = Point{0, 0};
    std::vector<std::pair<float, float>> clicks;
    MouseTracker tracker{state, [this] { return primary; }, [this] { return pointer; }};
};

TEST_F(MouseTrackerTest, StartsCentredBeforeAnyMovement) {
    EXPECT_EQ(tracker.normalizedX(), 0.5f);
    EXPECT_EQ(tracker.normalizedY(), 0.5f);
}

TEST_F(MouseTrackerTest, MapsPrimaryCornersToZeroAndOne) {
    tracker.pointerMoved(0, 0);
    EXPECT_EQ(tracker.normalizedX(), 0.0f);
    EXPECT_EQ(tracker.normalizedY(), 0.0f);

    tracker.pointerMoved(1920, 1080);
    EXPECT_EQ(tracker.normalizedX(), 1.0f);
    EXPECT_EQ(tracker.normalizedY(), 1.0f);
    EXPECT_EQ(tracker.mousePosition(), (Point{1920, 1080}));
}

TEST_F(MouseTrackerTest, MeasuresFromPrimaryOriginAndDoesNotClamp) {
    // A 2560 px monitor left of the primary puts the primary's origin at x = 2560.
    primary = Rect{2560, 200, 1920, 1080};
    tracker.pointerMoved(2560 + 480, 200 + 270);
    EXPECT_EQ(tracker.normalizedX(), 0.25f);
    EXPECT_EQ(tracker.normalizedY(), 0.25f);

    tracker.pointerMoved(1600, 200 + 2160);  // on the left monitor, far below the primary
    EXPECT_EQ(tracker.normalizedX(), -0.5f);
    EXPECT_EQ(tracker.normalizedY(), 2.0f);
}

TEST_F(MouseTrackerTest, AnnouncesEachChangeBeforePublishingInFieldOrder) {
    std::vector<std::string> events;
    Subscription will = tracker.objectWillChange().connect([&] { events.push_back("will"); });
    Subscription pos =
        tracker.mousePosition.sinkChanges([&](const Point&) { events.push_back("pos"); });
    Subscription x = tracker.normalizedX.sinkChanges([&](float) { events.push_back("x"); });
    Subscription y = tracker.normalizedY.sinkChanges([&](float) { events.push_back("y"); });

    tracker.pointerMoved(960, 540);
    EXPECT_EQ(events, (std::vector<std::string>{"will", "pos", "will", "x", "will", "y"}));
}

TEST_F(MouseTrackerTest, IgnoresMovementWithoutPrimaryMonitor) {
    for (std::optional<Rect> missing :
         {std::optional<Rect>{}, std::optional<Rect>{Rect{0, 0, 0, 0}}}) {
        primary = missing;
        int notifications = 0;
        Subscription will = tracker.objectWillChange().connect([&] { ++notifications; });
        tracker.pointerMoved(100, 100);
        EXPECT_EQ(notifications, 0);
        EXPECT_EQ(tracker.normalizedX(), 0.5f);
        EXPECT_EQ(tracker.normalizedY(), 0.5f);
    }
}

TEST_F(MouseTrackerTest, KeepsPublishingWhileButtonHeld) {
    state.isExplosionEnabled = true;
    pointer = Point{480, 270};
    printedBy([&] { tracker.leftButtonPressed(); });
    // Motion reported during the drag moves the published position with the pointer.
    tracker.pointerMoved(960, 810);
    EXPECT_EQ(tracker.normalizedX(), 0.5f);
    EXPECT_EQ(tracker.normalizedY(), 0.75f);
}

TEST_F(MouseTrackerTest, ClickWithExplosionsOnCallsBackOnceAndPrintsPosition) {
    state.isExplosionEnabled = true;
    tracker.pointerMoved(0, 0);
    pointer = Point{960, 270};

    EXPECT_EQ(printedBy([&] { tracker.leftButtonPressed(); }), "BOOM at (0.5, 0.25)\n");
    EXPECT_EQ(clicks, (std::vector<std::pair<float, float>>{{0.5f, 0.25f}}));
    // The click reads the pointer but leaves the published position alone.
    EXPECT_EQ(tracker.normalizedX(), 0.0f);
    EXPECT_EQ(tracker.normalizedY(), 0.0f);
}

TEST_F(MouseTrackerTest, PrintsShortestTextThatReadsBackAsTheSameFloat) {
    state.isExplosionEnabled = true;
    pointer = Point{640, 360};  // a third of the monitor each way
    const std::string line = printedBy([&] { tracker.leftButtonPressed(); });
    ASSERT_EQ(clicks.size(), 1u);
    const std::string prefix = "BOOM at (";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const std::string numbers = line.substr(prefix.size());
    const std::string xText = numbers.substr(0, numbers.find(','));
    EXPECT_EQ(std::strtof(xText.c_str(), nullptr), clicks[0].first) << xText;
    EXPECT_LE(xText.size(), 10u) << xText;  // "0." and at most nine significant digits
    EXPECT_EQ(line, "BOOM at (" + xText + ", " + xText + ")\n");
}

TEST_F(MouseTrackerTest, ClickDoesNothingWithExplosionsOffOrNoMonitor) {
    pointer = Point{960, 270};
    EXPECT_EQ(printedBy([&] { tracker.leftButtonPressed(); }), "");

    state.isExplosionEnabled = true;
    primary.reset();
    EXPECT_EQ(printedBy([&] { tracker.leftButtonPressed(); }), "");
    EXPECT_TRUE(clicks.empty());
}

TEST_F(MouseTrackerTest, AltFTogglesFocusAndPrintsState) {
    EXPECT_EQ(printedBy([&] { tracker.keyPressed(kKeyF, kAlt); }), "Focus: ON\n");
    EXPECT_TRUE(state.isFocusEnabled());
    EXPECT_EQ(printedBy([&] { tracker.keyPressed(kKeyF, kAlt | kSuper); }), "Focus: OFF\n");
    EXPECT_FALSE(state.isFocusEnabled());
    EXPECT_EQ(printedBy([&] { tracker.keyPressed(kKeyF, kAlt | kNumLock | kControl); }),
              "Focus: ON\n");
    EXPECT_TRUE(state.isFocusEnabled());
}

TEST_F(MouseTrackerTest, OtherKeysAndModifiersLeaveFocusAlone) {
    const KeySymbol upperF = 0x46;
    const std::string printed = printedBy([&] {
        tracker.keyPressed(kKeyG, kAlt);
        tracker.keyPressed(kKeyF, kNoModifiers);
        tracker.keyPressed(kKeyF, kControl | kSuper | kShift);
        tracker.keyPressed(upperF, kAlt | kShift);
    });
    EXPECT_EQ(printed, "");
    EXPECT_FALSE(state.isFocusEnabled());
}

TEST_F(MouseTrackerTest, StoppedTrackerIgnoresEveryEvent) {
    state.isExplosionEnabled = true;
    pointer = Point{960, 270};
    const std::string printed = printedBy([&] {
        tracker.stopTracking();
        tracker.pointerMoved(0, 0);
        tracker.leftButtonPressed();
        tracker.keyPressed(kKeyF, kAlt);
    });
    EXPECT_EQ(printed, "MouseTracker: Stopped tracking\n");
    EXPECT_FALSE(tracker.isTracking());
    EXPECT_EQ(tracker.normalizedX(), 0.5f);
    EXPECT_TRUE(clicks.empty());
    EXPECT_FALSE(state.isFocusEnabled());

    EXPECT_EQ(printedBy([&] { tracker.startTracking(); }), "MouseTracker: Started tracking\n");
    tracker.pointerMoved(0, 0);
    EXPECT_EQ(tracker.normalizedX(), 0.0f);
}

}  // namespace
}  // namespace glimmora
