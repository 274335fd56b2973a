#include "platform/x11/windows/X11WindowList.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using test::RootRect;

constexpr auto kTimeout = 5s;

std::optional<WindowRecord> recordOf(const std::vector<WindowRecord>& records, xcb_window_t id) {
    const auto found = std::find_if(records.begin(), records.end(),
                                    [id](const WindowRecord& r) { return r.windowId == id; });
    return found == records.end() ? std::nullopt : std::optional(*found);
}

std::vector<std::uint32_t> idsOf(const std::vector<WindowRecord>& records) {
    std::vector<std::uint32_t> ids;
    for (const WindowRecord& r : records) {
        ids.push_back(r.windowId);
    }
    return ids;
}

/// A private X server, the test's X client, and the reader on a connection of its own. One
/// server per suite: starting one (and openbox) costs more than all the cases together.
class WindowListTest : public testing::Test {
protected:
    static void startDesktop(bool windowManager) {
        session = std::make_unique<test::XvfbSession>(test::XvfbSession::Options{
            .width = 800, .height = 600, .windowManager = windowManager});
        if (!session->isReady()) {
            return;
        }
        x = std::make_unique<test::X11TestDisplay>(session->display());
        reader = xcb_connect(session->display().c_str(), nullptr);
        list = std::make_unique<X11WindowList>(reader, x->root());
    }
    static void TearDownTestSuite() {
        list.reset();
        if (reader) {
            xcb_disconnect(reader);
            reader = nullptr;
        }
        x.reset();
        session.reset();
    }

    void SetUp() override {
        ASSERT_TRUE(session && session->isReady()) << (session ? session->failure() : "");
        ASSERT_TRUE(x->isConnected());
        ASSERT_FALSE(xcb_connection_has_error(reader));
    }
    void TearDown() override {
        for (const xcb_window_t window : windows) {
            x->destroy(window);
        }
        x->sync();
    }

    xcb_window_t createWindow(RootRect rect, std::uint32_t pid = 0,
                              xcb_window_t parent = XCB_NONE) {
        const xcb_window_t window = x->createWindow(rect, false, 0, parent);
        if (pid != 0) {
            x->setCardinals(window, "_NET_WM_PID", XCB_ATOM_CARDINAL, {pid});
        }
        if (parent == XCB_NONE) {
            windows.push_back(window);
        }
        return window;
    }

    /// Reads until `window`'s record meets `condition` or the time is up; its last record.
    std::optional<WindowRecord> waitFor(xcb_window_t window,
                                        const std::function<bool(const WindowRecord&)>& condition) {
        std::optional<WindowRecord> record;
        test::waitUntil(
            [&] {
                record = recordOf(list->frontToBack(), window);
                return record && condition(*record);
            },
            kTimeout);
        return record;
    }

    void setAtoms(xcb_window_t window, const std::string& property,
                  const std::vector<std::string>& names) {
        std::vector<std::uint32_t> atoms;
        for (const std::string& name : names) {
            atoms.push_back(x->atom(name));
        }
        x->setCardinals(window, property, XCB_ATOM_ATOM, atoms);
    }

    static inline std::unique_ptr<test::XvfbSession> session;
    static inline std::unique_ptr<test::X11TestDisplay> x;
    static inline xcb_connection_t* reader = nullptr;
    static inline std::unique_ptr<X11WindowList> list;
    std::vector<xcb_window_t> windows;
};

/// Under openbox, a reparenting window manager that publishes the EWMH lists itself.
class ManagedWindowListTest : public WindowListTest {
protected:
    static void SetUpTestSuite() { startDesktop(true); }

    /// A mapped top-level window of process `pid`, once openbox shows it.
    xcb_window_t openWindow(RootRect rect, std::uint32_t pid) {
        const xcb_window_t window = createWindow(rect, pid);
        x->map(window);
        waitFor(window, [](const WindowRecord& r) { return r.isOnScreen; });
        return window;
    }

    /// The frame openbox put around `client`, border included, in root pixels.
    RootRect frameOf(xcb_window_t client) {
        xcb_connection_t* c = x->connection();
        const auto tree = xcb_query_tree_reply(c, xcb_query_tree(c, client), nullptr);
        const xcb_window_t frame = tree ? tree->parent : XCB_NONE;
        std::free(tree);
        const auto geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, frame), nullptr);
        const int border = geometry ? geometry->border_width : 0;
        std::free(geometry);
        const RootRect inside = x->rootGeometry(frame);
        return {inside.x - border, inside.y - border, inside.width + 2 * border,
                inside.height + 2 * border};
    }
};

