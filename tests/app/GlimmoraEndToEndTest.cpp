// The glimmora program itself on a private X server with a window manager: the overlay it
// lays over the primary monitor, its stacking, click-through and its termination.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "support/ChildProcess.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using test::RootRect;

constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;
// Launch, the 0.5 s delay and the first frames can take a while on a loaded machine with a
// software renderer.
constexpr auto kOverlayTimeout = 30s;
// How long the overlay may take to get back on top of a window that covered it.
constexpr auto kRestackTimeout = 1s;

class GlimmoraEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        session = std::make_unique<test::XvfbSession>(test::XvfbSession::Options{
            .width = kScreenWidth, .height = kScreenHeight, .windowManager = true});
        ASSERT_TRUE(session->isReady()) << session->failure();
        x = std::make_unique<test::X11TestDisplay>(session->display());
        ASSERT_TRUE(x->isConnected());
    }

    void TearDown() override {
        if (HasFailure() && session) {
            std::cout << "glimmora's output:\n" << output() << std::endl;
        }
        glimmora.reset();
    }

    /// Starts the program with a settings file of its own and waits for its overlay window.
    void launch() {
        const std::string config = session->directory() + "/config";
        std::filesystem::create_directories(config + "/glimmora");
        std::ofstream(config + "/glimmora/glimmora.conf")
            << "[General]\nisOverlayEnabled=true\nisCursorSpotlightEnabled=true\n";
        const std::string runtime = session->directory() + "/runtime";
        std::filesystem::create_directories(runtime);
        ::chmod(runtime.c_str(), 0700);

        glimmora = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{GLIMMORA_PATH},
            test::ChildProcess::Environment{
                {"DISPLAY", session->display()},
                {"XDG_CONFIG_HOME", config},
                {"XDG_RUNTIME_DIR", runtime},
                // Only read by sanitizer builds: leaks in system libraries are not ours.
                {"LSAN_OPTIONS", "suppressions=" GLIMMORA_LSAN_SUPPRESSIONS}},
            logPath());
        ASSERT_NE(glimmora->pid(), 0);
        // The overlay: the program's "Glimmora" window once it is override-redirect (before
        // that it is an ordinary, framed window).
        ASSERT_TRUE(test::waitUntil(
            [&] {
                const auto window =
                    x->findTopLevel(static_cast<std::uint32_t>(glimmora->pid()), "Glimmora");
                if (window && x->isOverrideRedirect(*window)) {
                    overlay = *window;
                }
                return overlay != XCB_NONE || !glimmora->isRunning();
            },
            kOverlayTimeout))
            << "no overlay window appeared";
        ASSERT_NE(overlay, XCB_NONE) << "glimmora exited early";
    }

    std::string logPath() const { return session->directory() + "/glimmora.log"; }
    std::string output() const {
        std::ifstream in(logPath());
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    bool overlayAbove(xcb_window_t window) { return x->isAbove(overlay, x->topLevelOf(window)); }

    std::unique_ptr<test::XvfbSession> session;
    std::unique_ptr<test::X11TestDisplay> x;
    std::unique_ptr<test::ChildProcess> glimmora;
    xcb_window_t overlay = XCB_NONE;
};

TEST_F(GlimmoraEndToEndTest, OverlayCoversTheScreenAndLetsInputThrough) {
    launch();
    EXPECT_EQ(x->rootGeometry(overlay), (RootRect{0, 0, kScreenWidth, kScreenHeight}));
    EXPECT_EQ(x->topLevelOf(overlay), overlay) << "a window manager frames the overlay";
    EXPECT_TRUE(x->isViewable(overlay));
    EXPECT_EQ(x->inputRectangleCount(overlay), 0) << "the overlay has an input region";
    EXPECT_EQ(x->cardinal(overlay, "_COMPTON_SHADOW"), 0u);
    // A window manager's own list of managed windows does not hold it: no taskbar, no pager.
    const auto clients = x->cardinals(x->root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW);
    EXPECT_EQ(std::count(clients.begin(), clients.end(), overlay), 0);

    const std::string printed = output();
    EXPECT_NE(printed.find("AppDelegate: applicationDidFinishLaunching\n"
                           "AppDelegate: Setting up gaze tracking observer\n"
                           "AppDelegate: Observer registered, cancellables count: 1\n"),
              std::string::npos)
        << printed;
}

