// The glimmora program over a live desktop on a private X server with a window manager,
// judged by what the user sees: the screen (the root window's pixels, overlay included) must
// show the desktop under the overlay, dimmed, following windows that go, change size, are
// minimised and come back, and a screen that changes size, and never the overlay's own
// picture fed back into itself.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/GlimmoraProcess.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using test::Rgb;
using test::RootRect;

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
// A negative brightness offset scales every channel by 1 + offset: half here.
constexpr float kBrightness = -0.5f;
constexpr Rgb kWallpaper{40, 160, 220};
// Rounding to 8 bits on the way through capture, textures and the frame buffer.
constexpr int kTolerance = 3;

// The server, the program, its overlay and its first pictures, on a loaded machine with a
// software renderer.
constexpr auto kStartTimeout = 30s;
// A change on the desktop reaching the screen: capture, upload and a frame or two.
constexpr auto kScreenTimeout = 20s;
constexpr auto kScreenPollInterval = 100ms;
constexpr auto kWindowManagerTimeout = 10s;
// How long a still picture is watched for drift.
constexpr auto kStillTime = 3s;
constexpr auto kStillSampleInterval = 250ms;

constexpr std::string_view kCaptureStarted = "CAPTURE STARTED";

Rgb dimmed(Rgb colour) {
    const auto scale = [](int channel) {
        return static_cast<int>(std::lround(static_cast<float>(channel) * (1.0f + kBrightness)));
    };
    return {scale(colour.red), scale(colour.green), scale(colour.blue)};
}

/// A point of the screen and the colour it should show there.
struct Probe {
    int x = 0;
    int y = 0;
    Rgb expected;
    std::string what;
};

/// Probes of a window's area: its centre and, a few pixels in, its four corners.
std::vector<Probe> probesInside(RootRect area, Rgb expected, const std::string& what) {
    constexpr int kInset = 6;
    const int left = area.x + kInset;
    const int top = area.y + kInset;
    const int right = area.x + area.width - 1 - kInset;
    const int bottom = area.y + area.height - 1 - kInset;
    return {{area.x + area.width / 2, area.y + area.height / 2, expected, what + " (centre)"},
            {left, top, expected, what + " (top left)"},
            {right, top, expected, what + " (top right)"},
            {left, bottom, expected, what + " (bottom left)"},
            {right, bottom, expected, what + " (bottom right)"}};
}

