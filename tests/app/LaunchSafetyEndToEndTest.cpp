// What the user's desktop can do to glimmora at launch and while it runs, on a private X server:
// another program holds the keyboard when the quit combination comes.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "support/GlimmoraProcess.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;

// Launch and the first frames, on a loaded machine with a software renderer.
constexpr auto kStartTimeout = 30s;
constexpr std::string_view kEscapeHatch = "✅ Escape hatch hotkey registered";

std::unique_ptr<test::GlimmoraProcess> launch(const test::XvfbSession& session) {
    return std::make_unique<test::GlimmoraProcess>(
        session, test::GlimmoraProcess::Options{.executable = GLIMMORA_PATH,
                                                .settings = "isOverlayEnabled=true\n",
                                                .leakSuppressions = GLIMMORA_LSAN_SUPPRESSIONS,
                                                .inheritedFd = inheritedFd});
}

/// Waits until `glimmora` has printed `line`, or has exited.
bool waitForLine(test::GlimmoraProcess& glimmora, std::string_view line) {
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (glimmora.count(line) > 0) {
            return true;
        }
        if (!glimmora.process().isRunning()) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

TEST(LaunchSafetyEndToEndTest, QuitCombinationQuitsWithinASecondUnderAKeyboardGrab) {
    test::XvfbSession session({.windowManager = false});
    ASSERT_TRUE(session.isReady()) << session.failure();
    auto glimmora = launch(session);
    ASSERT_TRUE(waitForLine(*glimmora, kEscapeHatch)) << glimmora->output();

    // A game, a virtual machine's viewer or a screen locker: every key goes to it alone.
    test::X11TestDisplay other(session.display());
    std::unique_ptr<xcb_grab_keyboard_reply_t, decltype(&std::free)> grab(
        xcb_grab_keyboard_reply(
            other.connection(),
            xcb_grab_keyboard(other.connection(), 0, other.root(), XCB_CURRENT_TIME,
                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr),
        &std::free);
    ASSERT_TRUE(grab && grab->status == XCB_GRAB_STATUS_SUCCESS);

    ASSERT_TRUE(session.run({"xdotool", "key", "ctrl+alt+super+Escape"}));
    const std::optional<int> status = glimmora->process().waitForExit(1s);
    ASSERT_TRUE(status.has_value()) << "still running under the grab\n" << glimmora->output();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

}  // namespace
}  // namespace glimmora
