#include "settings/ProfileScheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/LogCapture.h"
#include "support/ManualRepeatingTimer.h"

namespace glimmora {
namespace {

// 2026-11-30 is a Monday; weekdays count 1 = Sunday ... 7 = Saturday.
QDateTime at(int month, int day, int hour, int minute = 0) {
    return QDateTime(QDate(2026, month, day), QTime(hour, minute));
}

FocusProfile window(qint64 start, qint64 end, QList<qint64> days = {1, 2, 3, 4, 5, 6, 7}) {
    FocusProfile p;
    p.name = QStringLiteral("Window");
    p.startHour = start;
    p.endHour = end;
    p.daysOfWeek = std::move(days);
    return p;
}

TEST(ProfileMatching, HourWindowsAndDays) {
    for (int hour = 0; hour < 24; ++hour) {
        EXPECT_EQ(profileMatches(window(9, 17), hour, 2), hour >= 9 && hour < 17) << hour;
        EXPECT_EQ(profileMatches(window(21, 6), hour, 2), hour >= 21 || hour < 6) << hour;
        EXPECT_EQ(profileMatches(window(22, 24), hour, 2), hour >= 22) << hour;
        EXPECT_TRUE(profileMatches(window(0, 24), hour, 2)) << hour;
        EXPECT_FALSE(profileMatches(window(8, 8), hour, 2)) << hour;
    }
    EXPECT_TRUE(profileMatches(window(0, 24, {2, 3}), 12, 3));
    EXPECT_FALSE(profileMatches(window(0, 24, {2, 3}), 12, 4));
    EXPECT_FALSE(profileMatches(window(0, 24, {}), 12, 1));
    EXPECT_EQ(firstMatchingProfile({}, 12, 1), nullptr);
}

class ProfileSchedulerTest : public ::testing::Test {
protected:
    ProfileSchedulerTest() {
        auto timer = std::make_unique<ManualRepeatingTimer>();
        timer_ = timer.get();
        scheduler_ =
            std::make_unique<ProfileScheduler>(state_, std::move(timer), [this] { return now_; });
        state_.isScheduledProfilesEnabled = true;
    }

    /// What `action` logs.
    std::string logOf(const std::function<void()>& action) {
        log_.clear();
        action();
        return log_.text();
    }

    /// Expects `action` to log nothing and to leave every setting alone.
    void expectQuiet(const std::function<void()>& action) {
        int changes = 0;
        Subscription counting = state_.objectWillChange().connect([&] { ++changes; });
        EXPECT_EQ(logOf(action), "");
        EXPECT_EQ(changes, 0);
    }

    test::LogCapture log_;
    MemoryUserDefaults defaults_;
    AppState state_{defaults_};
    QDateTime now_ = at(11, 30, 10, 30);  // Monday
    ManualRepeatingTimer* timer_ = nullptr;
    std::unique_ptr<ProfileScheduler> scheduler_;
};

// "Work Hours" and "Night Mode" overlap the all-day "Presentation", which comes last in the
// built-in list: the first match in list order wins.
TEST_F(ProfileSchedulerTest, AppliesTheFirstMatchAtStartThenEveryMinuteUntilStopped) {
    EXPECT_EQ(logOf([&] { scheduler_->startScheduling(); }),
              "ProfileScheduler: Applied profile 'Work Hours' at 10:00\n"
              "ProfileScheduler: Started scheduling\n");
    EXPECT_EQ(state_.activeProfileName(), QStringLiteral("Work Hours"));
    EXPECT_TRUE(state_.isFocusEnabled());
    EXPECT_TRUE(scheduler_->isScheduling());
    EXPECT_EQ(timer_->interval(), std::chrono::minutes(1));

    now_ = at(11, 30, 17);
    EXPECT_EQ(logOf([&] { timer_->fire(); }),
              "ProfileScheduler: Applied profile 'Presentation' at 17:00\n");
    EXPECT_TRUE(state_.isCursorSpotlightEnabled());
    EXPECT_FALSE(state_.isFocusEnabled());

    now_ = at(12, 1, 5, 59);  // Tuesday, before the night ends
    EXPECT_EQ(logOf([&] { timer_->fire(); }),
              "ProfileScheduler: Applied profile 'Night Mode' at 5:00\n");
    EXPECT_EQ(state_.screenBrightness(), -0.5f);

    EXPECT_EQ(logOf([&] { scheduler_->stopScheduling(); }),
              "ProfileScheduler: Stopped scheduling\n");
    EXPECT_FALSE(scheduler_->isScheduling());
}

TEST_F(ProfileSchedulerTest, AlreadyActiveProfileIsNotAppliedAgain) {
    scheduler_->checkAndApply();
    state_.isFocusEnabled = false;  // the user changed it by hand since
    now_ = at(11, 30, 11);
    expectQuiet([&] { scheduler_->checkAndApply(); });
}

TEST_F(ProfileSchedulerTest, NoMatchOrSchedulingSwitchedOffLeavesSettingsAlone) {
    state_.focusProfiles = {window(6, 9, {1, 7})};
    expectQuiet([&] { scheduler_->checkAndApply(); });
    scheduler_->startScheduling();
    state_.isScheduledProfilesEnabled = false;
    now_ = at(12, 5, 7);  // Saturday, within the window
    expectQuiet([&] { timer_->fire(); });
    state_.isScheduledProfilesEnabled = true;
    EXPECT_EQ(logOf([&] { timer_->fire(); }),
              "ProfileScheduler: Applied profile 'Window' at 7:00\n");
}

}  // namespace
}  // namespace glimmora
