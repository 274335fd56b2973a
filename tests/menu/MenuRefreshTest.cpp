#include "menu/MenuRefresh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/ManualRepeatingTimer.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using Calls = std::vector<std::string>;

class MenuRefreshTest : public testing::Test {
protected:
    MemoryUserDefaults defaults;
    AppState settings{defaults};
    ManualRepeatingTimer* timer = new ManualRepeatingTimer;
    Calls calls;
    MenuRefresh refresh{settings.objectWillChange(), std::unique_ptr<RepeatingTimer>(timer),
                        [this] { calls.push_back("rebuild"); },
                        [this] { calls.push_back("save"); }};
};

TEST_F(MenuRefreshTest, ABurstOfChangesGivesOneRebuildAndSaveAfterTheLast) {
    settings.screenBrightness = -0.4f;
    settings.isScreenDimmerEnabled = true;
    // Each change restarts the delay: the burst ends 100 ms after its last change.
    EXPECT_EQ(timer->startCount(), 2);
    EXPECT_EQ(timer->interval(), 100ms);
    EXPECT_TRUE(calls.empty());
    timer->fire();
    EXPECT_EQ(calls, (Calls{"rebuild", "save"}));
    EXPECT_FALSE(timer->isActive()) << "a burst rebuilds once";
}

}  // namespace
}  // namespace glimmora
