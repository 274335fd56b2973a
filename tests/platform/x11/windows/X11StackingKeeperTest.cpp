#include "platform/x11/windows/X11StackingKeeper.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <memory>

#include "platform/WindowHandle.h"
#include "platform/x11/windows/X11DesktopEvents.h"
#include "support/TestApplication.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;

TEST(StackingClassTest, LevelsBelowTheOverlayAreNormal) {
    EXPECT_EQ(stackingClassForLevel(WindowLevel::normal), StackingClass::normal);
    EXPECT_EQ(stackingClassForLevel(-20), StackingClass::normal);
    EXPECT_EQ(stackingClassForLevel(WindowLevel::overlay - 1), StackingClass::normal);
}

TEST(StackingClassTest, OverlayLevelIsAboveAllAndHigherIsAboveTheOverlay) {
    EXPECT_EQ(stackingClassForLevel(WindowLevel::overlay), StackingClass::aboveAll);
    EXPECT_EQ(stackingClassForLevel(WindowLevel::aboveOverlay), StackingClass::aboveOverlay);
    EXPECT_EQ(stackingClassForLevel(5000), StackingClass::aboveOverlay);
}

TEST(StackingKeeperOrderTest, RaisesHigherClassesLastAndLeavesNormalWindowsOut) {
    X11StackingKeeper keeper(nullptr);
    keeper.setLevel(10, WindowLevel::aboveOverlay);
    keeper.setLevel(20, WindowLevel::overlay);
    keeper.setLevel(30, WindowLevel::normal);
    EXPECT_EQ(keeper.raiseOrder(), (std::vector<std::uint32_t>{20, 10}));
    EXPECT_TRUE(keeper.isRegistered(30));

    keeper.setLevel(20, WindowLevel::normal);
    EXPECT_EQ(keeper.raiseOrder(), (std::vector<std::uint32_t>{10}));
    keeper.setLevel(30, WindowLevel::overlay);
    EXPECT_EQ(keeper.raiseOrder(), (std::vector<std::uint32_t>{30, 10}));

    keeper.forget(10);
    EXPECT_FALSE(keeper.isRegistered(10));
    EXPECT_EQ(keeper.raiseOrder(), (std::vector<std::uint32_t>{30}));
}

TEST(StackingKeeperOrderTest, WindowsOfOneClassKeepTheirRegistrationOrder) {
    X11StackingKeeper keeper(nullptr);
    keeper.setLevel(7, WindowLevel::overlay);
    keeper.setLevel(3, WindowLevel::overlay);
    keeper.setLevel(7, WindowLevel::overlay);  // moving to the same level keeps its place
    EXPECT_EQ(keeper.raiseOrder(), (std::vector<std::uint32_t>{7, 3}));
}

/// The keeper on a real X server, fed by the desktop events, as the application wires them.
class X11StackingKeeperTest : public testing::Test {
protected:
    void SetUp() override {
        test::testApplication();
        session = std::make_unique<test::XvfbSession>(
            test::XvfbSession::Options{.width = 640, .height = 480, .windowManager = false});
        ASSERT_TRUE(session->isReady()) << session->failure();
        x = std::make_unique<test::X11TestDisplay>(session->display());
        ASSERT_TRUE(x->isConnected());

        overlay = x->createWindow({0, 0, 640, 480}, true, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
        gaze = x->createWindow({0, 0, 640, 480}, true);
        x->map(overlay);
        x->map(gaze);

        events = std::make_unique<X11DesktopEvents>(session->display().c_str());
        ASSERT_TRUE(events->isConnected());
        keeper = std::make_unique<X11StackingKeeper>(x->connection());
        events->onTopLevelChanged = [this](const TopLevelChange& c) {
            seen.push_back(c);
            keeper->topLevelChanged(c);
        };
        keeper->setLevel(gaze, WindowLevel::aboveOverlay);
        keeper->setLevel(overlay, WindowLevel::overlay);
    }

    bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds t = 1s) {
        return test::waitUntil(condition, t, test::pumpQtEvents);
    }

    /// The kept windows are the two topmost, the gaze window above the overlay.
    bool keptOnTop() {
        const auto order = x->stack();
        return order.size() >= 2 && order[order.size() - 1] == gaze &&
               order[order.size() - 2] == overlay;
    }