TEST_F(ManagedWindowListTest, BoundsAreTheFramesAndOrderFollowsRaising) {
    const xcb_window_t a = openWindow({50, 60, 200, 150}, 101);
    const xcb_window_t b = openWindow({300, 200, 180, 120}, 102);

    for (const xcb_window_t window : {a, b}) {
        const auto record = waitFor(window, [&](const WindowRecord& r) {
            const RootRect frame = frameOf(window);
            return r.bounds == Rect{double(frame.x), double(frame.y), double(frame.width),
                                    double(frame.height)};
        });
        ASSERT_TRUE(record);
        EXPECT_EQ(record->bounds.width, frameOf(window).width);
        EXPECT_GT(record->bounds.height, x->rootGeometry(window).height) << "no title bar";
        EXPECT_EQ(record->ownerPid, window == a ? 101 : 102);
        EXPECT_EQ(record->layer, X11WindowList::kNormalLayer);
    }
    const auto aIsFront = [&] {
        const auto ids = idsOf(list->frontToBack());
        return std::find(ids.begin(), ids.end(), a) < std::find(ids.begin(), ids.end(), b);
    };
    x->raise(a);
    EXPECT_TRUE(test::waitUntil(aIsFront, kTimeout));
    x->raise(b);
    EXPECT_TRUE(test::waitUntil([&] { return !aIsFront(); }, kTimeout));
    EXPECT_EQ(list->lastRoundTrips(), 3);
}

TEST_F(ManagedWindowListTest, ActiveFlagFollowsActivationAndMinimisingHides) {
    const xcb_window_t a = openWindow({50, 60, 200, 150}, 101);
    const xcb_window_t b = openWindow({300, 200, 180, 120}, 102);

    for (const xcb_window_t window : {a, b}) {
        ASSERT_TRUE(session->run({"xdotool", "windowactivate", "--sync", std::to_string(window)}));
        EXPECT_TRUE(test::waitUntil(
            [&] {
                const auto records = list->frontToBack();
                return std::count_if(records.begin(), records.end(),
                                     [](const WindowRecord& r) { return r.isActive; }) == 1 &&
                       recordOf(records, window)->isActive;
            },
            kTimeout));
    }

    x->minimise(b);
    const auto hidden = waitFor(b, [](const WindowRecord& r) { return !r.isOnScreen; });
    ASSERT_TRUE(hidden) << "a minimised window stays in the list";
    EXPECT_FALSE(hidden->isOnScreen);
    EXPECT_TRUE(recordOf(list->frontToBack(), a)->isOnScreen);
}