std::vector<Probe> operator+(std::vector<Probe> a, const std::vector<Probe>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class LiveCaptureEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        session = std::make_unique<test::XvfbSession>(test::XvfbSession::Options{
            .width = kScreenWidth, .height = kScreenHeight, .windowManager = true});
        ASSERT_TRUE(session->isReady()) << session->failure();
        x = std::make_unique<test::X11TestDisplay>(session->display());
        ASSERT_TRUE(x->isConnected());
        x->setWallpaper(kWallpaper);
    }

    void TearDown() override {
        if (HasFailure() && glimmora) {
            std::cout << "glimmora's output:\n" << glimmora->output() << std::endl;
        }
        glimmora.reset();
    }

    /// A window of one colour, managed by the window manager, whose client area asks to be at
    /// `rect`; returns once it is shown.
    xcb_window_t showWindow(RootRect rect, Rgb colour) {
        const xcb_window_t window = x->createWindow(rect);
        x->setBackground(window, colour);
        // WM_NORMAL_HINTS with user-given position and size: placed where asked, not by the
        // window manager's own placement.
        constexpr std::size_t kSizeHintsFields = 18;
        constexpr std::uint32_t kUserPositionAndSize = 1 | 2;
        std::vector<std::uint32_t> hints(kSizeHintsFields, 0);
        hints[0] = kUserPositionAndSize;
        x->setCardinals(window, "WM_NORMAL_HINTS", XCB_ATOM_WM_SIZE_HINTS, hints);
        x->map(window);
        EXPECT_TRUE(test::waitUntil([&] { return x->isViewable(window); }, kWindowManagerTimeout))
            << "the window manager did not show a window";
        return window;
    }

    /// Starts the program with the dimmer at kBrightness and waits for its capture and its
    /// overlay.
    void launch(bool overlayEnabled = true) {
        std::ostringstream settings;
        settings << "isOverlayEnabled=" << (overlayEnabled ? "true" : "false")
                 << "\nisScreenDimmerEnabled=true\nscreenBrightness=" << kBrightness << "\n";
        glimmora = std::make_unique<test::GlimmoraProcess>(
            *session,
            test::GlimmoraProcess::Options{.executable = GLIMMORA_PATH,
                                           .settings = settings.str(),
                                           .leakSuppressions = GLIMMORA_LSAN_SUPPRESSIONS});
        ASSERT_NE(glimmora->process().pid(), 0);
        ASSERT_TRUE(test::waitUntil(
            [&] {
                return glimmora->count(kCaptureStarted) > 0 || !glimmora->process().isRunning();
            },
            kStartTimeout))
            << "the capture did not start";
        ASSERT_GT(glimmora->count(kCaptureStarted), 0) << "glimmora exited early";
        if (!overlayEnabled) {
            return;  // a switched-off overlay is taken off the screen as soon as it is set up
        }
        ASSERT_TRUE(test::waitUntil(
            [&] {
                const auto window = x->findTopLevel(
                    static_cast<std::uint32_t>(glimmora->process().pid()), "Glimmora");
                if (window && x->isOverrideRedirect(*window)) {
                    overlay = *window;
                }
                return overlay != XCB_NONE;
            },
            kStartTimeout))
            << "no overlay window appeared";
    }

    /// Whether the screen shows every probe's colour now. What it showed instead is kept for
    /// the failure message.
    bool screenShows(const std::vector<Probe>& probes) {
        const test::ScreenShot shot = x->screenShot();
        std::ostringstream mismatches;
        for (const Probe& probe : probes) {
            const Rgb seen = shot.at(probe.x, probe.y);
            if (!test::isNear(seen, probe.expected, kTolerance)) {
                mismatches << "\n  " << probe.what << " at (" << probe.x << ", " << probe.y
                           << "): " << seen << ", expected " << probe.expected;
            }
        }
        lastMismatches = mismatches.str();
        return lastMismatches.empty();
    }

    bool eventuallyShows(const std::vector<Probe>& probes) {
        return test::waitUntil([&] { return screenShows(probes); }, kScreenTimeout, {},
                               kScreenPollInterval);
    }

    bool eventuallyPrints(std::string_view text, int times) {
        return test::waitUntil([&] { return glimmora->count(text) >= times; }, kScreenTimeout, {},
                               kScreenPollInterval);
    }

    /// Bare desktop away from every window the tests make.
    std::vector<Probe> wallpaperProbes() const {
        return {
            {8, 8, dimmed(kWallpaper), "wallpaper (top left)"},
            {kScreenWidth - 9, kScreenHeight - 9, dimmed(kWallpaper), "wallpaper (bottom right)"}};
    }

    std::unique_ptr<test::XvfbSession> session;
    std::unique_ptr<test::X11TestDisplay> x;
    std::unique_ptr<test::GlimmoraProcess> glimmora;
    xcb_window_t overlay = XCB_NONE;
    std::string lastMismatches;
};

TEST_F(LiveCaptureEndToEndTest, ShowsTheDesktopDimmedWithoutFeedingOnItsOwnPicture) {
    constexpr Rgb kColour{200, 120, 60};
    const xcb_window_t window = showWindow({40, 40, 540, 360}, kColour);
    launch();
    const std::vector<Probe> probes =
        probesInside(x->rootGeometry(window), dimmed(kColour), "window") + wallpaperProbes();
    ASSERT_TRUE(eventuallyShows(probes)) << lastMismatches;

    // Were the overlay part of its own pictures, each picture would be darker than the one
    // before: half, a quarter, an eighth...
    const auto end = std::chrono::steady_clock::now() + kStillTime;
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(kStillSampleInterval);
        EXPECT_TRUE(screenShows(probes)) << lastMismatches;
    }
}

TEST_F(LiveCaptureEndToEndTest, SwitchedOffOverlayLeavesTheDesktopInSight) {
    constexpr Rgb kColour{200, 120, 60};
    const xcb_window_t window = showWindow({40, 40, 540, 360}, kColour);
    launch(/*overlayEnabled=*/false);
    // Not an undrawn, black overlay over the desktop: the window goes off the screen and the
    // desktop shows as it is, undimmed, and stays so.
    const std::vector<Probe> probes = probesInside(x->rootGeometry(window), kColour, "window");
    ASSERT_TRUE(eventuallyShows(probes)) << lastMismatches;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(kStillSampleInterval);
        EXPECT_TRUE(screenShows(probes)) << lastMismatches;
    }
}

