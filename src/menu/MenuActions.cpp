#include "menu/MenuActions.h"

#include <QUuid>
#include <algorithm>
#include <optional>

#include "app/WindowManager.h"
#include "menu/MenuBindings.h"
#include "settings/AppState.h"
#include "settings/FocusProfile.h"
#include "settings/OptionLists.h"
#include "settings/ProfileScheduler.h"
#include "settings/SettingsByName.h"

namespace glimmora {
namespace {

constexpr const char* kOverlay = "isOverlayEnabled";
constexpr const char* kHiddenFromScreenSharing = "isHiddenFromScreenSharing";
constexpr const char* kScheduledProfiles = "isScheduledProfilesEnabled";
constexpr const char* kColorBlindFilterType = "colorBlindFilterType";

}  // namespace

MenuActions::MenuActions(AppState& settings, WindowManager& windows, ProfileScheduler& scheduler,
                         MenuActionHooks hooks)
    : settings_(settings), windows_(windows), scheduler_(scheduler), hooks_(std::move(hooks)) {}

void MenuActions::perform(const MenuItem& chosen) {
    if (const OptionBinding* binding = optionBinding(chosen.command)) {
        writeOption(*binding, settings_, chosen.tag);
        return;
    }
    switch (chosen.command) {
        case MenuCommand::applyProfile:
            applyProfile(chosen.profileId);
            return;
        case MenuCommand::toggleStartAtLogin:
            if (hooks_.startsAtLogin && hooks_.setStartsAtLogin) {
                hooks_.setStartsAtLogin(!hooks_.startsAtLogin());
            }
            if (hooks_.refreshMenu) {
                hooks_.refreshMenu();
            }
            return;
        case MenuCommand::showAbout:
            showAbout();
            return;
        case MenuCommand::calibrateGaze:
            if (gaze_.calibrate) {
                gaze_.calibrate();
            }
            return;
        case MenuCommand::resetGazeCalibration:
            if (gaze_.resetCalibration) {
                gaze_.resetCalibration();
            }
            return;
        case MenuCommand::quitApp:
            quitApp();
            return;
        default:
            toggle(chosen.command);
            return;
    }
}

void MenuActions::toggle(MenuCommand command) {
    const char* setting = switchSetting(command);
    if (setting == nullptr) {
        return;
    }
    const bool enabled = !readSwitch(settings_, setting);
    writeSwitch(settings_, setting, enabled);
    switch (command) {
        case MenuCommand::toggleOverlay:
            showOverlay(enabled);
            break;
        case MenuCommand::toggleHideFromScreenSharing:
            windows_.setHiddenFromScreenSharing(enabled);
            break;
        case MenuCommand::toggleColorBlindFilter:
            // Switching the filter on must show an effect: a type still unset becomes one.
            if (const qint64 type = readInteger(settings_, kColorBlindFilterType);
                enabled && colorBlindFilterTypeWhenEnabled(type) != type) {
                writeInteger(settings_, kColorBlindFilterType,
                             colorBlindFilterTypeWhenEnabled(type));
            }
            break;
        case MenuCommand::toggleScheduledProfiles:
            followScheduledProfiles(enabled);
            break;
        default:
            break;
    }
}

void MenuActions::settingWritten(QStringView name) {
    const auto is = [name](const char* setting) { return name == QLatin1String(setting); };
    if (is(kOverlay)) {
        showOverlay(readSwitch(settings_, kOverlay));
    } else if (is(kHiddenFromScreenSharing)) {
        windows_.setHiddenFromScreenSharing(readSwitch(settings_, kHiddenFromScreenSharing));
    } else if (is(kScheduledProfiles)) {
        followScheduledProfiles(readSwitch(settings_, kScheduledProfiles));
    }
}

void MenuActions::showOverlay(bool enabled) {
    // Before the overlay is configured only the setting changes; the launch sequence shows or
    // hides the window by the setting once it exists.
    if (windows_.overlayWindow) {
        windows_.overlayWindow->setVisible(enabled);
    }
}

void MenuActions::followScheduledProfiles(bool enabled) {
    if (enabled) {
        scheduler_.startScheduling();
    } else {
        scheduler_.stopScheduling();
    }
}

void MenuActions::applyProfile(const QString& profileId) {
    const QUuid id(profileId);
    if (id.isNull()) {
        return;  // not a profile identifier
    }
    const std::optional<std::vector<FocusProfile>> profiles = decodeFocusProfiles(
        settingText(settings_, QStringLiteral("focusProfiles")).value_or(QString()).toUtf8());
    if (!profiles) {
        return;
    }
    const auto match = std::find_if(profiles->begin(), profiles->end(),
                                    [&id](const FocusProfile& p) { return p.id == id; });
    if (match != profiles->end()) {
        settings_.applyProfile(*match);
    }
}

void MenuActions::showAbout() {
    // The overlay stands above everything; a modal box must be seen and used.
    windows_.lowerWindowLevels();
    if (hooks_.showAboutBox) {
        hooks_.showAboutBox();
    }
    windows_.restoreWindowLevels();
}

void MenuActions::quitApp() {
    settings_.saveSettings();
    if (hooks_.terminate) {
        hooks_.terminate();
    }
}

}  // namespace glimmora