    std::unique_ptr<test::XvfbSession> session;
    std::unique_ptr<test::X11TestDisplay> x;
    std::unique_ptr<X11DesktopEvents> events;
    std::unique_ptr<X11StackingKeeper> keeper;
    std::vector<TopLevelChange> seen;
    xcb_window_t overlay = 0;
    xcb_window_t gaze = 0;
};

TEST_F(X11StackingKeeperTest, RegisteringRestacksAtOnceInLevelOrder) {
    // The gaze window was registered first and the overlay after it, yet ends below it.
    x->sync();
    EXPECT_TRUE(keptOnTop());
}

TEST_F(X11StackingKeeperTest, WindowMappedLaterEndsBelowTheKeptWindows) {
    const xcb_window_t tooltip = x->createWindow({50, 50, 100, 30}, true);
    x->map(tooltip);
    x->sync();
    EXPECT_TRUE(eventually([&] { return keptOnTop() && x->isAbove(overlay, tooltip); }));
}

TEST_F(X11StackingKeeperTest, WindowRaisedLaterEndsBelowTheKeptWindows) {
    const xcb_window_t other = x->createWindow({50, 50, 100, 100});
    x->map(other);
    ASSERT_TRUE(eventually([&] { return keptOnTop(); }));
    x->raise(other);
    x->sync();
    EXPECT_TRUE(eventually([&] { return keptOnTop() && x->isAbove(overlay, other); }));
}

TEST_F(X11StackingKeeperTest, NormalLevelWindowsAreNotKeptAbove) {
    // Stepping down puts them under what they covered: a window manager stacks a new alert
    // among its own windows only, never above an override-redirect window.
    const xcb_window_t covered = x->createWindow({100, 100, 100, 100});
    x->map(covered);
    ASSERT_TRUE(eventually([&] { return keptOnTop() && x->isAbove(overlay, covered); }));
    keeper->setLevel(overlay, WindowLevel::normal);
    keeper->setLevel(gaze, WindowLevel::normal);
    x->sync();
    EXPECT_TRUE(x->isAbove(covered, overlay));
    EXPECT_TRUE(x->isAbove(covered, gaze));
    const xcb_window_t alert = x->createWindow({200, 200, 200, 100});
    x->map(alert);
    // Once a later window's mapping has been handled, the alert is still on top.
    const xcb_window_t marker = x->createWindow({0, 0, 1, 1}, true);
    x->map(marker);
    ASSERT_TRUE(eventually([&] {
        return std::find(seen.begin(), seen.end(),
                         TopLevelChange{marker, TopLevelChange::Kind::mapped}) != seen.end();
    }));
    for (int i = 0; i < 10; ++i) {
        test::pumpQtEvents();  // any raise the mapping asked for would run now
    }
    x->sync();
    EXPECT_TRUE(x->isAbove(alert, overlay));
    EXPECT_TRUE(x->isAbove(alert, gaze));

    // Restoring the levels raises both at once, in order.
    keeper->setLevel(overlay, WindowLevel::overlay);
    keeper->setLevel(gaze, WindowLevel::aboveOverlay);
    x->sync();
    EXPECT_TRUE(keptOnTop());
    EXPECT_TRUE(x->isAbove(overlay, alert));
}

TEST_F(X11StackingKeeperTest, DoesNotAnswerItsOwnRaises) {
    const xcb_window_t other = x->createWindow({50, 50, 100, 100});
    x->map(other);
    ASSERT_TRUE(eventually([&] { return keptOnTop() && x->isAbove(overlay, other); }));

    // Let every event in flight be handled, then count the overlay's configures: a keeper
    // answering its own raises would keep producing them.
    int configures = 0;
    const auto countConfigures = [&] {
        test::pumpQtEvents();
        x->sync();
        x->drainEvents([&](const xcb_generic_event_t& e) {
            if ((e.response_type & ~0x80) == XCB_CONFIGURE_NOTIFY) {
                ++configures;
            }
        });
    };
    for (int i = 0; i < 20; ++i) {
        countConfigures();
    }
    configures = 0;
    for (int i = 0; i < 20; ++i) {
        countConfigures();
    }
    EXPECT_EQ(configures, 0);
}

}  // namespace
}  // namespace glimmora
