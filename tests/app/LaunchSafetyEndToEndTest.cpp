// What the desktop can do to glimmora on a private X server: a launcher leaves a descriptor open,
// another program holds the quit combination and the keyboard, the server dies during GLX set-up.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/x11/connection/XcbReply.h"
#include "support/GlimmoraProcess.h"
#include "support/WaitUntil.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;

// Launch and the first frames, on a loaded machine with a software renderer.
constexpr auto kStartTimeout = 30s;
constexpr std::string_view kEscapeHatch = "✅ Escape hatch hotkey registered";
// Printed just before the first GLX calls of the launch.
constexpr std::string_view kTrackersStarted = "WindowFocusTracker: Started tracking";

std::unique_ptr<test::GlimmoraProcess> launch(const test::XvfbSession& session,
                                              int inheritedFd = -1) {
    return std::make_unique<test::GlimmoraProcess>(
        session, test::GlimmoraProcess::Options{.executable = GLIMMORA_PATH,
                                                .settings = "isOverlayEnabled=true\n",
                                                .leakSuppressions = GLIMMORA_LSAN_SUPPRESSIONS,
                                                .inheritedFd = inheritedFd});
}

/// Waits until `glimmora` has printed `line`, or has exited.
bool waitForLine(test::GlimmoraProcess& glimmora, std::string_view line,
                 std::chrono::milliseconds poll = 20ms) {
    return test::waitUntil(
               [&] { return glimmora.count(line) > 0 || !glimmora.process().isRunning(); },
               kStartTimeout, {}, poll) &&
           glimmora.count(line) > 0;
}

TEST(LaunchSafetyEndToEndTest, LauncherDescriptorsAreClosedAndTheQuitKeyWorksUnderAGrab) {
    test::XvfbSession session({.windowManager = false});
    ASSERT_TRUE(session.isReady()) << session.failure();
    // Another client holds any key with exactly Control+Alt+Super before glimmora starts.
    test::X11TestDisplay other(session.display());
    constexpr std::uint16_t kQuit = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    ASSERT_EQ(xcb_request_check(
                  other.connection(),
                  xcb_grab_key_checked(other.connection(), 1, other.root(), kQuit, XCB_GRAB_ANY,
                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
              nullptr);
    const std::string leaked = session.directory() + "/leaked-by-launcher";
    const int fd = ::open(leaked.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    auto glimmora = launch(session, fd);
    ::close(fd);
    ASSERT_TRUE(waitForLine(*glimmora, kEscapeHatch)) << glimmora->output();
    EXPECT_EQ(glimmora->count("⚠️ Global hotkey registration failed: 10\n"), 1) << "BadAccess";

    // Nothing refers to the launcher's file, and whatever glimmora opened itself would not
    // pass on to a program it starts.
    const std::string proc = "/proc/" + std::to_string(glimmora->process().pid());
    for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd")) {
        std::error_code error;
        EXPECT_NE(std::filesystem::read_symlink(entry.path(), error), leaked);
        // The descriptor's open flags, in octal: "flags:\t02004002".
        std::ifstream info(proc + "/fdinfo/" + entry.path().filename().string());
        std::string label, flags;
        info >> label >> flags;
        const int n = std::stoi(entry.path().filename().string());
        EXPECT_TRUE(n <= 2 || label != "flags:" || std::stoul(flags, nullptr, 8) & O_CLOEXEC)
            << "descriptor " << n << " would pass on to a child";
    }

    // A game, a virtual machine's viewer or a screen locker: every key goes to it alone. Only
    // glimmora's watch of raw key events still sees the press.
    const XcbReply<xcb_grab_keyboard_reply_t> grab(xcb_grab_keyboard_reply(
        other.connection(),
        xcb_grab_keyboard(other.connection(), 0, other.root(), XCB_CURRENT_TIME,
                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
    ASSERT_TRUE(grab && grab->status == XCB_GRAB_STATUS_SUCCESS);
    ASSERT_TRUE(session.run({"xdotool", "key", "ctrl+alt+super+Escape"}));
    const std::optional<int> status = glimmora->process().waitForExit(1s);
    ASSERT_TRUE(status.has_value()) << "still running under the grab\n" << glimmora->output();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

TEST(LaunchSafetyEndToEndTest, ServerDyingWhileTheDriverIsSetUpEndsWithTheXErrorLine) {
    // The driver's set-up follows the line within some tens of milliseconds; the server dies
    // at several moments in and around it.
    for (const auto delay : {0ms, 15ms, 30ms, 45ms, 60ms, 90ms}) {
        SCOPED_TRACE(std::to_string(delay.count()) + " ms after the trackers started");
        test::XvfbSession session({.windowManager = false});
        ASSERT_TRUE(session.isReady()) << session.failure();
        auto glimmora = launch(session);
        ASSERT_TRUE(waitForLine(*glimmora, kTrackersStarted, 1ms)) << glimmora->output();
        std::this_thread::sleep_for(delay);
        session.killServer();

        const std::optional<int> status = glimmora->process().waitForExit(10s);
        ASSERT_TRUE(status.has_value()) << "still running without a server";
        const std::string output = glimmora->output();
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << *status << "\n" << output;
        EXPECT_TRUE(output.find("X11 connection broke") != std::string::npos ||
                    output.find("XIO:") != std::string::npos)
            << output;
    }
}

}  // namespace
}  // namespace glimmora