TEST_F(LiveCaptureEndToEndTest, FollowsWindowsThatGoResizeAndAreMinimisedAndRestored) {
    constexpr Rgb kGoing{200, 60, 60};
    constexpr Rgb kGrowing{60, 200, 60};
    constexpr Rgb kMinimised{60, 60, 200};
    const xcb_window_t going = showWindow({20, 40, 180, 140}, kGoing);
    const xcb_window_t growing = showWindow({260, 40, 120, 100}, kGrowing);
    const xcb_window_t minimised = showWindow({20, 280, 200, 140}, kMinimised);
    launch();
    const RootRect goingArea = x->rootGeometry(going);
    const RootRect grownFrom = x->rootGeometry(growing);
    const RootRect minimisedArea = x->rootGeometry(minimised);
    ASSERT_TRUE(eventuallyShows(
        probesInside(goingArea, dimmed(kGoing), "window to destroy") +
        probesInside(grownFrom, dimmed(kGrowing), "window to resize") +
        probesInside(minimisedArea, dimmed(kMinimised), "window to minimise") + wallpaperProbes()))
        << lastMismatches;

    x->destroy(going);
    EXPECT_TRUE(eventuallyShows(
        probesInside(goingArea, dimmed(kWallpaper), "where the destroyed window was")))
        << lastMismatches;

    x->resize(growing, 260, 200);
    ASSERT_TRUE(test::waitUntil(
        [&] {
            const RootRect now = x->rootGeometry(growing);
            return now.width == 260 && now.height == 200;
        },
        kWindowManagerTimeout))
        << "the window manager did not resize the window";
    const RootRect grownTo = x->rootGeometry(growing);
    EXPECT_TRUE(eventuallyShows(probesInside(grownTo, dimmed(kGrowing), "resized window")))
        << lastMismatches;

    x->minimise(minimised);
    ASSERT_TRUE(test::waitUntil([&] { return !x->isViewable(minimised); }, kWindowManagerTimeout))
        << "the window manager did not minimise the window";
    EXPECT_TRUE(eventuallyShows(
        probesInside(minimisedArea, dimmed(kWallpaper), "where the minimised window was")))
        << lastMismatches;

    // A restored window restarts the capture.
    const int startsBeforeRestore = glimmora->count(kCaptureStarted);
    x->map(minimised);
    ASSERT_TRUE(test::waitUntil([&] { return x->isViewable(minimised); }, kWindowManagerTimeout))
        << "the window manager did not restore the window";
    EXPECT_TRUE(eventuallyPrints(kCaptureStarted, startsBeforeRestore + 1))
        << "the restore did not restart the capture";
    EXPECT_TRUE(eventuallyShows(
        probesInside(x->rootGeometry(minimised), dimmed(kMinimised), "restored window")))
        << lastMismatches;

    // And the restarted capture goes on following the desktop.
    x->destroy(growing);
    EXPECT_TRUE(
        eventuallyShows(probesInside(grownTo, dimmed(kWallpaper), "where the resized window was") +
                        wallpaperProbes()))
        << lastMismatches;
    EXPECT_TRUE(glimmora->process().isRunning());
}

