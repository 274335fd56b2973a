#pragma once

#include <QStringView>
#include <functional>

#include "menu/MenuItem.h"

namespace glimmora {

class AppState;
class ProfileScheduler;
class WindowManager;

/// What the menu's actions reach beyond the settings store, the windows and the scheduler.
struct MenuActionHooks {
    /// Shows the modal About box; returns once it is dismissed.
    std::function<void()> showAboutBox;
    /// Asks the application to terminate (its terminate handler then runs).
    std::function<void()> terminate;
    /// Whether the login session starts Glimmora, and switching that.
    std::function<bool()> startsAtLogin;
    std::function<void(bool)> setStartsAtLogin;
    /// Asks for the menu to be rebuilt after a change the settings store does not see.
    std::function<void()> refreshMenu;
};

/// What the gaze items reach: the calibration and the tracker's state. Set once the gaze tracker
/// exists; until then the items do nothing.
struct GazeMenuHooks {
    /// Starts a calibration ("Calibrate Gaze…").
    std::function<void()> calibrate;
    /// Back to the uncalibrated mapping ("Reset Calibration").
    std::function<void()> resetCalibration;
    /// Whether a calibrated mapping is in force.
    std::function<bool()> isCalibrated;
};

/// The menu's actions: what choosing an item does. Every action writes the settings store; the
/// overlay and screen-sharing switches also tell the windows, the scheduled-profiles switch
/// starts or stops the profile scheduler, About lowers the overlay around its modal box, and Quit
/// saves before it terminates. Saving after a change is the debounced refresh's job, not this.
///
/// Main thread only. Every reference must outlive the actions.
class MenuActions {
public:
    MenuActions(AppState& settings, WindowManager& windows, ProfileScheduler& scheduler,
                MenuActionHooks hooks);
    MenuActions(const MenuActions&) = delete;
    MenuActions& operator=(const MenuActions&) = delete;

    /// Runs the action of the chosen item (an item of buildMenu()); items without an action do
    /// nothing, and so does a profile item whose profile is no longer in the list.
    void perform(const MenuItem& chosen);

    /// After a setting was changed by name from outside the menu (the command line): does what
    /// the menu's switch for it would have done beyond the store, for the overlay, screen sharing
    /// and scheduled profiles. Other names need nothing.
    void settingWritten(QStringView name);

    /// Saves the settings, even with no save pending, then terminates.
    void quitApp();

    void setGazeHooks(GazeMenuHooks hooks) { gaze_ = std::move(hooks); }
    bool isGazeCalibrated() const { return gaze_.isCalibrated && gaze_.isCalibrated(); }

private:
    void toggle(MenuCommand command);
    void applyProfile(const QString& profileId);
    void showAbout();
    void showOverlay(bool enabled);
    void followScheduledProfiles(bool enabled);

    AppState& settings_;
    WindowManager& windows_;
    ProfileScheduler& scheduler_;
    MenuActionHooks hooks_;
    GazeMenuHooks gaze_;
};

}  // namespace glimmora
