// The trackers' per-update cost against a live X server with a window manager ($DISPLAY; run by
// bench/tracker-bench, which starts a private Xvfb with openbox):
//  - one window-focus update: the EWMH window list read (its round trips are reported) and the
//    rule choosing the window, with 5, 20 and 60 managed windows of other processes;
//  - one pointer update: the position query made per batch of raw motion events and the
//    normalised position published.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "platform/x11/input/X11InputMonitor.h"
#include "platform/x11/windows/X11WindowList.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/ManualRepeatingTimer.h"
#include "trackers/MouseTracker.h"
#include "trackers/WindowFocusTracker.h"

using namespace glimmora;

namespace {

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_NONE};
}

/// `count` mapped windows of made-up processes, managed by the window manager, for as long as
/// it lives.
class ManagedWindows {
public:
    ManagedWindows(xcb_connection_t* c, int count) : c_(c) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_atom_t pid = internAtom(c, "_NET_WM_PID");
        for (int i = 0; i < count; ++i) {
            const xcb_window_t window = xcb_generate_id(c);
            const std::uint32_t background = screen->white_pixel;
            xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root,
                              static_cast<std::int16_t>(20 + (i % 10) * 40),
                              static_cast<std::int16_t>(20 + (i / 10) * 30), 300, 200, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                              &background);
            const std::uint32_t owner = 10000 + static_cast<std::uint32_t>(i);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, pid, XCB_ATOM_CARDINAL, 32, 1,
                                &owner);
            xcb_map_window(c, window);
            windows_.push_back(window);
        }
        xcb_flush(c);
    }
    ~ManagedWindows() {
        for (const xcb_window_t window : windows_) {
            xcb_destroy_window(c_, window);
        }
        xcb_flush(c_);
    }

private:
    xcb_connection_t* c_;
    std::vector<xcb_window_t> windows_;
};

/// Waits until the window manager frames new windows, for up to ten seconds. openbox names
/// itself on the root before it is done starting, and a window mapped in between stays
/// unmanaged for good; a probe window that gets a frame tells that it is ready.
bool waitForWindowManager(xcb_connection_t* c) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const xcb_window_t probe = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(c, probe);
        bool framed = false;
        for (int i = 0; i < 100 && !framed; ++i) {
            std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
                xcb_query_tree_reply(c, xcb_query_tree(c, probe), nullptr), &std::free);
            framed = tree && tree->parent != screen->root;
            if (!framed) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        xcb_destroy_window(c, probe);
        xcb_flush(c);
        if (framed) {
            return true;
        }
    }
    return false;
}

/// Waits until the window manager lists `count` windows, or gives up after five seconds.
bool waitForManaged(X11WindowList& list, std::size_t count) {
    for (int i = 0; i < 500; ++i) {
        if (list.frontToBack().size() >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void BM_WindowFocusUpdate(benchmark::State& state) {
    xcb_connection_t* creator = xcb_connect(nullptr, nullptr);
    xcb_connection_t* reader = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(creator) || xcb_connection_has_error(reader)) {
        state.SkipWithError("no X display");
        return;
    }
    static const bool isManaged = waitForWindowManager(creator);
    if (!isManaged) {
        state.SkipWithError("no window manager frames new windows");
    } else {
        const auto count = static_cast<int>(state.range(0));
        const ManagedWindows windows(creator, count);
        X11WindowList list(reader, xcb_setup_roots_iterator(xcb_get_setup(reader)).data->root);
        if (!waitForManaged(list, static_cast<std::size_t>(count))) {
            state.SkipWithError("the window manager did not list the windows");
        } else {
            MemoryUserDefaults defaults;
            AppState appState(defaults);
            appState.isSmartFocusEnabled = true;
            WindowFocusTracker tracker(
                appState, [&list] { return list.frontToBack(); },
                [] {
                    return std::optional(Rect{0, 0, 1920, 1080});
                },
                static_cast<std::int32_t>(::getpid()), std::make_unique<ManualRepeatingTimer>());
            for (auto _ : state) {
                tracker.updateActiveWindow();
            }
            state.counters["round_trips"] = list.lastRoundTrips();
            state.counters["found"] = tracker.hasActiveWindow() ? 1 : 0;
        }
    }
    xcb_disconnect(reader);
    xcb_disconnect(creator);
}
BENCHMARK(BM_WindowFocusUpdate)->Arg(5)->Arg(20)->Arg(60)->Unit(benchmark::kMicrosecond);

void BM_PointerUpdate(benchmark::State& state) {
    X11InputMonitor input;
    if (!input.pointerPosition()) {
        state.SkipWithError("no X display");
        return;
    }
    MemoryUserDefaults defaults;
    AppState appState(defaults);
    MouseTracker tracker(
        appState,
        [] {
            return std::optional(Rect{0, 0, 1920, 1080});
        },
        [&input]() -> std::optional<Point> {
            const auto p = input.pointerPosition();
            return p ? std::optional(Point{p->x, p->y}) : std::nullopt;
        });
    tracker.startTracking();
    double nudge = 0;
    for (auto _ : state) {
        // The pointer itself stands still here; the nudge makes every update publish anew, as
        // after a real movement.
        const std::optional<Point> position = input.pointerPosition();
        nudge = 1 - nudge;
        tracker.pointerMoved(position->x + nudge, position->y);
        benchmark::DoNotOptimize(tracker.normalizedX());
    }
    state.counters["round_trips"] = 1;
}
BENCHMARK(BM_PointerUpdate)->Unit(benchmark::kMicrosecond);

}  // namespace
