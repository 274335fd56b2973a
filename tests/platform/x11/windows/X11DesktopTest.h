#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "platform/x11/windows/X11DesktopEvents.h"
#include "support/TestApplication.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora::test {

/// A private X server without a window manager, so that the test plays the window manager's
/// part, the test's X client, and the desktop events read from it in the Qt event loop, with
/// every top-level change they report collected.
class X11DesktopTest : public testing::Test {
protected:
    void SetUp() override {
        testApplication();
        ASSERT_TRUE(session.isReady()) << session.failure();
    }

    /// Starts listening; windows made before this are found by the start-up scan.
    void listen() {
        events = std::make_unique<X11DesktopEvents>(session.display().c_str());
        ASSERT_TRUE(events->isConnected());
        events->onTopLevelChanged = [this](const TopLevelChange& c) {
            changes.push_back(c);
            if (onTopLevelChanged) {
                onTopLevelChanged(c);
            }
        };
    }
    /// Reads the events directly too: these tests judge what the events mean, not when the
    /// event loop hands them over.
    bool eventually(const std::function<bool()>& condition) {
        return waitUntil(condition, std::chrono::seconds(5), [this] {
            pumpQtEvents();
            if (events) {
                events->processEvents();
            }
        });
    }
    bool saw(xcb_window_t window, TopLevelChange::Kind kind) {
        return std::count(changes.begin(), changes.end(), TopLevelChange{window, kind}) > 0;
    }
    /// Maps a fresh top-level window and waits until its mapping is reported: everything the
    /// server sent before has been handled by then, and what that asked for is done.
    void settle() {
        const xcb_window_t marker = x.createWindow({0, 0, 1, 1}, true);
        x.map(marker);
        ASSERT_TRUE(eventually([&] { return saw(marker, TopLevelChange::Kind::mapped); }));
        pumpQtEvents();
        x.sync();
    }

    XvfbSession session{{.width = 640, .height = 480, .windowManager = false}};
    X11TestDisplay x{session.display()};
    std::unique_ptr<X11DesktopEvents> events;
    std::vector<TopLevelChange> changes;
    std::function<void(const TopLevelChange&)> onTopLevelChanged;
};

}  // namespace glimmora::test
