#pragma once

#include <QDateTime>
#include <functional>
#include <memory>
#include <vector>

#include "core/RepeatingTimer.h"
#include "settings/FocusProfile.h"

namespace glimmora {

class AppState;

/// Whether `profile` applies at `hour` (0 to 23) on `weekday` (1 = Sunday ... 7 = Saturday).
/// A window with endHour below startHour runs past midnight; 0 to 24 is all day; an equal start
/// and end never applies, and neither does an empty list of days.
bool profileMatches(const FocusProfile& profile, int hour, int weekday);

/// The first profile of `profiles` that applies at that hour and weekday, or null.
const FocusProfile* firstMatchingProfile(const std::vector<FocusProfile>& profiles, int hour,
                                         int weekday);

/// Applies focus profiles by the clock: once a minute, while scheduled profiles are enabled,
/// the first profile whose days and hours contain the local time is applied unless it is
/// already the active one. Started and stopped by the menu only. Main thread only.
class ProfileScheduler {
public:
    /// `localNow` gives the current local date and time (QDateTime::currentDateTime in the app).
    ProfileScheduler(AppState& appState, std::unique_ptr<RepeatingTimer> timer,
                     std::function<QDateTime()> localNow);
    ProfileScheduler(const ProfileScheduler&) = delete;
    ProfileScheduler& operator=(const ProfileScheduler&) = delete;
    ~ProfileScheduler();

    /// The process-wide scheduler over AppState::shared(), on the Qt event loop.
    static ProfileScheduler& shared();

    /// Checks once now, then every 60 seconds.
    void startScheduling();
    void stopScheduling();
    /// One scheduling decision.
    void checkAndApply();

    bool isScheduling() const { return timer_->isActive(); }

private:
    AppState& appState_;
    std::unique_ptr<RepeatingTimer> timer_;
    std::function<QDateTime()> localNow_;
};

}  // namespace glimmora
