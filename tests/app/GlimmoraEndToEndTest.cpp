// The glimmora program on a private X server with openbox, judged by what the user sees and does:
// the dimmed live desktop over the primary monitor, and the keys it acts on. One case per path.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/x11/connection/XcbReply.h"
#include "support/ChildProcess.h"
#include "support/GlimmoraProcess.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using test::Rgb;
using test::RootRect;

constexpr int kWidth = 640, kHeight = 480;
constexpr Rgb kWallpaper{40, 160, 220};
constexpr Rgb kColour{200, 120, 60};
// The dimmer at -0.5 halves every channel; 8-bit rounding on the way costs a little more.
constexpr Rgb kDimWallpaper{20, 80, 110}, kDimColour{100, 60, 30};
// Launch, the 0.5 s delay and the first frames, or a change on the desktop reaching the screen,
// on a loaded machine with a software renderer.
constexpr auto kTimeout = 20s;

constexpr std::string_view kCaptureStarted = "CAPTURE STARTED";
// Control, Alt (Mod1) and Super (Mod4) in a key event's state.
constexpr std::uint16_t kQuitModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

bool exitsCleanly(test::ChildProcess& process, std::chrono::milliseconds timeout) {
    const std::optional<int> status = process.waitForExit(timeout);
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

/// A point of the screen and the colour it should show.
struct Probe {
    int x, y;
    Rgb expected;
};

/// The centre of `area` and, a few pixels in, its four corners.
std::vector<Probe> probesInside(RootRect a, Rgb expected) {
    std::vector<Probe> probes{{a.x + a.width / 2, a.y + a.height / 2, expected}};
    for (const int x : {a.x + 6, a.x + a.width - 7}) {
        probes.push_back({x, a.y + 6, expected});
        probes.push_back({x, a.y + a.height - 7, expected});
    }
    return probes;
}

class GlimmoraEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session.isReady()) << session.failure();
        ASSERT_TRUE(x.isConnected());
        x.setWallpaper(kWallpaper);
    }

    /// Starts glimmora with the dimmer at half brightness and waits until its capture and quit
    /// keys are up and, while the overlay is on, its overlay window (override-redirect by then).
    void launch(bool overlayEnabled = true) {
        glimmora = std::make_unique<test::GlimmoraProcess>(
            session,
            test::GlimmoraProcess::Options{
                .executable = GLIMMORA_PATH,
                .settings = std::string("isOverlayEnabled=") + (overlayEnabled ? "true" : "false") +
                            "\nisScreenDimmerEnabled=true\nscreenBrightness=-0.5\n",
                .leakSuppressions = GLIMMORA_LSAN_SUPPRESSIONS});
        const auto pid = static_cast<std::uint32_t>(glimmora->process().pid());
        const auto isUp = [&] {
            const auto window = x.findTopLevel(pid, "Glimmora");
            if (window && x.isOverrideRedirect(*window)) {
                overlay = *window;
            }
            return glimmora->count(kCaptureStarted) > 0 && glimmora->count("Escape hatch") > 0 &&
                   (overlay != XCB_NONE || !overlayEnabled);
        };
        ASSERT_TRUE(
            test::waitUntil([&] { return isUp() || !glimmora->process().isRunning(); }, kTimeout));
        ASSERT_TRUE(isUp()) << "glimmora did not finish launching:\n" << glimmora->output();
    }

    /// A managed window of one colour whose client area is placed at `rect`, once shown.
    xcb_window_t showWindow(RootRect rect, std::uint32_t eventMask = 0) {
        const xcb_window_t window = x.createWindow(rect, false, eventMask);
        x.setBackground(window, kColour);
        // WM_NORMAL_HINTS with a user-given position and size: openbox places it as asked.
        std::vector<std::uint32_t> hints(18, 0);
        hints[0] = 1 | 2;
        x.setCardinals(window, "WM_NORMAL_HINTS", XCB_ATOM_WM_SIZE_HINTS, hints);
        x.map(window);
        EXPECT_TRUE(test::waitUntil([&] { return x.isViewable(window); }, 10s));
        return window;
    }

    /// A window of another application with the keyboard focus; it reports its key presses.
    xcb_window_t focusOtherWindow() {
        const xcb_window_t window = showWindow({50, 50, 200, 100}, XCB_EVENT_MASK_KEY_PRESS);
        xcb_set_input_focus(x.connection(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        x.sync();
        return window;
    }
    /// Whether `window` got a key press with at least the modifiers `held` since the last call.
    bool gotKeyPress(xcb_window_t window, std::uint16_t held = 0) {
        bool got = false;
        x.drainEvents([&](const xcb_generic_event_t& event) {
            const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
            got |= (event.response_type & 0x7f) == XCB_KEY_PRESS && press.event == window &&
                   (press.state & held) == held;
        });
        return got;
    }
    bool press(const std::string& keys) { return session.run({"xdotool", "key", keys}); }

    bool screenShows(const std::vector<Probe>& probes) {
        const test::ScreenShot shot = x.screenShot();
        return std::ranges::all_of(
            probes, [&](const Probe& p) { return test::isNear(shot.at(p.x, p.y), p.expected, 3); });
    }
    /// Screenshots are costly: one every 100 ms.
    bool eventuallyShows(const std::vector<Probe>& probes) {
        return test::waitUntil([&] { return screenShows(probes); }, kTimeout, {}, 100ms);
    }
    bool keepsShowing(const std::vector<Probe>& probes, std::chrono::milliseconds time) {
        return !test::waitUntil([&] { return !screenShows(probes); }, time, {}, 100ms);
    }
    bool eventuallyPrints(std::string_view text, int times) {
        return test::waitUntil([&] { return glimmora->count(text) >= times; }, kTimeout);
    }

    test::XvfbSession session{{.width = kWidth, .height = kHeight}};
    test::X11TestDisplay x{session.display()};
    std::unique_ptr<test::GlimmoraProcess> glimmora;
    xcb_window_t overlay = XCB_NONE;
};

TEST_F(GlimmoraEndToEndTest, DimmedDesktopUnderAnOverlayThatFollowsTheScreenSize) {
    const xcb_window_t window = showWindow({40, 40, 300, 200});
    const RootRect area = x.rootGeometry(window);
    launch();
    EXPECT_EQ(x.rootGeometry(overlay), (RootRect{0, 0, kWidth, kHeight}));
    EXPECT_EQ(x.topLevelOf(overlay), overlay) << "the window manager framed the overlay";
    EXPECT_EQ(x.inputRectangleCount(overlay), 0) << "the overlay takes clicks";
    std::vector<Probe> probes = probesInside(area, kDimColour);
    probes.push_back({8, 8, kDimWallpaper});
    probes.push_back({kWidth - 9, kHeight - 9, kDimWallpaper});
    ASSERT_TRUE(eventuallyShows(probes));
    // Were the overlay in its own pictures, each would be darker than the one before.
    EXPECT_TRUE(keepsShowing(probes, 2s));

    const int starts = glimmora->count(kCaptureStarted);
    ASSERT_TRUE(session.run({"xrandr", "--newmode", "smaller", "20", "480", "490", "500", "510",
                             "360", "370", "380", "390"}));
    ASSERT_TRUE(session.run({"xrandr", "--addmode", "screen", "smaller"}));
    ASSERT_TRUE(session.run({"xrandr", "--output", "screen", "--mode", "smaller"}));
    EXPECT_TRUE(eventuallyPrints("Screen wake detected - restarting capture", 1));
    EXPECT_TRUE(eventuallyPrints(kCaptureStarted, starts + 1));
    EXPECT_TRUE(test::waitUntil(
        [&] {
            return x.rootGeometry(overlay) == RootRect{0, 0, 480, 360};
        },
        kTimeout));
    // A picture of the old size, or one drawn to it, puts the window elsewhere.
    probes = probesInside(x.rootGeometry(window), kDimColour);
    probes.push_back({area.x + area.width + 20, area.y + 20, kDimWallpaper});
    probes.push_back({476, 356, kDimWallpaper});
    EXPECT_TRUE(eventuallyShows(probes));

    glimmora->process().sendSignal(SIGTERM);
    EXPECT_TRUE(exitsCleanly(glimmora->process(), 2s)) << "SIGTERM did not end it cleanly";
}

TEST_F(GlimmoraEndToEndTest, SwitchedOffOverlayLeavesTheDesktopInSightAndKeysStillWork) {
    const xcb_window_t window = showWindow({40, 40, 540, 360});
    launch(/*overlayEnabled=*/false);
    // Not an undrawn, black overlay over the desktop: the desktop as it is, undimmed.
    const std::vector<Probe> probes = probesInside(x.rootGeometry(window), kColour);
    ASSERT_TRUE(eventuallyShows(probes));
    EXPECT_TRUE(keepsShowing(probes, 1s));

    const xcb_window_t other = focusOtherWindow();
    ASSERT_TRUE(press("Escape"));
    EXPECT_TRUE(test::waitUntil([&] { return gotKeyPress(other); }, 5s)) << "Escape was taken";

    ASSERT_TRUE(press("alt+f"));
    EXPECT_TRUE(test::waitUntil([&] { return glimmora->count("Focus: ON\n") == 1; }, 5s));

    gotKeyPress(other);
    ASSERT_TRUE(press("ctrl+alt+super+Escape"));
    EXPECT_TRUE(exitsCleanly(glimmora->process(), 5s)) << "glimmora still runs after the key";
    // Both quit paths see the key (the raw one so that a grab cannot stop it); either may
    // report first.
    EXPECT_GE(glimmora->count("hotkey triggered! Quitting app...\n"), 1);
    // The modifiers reach the application, each pressed with the ones before it held; the
    // Escape that comes with all three held must not.
    EXPECT_FALSE(gotKeyPress(other, kQuitModifiers)) << "the quit key reached the application";
}

TEST_F(GlimmoraEndToEndTest, QuitKeyWithLocksEngagedEndsAProcessWhoseMainThreadHangs) {
    const std::string log = session.directory() + "/hang.log";
    test::ChildProcess hanging({QUIT_HOT_KEY_HANG_PATH}, {{"DISPLAY", session.display()}}, log);
    const auto printed = [&] {
        std::ifstream in(log);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    ASSERT_TRUE(test::waitUntil(
        [&] { return printed().find("MAIN THREAD HANGING") != std::string::npos; }, kTimeout));
    focusOtherWindow();
    // X matches a grab's modifiers exactly: engaged locks must not defeat it. (NumLock is Mod2
    // in the server's default keyboard map.)
    ASSERT_TRUE(press("Caps_Lock"));
    ASSERT_TRUE(press("Num_Lock"));
    const XcbReply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(
        x.connection(), xcb_query_pointer(x.connection(), x.root()), nullptr));
    constexpr std::uint16_t kLocks = XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2;
    ASSERT_TRUE(pointer && (pointer->mask & kLocks) == kLocks) << "the locks are not engaged";

    ASSERT_TRUE(press("ctrl+alt+super+Escape"));
    // The forced exit comes two seconds after the press.
    EXPECT_TRUE(exitsCleanly(hanging, 8s)) << "the hung process survived the quit key";
    EXPECT_NE(printed().find("Global hotkey triggered! Quitting app..."), std::string::npos)
        << printed();
}

}  // namespace
}  // namespace glimmora
