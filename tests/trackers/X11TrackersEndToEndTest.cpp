// The trackers fed by the real X11 layer on a private X server with a window manager, driven with
// xdotool: XInput 2 raw pointer events into MouseTracker, the EWMH window list and activation
// changes into WindowFocusTracker. The decisions behind them are TrackersTest's.

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/x11/input/X11InputMonitor.h"
#include "platform/x11/windows/X11DesktopEvents.h"
#include "platform/x11/windows/X11WindowList.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/LogCapture.h"
#include "support/ManualRepeatingTimer.h"
#include "support/TestApplication.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"
#include "trackers/MouseTracker.h"
#include "trackers/WindowFocusTracker.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr Rect kScreen{0, 0, kWidth, kHeight};

class X11TrackersEndToEndTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        test::testApplication();
        session = std::make_unique<test::XvfbSession>(
            test::XvfbSession::Options{.width = kWidth, .height = kHeight});
    }
    static void TearDownTestSuite() { session.reset(); }

    void SetUp() override {
        ASSERT_TRUE(session->isReady()) << session->failure();
        events = std::make_unique<X11DesktopEvents>(session->display().c_str());
        input = std::make_unique<X11InputMonitor>(session->display().c_str());
        ASSERT_TRUE(input->start()) << "no XInput 2.2 or XKB";
        ASSERT_EQ(input->primaryMonitor(), QRect(0, 0, kWidth, kHeight));
        input->onPointerMoved = [this](Point p) { mouse.pointerMoved(p.x, p.y); };
        input->onLeftButtonPressed = [this] { mouse.leftButtonPressed(); };
        mouse.startTracking();
        // Absolute moves make no raw motion under Xvfb: they only place the pointer.
        ASSERT_TRUE(xdotool({"mousemove", "400", "300"}));
        ASSERT_TRUE(eventually([this] { return input->pointerPosition() == Point{400, 300}; }));
        input->processEvents();
        log.clear();
    }

    bool xdotool(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "xdotool");
        return session->run(arguments);
    }
    bool eventually(const std::function<bool()>& condition) {
        return test::waitUntil(condition, 10s, [this] {
            input->processEvents();
            events->processEvents();
        });
    }
    /// Handles what arrives in a short while, for events that must change nothing.
    void settle() {
        test::waitUntil([] { return false; }, 300ms, [this] { input->processEvents(); });
    }

    static inline std::unique_ptr<test::XvfbSession> session;
    MemoryUserDefaults defaults;
    AppState state{defaults};
    test::LogCapture log;
    std::unique_ptr<X11InputMonitor> input;
    MouseTracker mouse{state, [] { return std::optional(kScreen); },
                       [this]() -> std::optional<Point> { return input->pointerPosition(); }};
    std::unique_ptr<X11DesktopEvents> events;
};

TEST_F(X11TrackersEndToEndTest, PointerMovesAndDragsPublishAndOnlyTheLeftButtonExplodes) {
    ASSERT_TRUE(xdotool({"mousemove_relative", "--sync", "--", "-200", "150"}));
    EXPECT_TRUE(eventually([&] { return mouse.mousePosition() == Point{200, 450}; }));
    EXPECT_EQ(mouse.normalizedX(), 0.25f);
    EXPECT_EQ(mouse.normalizedY(), 0.75f);
    ASSERT_TRUE(xdotool({"mousedown", "3"}));
    ASSERT_TRUE(xdotool({"mousemove_relative", "--sync", "200", "-150"}));
    EXPECT_TRUE(eventually([&] { return mouse.mousePosition() == Point{400, 300}; }));
    ASSERT_TRUE(xdotool({"mouseup", "3"}));

    state.isExplosionEnabled = true;
    ASSERT_TRUE(xdotool({"click", "3"}));
    ASSERT_TRUE(xdotool({"mousemove_relative", "--sync", "200", "150"}));
    ASSERT_TRUE(xdotool({"click", "1"}));
    EXPECT_TRUE(eventually([&] { return !log.lines().empty(); }));
    settle();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"BOOM at (0.75, 0.75)"});
}

TEST_F(X11TrackersEndToEndTest, ActivationBringsTheNewWindowsFrameAtOnce) {
    test::X11TestDisplay x(session->display());
    xcb_connection_t* listConnection = xcb_connect(session->display().c_str(), nullptr);
    X11WindowList list(listConnection, x.root());
    state.isSmartFocusEnabled = true;
    WindowFocusTracker tracker(
        state, [&] { return list.frontToBack(); }, [] { return std::optional(kScreen); },
        static_cast<std::int32_t>(::getpid()), std::make_unique<ManualRepeatingTimer>());
    events->onActiveWindowChanged = [&] { tracker.activationChanged(); };
    const auto show = [&](std::uint32_t pid, test::RootRect rect) {
        const xcb_window_t window = x.createWindow(rect);
        x.setCardinals(window, "_NET_WM_PID", XCB_ATOM_CARDINAL, {pid});
        x.map(window);
        EXPECT_TRUE(test::waitUntil([&] { return x.isViewable(window); }, 10s));
        return window;
    };
    // Where the window manager framed the window, as fractions of the screen.
    const auto isFrameOf = [&](xcb_window_t window) {
        const test::RootRect f = x.rootGeometry(x.topLevelOf(window));
        const Rect b = tracker.activeWindowBounds();
        return tracker.hasActiveWindow() &&
               Rect{std::round(b.x * kWidth), std::round(b.y * kHeight),
                    std::round(b.width * kWidth), std::round(b.height * kHeight)} ==
                   Rect{double(f.x), double(f.y), double(f.width), double(f.height)};
    };
    const xcb_window_t editor = show(4001, {40, 60, 400, 300});
    const xcb_window_t viewer = show(4002, {300, 200, 300, 250});
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(editor)}));
    tracker.startTracking();
    EXPECT_TRUE(isFrameOf(editor));

    // No timer tick: the activation alone brings the new window's frame.
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(viewer)}));
    EXPECT_TRUE(eventually([&] { return isFrameOf(viewer); }));
    tracker.stopTracking();
    x.destroy(viewer);
    x.destroy(editor);
    xcb_disconnect(listConnection);
}

TEST(X11InputMonitorTest, StopsReadingOnceTheServerIsGone) {
    test::testApplication();
    auto server =
        std::make_unique<test::XvfbSession>(test::XvfbSession::Options{.windowManager = false});
    ASSERT_TRUE(server->isReady()) << server->failure();
    X11InputMonitor input(server->display().c_str());
    ASSERT_TRUE(input.start());
    ASSERT_TRUE(input.pointerPosition());

    server.reset();
    // The socket is readable for ever now; reading it must not keep the event loop busy.
    input.processEvents();
    EXPECT_FALSE(input.isStarted());
    EXPECT_FALSE(input.pointerPosition());
}

}  // namespace
}  // namespace glimmora
