#include "platform/x11/windows/X11DesktopEvents.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

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
        events->onScreensDidWake = [this] { ++wakes; };
        events->onWindowRestored = [this](std::uint32_t w) { restored.push_back(w); };
    }

    /// Sets WM_STATE as a window manager would, and lets it be seen.
    void setWmState(xcb_window_t window, int state) {
        if (state == kGone) {
            x.deleteProperty(window, "WM_STATE");
        } else {
            x.setCardinals(window, "WM_STATE", x.atom("WM_STATE"),
                           {static_cast<std::uint32_t>(state), XCB_NONE});
        }
        settle();
    }

    int wakes = 0;
    std::vector<std::uint32_t> restored;
};

TEST_F(X11DesktopEventsTest, ReportsTopLevelWindowsTheScreenSaverGoingOffAndRestores) {
    listen();
    const xcb_window_t first = x.createWindow({10, 10, 100, 100});
    const xcb_window_t second = x.createWindow({20, 20, 100, 100});
    x.map(first);
    x.map(second);
    EXPECT_TRUE(eventually([&] { return saw(first, Kind::mapped) && saw(second, Kind::mapped); }));
    x.raise(first);
    EXPECT_TRUE(eventually([&] { return saw(first, Kind::configured); }));

    xcb_force_screen_saver(x.connection(), XCB_SCREEN_SAVER_ACTIVE);
    x.sync();
    settle();
    EXPECT_EQ(wakes, 0) << "the saver coming on is no wake";
    xcb_force_screen_saver(x.connection(), XCB_SCREEN_SAVER_RESET);
    x.flush();
    EXPECT_TRUE(eventually([&] { return wakes == 1; }));

    // Only iconic to normal is a restore.
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
}

}  // namespace
}  // namespace glimmora
