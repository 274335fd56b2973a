#include "app/AppDelegate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/LogCapture.h"

namespace glimmora {
namespace {

using Lines = std::vector<std::string>;

class AppDelegateTest : public testing::Test {
protected:
    MemoryUserDefaults defaults;
    AppState settings{defaults};
    Lines calls;
    test::LogCapture log;
    AppDelegate delegate{settings,
                         {.startTracking = [this] { calls.push_back("start"); },
                          .stopTracking = [this] { calls.push_back("stop"); },
                          .createGazeOverlayWindow = [this] { calls.push_back("window"); }},
                         {.install = [this] { calls.push_back("install keys"); },
                          .remove = [this] { calls.push_back("remove keys"); }}};
};

TEST_F(AppDelegateTest, LaunchObservesLaterChangesAndTerminationReleasesOnlyTheKeys) {
    settings.isGazeTrackingEnabled = true;  // before launch, and current at launch: not delivered
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(calls, Lines{"install keys"});

    settings.isGazeTrackingEnabled = true;  // no difference, delivered all the same
    settings.isGazeTrackingEnabled = false;
    EXPECT_EQ(calls, (Lines{"install keys", "start", "window", "stop"}));

    log.clear();
    calls.clear();
    delegate.applicationWillTerminate();
    delegate.applicationWillTerminate();
    EXPECT_EQ(calls, Lines{"remove keys"});
    EXPECT_TRUE(log.lines().empty()) << "it saves and prints nothing";
    settings.isGazeTrackingEnabled = true;  // the process is ending: only the keys go
    EXPECT_EQ(calls, (Lines{"remove keys", "start", "window"}));
}

TEST_F(AppDelegateTest, EmptyHooksAreSkippedAndTheObserverEndsWithTheDelegate) {
    {
        AppDelegate bare(settings);
        bare.applicationDidFinishLaunching();
        settings.isGazeTrackingEnabled = true;
        settings.isGazeTrackingEnabled = false;
        bare.applicationWillTerminate();
    }
    EXPECT_EQ(log.count("AppDelegate: Starting gaze tracking..."), 1);
    log.clear();
    settings.isGazeTrackingEnabled = true;
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace glimmora
