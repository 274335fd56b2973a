// The trackers fed by the real X11 layer, on a private X server with a window manager, driven
// with xdotool: pointer, clicks and keys through XInput 2 raw events into MouseTracker, and
// the EWMH window list with activation changes into WindowFocusTracker.

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/x11/input/X11InputMonitor.h"
#include "platform/x11/windows/X11DesktopEvents.h"
#include "platform/x11/windows/X11WindowList.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/ManualRepeatingTimer.h"
#include "support/TestApplication.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"
#include "trackers/MouseTracker.h"
#include "trackers/WindowFocusTracker.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;

constexpr auto kTimeout = 10s;
// How long a key or click that must change nothing is given to arrive anyway.
constexpr auto kQuietTime = 300ms;
constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;

class X11TrackersEndToEndTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        test::testApplication();
        session = new test::XvfbSession({.width = kScreenWidth, .height = kScreenHeight});
    }
    static void TearDownTestSuite() {
        delete session;
        session = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(session->isReady()) << session->failure();
        x = std::make_unique<test::X11TestDisplay>(session->display());
        ASSERT_TRUE(x->isConnected());
    }

    bool xdotool(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "xdotool");
        return session->run(arguments);
    }

    static test::XvfbSession* session;
    std::unique_ptr<test::X11TestDisplay> x;
    MemoryUserDefaults defaults;
    AppState state{defaults};
};

test::XvfbSession* X11TrackersEndToEndTest::session = nullptr;

// --- Pointer, clicks and keys ---

class X11MouseTrackerTest : public X11TrackersEndToEndTest {
protected:
    void SetUp() override {
        X11TrackersEndToEndTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        input = std::make_unique<X11InputMonitor>(session->display().c_str());
        ASSERT_TRUE(input->start()) << "no XInput 2.2 or XKB";
        const QRect primary = input->primaryMonitor();
        ASSERT_EQ(primary, QRect(0, 0, kScreenWidth, kScreenHeight));
        tracker = std::make_unique<MouseTracker>(
            state,
            [primary] {
                return std::optional(Rect{double(primary.x()), double(primary.y()),
                                          double(primary.width()), double(primary.height())});
            },
            [this]() -> std::optional<Point> {
                const auto pointer = input->pointerPosition();
                return pointer ? std::optional(Point{pointer->x, pointer->y}) : std::nullopt;
            });
        input->onPointerMoved = [this](Point p) { tracker->pointerMoved(p.x, p.y); };
        input->onLeftButtonPressed = [this] { tracker->leftButtonPressed(); };
        input->onKeyPressed = [this](KeySymbol key, ModifierMask modifiers) {
            tracker->keyPressed(key, modifiers);
        };
        tracker->setClickExplosionHandler(
            [this](float cx, float cy) { explosions.emplace_back(cx, cy); });
        tracker->startTracking();
        // Absolute moves make no raw motion under Xvfb: they only place the pointer. (Not
        // --sync: that waits for a move, and the pointer may already be there.)
        ASSERT_TRUE(xdotool({"mousemove", "400", "300"}));
        ASSERT_TRUE(test::waitUntil(
            [this] {
                const auto pointer = input->pointerPosition();
                return pointer && pointer->x == 400 && pointer->y == 300;
            },
            kTimeout));
        input->processEvents();
    }

    bool waitFor(const std::function<bool()>& condition) {
        return test::waitUntil(condition, kTimeout, [this] { input->processEvents(); });
    }
    void settle() {
        test::waitUntil([] { return false; }, kQuietTime, [this] { input->processEvents(); });
    }

    std::unique_ptr<X11InputMonitor> input;
    std::unique_ptr<MouseTracker> tracker;
    std::vector<std::pair<float, float>> explosions;
};

TEST_F(X11MouseTrackerTest, RelativeMovesPublishTheNormalisedPosition) {
    ASSERT_TRUE(xdotool({"mousemove_relative", "--sync", "--", "-200", "150"}));
    ASSERT_TRUE(waitFor([&] {
        return tracker->mousePosition() == Point{200, 450};
    })) << tracker->mousePosition().x
        << ", " << tracker->mousePosition().y;
    EXPECT_EQ(tracker->normalizedX(), 0.25f);
    EXPECT_EQ(tracker->normalizedY(), 0.75f);

    // A drag: the position follows the pointer while the button is held.
    ASSERT_TRUE(xdotool({"mousedown", "3"}));
    ASSERT_TRUE(xdotool({"mousemove_relative", "--sync", "200", "-150"}));
    EXPECT_TRUE(waitFor([&] { return tracker->mousePosition() == Point{400, 300}; }));
    ASSERT_TRUE(xdotool({"mouseup", "3"}));
}

TEST_F(X11MouseTrackerTest, LeftClicksExplodeOnlyWhileExplosionsAreOn) {
    testing::internal::CaptureStdout();
    ASSERT_TRUE(xdotool({"click", "1"}));
    settle();
    EXPECT_TRUE(explosions.empty());

    state.isExplosionEnabled = true;
    ASSERT_TRUE(xdotool({"click", "3"}));  // the right button never explodes
    ASSERT_TRUE(xdotool({"mousemove_relative", "--sync", "200", "150"}));
    ASSERT_TRUE(xdotool({"click", "1"}));
    EXPECT_TRUE(waitFor([&] { return !explosions.empty(); }));
    settle();
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(explosions.size(), 1u);
    EXPECT_EQ(explosions[0], std::make_pair(0.75f, 0.75f));
    EXPECT_EQ(printed, "BOOM at (0.75, 0.75)\n");
}

