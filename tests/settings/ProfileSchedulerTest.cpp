#include "settings/ProfileScheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/ManualRepeatingTimer.h"

namespace glimmora {
namespace {

// 2026-11-30 is a Monday; weekdays count 1 = Sunday ... 7 = Saturday.
QDateTime at(int dayOfMonth, int hour, int minute) {
    return QDateTime(QDate(2026, 11, dayOfMonth), QTime(hour, minute));
}
constexpr int kMonday = 30;
QDateTime tuesdayAt(int hour, int minute) {
    return QDateTime(QDate(2026, 12, 1), QTime(hour, minute));
}
QDateTime saturdayAt(int hour) {
    return QDateTime(QDate(2026, 12, 5), QTime(hour, 0));
}
QDateTime sundayAt(int hour) {
    return QDateTime(QDate(2026, 12, 6), QTime(hour, 0));
}

FocusProfile window(qint64 start, qint64 end, QList<qint64> days = {1, 2, 3, 4, 5, 6, 7}) {
    FocusProfile p;
    p.name = QStringLiteral("window");
    p.startHour = start;
    p.endHour = end;
    p.daysOfWeek = std::move(days);
    return p;
}

TEST(ProfileMatching, HourWindows) {
    for (int hour = 0; hour < 24; ++hour) {
        EXPECT_EQ(profileMatches(window(9, 17), hour, 2), hour >= 9 && hour < 17) << hour;
        EXPECT_EQ(profileMatches(window(21, 6), hour, 2), hour >= 21 || hour < 6) << hour;
        EXPECT_TRUE(profileMatches(window(0, 24), hour, 2)) << hour;
        EXPECT_FALSE(profileMatches(window(8, 8), hour, 2)) << hour;
        EXPECT_FALSE(profileMatches(window(0, 0), hour, 2)) << hour;
        EXPECT_EQ(profileMatches(window(22, 24), hour, 2), hour >= 22) << hour;
    }
}

TEST(ProfileMatching, DaysOfWeek) {
    EXPECT_TRUE(profileMatches(window(0, 24, {2, 3}), 12, 3));
    EXPECT_FALSE(profileMatches(window(0, 24, {2, 3}), 12, 4));
    EXPECT_FALSE(profileMatches(window(0, 24, {}), 12, 1));
}

TEST(ProfileMatching, FirstMatchWinsInListOrder) {
    const auto builtIns = builtInFocusProfiles();
    auto nameAt = [&](int hour, int weekday) {
        const FocusProfile* p = firstMatchingProfile(builtIns, hour, weekday);
        return p ? p->name.toStdString() : std::string("none");
    };
    EXPECT_EQ(nameAt(10, 2), "Work Hours");
    EXPECT_EQ(nameAt(17, 2), "Presentation");
    EXPECT_EQ(nameAt(5, 3), "Night Mode");
    EXPECT_EQ(nameAt(6, 3), "Presentation");
    EXPECT_EQ(nameAt(10, 7), "Presentation");
    EXPECT_EQ(nameAt(23, 1), "Night Mode");
    EXPECT_EQ(firstMatchingProfile({}, 10, 2), nullptr);
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
    ~ProfileSchedulerTest() override {
        testing::internal::CaptureStdout();
        scheduler_.reset();
        testing::internal::GetCapturedStdout();
    }

    std::string run(const std::function<void()>& action) {
        testing::internal::CaptureStdout();
        action();
        return testing::internal::GetCapturedStdout();
    }

    MemoryUserDefaults defaults_;
    AppState state_{defaults_};
    QDateTime now_ = at(kMonday, 10, 30);
    ManualRepeatingTimer* timer_ = nullptr;
    std::unique_ptr<ProfileScheduler> scheduler_;
};

TEST_F(ProfileSchedulerTest, StartAppliesTheMatchAtOnceThenTicksEveryMinute) {
    const std::string out = run([&] { scheduler_->startScheduling(); });
    EXPECT_EQ(out,
              "ProfileScheduler: Applied profile 'Work Hours' at 10:00\n"
              "ProfileScheduler: Started scheduling\n");
    EXPECT_EQ(state_.activeProfileName(), QStringLiteral("Work Hours"));
    EXPECT_TRUE(state_.isFocusEnabled());
    EXPECT_TRUE(timer_->isActive());
    EXPECT_EQ(timer_->interval(), std::chrono::minutes(1));
    EXPECT_TRUE(scheduler_->isScheduling());

    now_ = at(kMonday, 17, 0);
    EXPECT_EQ(run([&] { timer_->fire(); }),
              "ProfileScheduler: Applied profile 'Presentation' at 17:00\n");
    EXPECT_TRUE(state_.isCursorSpotlightEnabled());
    EXPECT_FALSE(state_.isFocusEnabled());

    now_ = tuesdayAt(5, 59);
    EXPECT_EQ(run([&] { timer_->fire(); }),
              "ProfileScheduler: Applied profile 'Night Mode' at 5:00\n");
    EXPECT_EQ(state_.screenBrightness(), -0.5f);
}

TEST_F(ProfileSchedulerTest, AlreadyActiveProfileIsNotAppliedAgain) {
    scheduler_->checkAndApply();
    state_.isFocusEnabled = false;  // the user changed it by hand since
    int changes = 0;
    auto counter = state_.objectWillChange().connect([&] { ++changes; });
    now_ = at(kMonday, 11, 0);
    EXPECT_EQ(run([&] { scheduler_->checkAndApply(); }), "");
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(state_.isFocusEnabled());
}

TEST_F(ProfileSchedulerTest, NoMatchLeavesSettingsAlone) {
    std::vector<FocusProfile> onlyWeekendMornings{window(6, 9, {1, 7})};
    onlyWeekendMornings[0].name = QStringLiteral("Weekend");
    state_.focusProfiles = onlyWeekendMornings;
    int changes = 0;
    auto counter = state_.objectWillChange().connect([&] { ++changes; });
    EXPECT_EQ(run([&] { scheduler_->checkAndApply(); }), "");
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(state_.activeProfileName(), QStringLiteral("Default"));

    now_ = sundayAt(0);
    state_.focusProfiles = {};
    EXPECT_EQ(run([&] { scheduler_->checkAndApply(); }), "");
    now_ = saturdayAt(7);
    state_.focusProfiles = onlyWeekendMornings;
    EXPECT_EQ(run([&] { scheduler_->checkAndApply(); }),
              "ProfileScheduler: Applied profile 'Weekend' at 7:00\n");
}

TEST_F(ProfileSchedulerTest, DisabledSchedulingChangesNothingEvenWhileTicking) {
    run([&] { scheduler_->startScheduling(); });
    state_.isScheduledProfilesEnabled = false;
    state_.activeProfileName = QStringLiteral("Default");
    now_ = saturdayAt(10);
    EXPECT_EQ(run([&] { timer_->fire(); }), "");
    EXPECT_EQ(state_.activeProfileName(), QStringLiteral("Default"));
}

TEST_F(ProfileSchedulerTest, StopEndsTheTimerAndSaysSo) {
    run([&] { scheduler_->startScheduling(); });
    EXPECT_EQ(run([&] { scheduler_->stopScheduling(); }), "ProfileScheduler: Stopped scheduling\n");
    EXPECT_FALSE(timer_->isActive());
    now_ = saturdayAt(10);
    EXPECT_EQ(run([&] { timer_->fire(); }), "");
    EXPECT_EQ(state_.activeProfileName(), QStringLiteral("Work Hours"));
}

TEST_F(ProfileSchedulerTest, MidnightHourPrintsWithoutPadding) {
    now_ = sundayAt(0);
    EXPECT_EQ(run([&] { scheduler_->checkAndApply(); }),
              "ProfileScheduler: Applied profile 'Night Mode' at 0:00\n");
}

}  // namespace
}  // namespace glimmora
