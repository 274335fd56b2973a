#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "core/RepeatingTimer.h"
#include "core/Signal.h"

namespace glimmora {

/// The menu's debounced observers. A burst of settings changes (a menu choice, a profile that
/// writes eight settings, a command-line write) costs one menu rebuild and one save, 100 ms
/// after the burst's last will-change notification, on the main loop. Changes the menu shows but
/// the store does not hold (the gaze tracker's state, Start at Login) rebuild the same way
/// without saving; when both kinds fall into one burst, one rebuild and one save follow.
///
/// Main thread only. The timer is injected so tests can fire it by hand.
class MenuRefresh {
public:
    static constexpr std::chrono::milliseconds kDelay{100};

    /// Watches `settingsWillChange` (the store's will-change signal, which must outlive this)
    /// until destroyed.
    MenuRefresh(Signal<>& settingsWillChange, std::unique_ptr<RepeatingTimer> timer,
                std::function<void()> rebuildMenu, std::function<void()> saveSettings);
    MenuRefresh(const MenuRefresh&) = delete;
    MenuRefresh& operator=(const MenuRefresh&) = delete;

    /// A change the menu shows that is not a setting: rebuild after the delay, without saving.
    void refreshWithoutSaving();

private:
    void restart();
    void flush();

    std::unique_ptr<RepeatingTimer> timer_;
    std::function<void()> rebuildMenu_;
    std::function<void()> saveSettings_;
    bool isSavePending_ = false;
    Subscription settingsSubscription_;  // last: it calls into the members above
};

}  // namespace glimmora