TEST_F(X11MouseTrackerTest, AltFTogglesFocusEvenWhileAnotherClientGrabsTheKeyboard) {
    ASSERT_FALSE(state.isFocusEnabled());
    // The modifiers are released long before we could ask the server for them: they must come
    // from the event stream, in order.
    ASSERT_TRUE(xdotool({"key", "alt+f"}));
    ASSERT_TRUE(waitFor([&] { return state.isFocusEnabled(); }));

    ASSERT_TRUE(xdotool({"key", "alt+g", "f", "ctrl+f"}));
    settle();
    EXPECT_TRUE(state.isFocusEnabled());

    // Raw events keep coming while a menu or a drag holds the keyboard.
    std::unique_ptr<xcb_grab_keyboard_reply_t, decltype(&std::free)> grab(
        xcb_grab_keyboard_reply(x->connection(),
                                xcb_grab_keyboard(x->connection(), 0, x->root(), XCB_CURRENT_TIME,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                nullptr),
        &std::free);
    ASSERT_TRUE(grab && grab->status == XCB_GRAB_STATUS_SUCCESS);
    ASSERT_TRUE(xdotool({"key", "super+alt+f"}));
    EXPECT_TRUE(waitFor([&] { return !state.isFocusEnabled(); }));
    xcb_ungrab_keyboard(x->connection(), XCB_CURRENT_TIME);
    x->sync();
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

// --- The frontmost window ---

class X11WindowFocusTrackerTest : public X11TrackersEndToEndTest {
protected:
    void SetUp() override {
        X11TrackersEndToEndTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        events = std::make_unique<X11DesktopEvents>(session->display().c_str());
        ASSERT_TRUE(events->isConnected());
        listConnection = xcb_connect(session->display().c_str(), nullptr);
        ASSERT_EQ(xcb_connection_has_error(listConnection), 0);
        list = std::make_unique<X11WindowList>(
            listConnection, xcb_setup_roots_iterator(xcb_get_setup(listConnection)).data->root);
        auto ownedTimer = std::make_unique<ManualRepeatingTimer>();
        timer = ownedTimer.get();
        tracker = std::make_unique<WindowFocusTracker>(
            state,
            [this] {
                ++listReads;
                return list->frontToBack();
            },
            [] {
                return std::optional(Rect{0, 0, kScreenWidth, kScreenHeight});
            },
            static_cast<std::int32_t>(::getpid()), std::move(ownedTimer));
        events->onActiveWindowChanged = [this] { tracker->activationChanged(); };
    }

    void TearDown() override {
        tracker.reset();
        list.reset();
        if (listConnection != nullptr) {
            xcb_disconnect(listConnection);
        }
    }

    /// A managed, shown window of process `pid` asking for `rect` (the window manager may
    /// place it elsewhere).
    xcb_window_t showWindow(std::uint32_t pid, test::RootRect rect) {
        const xcb_window_t window = x->createWindow(rect);
        x->setCardinals(window, "_NET_WM_PID", XCB_ATOM_CARDINAL, {pid});
        x->map(window);
        EXPECT_TRUE(test::waitUntil([&] { return x->isViewable(window); }, kTimeout));
        return window;
    }

    /// The window manager's frame around `window` as fractions of the screen.
    Rect frameBounds(xcb_window_t window) {
        const test::RootRect frame = x->rootGeometry(x->topLevelOf(window));
        return {double(frame.x) / kScreenWidth, double(frame.y) / kScreenHeight,
                double(frame.width) / kScreenWidth, double(frame.height) / kScreenHeight};
    }

    static bool isNear(const Rect& a, const Rect& b) {
        constexpr double kPixel = 1.0 / kScreenWidth;
        return std::abs(a.x - b.x) < kPixel && std::abs(a.y - b.y) < kPixel &&
               std::abs(a.width - b.width) < kPixel && std::abs(a.height - b.height) < kPixel;
    }

    std::unique_ptr<X11DesktopEvents> events;
    xcb_connection_t* listConnection = nullptr;
    std::unique_ptr<X11WindowList> list;
    ManualRepeatingTimer* timer = nullptr;
    std::unique_ptr<WindowFocusTracker> tracker;
    int listReads = 0;
};

TEST_F(X11WindowFocusTrackerTest, ReportsTheActiveWindowsFrameAndFollowsActivationAtOnce) {
    state.isSmartFocusEnabled = true;
    const xcb_window_t editor = showWindow(4001, {40, 60, 400, 300});
    const xcb_window_t viewer = showWindow(4002, {300, 200, 300, 250});
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(editor)}));
    tracker->startTracking();
    EXPECT_TRUE(tracker->hasActiveWindow());
    EXPECT_TRUE(isNear(tracker->activeWindowBounds(), frameBounds(editor)));

    // No timer tick: the activation alone brings the new window's frame.
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(viewer)}));
    EXPECT_TRUE(
        test::waitUntil([&] { return isNear(tracker->activeWindowBounds(), frameBounds(viewer)); },
                        kTimeout, [&] { events->processEvents(); }));
    EXPECT_TRUE(tracker->hasActiveWindow());
    x->destroy(viewer);
    x->destroy(editor);
}

TEST_F(X11WindowFocusTrackerTest, ReadsNoWindowListWhileSmartFocusIsOff) {
    const xcb_window_t editor = showWindow(4001, {40, 60, 400, 300});
    tracker->startTracking();
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(editor)}));
    test::waitUntil([] { return false; }, kQuietTime, [&] { events->processEvents(); });
    timer->fire();
    EXPECT_EQ(listReads, 0);
    EXPECT_FALSE(tracker->hasActiveWindow());

    state.isSmartFocusEnabled = true;
    timer->fire();
    EXPECT_EQ(listReads, 1);
    EXPECT_TRUE(tracker->hasActiveWindow());
    x->destroy(editor);
}

}  // namespace
}  // namespace glimmora