TEST_F(GlimmoraEndToEndTest, OverlayCoversOnlyThePrimaryMonitor) {
    // Two monitors side by side, the right one primary (and the output's own monitor, which
    // spans both, no longer primary).
    ASSERT_TRUE(session->run({"xrandr", "--setmonitor", "left", "400/100x600/100+0+0", "none"}));
    ASSERT_TRUE(
        session->run({"xrandr", "--setmonitor", "*right", "400/100x600/100+400+0", "none"}));
    ASSERT_TRUE(session->run({"xrandr", "--noprimary"}));
    launch();
    EXPECT_EQ(x->rootGeometry(overlay), (RootRect{400, 0, 400, 600}));
}

TEST_F(GlimmoraEndToEndTest, OverlayStaysAboveWindowsMappedAfterIt) {
    launch();
    // Created after the overlay, so it starts above it: only a re-raise puts it below.
    const xcb_window_t tooltip = x->createWindow({100, 100, 200, 40}, true);
    x->map(tooltip);
    EXPECT_TRUE(test::waitUntil([&] { return overlayAbove(tooltip); }, kRestackTimeout));

    // A managed window: the window manager frames it, maps the frame and focuses it.
    const xcb_window_t managed = x->createWindow({150, 150, 300, 200});
    x->map(managed);
    ASSERT_TRUE(test::waitUntil([&] { return x->isViewable(managed); }, 5s));
    EXPECT_TRUE(test::waitUntil([&] { return overlayAbove(managed); }, kRestackTimeout));
}

TEST_F(GlimmoraEndToEndTest, OverlayStaysAboveWindowsRaisedAfterIt) {
    launch();
    const xcb_window_t other = x->createWindow({100, 100, 200, 200}, true);
    x->map(other);
    ASSERT_TRUE(test::waitUntil([&] { return overlayAbove(other); }, kRestackTimeout));

    x->raise(other);
    x->sync();
    EXPECT_TRUE(test::waitUntil([&] { return overlayAbove(other); }, kRestackTimeout));
}

TEST_F(GlimmoraEndToEndTest, ClickOverTheOverlayReachesTheWindowBelow) {
    launch();
    const xcb_window_t target =
        x->createWindow({200, 150, 200, 150}, true, XCB_EVENT_MASK_BUTTON_PRESS);
    x->map(target);
    ASSERT_TRUE(test::waitUntil([&] { return overlayAbove(target); }, kRestackTimeout));

    x->click(300, 225);
    bool pressed = false;
    EXPECT_TRUE(test::waitUntil(
        [&] {
            x->drainEvents([&](const xcb_generic_event_t& e) {
                if ((e.response_type & ~0x80) == XCB_BUTTON_PRESS) {
                    pressed = reinterpret_cast<const xcb_button_press_event_t&>(e).event == target;
                }
            });
            return pressed;
        },
        2s));
    EXPECT_TRUE(overlayAbove(target)) << "the overlay did not cover the click";
}

class GlimmoraTerminationTest : public GlimmoraEndToEndTest,
                                public testing::WithParamInterface<int> {};

TEST_P(GlimmoraTerminationTest, EndsCleanlyOnSignal) {
    launch();
    glimmora->sendSignal(GetParam());
    const auto status = glimmora->waitForExit(2s);
    ASSERT_TRUE(status.has_value()) << "still running two seconds after the signal";
    EXPECT_TRUE(WIFEXITED(*status)) << "killed by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

INSTANTIATE_TEST_SUITE_P(TermAndInt, GlimmoraTerminationTest, testing::Values(SIGTERM, SIGINT));

}  // namespace
}  // namespace glimmora
