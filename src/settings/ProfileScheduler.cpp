#include "settings/ProfileScheduler.h"

#include <algorithm>
#include <chrono>

#include "core/Log.h"
#include "core/QtRepeatingTimer.h"
#include "settings/AppState.h"

namespace glimmora {

bool profileMatches(const FocusProfile& profile, int hour, int weekday) {
    if (!profile.daysOfWeek.contains(weekday)) {
        return false;
    }
    const qint64 start = profile.startHour;
    const qint64 end = profile.endHour;
    if (end < start) {
        return hour >= start || hour < end;
    }
    if (start == 0 && end == 24) {
        return true;
    }
    return start <= hour && hour < end;
}

const FocusProfile* firstMatchingProfile(const std::vector<FocusProfile>& profiles, int hour,
                                         int weekday) {
    const auto it = std::find_if(profiles.begin(), profiles.end(), [&](const FocusProfile& p) {
        return profileMatches(p, hour, weekday);
    });
    return it == profiles.end() ? nullptr : &*it;
}

ProfileScheduler::ProfileScheduler(AppState& appState, std::unique_ptr<RepeatingTimer> timer,
                                   std::function<QDateTime()> localNow)
    : appState_(appState), timer_(std::move(timer)), localNow_(std::move(localNow)) {}

ProfileScheduler::~ProfileScheduler() {
    stopScheduling();
}

ProfileScheduler& ProfileScheduler::shared() {
    static ProfileScheduler* const instance =
        new ProfileScheduler(AppState::shared(), std::make_unique<QtRepeatingTimer>(),
                             [] { return QDateTime::currentDateTime(); });
    return *instance;
}

void ProfileScheduler::startScheduling() {
    using namespace std::chrono_literals;
    timer_->start(60s, [this] { checkAndApply(); });
    checkAndApply();
    logLine("ProfileScheduler: Started scheduling");
}

void ProfileScheduler::stopScheduling() {
    timer_->stop();
    logLine("ProfileScheduler: Stopped scheduling");
}

void ProfileScheduler::checkAndApply() {
    if (!appState_.isScheduledProfilesEnabled()) {
        return;
    }
    const QDateTime now = localNow_();
    const int hour = now.time().hour();
    const int weekday = now.date().dayOfWeek() % 7 + 1;  // Qt counts Monday 1 ... Sunday 7
    const FocusProfile* match = firstMatchingProfile(appState_.focusProfiles(), hour, weekday);
    if (match == nullptr || match->name == appState_.activeProfileName()) {
        return;
    }
    // Copy first: applying writes the store, and observers may replace the profile list.
    const FocusProfile profile = *match;
    appState_.applyProfile(profile);
    logLine("ProfileScheduler: Applied profile '" + profile.name.toStdString() + "' at " +
            std::to_string(hour) + ":00");
}

}  // namespace glimmora
