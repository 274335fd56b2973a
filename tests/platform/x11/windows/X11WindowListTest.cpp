#include "platform/x11/windows/X11WindowList.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using Ids = std::vector<std::uint32_t>;

/// A private X server without a window manager: the test publishes the lists and the windows'
/// properties itself, as a window manager would, to reach cases a real one seldom shows.
/// (Under openbox the list feeds smart focus in X11TrackersEndToEndTest.)
class X11WindowListTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(session.isReady()) << session.failure(); }

    // The list reads on the same connection: it sees what was set before it.
    void publish(const std::string& property, const Ids& ids) {
        x.setCardinals(x.root(), property, XCB_ATOM_WINDOW, ids);
    }
    void setAtoms(xcb_window_t window, const std::string& property,
                  const std::vector<std::string>& names) {
        Ids atoms;
        std::ranges::transform(names, std::back_inserter(atoms),
                               [&](auto& n) { return x.atom(n); });
        x.setCardinals(window, property, XCB_ATOM_ATOM, atoms);
    }
    static Ids idsOf(const std::vector<WindowRecord>& records) {
        Ids ids;
        std::ranges::transform(records, std::back_inserter(ids), &WindowRecord::windowId);
        return ids;
    }

    test::XvfbSession session{{.windowManager = false}};
    test::X11TestDisplay x{session.display()};
    X11WindowList list{x.connection(), x.root()};
};

TEST_F(X11WindowListTest, ListComesFromTheRootWithoutWindowsThatAreGone) {
    EXPECT_TRUE(list.frontToBack().empty()) << "no list published";
    const xcb_window_t a = x.createWindow({0, 0, 100, 100});
    const xcb_window_t b = x.createWindow({0, 0, 100, 100});
    publish("_NET_CLIENT_LIST", {a, xcb_generate_id(x.connection()), b});
    EXPECT_EQ(idsOf(list.frontToBack()), (Ids{a, b})) << "in the list's order";
    EXPECT_EQ(list.lastRoundTrips(), 2) << "no frames to ask about";
    publish("_NET_CLIENT_LIST_STACKING", {a, b});
    EXPECT_EQ(idsOf(list.frontToBack()), (Ids{b, a})) << "the stacking order, bottom to top";
}

TEST_F(X11WindowListTest, LayerFollowsTheFirstKnownTypeAndKeepAbove) {
    const xcb_window_t a = x.createWindow({0, 0, 100, 100});
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
