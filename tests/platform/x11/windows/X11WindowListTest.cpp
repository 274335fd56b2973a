#include "platform/x11/windows/X11WindowList.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <string>
#include <vector>

#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using test::RootRect;
using Ids = std::vector<std::uint32_t>;

/// A private X server without a window manager: the test publishes the lists and the windows'
/// properties itself, as a window manager would, to reach cases a real one seldom shows.
/// (Under openbox the list feeds smart focus in X11TrackersEndToEndTest.)
class X11WindowListTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(session.isReady()) << session.failure(); }

    xcb_window_t createWindow(RootRect rect, std::uint32_t pid = 0) {
        const xcb_window_t window = x.createWindow(rect);
        if (pid != 0) {
            x.setCardinals(window, "_NET_WM_PID", XCB_ATOM_CARDINAL, {pid});
        }
        return window;
    }
    void publish(const std::string& property, const Ids& ids) {
        x.setCardinals(x.root(), property, XCB_ATOM_WINDOW, ids);
        x.sync();
    }
    void setAtoms(xcb_window_t window, const std::string& property,
                  const std::vector<std::string>& names) {
        Ids atoms;
        for (const std::string& name : names) {
            atoms.push_back(x.atom(name));
        }
        x.setCardinals(window, property, XCB_ATOM_ATOM, atoms);
        x.sync();
    }
    static Ids idsOf(const std::vector<WindowRecord>& records) {
        Ids ids;
        for (const WindowRecord& r : records) {
            ids.push_back(r.windowId);
        }
        return ids;
    }

    test::XvfbSession session{{.windowManager = false}};
    test::X11TestDisplay x{session.display()};
    X11WindowList list{x.connection(), x.root()};
};

TEST_F(X11WindowListTest, ListComesFromTheRootWithoutWindowsThatAreGone) {
    EXPECT_TRUE(list.frontToBack().empty()) << "no list published";
    const xcb_window_t a = createWindow({0, 0, 100, 100});
    const xcb_window_t b = createWindow({0, 0, 100, 100});
    publish("_NET_CLIENT_LIST", {a, xcb_generate_id(x.connection()), b});
    EXPECT_EQ(idsOf(list.frontToBack()), (Ids{a, b})) << "in the list's order";
    EXPECT_EQ(list.lastRoundTrips(), 2) << "no frames to ask about";
    publish("_NET_CLIENT_LIST_STACKING", {a, b});
    EXPECT_EQ(idsOf(list.frontToBack()), (Ids{b, a})) << "the stacking order, bottom to top";
}

TEST_F(X11WindowListTest, RecordDescribesTheWindow) {
    const xcb_window_t a = createWindow({10, 20, 200, 100}, 42);
    x.setCardinals(a, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {1, 2, 3, 4});
    x.setCardinals(a, "_GTK_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {5, 6, 7, 8});
    x.setCardinals(a, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, {0x80000000u});
    x.map(a);
    const xcb_window_t frame = createWindow({300, 300, 100, 100});
    const xcb_window_t framed = x.createWindow({5, 6, 50, 40}, false, 0, frame);
    x.setCardinals(framed, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, {0xc0000000u});
    x.setCardinals(frame, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, {0x40000000u});
    x.map(framed);
    x.map(frame);
    const xcb_window_t unmapped = createWindow({0, 0, 100, 100});
    publish("_NET_ACTIVE_WINDOW", {a});
    publish("_NET_CLIENT_LIST_STACKING", {unmapped, framed, a});

    auto records = list.frontToBack();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(list.lastRoundTrips(), 3) << "the list, the windows, the frames";
    EXPECT_EQ(records[0], (WindowRecord{.windowId = a,
                                        .ownerPid = 42,
                                        .alpha = records[0].alpha,
                                        .bounds = {14, 24, 192, 92},
                                        .isActive = true}))
        << "the frame extents added, the client-side shadows left out";
    EXPECT_NEAR(records[0].alpha, 0.5, 1e-6);
    EXPECT_EQ(records[1].bounds, (Rect{305, 306, 50, 40}));
    EXPECT_NEAR(records[1].alpha, 0.25, 1e-6) << "the frame's opacity over the client's";
    EXPECT_FALSE(records[1].isActive);
    EXPECT_FALSE(records[2].isOnScreen) << "unmapped";

    x.deleteProperty(frame, "_NET_WM_WINDOW_OPACITY");
    setAtoms(a, "_NET_WM_STATE", {"_NET_WM_STATE_HIDDEN"});
    records = list.frontToBack();
    EXPECT_FALSE(records[0].isOnScreen) << "hidden";
    EXPECT_NEAR(records[1].alpha, 0.75, 1e-6) << "the client's, with none on the frame";
}

TEST_F(X11WindowListTest, LayerFollowsTheFirstKnownTypeAndKeepAbove) {
    const xcb_window_t a = createWindow({0, 0, 100, 100});
    x.map(a);
    publish("_NET_CLIENT_LIST_STACKING", {a});
    const struct {
        std::vector<std::string> types;
        bool above;
        int layer;
    } cases[] = {
        {{}, false, X11WindowList::kNormalLayer},
        {{"_NET_WM_WINDOW_TYPE_DESKTOP"}, true, X11WindowList::kDesktopLayer},
        {{"_NET_WM_WINDOW_TYPE_UTILITY"}, true, X11WindowList::kKeepAboveLayer},
        {{"_KDE_NET_WM_WINDOW_TYPE_OVERRIDE", "_NET_WM_WINDOW_TYPE_DOCK"},
         true,
         X11WindowList::kDockLayer},
        {{"_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DOCK"},
         false,
         X11WindowList::kNormalLayer},
        {{"_NET_WM_WINDOW_TYPE_NOTIFICATION"}, false, X11WindowList::kPopupLayer},
    };
    for (const auto& c : cases) {
        setAtoms(a, "_NET_WM_WINDOW_TYPE", c.types);
        setAtoms(
            a, "_NET_WM_STATE",
            c.above ? std::vector<std::string>{"_NET_WM_STATE_ABOVE"} : std::vector<std::string>{});
        const auto records = list.frontToBack();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].layer, c.layer)
            << (c.types.empty() ? "no type" : c.types.back()) << (c.above ? ", above" : "");
    }
}

}  // namespace
}  // namespace glimmora
