#include "menu/MenuRefresh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/AppState.h"
#include "settings/FocusProfile.h"
#include "settings/MemoryUserDefaults.h"

namespace glimmora {
namespace {

/// A RepeatingTimer on a clock of the test's own, in milliseconds.
class VirtualTimer final : public RepeatingTimer {
public:
    void start(std::chrono::milliseconds interval, std::function<void()> onTimeout) override {
        interval_ = interval.count();
        due_ = now_ + interval_;
        onTimeout_ = std::move(onTimeout);
        active_ = true;
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }

    /// Moves the clock to `time`, firing whatever falls due on the way.
    void advanceTo(long time) {
        while (active_ && due_ <= time) {
            now_ = due_;
            due_ += interval_;
            auto callback = onTimeout_;
            callback();
        }
        now_ = time;
    }

private:
    long now_ = 0;
    long due_ = 0;
    long interval_ = 0;
    bool active_ = false;
    std::function<void()> onTimeout_;
};

class MenuRefreshTest : public testing::Test {
protected:
    MemoryUserDefaults defaults;
    AppState settings{defaults};
    VirtualTimer* timer = new VirtualTimer;
    std::vector<std::string> calls;
    MenuRefresh refresh{settings.objectWillChange(), std::unique_ptr<RepeatingTimer>(timer),
                        [this] { calls.push_back("rebuild"); },
                        [this] { calls.push_back("save"); }};
};

TEST_F(MenuRefreshTest, TwoChangesFiftyMillisecondsApartGiveOneRebuildAndSaveAfterTheSecond) {
    settings.screenBrightness = -0.4f;
    timer->advanceTo(50);
    settings.isScreenDimmerEnabled = true;
    timer->advanceTo(149);
    EXPECT_TRUE(calls.empty());
    timer->advanceTo(150);
    EXPECT_EQ(calls, (std::vector<std::string>{"rebuild", "save"}));
    timer->advanceTo(1000);
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(MenuRefreshTest, AProfileWritingManySettingsIsOneBurst) {
    settings.applyProfile(builtInFocusProfiles()[1]);
    timer->advanceTo(100);
    EXPECT_EQ(calls, (std::vector<std::string>{"rebuild", "save"}));
}

TEST_F(MenuRefreshTest, ChangesOutsideTheSettingsRebuildWithoutSaving) {
    refresh.refreshWithoutSaving();
    timer->advanceTo(100);
    EXPECT_EQ(calls, (std::vector<std::string>{"rebuild"}));
    // Both kinds in one burst: one of each.
    refresh.refreshWithoutSaving();
    settings.noiseAmount = 0.1f;
    timer->advanceTo(300);
    EXPECT_EQ(calls, (std::vector<std::string>{"rebuild", "rebuild", "save"}));
}

}  // namespace
}  // namespace glimmora