TEST_F(ManagedWindowListTest, FrameOpacityWinsOverTheClients) {
    const xcb_window_t a = openWindow({50, 60, 200, 150}, 101);
    x->setCardinals(a, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, {0x80000000u});
    EXPECT_NEAR(waitFor(a, [](const WindowRecord& r) { return r.alpha < 1; })->alpha, 0.5, 1e-6);

    x->setCardinals(x->topLevelOf(a), "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, {0x40000000u});
    EXPECT_NEAR(waitFor(a, [](const WindowRecord& r) { return r.alpha < 0.4; })->alpha, 0.25, 1e-6);
}

TEST_F(ManagedWindowListTest, DestroyedWindowIsGoneAtOnce) {
    const xcb_window_t a = openWindow({50, 60, 200, 150}, 101);
    const xcb_window_t b = openWindow({300, 200, 180, 120}, 102);
    x->destroy(a);
    x->sync();
    windows.erase(windows.begin());

    // openbox may still list it: the reader must drop it quietly and keep the others.
    const auto records = list->frontToBack();
    EXPECT_FALSE(recordOf(records, a));
    EXPECT_TRUE(recordOf(records, b));
}

/// Without a window manager: the test publishes the root's lists and the windows' properties
/// itself, to reach the cases openbox never shows.
class UnmanagedWindowListTest : public WindowListTest {
protected:
    static void SetUpTestSuite() { startDesktop(false); }
    void TearDown() override {
        x->deleteProperty(x->root(), "_NET_CLIENT_LIST_STACKING");
        x->deleteProperty(x->root(), "_NET_CLIENT_LIST");
        x->deleteProperty(x->root(), "_NET_ACTIVE_WINDOW");
        WindowListTest::TearDown();
    }

    void publish(const std::string& property, const std::vector<std::uint32_t>& windows) {
        x->setCardinals(x->root(), property, XCB_ATOM_WINDOW, windows);
        x->sync();
    }
};

TEST_F(UnmanagedWindowListTest, ListComesFromTheRootAndSkipsWindowsThatAreGone) {
    EXPECT_TRUE(list->frontToBack().empty()) << "no list published";
    EXPECT_EQ(list->lastRoundTrips(), 1);

    const xcb_window_t a = createWindow({0, 0, 100, 100});
    const xcb_window_t b = createWindow({0, 0, 100, 100});
    const xcb_window_t gone = xcb_generate_id(x->connection());
    publish("_NET_CLIENT_LIST", {a, gone, b});
    EXPECT_EQ(idsOf(list->frontToBack()), (std::vector<std::uint32_t>{a, b})) << "kept as is";
    EXPECT_EQ(list->lastRoundTrips(), 2) << "no frames";

    publish("_NET_CLIENT_LIST_STACKING", {a, b});
    EXPECT_EQ(idsOf(list->frontToBack()), (std::vector<std::uint32_t>{b, a})) << "bottom to top";
}

TEST_F(UnmanagedWindowListTest, RecordDescribesTheWindow) {
    const xcb_window_t a = createWindow({10, 20, 200, 100}, 42);
    x->setCardinals(a, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {1, 2, 3, 4});
    x->setCardinals(a, "_GTK_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {5, 6, 7, 8});
    x->setCardinals(a, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, {0x80000000u});
    x->map(a);
    const xcb_window_t frame = createWindow({300, 300, 100, 100});
    const xcb_window_t framed = createWindow({5, 6, 50, 40}, 0, frame);
    x->setCardinals(framed, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, {0xc0000000u});
    x->setCardinals(frame, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, {0x40000000u});
    x->map(framed);
    x->map(frame);
    const xcb_window_t unmapped = createWindow({0, 0, 100, 100});
    publish("_NET_ACTIVE_WINDOW", {a});
    publish("_NET_CLIENT_LIST_STACKING", {unmapped, framed, a});

    auto records = list->frontToBack();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(list->lastRoundTrips(), 3);
    EXPECT_EQ(records[0].bounds, (Rect{14, 24, 192, 92}));
    EXPECT_EQ(records[0].ownerPid, 42);
    EXPECT_NEAR(records[0].alpha, 0.5, 1e-6);
    EXPECT_TRUE(records[0].isActive && records[0].isOnScreen);
    EXPECT_EQ(records[1].bounds, (Rect{305, 306, 50, 40}));
    EXPECT_EQ(records[1].ownerPid, 0);
    EXPECT_NEAR(records[1].alpha, 0.25, 1e-6) << "the frame's";
    EXPECT_FALSE(records[1].isActive);
    EXPECT_FALSE(records[2].isOnScreen) << "unmapped";

    x->deleteProperty(frame, "_NET_WM_WINDOW_OPACITY");
    setAtoms(a, "_NET_WM_STATE", {"_NET_WM_STATE_HIDDEN"});
    x->sync();
    records = list->frontToBack();
    EXPECT_FALSE(records[0].isOnScreen) << "hidden";
    EXPECT_NEAR(records[1].alpha, 0.75, 1e-6) << "the client's, with none on the frame";
    EXPECT_EQ(records[2].alpha, 1);
}

TEST_F(UnmanagedWindowListTest, LayerFollowsTypeAndState) {
    const xcb_window_t a = createWindow({0, 0, 100, 100});
    x->map(a);
    publish("_NET_CLIENT_LIST_STACKING", {a});
    struct Case {
        std::vector<std::string> types;
        std::vector<std::string> states;
        int layer;
    };
    const Case cases[] = {
        {{}, {}, X11WindowList::kNormalLayer},
        {{"_NET_WM_WINDOW_TYPE_DESKTOP"}, {"_NET_WM_STATE_ABOVE"}, X11WindowList::kDesktopLayer},
        {{"_NET_WM_WINDOW_TYPE_DIALOG"}, {}, X11WindowList::kNormalLayer},
        {{"_NET_WM_WINDOW_TYPE_UTILITY"}, {"_NET_WM_STATE_ABOVE"}, X11WindowList::kKeepAboveLayer},
        {{"_KDE_NET_WM_WINDOW_TYPE_OVERRIDE", "_NET_WM_WINDOW_TYPE_DOCK"},
         {"_NET_WM_STATE_ABOVE"},
         X11WindowList::kDockLayer},
        {{"_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DOCK"},
         {},
         X11WindowList::kNormalLayer},
        {{"_NET_WM_WINDOW_TYPE_NOTIFICATION"}, {}, X11WindowList::kPopupLayer},
        {{"_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"}, {}, X11WindowList::kPopupLayer},
    };
    for (const Case& c : cases) {
        setAtoms(a, "_NET_WM_WINDOW_TYPE", c.types);
        setAtoms(a, "_NET_WM_STATE", c.states);
        x->sync();
        const auto records = list->frontToBack();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].layer, c.layer)
            << (c.types.empty() ? "no type" : c.types.back()) << " " << c.states.size();
    }
}

}  // namespace
}  // namespace glimmora
