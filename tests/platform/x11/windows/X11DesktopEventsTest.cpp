#include "platform/x11/windows/X11DesktopEvents.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <memory>
#include <vector>

#include "support/TestApplication.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using test::RootRect;

constexpr std::uint32_t kWithdrawn = 0;
constexpr std::uint32_t kNormal = 1;
constexpr std::uint32_t kIconic = 3;

class X11DesktopEventsTest : public testing::Test {
protected:
    void SetUp() override {
        test::testApplication();
        session = std::make_unique<test::XvfbSession>(
            test::XvfbSession::Options{.width = 640, .height = 480, .windowManager = false});
        ASSERT_TRUE(session->isReady()) << session->failure();
        x = std::make_unique<test::X11TestDisplay>(session->display());
        ASSERT_TRUE(x->isConnected());
    }

    /// Starts listening; windows made before this are found by the start-up scan.
    void listen() {
        events = std::make_unique<X11DesktopEvents>(session->display().c_str());
        ASSERT_TRUE(events->isConnected());
        events->onTopLevelChanged = [this](const TopLevelChange& c) { changes.push_back(c); };
        events->onScreenParametersChanged = [this] { ++screenChanges; };
        events->onScreensDidWake = [this] { ++wakes; };
        events->onWindowRestored = [this](std::uint32_t w) { restored.push_back(w); };
    }

    bool eventually(const std::function<bool()>& condition) {
        return test::waitUntil(condition, 5s, test::pumpQtEvents);
    }

    bool sawChange(TopLevelChange change) {
        return std::find(changes.begin(), changes.end(), change) != changes.end();
    }

    /// Maps a fresh top-level window and waits until its mapping is reported: everything the
    /// server sent before it has been handled by then.
    void settle() {
        const xcb_window_t marker = x->createWindow({0, 0, 1, 1}, true);
        x->map(marker);
        ASSERT_TRUE(eventually([&] { return sawChange({marker, TopLevelChange::Kind::mapped}); }));
    }

    /// Sets the state as a window manager would, and lets it be seen: the notification only
    /// says that the property changed, the reader fetches the value it has by then.
    void setWmState(xcb_window_t window, std::uint32_t state) {
        x->setCardinals(window, "WM_STATE", x->atom("WM_STATE"), {state, XCB_NONE});
        if (events) {
            settle();
        }
    }

    std::unique_ptr<test::XvfbSession> session;
    std::unique_ptr<test::X11TestDisplay> x;
    std::unique_ptr<X11DesktopEvents> events;
    std::vector<TopLevelChange> changes;
    int screenChanges = 0;
    int wakes = 0;
    std::vector<std::uint32_t> restored;
};

TEST_F(X11DesktopEventsTest, ReportsTopLevelWindowsMappedAndRestacked) {
    listen();
    const xcb_window_t first = x->createWindow({10, 10, 100, 100});
    const xcb_window_t second = x->createWindow({20, 20, 100, 100});
    x->map(first);
    x->map(second);
    EXPECT_TRUE(eventually([&] { return sawChange({second, TopLevelChange::Kind::mapped}); }));
    EXPECT_TRUE(sawChange({first, TopLevelChange::Kind::mapped}));

    changes.clear();
    x->raise(first);
    EXPECT_TRUE(eventually([&] { return sawChange({first, TopLevelChange::Kind::configured}); }));

    changes.clear();
    xcb_circulate_window(x->connection(), XCB_CIRCULATE_RAISE_LOWEST, x->root());
    x->flush();
    EXPECT_TRUE(eventually([&] {
        return std::any_of(changes.begin(), changes.end(), [](const TopLevelChange& c) {
            return c.kind == TopLevelChange::Kind::circulated;
        });
    }));
}

TEST_F(X11DesktopEventsTest, IgnoresWindowsInsideTopLevels) {
    const xcb_window_t parent = x->createWindow({10, 10, 200, 200});
    x->map(parent);
    listen();
    const xcb_window_t child = x->createWindow({5, 5, 50, 50}, false, 0, parent);
    x->map(child);
    x->raise(child);
    settle();
    for (const TopLevelChange& c : changes) {
        EXPECT_NE(c.window, child);
    }
}

