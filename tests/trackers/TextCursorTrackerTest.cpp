#include "trackers/TextCursorTracker.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/FakeCaretSource.h"
#include "support/LogCapture.h"
#include "support/ManualRepeatingTimer.h"

namespace glimmora {
namespace {

constexpr Rect kMonitor{0, 0, 1440, 900};

class TextCursorTrackerTest : public testing::Test {
protected:
    /// Starts tracking with a trusted answer, then forgets the start-up lines.
    void startTrusted() {
        tracker.startTracking();
        source.answerStart(true);
        log.clear();
    }
    void pollWith(std::optional<Rect> caret, std::string application = "gedit") {
        source.reading =
            caret ? std::optional(CaretReading{*caret, std::move(application)}) : std::nullopt;
        timer->fire();
    }

    MemoryUserDefaults defaults;
    AppState state{defaults};
    test::FakeCaretSource source;
    std::optional<Rect> monitor = kMonitor;
    ManualRepeatingTimer* timer = new ManualRepeatingTimer;
    TextCursorTracker tracker{state, source, [this] { return monitor; },
                              std::unique_ptr<RepeatingTimer>(timer)};
    test::LogCapture log;
};

TEST_F(TextCursorTrackerTest, PublishesTheCentreAsClampedFractionsOfTheMonitor) {
    const struct {
        Rect monitor;
        Rect caret;
        Point centre;
        float x;
        float y;
    } cases[] = {
        {kMonitor, {100, 200, 2, 16}, {101, 208}, 0.0701f, 0.2311f},
        {kMonitor, {2000, 450, 2, 16}, {2001, 458}, 1, 0.5089f},  // on a display to the right
        {kMonitor, {720, -300, 2, 16}, {721, -292}, 0.5007f, 0},  // on a display above
        {{1440, 0, 1440, 900}, {1800, 442, 0, 16}, {1800, 450}, 0.25f, 0.5f},
    };
    startTrusted();
    for (const auto& c : cases) {
        monitor = c.monitor;
        pollWith(std::nullopt);
        pollWith(c.caret);
        EXPECT_TRUE(tracker.hasCursorPosition());
        EXPECT_EQ(tracker.cursorPosition(), c.centre);
        EXPECT_NEAR(tracker.normalizedX(), c.x, 1e-4) << c.caret.x;
        EXPECT_NEAR(tracker.normalizedY(), c.y, 1e-4) << c.caret.y;
    }
}

TEST_F(TextCursorTrackerTest, AFailedPollDropsOnlyTheFlag) {
    startTrusted();
    pollWith(Rect{100, 200, 2, 16});
    EXPECT_NEAR(tracker.normalizedHeight(), 16.0 / 900, 1e-6);
    pollWith(std::nullopt);
    EXPECT_FALSE(tracker.hasCursorPosition());
    EXPECT_EQ(tracker.cursorPosition(), (Point{101, 208}));
    EXPECT_NEAR(tracker.normalizedY(), 0.2311, 1e-4);
}

TEST_F(TextCursorTrackerTest, StartsOneTimerOnceTheSourceHasAnswered) {
    tracker.startTracking();
    tracker.startTracking();
    EXPECT_EQ(source.startCount, 1);
    EXPECT_FALSE(timer->isActive());
    source.answerStart(false);
    EXPECT_EQ(timer->startCount(), 1);
    EXPECT_EQ(timer->interval(), std::chrono::milliseconds(50));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"TextCursorTracker: Starting, accessibility trusted: NO",
                                        "TextCursorTracker: Timer started"}));

    tracker.stopTracking();
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(source.stopCount, 1);
    EXPECT_EQ(log.lines().back(), "TextCursorTracker: Stopped");
    // An answer to a start that was stopped before it came starts nothing.
    tracker.startTracking();
    tracker.stopTracking();
    source.answerStart(true);
    EXPECT_EQ(timer->startCount(), 1);
}

TEST_F(TextCursorTrackerTest, WantsAccessibilityWhileEitherFeatureFollowsTheCaret) {
    tracker.startTracking();
    state.focusFollowsCursor = false;
    state.rulerFollowsCursor = false;
    state.focusFollowsCursor = true;
    tracker.stopTracking();
    state.focusFollowsCursor = false;  // no longer followed once stopped
    EXPECT_EQ(source.wishes, (std::vector<bool>{true, true, true, false, true}));
}

}  // namespace
}  // namespace glimmora
