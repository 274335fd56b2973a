#include "platform/x11/windows/X11DesktopEvents.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/x11/windows/X11DesktopTest.h"
#include "support/TestApplication.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using Kind = TopLevelChange::Kind;

// WM_STATE values; kGone deletes the property, as a window manager that lets go of a window.
constexpr int kWithdrawn = 0;
constexpr int kNormal = 1;
constexpr int kIconic = 3;
constexpr int kGone = -1;

class X11DesktopEventsTest : public test::X11DesktopTest {
protected:
    void listen() {
        X11DesktopTest::listen();
        events->onScreenParametersChanged = [this] { ++screenChanges; };
        events->onScreensDidWake = [this] { ++wakes; };
        events->onWindowRestored = [this](std::uint32_t w) { restored.push_back(w); };
    }

    /// Sets WM_STATE as a window manager would, and lets it be seen when listening.
    void setWmState(xcb_window_t window, int state) {
        if (state == kGone) {
            x.deleteProperty(window, "WM_STATE");
        } else {
            x.setCardinals(window, "WM_STATE", x.atom("WM_STATE"),
                           {static_cast<std::uint32_t>(state), XCB_NONE});
        }
        if (events) {
            settle();
        }
    }

    int screenChanges = 0;
    int wakes = 0;
    std::vector<std::uint32_t> restored;
};

TEST_F(X11DesktopEventsTest, ReportsTopLevelWindowsScreenChangesAndTheScreenSaverGoingOff) {
    listen();
    const xcb_window_t first = x.createWindow({10, 10, 100, 100});
    const xcb_window_t second = x.createWindow({20, 20, 100, 100});
    x.map(first);
    x.map(second);
    EXPECT_TRUE(eventually([&] { return saw(first, Kind::mapped) && saw(second, Kind::mapped); }));
    x.raise(first);
    EXPECT_TRUE(eventually([&] { return saw(first, Kind::configured); }));
    xcb_circulate_window(x.connection(), XCB_CIRCULATE_RAISE_LOWEST, x.root());
    x.flush();
    EXPECT_TRUE(eventually([&] {
        return std::any_of(changes.begin(), changes.end(),
                           [](const TopLevelChange& c) { return c.kind == Kind::circulated; });
    }));

    ASSERT_TRUE(session.run({"xrandr", "--newmode", "small", "10", "320", "330", "340", "350",
                             "240", "250", "260", "270"}));
    ASSERT_TRUE(session.run({"xrandr", "--addmode", "screen", "small"}));
    ASSERT_TRUE(session.run({"xrandr", "--output", "screen", "--mode", "small"}));
    EXPECT_TRUE(eventually([&] { return screenChanges > 0; }));

    xcb_force_screen_saver(x.connection(), XCB_SCREEN_SAVER_ACTIVE);
    x.sync();
    settle();
    EXPECT_EQ(wakes, 0) << "the saver coming on is no wake";
    xcb_force_screen_saver(x.connection(), XCB_SCREEN_SAVER_RESET);
    x.flush();
    EXPECT_TRUE(eventually([&] { return wakes == 1; }));
}

TEST_F(X11DesktopEventsTest, OnlyIconicToNormalIsARestoreAlsoForClientsMovedInOrOutOfFrames) {
    listen();
    const struct {
        std::vector<int> states;
        bool restores;
    } cases[] = {
        {{kNormal, kIconic, kNormal}, true},
        {{kNormal, kNormal}, false},                  // shown again
        {{kWithdrawn, kNormal}, false},               // mapped anew from withdrawn
        {{kNormal, kIconic, kGone, kNormal}, false},  // the window manager let go between
    };
    for (const auto& c : cases) {
        const xcb_window_t client = x.createWindow({10, 10, 100, 100});
        settle();  // the creation is seen and the window watched before its state changes
        restored.clear();
        for (const int state : c.states) {
            setWmState(client, state);
        }
        EXPECT_EQ(restored,
                  c.restores ? std::vector<std::uint32_t>{client} : std::vector<std::uint32_t>{})
            << c.states.size() << " states";
    }

    restored.clear();
    // Created and destroyed before the creation is handled: watching them fails on the server.
    for (int i = 0; i < 5; ++i) {
        xcb_destroy_window(x.connection(), x.createWindow({10, 10, 50, 50}));
    }
    const xcb_window_t frame = x.createWindow({10, 10, 120, 140});
    const xcb_window_t framed = x.createWindow({10, 10, 100, 100});  // watched from its creation
    const xcb_window_t freed = x.createWindow({0, 20, 100, 100}, false, 0, frame);  // not yet
    settle();
    xcb_reparent_window(x.connection(), framed, frame, 0, 20);
    xcb_reparent_window(x.connection(), freed, x.root(), 10, 10);
    settle();
    for (const xcb_window_t client : {framed, freed}) {
        setWmState(client, kIconic);
        setWmState(client, kNormal);
    }
    EXPECT_EQ(restored, (std::vector<std::uint32_t>{framed, freed}));
}

TEST_F(X11DesktopEventsTest, FindsMinimisedClientsInsideFramesAtStartButIgnoresTheirChanges) {
    // A reparenting window manager's layout: frame on the root, client inside with WM_STATE.
    const xcb_window_t frame = x.createWindow({10, 10, 200, 200});
    const xcb_window_t client = x.createWindow({0, 20, 200, 180}, false, 0, frame);
    setWmState(client, kIconic);
    x.map(frame);
    x.sync();
    listen();
    x.map(client);
    x.raise(client);
    settle();
    EXPECT_TRUE(std::none_of(changes.begin(), changes.end(), [&](const TopLevelChange& c) {
        return c.window == client;
    })) << "not a top-level window";
    setWmState(client, kNormal);
    EXPECT_EQ(restored, std::vector<std::uint32_t>{client});
}

}  // namespace
}  // namespace glimmora