TEST_F(X11DesktopEventsTest, ReportsRestoreOfAWindowCreatedAfterTheStart) {
    listen();
    const xcb_window_t client = x->createWindow({10, 10, 100, 100});
    settle();  // the creation is seen and the window watched before its state changes
    setWmState(client, kNormal);
    setWmState(client, kIconic);
    setWmState(client, kNormal);
    EXPECT_TRUE(eventually([&] { return !restored.empty(); }));
    settle();
    EXPECT_EQ(restored, std::vector<std::uint32_t>{client});
}

TEST_F(X11DesktopEventsTest, FindsMinimisedClientsInsideFramesAtStart) {
    // A reparenting window manager's layout: frame on the root, client inside with WM_STATE.
    const xcb_window_t frame = x->createWindow({10, 10, 200, 200});
    const xcb_window_t client = x->createWindow({0, 20, 200, 180}, false, 0, frame);
    setWmState(client, kIconic);
    x->sync();
    listen();
    setWmState(client, kNormal);
    EXPECT_TRUE(eventually([&] { return !restored.empty(); }));
    EXPECT_EQ(restored, std::vector<std::uint32_t>{client});
}

TEST_F(X11DesktopEventsTest, KeepsWatchingAClientReparentedIntoAFrame) {
    listen();
    const xcb_window_t client = x->createWindow({10, 10, 100, 100});
    const xcb_window_t frame = x->createWindow({10, 10, 120, 140});
    settle();
    xcb_reparent_window(x->connection(), client, frame, 0, 20);
    setWmState(client, kIconic);
    setWmState(client, kNormal);
    EXPECT_TRUE(eventually([&] { return !restored.empty(); }));
    EXPECT_EQ(restored, std::vector<std::uint32_t>{client});
}

TEST_F(X11DesktopEventsTest, OnlyIconicToNormalCountsAsRestore) {
    listen();
    const xcb_window_t client = x->createWindow({10, 10, 100, 100});
    settle();
    setWmState(client, kNormal);
    setWmState(client, kNormal);  // shown again: no restore
    setWmState(client, kWithdrawn);
    setWmState(client, kNormal);  // mapped anew from withdrawn: no restore
    setWmState(client, kIconic);
    x->deleteProperty(client, "WM_STATE");
    settle();
    setWmState(client, kNormal);  // the window manager let go between: no restore
    settle();
    EXPECT_TRUE(restored.empty());
}

TEST_F(X11DesktopEventsTest, WindowsGoneBeforeTheyAreWatchedDoNoHarm) {
    listen();
    // Created and destroyed before the creation is handled: watching it fails on the server.
    for (int i = 0; i < 5; ++i) {
        xcb_destroy_window(x->connection(), x->createWindow({10, 10, 50, 50}));
    }
    x->sync();
    settle();
    EXPECT_TRUE(events->isConnected());

    const xcb_window_t client = x->createWindow({10, 10, 100, 100});
    settle();
    setWmState(client, kIconic);
    setWmState(client, kNormal);
    EXPECT_EQ(restored, std::vector<std::uint32_t>{client});
}

TEST_F(X11DesktopEventsTest, ReportsScreenParameterChanges) {
    listen();
    ASSERT_TRUE(session->run({"xrandr", "--newmode", "small", "10", "320", "330", "340", "350",
                              "240", "250", "260", "270"}));
    ASSERT_TRUE(session->run({"xrandr", "--addmode", "screen", "small"}));
    ASSERT_TRUE(session->run({"xrandr", "--output", "screen", "--mode", "small"}));
    EXPECT_TRUE(eventually([&] { return screenChanges > 0; }));
}

TEST_F(X11DesktopEventsTest, ReportsWakeWhenTheScreenSaverGoesOff) {
    listen();
    xcb_force_screen_saver(x->connection(), XCB_SCREEN_SAVER_ACTIVE);
    x->sync();
    settle();
    EXPECT_EQ(wakes, 0);  // the saver coming on is no wake
    xcb_force_screen_saver(x->connection(), XCB_SCREEN_SAVER_RESET);
    x->flush();
    EXPECT_TRUE(eventually([&] { return wakes == 1; }));
}

TEST(X11DesktopEventsWithoutServerTest, StaysSilent) {
    test::testApplication();
    X11DesktopEvents nowhere(":65000");
    EXPECT_FALSE(nowhere.isConnected());
    EXPECT_EQ(nowhere.connection(), nullptr);
    nowhere.processEvents();
}

}  // namespace
}  // namespace glimmora