TEST_F(LiveCaptureEndToEndTest, FollowsAScreenSizeChange) {
    constexpr Rgb kColour{200, 120, 60};
    constexpr int kNewWidth = 480;
    constexpr int kNewHeight = 360;
    const xcb_window_t window = showWindow({40, 40, 200, 150}, kColour);
    launch();
    ASSERT_TRUE(eventuallyShows(probesInside(x->rootGeometry(window), dimmed(kColour), "window")))
        << lastMismatches;

    const int startsBefore = glimmora->count(kCaptureStarted);
    ASSERT_TRUE(session->run({"xrandr", "--newmode", "smaller", "20", "480", "490", "500", "510",
                              "360", "370", "380", "390"}));
    ASSERT_TRUE(session->run({"xrandr", "--addmode", "screen", "smaller"}));
    ASSERT_TRUE(session->run({"xrandr", "--output", "screen", "--mode", "smaller"}));
    ASSERT_EQ(x->rootSize(), (RootRect{0, 0, kNewWidth, kNewHeight}));

    EXPECT_TRUE(eventuallyPrints("Screen wake detected - restarting capture", 1));
    EXPECT_TRUE(eventuallyPrints(kCaptureStarted, startsBefore + 1))
        << "the capture did not start again";
    EXPECT_TRUE(test::waitUntil(
        [&] {
            return x->rootGeometry(overlay) == RootRect{0, 0, kNewWidth, kNewHeight};
        },
        kScreenTimeout))
        << "the overlay does not cover the new screen";

    // The window where it is now, and bare desktop right beside it and in the new screen's
    // corners: a picture of the old size, or one drawn to the old size, puts the window
    // elsewhere.
    const RootRect area = x->rootGeometry(window);
    const int right = area.x + area.width;
    const int bottom = area.y + area.height;
    std::vector<Probe> probes = probesInside(area, dimmed(kColour), "window");
    probes.push_back({right + 20, area.y + area.height / 2, dimmed(kWallpaper),
                      "wallpaper right of the window"});
    probes.push_back(
        {area.x + area.width / 2, bottom + 20, dimmed(kWallpaper), "wallpaper below the window"});
    probes.push_back({kNewWidth - 3, 3, dimmed(kWallpaper), "wallpaper (top right)"});
    probes.push_back({3, kNewHeight - 3, dimmed(kWallpaper), "wallpaper (bottom left)"});
    probes.push_back(
        {kNewWidth - 3, kNewHeight - 3, dimmed(kWallpaper), "wallpaper (bottom right)"});
    EXPECT_TRUE(eventuallyShows(probes)) << lastMismatches;
}

TEST_F(LiveCaptureEndToEndTest, MovesToAnotherMonitorMadePrimary) {
    constexpr Rgb kColour{200, 120, 60};
    const xcb_window_t window = showWindow({360, 60, 200, 150}, kColour);
    launch();
    ASSERT_TRUE(eventuallyShows(probesInside(x->rootGeometry(window), dimmed(kColour), "window")))
        << lastMismatches;

    // Two monitors side by side, the right one primary (and the output's own monitor, which
    // spans both, no longer primary).
    const int half = kScreenWidth / 2;
    const std::string size =
        std::to_string(half) + "/100x" + std::to_string(kScreenHeight) + "/100";
    ASSERT_TRUE(session->run({"xrandr", "--setmonitor", "left", size + "+0+0", "none"}));
    ASSERT_TRUE(session->run(
        {"xrandr", "--setmonitor", "*right", size + "+" + std::to_string(half) + "+0", "none"}));
    ASSERT_TRUE(session->run({"xrandr", "--noprimary"}));

    EXPECT_TRUE(test::waitUntil(
        [&] {
            return x->rootGeometry(overlay) == RootRect{half, 0, half, kScreenHeight};
        },
        kScreenTimeout))
        << "the overlay did not move to the primary monitor";
    // The right monitor's picture in the right place: the window (in it) where it is, bare
    // desktop around it.
    const RootRect area = x->rootGeometry(window);
    std::vector<Probe> probes = probesInside(area, dimmed(kColour), "window");
    probes.push_back({area.x + area.width / 2, area.y + area.height + 20, dimmed(kWallpaper),
                      "wallpaper below the window"});
    probes.push_back({half + 4, kScreenHeight - 5, dimmed(kWallpaper),
                      "wallpaper (primary monitor's bottom left)"});
    EXPECT_TRUE(eventuallyShows(probes)) << lastMismatches;
}

TEST_F(LiveCaptureEndToEndTest, StillDesktopKeepsTheWatchdogQuiet) {
    constexpr Rgb kColour{200, 120, 60};
    const xcb_window_t window = showWindow({40, 40, 300, 200}, kColour);
    launch();
    ASSERT_TRUE(eventuallyShows(probesInside(x->rootGeometry(window), dimmed(kColour), "window")))
        << lastMismatches;
    // The stream report comes with the first sample and then with the first sample more than
    // five seconds later: a second one means samples went on arriving over a still desktop.
    const std::string_view report = "\U0001F4F9 SCStream: ";
    EXPECT_TRUE(eventuallyPrints(report, 2)) << "no samples over a still desktop";
    EXPECT_EQ(glimmora->count("Frames stopped"), 0);
    EXPECT_EQ(glimmora->count(kCaptureStarted), 1) << "the capture was restarted";
}

}  // namespace
}  // namespace glimmora
