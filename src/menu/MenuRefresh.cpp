#include "menu/MenuRefresh.h"

#include <utility>

namespace glimmora {

MenuRefresh::MenuRefresh(Signal<>& settingsWillChange, std::unique_ptr<RepeatingTimer> timer,
                         std::function<void()> rebuildMenu, std::function<void()> saveSettings)
    : timer_(std::move(timer)),
      rebuildMenu_(std::move(rebuildMenu)),
      saveSettings_(std::move(saveSettings)),
      settingsSubscription_(settingsWillChange.connect([this] {
          isSavePending_ = true;
          restart();
      })) {}

void MenuRefresh::refreshWithoutSaving() {
    restart();
}

void MenuRefresh::restart() {
    // Restarting pushes the deadline to one delay after the latest notification.
    timer_->start(kDelay, [this] { flush(); });
}

void MenuRefresh::flush() {
    timer_->stop();
    // Rebuild first, so the menu shows the state that is saved.
    rebuildMenu_();
    if (std::exchange(isSavePending_, false)) {
        saveSettings_();
    }
}

}  // namespace glimmora
