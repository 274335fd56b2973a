#include "platform/x11/windows/X11StackingKeeper.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <vector>

#include "platform/WindowHandle.h"
#include "platform/x11/windows/X11DesktopTest.h"
#include "support/TestApplication.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using Ids = std::vector<std::uint32_t>;

/// The keeper fed by the desktop events, as the application wires them: an overlay and a gaze
/// window above it.
class X11StackingKeeperTest : public test::X11DesktopTest {
protected:
    void SetUp() override {
        X11DesktopTest::SetUp();
        overlay = x.createWindow({0, 0, 640, 480}, true, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
        gaze = x.createWindow({0, 0, 640, 480}, true);
        x.map(overlay);
        x.map(gaze);
        listen();
        onTopLevelChanged = [this](const TopLevelChange& c) { keeper.topLevelChanged(c); };
        keeper.setLevel(gaze, WindowLevel::aboveOverlay);
        keeper.setLevel(overlay, WindowLevel::overlay);
        x.sync();
    }

    /// The kept windows are the two topmost, the gaze window above the overlay, and both above
    /// `other`.
    bool keptAbove(xcb_window_t other) {
        const auto order = x.stack();
        return order.size() >= 3 && order.back() == gaze && order[order.size() - 2] == overlay &&
               x.isAbove(overlay, other);
    }

    X11StackingKeeper keeper{x.connection()};
    xcb_window_t overlay = 0;
    xcb_window_t gaze = 0;
};

TEST_F(X11StackingKeeperTest, WindowsMappedOrRaisedLaterEndBelowTheKeptOnesWithoutRaisingLoops) {
    // The gaze window was registered before the overlay, yet it is on top at once.
    const Ids order = x.stack();
    EXPECT_EQ(Ids(order.end() - 2, order.end()), (Ids{overlay, gaze}));

    const xcb_window_t other = x.createWindow({50, 50, 100, 100});
    x.map(other);
    EXPECT_TRUE(eventually([&] { return keptAbove(other); }));
    x.raise(other);
    x.sync();
    EXPECT_TRUE(eventually([&] { return keptAbove(other); }));

    // Once the events in flight are handled, the overlay is configured no more: a keeper that
    // answered its own raises would go on raising.
    const auto configures = [&] {
        int count = 0;
        for (int i = 0; i < 20; ++i) {
            test::pumpQtEvents();
            x.sync();
            x.drainEvents([&](const xcb_generic_event_t& e) {
                count += (e.response_type & ~0x80) == XCB_CONFIGURE_NOTIFY ? 1 : 0;
            });
        }
        return count;
    };
    configures();
    EXPECT_EQ(configures(), 0);
}

}  // namespace
}  // namespace glimmora
