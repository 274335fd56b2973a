// The running program with a text caret to follow, when the application that owns it hangs:
// the overlay keeps drawing and answering keys, the caret is lost, and found again once the
// application runs again.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "support/AtspiSession.h"
#include "support/GlimmoraProcess.h"
#include "support/X11TestDisplay.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kCaretFound = "TextCursorTracker: Cursor at normalizedY=";
constexpr const char* kDrawReport = "🎨 Draw: ";

/// The draw count of the newest complete 🎨 report (5 s each), or -1 before there is one.
int lastDrawCount(const std::string& output) {
    const auto at = output.rfind(kDrawReport);
    return at == std::string::npos ? -1
                                   : std::stoi(output.substr(at + std::string(kDrawReport).size()));
}

TEST(GlimmoraCaretEndToEndTest, AHungApplicationNeverHoldsUpTheOverlay) {
    // A small screen, so that a software renderer on a busy machine still draws 60 frames a
    // second and the draw report measures the main loop, not the rasteriser.
    test::AtspiSession session({.width = 640, .height = 480});
    ASSERT_TRUE(session.isReady()) << session.failure();
    const std::unique_ptr<test::ChildProcess> editor =
        session.launch({"/usr/bin/python3", CARET_PROGRAMS "/caret_gtk3.py"}, "editor.log");
    ASSERT_TRUE(session.run(
        {"xdotool", "search", "--sync", "--name", "^caret-gtk3$", "windowactivate", "--sync"}));
    test::GlimmoraProcess glimmora(
        session.desktop(),
        {.executable = GLIMMORA_PATH,
         .settings = "isOverlayEnabled=true\nisNoiseEnabled=true\nisFlickerEnabled=true\n",
         .leakSuppressions = GLIMMORA_LSAN_SUPPRESSIONS,
         .environment = session.environment()});
    ASSERT_TRUE(test::waitUntil([&] { return glimmora.count(kCaretFound) >= 1; }, 20s))
        << glimmora.output();
    // A full report of drawing before the hang, for comparison.
    ASSERT_TRUE(test::waitUntil([&] { return glimmora.count(kDrawReport) >= 2; }, 15s));
    const int drawsBefore = lastDrawCount(glimmora.output());

    editor->sendSignal(SIGSTOP);
    const int reports = glimmora.count(kDrawReport);
    // Alt+F is answered at once although the application with the caret does not answer.
    ASSERT_TRUE(session.run({"xdotool", "key", "alt+f"}));
    const auto pressed = Clock::now();
    ASSERT_TRUE(test::waitUntil([&] { return glimmora.count("Focus: ON") == 1; }, 5s, {}, 1ms));
    EXPECT_LE(Clock::now() - pressed, 100ms);
    // The next report covers five seconds of the hang: at least 55 draws a second. On a machine
    // that drew fewer even before (other tests drawing beside this one), at least 60 % of
    // those: a main loop that waited on the hung application would lose most of its frames.
    ASSERT_TRUE(test::waitUntil([&] { return glimmora.count(kDrawReport) > reports; }, 10s));
    EXPECT_GE(lastDrawCount(glimmora.output()), std::min(275, drawsBefore * 6 / 10))
        << "before the hang: " << drawsBefore;

    // The caret was lost during the hang: finding it again logs it again, within a second.
    const int found = glimmora.count(kCaretFound);
    editor->sendSignal(SIGCONT);
    EXPECT_TRUE(test::waitUntil([&] { return glimmora.count(kCaretFound) > found; }, 1s));

    // Accessibility was off before the program switched it on: at quit it is off again.
    glimmora.process().sendSignal(SIGTERM);
    ASSERT_TRUE(glimmora.process().waitForExit(5s));
    EXPECT_EQ(glimmora.count("TextCursorTracker: Switched accessibility back off"), 1);
}

}  // namespace
}  // namespace glimmora
