// The caret tracker over a real accessibility bus: GTK 3 and GTK 4 programs on a private desktop,
// typed into with xdotool, their caret compared with what the toolkit itself says. (Qt's answers
// are CaretQueryTest's recordings.)

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/QtRepeatingTimer.h"
#include "platform/atspi/AtspiCaretSource.h"
#include "platform/x11/windows/X11ActiveWindow.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/AtspiSession.h"
#include "support/LogCapture.h"
#include "support/TestApplication.h"
#include "support/X11TestDisplay.h"
#include "trackers/TextCursorTracker.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 800;
constexpr int kHeight = 600;
/// How far the published centre may lie from the toolkit's own caret centre.
constexpr double kPixels = 5;
/// Two polls, and room for a busy machine to schedule the processes involved.
constexpr auto kFollowTime = 2 * TextCursorTracker::kPollInterval + 150ms;

std::optional<Rect> screen() {
    return Rect{0, 0, kWidth, kHeight};
}
void pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

class AtspiCaretEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        test::testApplication();
        ASSERT_TRUE(session.isReady()) << session.failure();
        x = std::make_unique<test::X11TestDisplay>(session.desktop().display());
        activeWindow =
            std::make_unique<X11ActiveWindow>(QString::fromStdString(session.desktop().display()));
        source = std::make_unique<AtspiCaretSource>(AtspiCaretSource::Options{
            .sessionBusAddress = QString::fromStdString(session.sessionBusAddress()),
            .activeTopLevel = [this]() -> std::optional<ActiveTopLevel> {
                const auto active = activeWindow->read();
                return active ? std::optional(ActiveTopLevel{active->pid, active->contentOrigin})
                              : std::nullopt;
            }});
        tracker = std::make_unique<TextCursorTracker>(
            state, *source, screen, std::make_unique<QtRepeatingTimer>(Qt::PreciseTimer));
    }

    void startTracking() {
        tracker->startTracking();
        ASSERT_TRUE(test::waitUntil([&] { return log.count("TextCursorTracker: Timer started"); },
                                    10s, pump));
    }

    /// Starts a program that reports its caret to `title`.log, and gives its window the focus.
    void startProgram(const std::vector<std::string>& argv, const std::string& title) {
        programLog = session.desktop().directory() + "/" + title + ".log";
        program = session.launch(argv, title + ".log");
        ASSERT_TRUE(session.run({"xdotool", "search", "--sync", "--name", "^" + title + "$",
                                 "windowactivate", "--sync"}));
        ASSERT_TRUE(test::waitUntil([&] { return toolkitCaret().has_value(); }, 10s, pump));
    }

    /// The toolkit's latest caret report in root pixels.
    std::optional<Rect> toolkitCaret() {
        std::ifstream in(programLog);
        std::optional<Rect> caret;
        for (std::string line; std::getline(in, line);) {
            unsigned window = 0;
            int cx = 0, cy = 0, cw = 0, ch = 0;
            if (std::sscanf(line.c_str(), "caret %u %d %d %d %d", &window, &cx, &cy, &cw, &ch) ==
                5) {
                // A program that knows only its window's coordinates names the window.
                const test::RootRect origin =
                    window != 0 ? x->rootGeometry(window) : test::RootRect{};
                caret = Rect{double(origin.x + cx), double(origin.y + cy), double(cw), double(ch)};
            }
        }
        return caret;
    }

    /// Types with xdotool, waits for the toolkit to report its new caret, and expects the
    /// tracker to publish the same centre within kFollowTime.
    void expectFollows(std::vector<std::string> xdotool) {
        const std::optional<Rect> before = toolkitCaret();
        xdotool.insert(xdotool.begin(), "xdotool");
        ASSERT_TRUE(session.run(xdotool));
        ASSERT_TRUE(test::waitUntil([&] { return toolkitCaret() != before; }, 5s, pump))
            << "the program did not move its caret";
        Point expected;
        const auto agrees = [&] {
            const Rect caret = *toolkitCaret();
            expected = {caret.x + caret.width / 2, caret.y + caret.height / 2};
            const Point published = tracker->cursorPosition();
            return tracker->hasCursorPosition() && std::abs(published.y - expected.y) <= kPixels &&
                   std::abs(published.x - expected.x) <= kPixels;
        };
        EXPECT_TRUE(test::waitUntil(agrees, kFollowTime, pump))
            << "after " << xdotool[1] << " " << xdotool.back() << ": toolkit y " << expected.y
            << ", published y " << tracker->cursorPosition().y;
    }

    test::AtspiSession session{{.width = kWidth, .height = kHeight}};
    std::unique_ptr<test::X11TestDisplay> x;
    MemoryUserDefaults defaults;
    AppState state{defaults};
    test::LogCapture log;
    std::unique_ptr<X11ActiveWindow> activeWindow;
    std::unique_ptr<AtspiCaretSource> source;
    std::unique_ptr<TextCursorTracker> tracker;
    std::unique_ptr<test::ChildProcess> program;
    std::string programLog;
};

// GTK 3 focused before tracking starts; GTK 4, started later, answers in window coordinates.
TEST_F(AtspiCaretEndToEndTest, Gtk3ThenGtk4InWindowCoordinates) {
    startProgram({"/usr/bin/python3", CARET_PROGRAMS "/caret_gtk3.py"}, "caret-gtk3");
    startTracking();
    EXPECT_EQ(log.count("TextCursorTracker: Starting, accessibility trusted: YES"), 1);
    expectFollows({"type", "hello world"});
    expectFollows({"key", "Return", "Return"});  // an empty last line
    expectFollows({"type", "abc"});
    expectFollows({"key", "Up"});                       // an empty line between two
    expectFollows({"key", "Up", "End", "shift+Home"});  // a selection

    startProgram({"/usr/bin/python3", CARET_PROGRAMS "/caret_gtk4.py"}, "caret-gtk4");
    expectFollows({"type", "one"});
    expectFollows({"key", "Return", "Return"});
}

TEST(AtspiCaretWithoutBus, StartsUntrustedAndFailsEveryPollQuietly) {
    test::testApplication();
    test::LogCapture log;
    MemoryUserDefaults defaults;
    AppState state{defaults};
    AtspiCaretSource source(AtspiCaretSource::Options{
        .sessionBusAddress = QStringLiteral("unix:path=/nonexistent/bus"), .activeTopLevel = {}});
    TextCursorTracker tracker(state, source, screen, std::make_unique<QtRepeatingTimer>());
    tracker.startTracking();
    ASSERT_TRUE(test::waitUntil(
        [&] { return log.count("TextCursorTracker: Starting, accessibility trusted: NO"); }, 5s,
        pump));
    test::waitUntil([] { return false; }, 300ms, pump);  // a few polls
    EXPECT_FALSE(tracker.hasCursorPosition());
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"TextCursorTracker: Starting, accessibility trusted: NO",
                                        "TextCursorTracker: Timer started"}));
}

}  // namespace
}  // namespace glimmora
