#include "app/AppDelegate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"

namespace glimmora {
namespace {

class AppDelegateTest : public testing::Test {
protected:
    AppDelegateTest()
        : delegate(settings,
                   {.startTracking = [this] { calls.push_back("start"); },
                    .stopTracking = [this] { calls.push_back("stop"); },
                    .createGazeOverlayWindow = [this] { calls.push_back("window"); }},
                   {.install = [this] { calls.push_back("install keys"); },
                    .remove = [this] { calls.push_back("remove keys"); }}) {}

    std::string launch() {
        testing::internal::CaptureStdout();
        delegate.applicationDidFinishLaunching();
        return testing::internal::GetCapturedStdout();
    }

    std::string setGazeTracking(bool enabled) {
        testing::internal::CaptureStdout();
        settings.isGazeTrackingEnabled = enabled;
        return testing::internal::GetCapturedStdout();
    }

    MemoryUserDefaults defaults;
    AppState settings{defaults};
    std::vector<std::string> calls;
    AppDelegate delegate;
};

TEST_F(AppDelegateTest, LaunchPrintsItsLinesAndRegistersOneObserver) {
    EXPECT_EQ(launch(),
              "AppDelegate: applicationDidFinishLaunching\n"
              "AppDelegate: Setting up gaze tracking observer\n"
              "AppDelegate: Observer registered, cancellables count: 1\n");
    EXPECT_EQ(delegate.cancellables.size(), 1u);
    EXPECT_EQ(calls, (std::vector<std::string>{"install keys"}));  // after the observer
}

TEST_F(AppDelegateTest, ValueCurrentAtLaunchIsNotDelivered) {
    settings.isGazeTrackingEnabled = true;
    const std::string printed = launch();
    EXPECT_EQ(printed.find("toggled"), std::string::npos);
    EXPECT_EQ(calls, (std::vector<std::string>{"install keys"}));
}

TEST_F(AppDelegateTest, NothingHappensBeforeLaunch) {
    EXPECT_EQ(setGazeTracking(true), "");
    EXPECT_TRUE(calls.empty());
}

TEST_F(AppDelegateTest, TerminatingBeforeLaunchStillReleasesTheKeysOnce) {
    delegate.applicationWillTerminate();
    delegate.applicationWillTerminate();
    EXPECT_EQ(calls, (std::vector<std::string>{"remove keys"}));
}

TEST_F(AppDelegateTest, SwitchingOnStartsTrackingThenOpensTheStatusWindow) {
    launch();
    calls.clear();
    EXPECT_EQ(setGazeTracking(true),
              "AppDelegate: Gaze tracking toggled to: true\n"
              "AppDelegate: Starting gaze tracking...\n");
    EXPECT_EQ(calls, (std::vector<std::string>{"start", "window"}));
}

TEST_F(AppDelegateTest, SwitchingOffOnlyStopsTracking) {
    launch();
    calls.clear();
    EXPECT_EQ(setGazeTracking(false),
              "AppDelegate: Gaze tracking toggled to: false\n"
              "AppDelegate: Stopping gaze tracking...\n");
    EXPECT_EQ(calls, (std::vector<std::string>{"stop"}));
}

TEST_F(AppDelegateTest, EveryChangeIsDeliveredEvenWithoutADifference) {
    launch();
    calls.clear();
    setGazeTracking(true);
    setGazeTracking(true);
    setGazeTracking(false);
    EXPECT_EQ(calls, (std::vector<std::string>{"start", "window", "start", "window", "stop"}));
}

TEST_F(AppDelegateTest, EmptyHooksStillPrintTheLines) {
    AppDelegate bare(settings);
    testing::internal::CaptureStdout();
    bare.applicationDidFinishLaunching();
    settings.isGazeTrackingEnabled = true;
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("AppDelegate: Starting gaze tracking...\n"), std::string::npos);
}

TEST_F(AppDelegateTest, ObserverEndsWithTheDelegate) {
    {
        GazeTrackingHooks hooks;
        hooks.startTracking = [this] { calls.push_back("gone"); };
        AppDelegate shortLived(settings, hooks);
        testing::internal::CaptureStdout();
        shortLived.applicationDidFinishLaunching();
        testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(setGazeTracking(true), "");
    EXPECT_TRUE(calls.empty());
}

TEST_F(AppDelegateTest, TerminationReleasesTheKeysExactlyOnce) {
    launch();
    calls.clear();
    testing::internal::CaptureStdout();
    delegate.applicationWillTerminate();
    delegate.applicationWillTerminate();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // it saves and prints nothing
    EXPECT_EQ(calls, (std::vector<std::string>{"remove keys"}));
}

TEST_F(AppDelegateTest, GazeObserverOutlivesTermination) {
    // The process is ending; nothing but the keys is torn down.
    launch();
    delegate.applicationWillTerminate();
    EXPECT_EQ(setGazeTracking(false),
              "AppDelegate: Gaze tracking toggled to: false\n"
              "AppDelegate: Stopping gaze tracking...\n");
}

}  // namespace
}  // namespace glimmora
