#include "menu/MenuModel.h"

#include <optional>
#include <utility>

#include "menu/MenuBindings.h"
#include "settings/FocusProfile.h"
#include "settings/SettingsByName.h"

namespace glimmora {
namespace {

using Items = std::vector<MenuItem>;

MenuItem item(MenuItemKind kind, const QString& title, MenuCommand command = MenuCommand::none) {
    MenuItem made;
    made.kind = kind;
    made.title = title;
    made.command = command;
    return made;
}

MenuItem separator() {
    return {};
}

MenuItem header(const char* title) {
    MenuItem made = item(MenuItemKind::header, QString::fromUtf8(title));
    made.enabled = false;
    return made;
}

MenuItem submenu(const char* title, Items children) {
    MenuItem made = item(MenuItemKind::submenu, QString::fromUtf8(title));
    made.children = std::move(children);
    return made;
}

MenuItem command(const char* title, MenuCommand command, const char* keyHint = "") {
    MenuItem made = item(MenuItemKind::command, QString::fromUtf8(title), command);
    made.keyHint = QString::fromLatin1(keyHint);
    return made;
}

/// Builds the menu of one settings snapshot; each helper reads the store as it goes.
class MenuBuilder {
public:
    MenuBuilder(const AppState& settings, const MenuContext& context)
        : settings_(settings), context_(context) {}

    Items build() const {
        return {
            switchItem("Enable Overlay", MenuCommand::toggleOverlay, "Ctrl+E"),
            switchItem("Hide from Screen Sharing", MenuCommand::toggleHideFromScreenSharing,
                       "Alt+H"),
            separator(),
            submenu("📺 Retro Effects", retroEffects()),
            submenu("🎯 Focus Mode",
                    feature(switchItem("Enable Focus Mode", MenuCommand::toggleFocus, "Alt+F"),
                            {{"Effect Style", MenuCommand::setFocusModeEffect},
                             {"Intensity", MenuCommand::setFocusModeIntensity},
                             {"Focus Zone Height", MenuCommand::setFocusModeHeight}},
                            switchItem("Follow Text Cursor (Writing Mode)",
                                       MenuCommand::toggleFocusFollowsCursor))),
            submenu("📏 Reading Ruler", feature(switchItem("Enable Reading Ruler",
                                                          MenuCommand::toggleReadingRuler, "Alt+R"),
                                               {{"Zoom Level", MenuCommand::setRulerZoom},
                                                {"Ruler Height", MenuCommand::setRulerHeight}},
                                               switchItem("Follow Text Cursor (Writing Mode)",
                                                          MenuCommand::toggleRulerFollowsCursor))),
            submenu(
                "🪟 Smart Focus Zones",
                feature(switchItem("Enable Smart Focus", MenuCommand::toggleSmartFocus, "Alt+S"),
                        {{"Effect Mode", MenuCommand::setSmartFocusEffectMode},
                         {"Blur Strength", MenuCommand::setSmartFocusBlur},
                         {"Edge Softness", MenuCommand::setSmartFocusFade}})),
            separator(),
            submenu("🌙 Screen Dimmer",
                    feature(switchItem("Enable Screen Dimmer", MenuCommand::toggleScreenDimmer,
                                       "Alt+D"),
                            {{"Brightness Level", MenuCommand::setScreenBrightness}})),
            submenu("👁 Color Blindness Filter",
                    feature(switchItem("Enable Color Filter", MenuCommand::toggleColorBlindFilter),
                            {{"Filter Type", MenuCommand::setColorBlindFilterType},
                             {"Intensity", MenuCommand::setColorBlindIntensity}})),
            submenu("🔦 Cursor Spotlight",
                    feature(switchItem("Enable Cursor Spotlight",
                                       MenuCommand::toggleCursorSpotlight, "Alt+L"),
                            {{"Outside Effect", MenuCommand::setSpotlightEffectMode},
                             {"Spotlight Size", MenuCommand::setSpotlightRadius},
                             {"Intensity", MenuCommand::setSpotlightDim},
                             {"Border Width", MenuCommand::setSpotlightBorder}})),
            submenu("📖 Dyslexia Reading Aids",
                    feature(switchItem("Enable Reading Aids", MenuCommand::toggleDyslexiaAids),
                            {{"Screen Tint", MenuCommand::setDyslexiaTint},
                             {"Tint Strength", MenuCommand::setDyslexiaTintStrength}},
                            switchItem("Show Line Guide", MenuCommand::toggleDyslexiaLineGuide))),
            submenu("⏰ Focus Profiles", focusProfiles()),
            submenu(
                "🧘 Breath Pacer",
                feature(switchItem("Enable Breath Pacer", MenuCommand::toggleBreathPacer, "Alt+B"),
                        {{"Visual Style", MenuCommand::setBreathPacerStyle},
                         {"Intensity", MenuCommand::setBreathPacerIntensity},
                         {"Breaths Per Minute", MenuCommand::setBreathsPerMinute}})),
            submenu("👀 Gaze Tracking", gazeTracking()),
            // Not saved, like the setting: off again at every launch.
            switchItem("Click Explosions", MenuCommand::toggleExplosions),
            separator(),
            submenu("🔆 Opacity", optionItems(MenuCommand::setOpacity)),
            separator(),
            toggle("Start at Login", MenuCommand::toggleStartAtLogin, context_.startsAtLogin),
            command("About Glimmora", MenuCommand::showAbout),
            command("Quit Glimmora", MenuCommand::quitApp, "Ctrl+Q"),
        };
    }

private:
    static MenuItem toggle(const char* title, MenuCommand command, bool ticked,
                           const char* keyHint = "") {
        MenuItem made = item(MenuItemKind::toggle, QString::fromUtf8(title), command);
        made.ticked = ticked;
        made.keyHint = QString::fromLatin1(keyHint);
        return made;
    }

    MenuItem switchItem(const char* title, MenuCommand command, const char* keyHint = "") const {
        return toggle(title, command, readSwitch(settings_, switchSetting(command)), keyHint);
    }

    /// One item per option of the command's list, each ticked by the setting.
    Items optionItems(MenuCommand command) const {
        const OptionBinding& binding = *optionBinding(command);
        Items items;
        for (const OptionChoice& choice : optionChoices(binding.list)) {
            MenuItem option = item(MenuItemKind::toggle, choice.title, command);
            option.tag = choice.tag;
            option.ticked = isOptionTicked(binding, settings_, choice.tag);
            items.push_back(std::move(option));
        }
        return items;
    }

    /// A separator, a header and the option items under it.
    void appendSection(Items& items, const char* title, MenuCommand command) const {
        items.push_back(separator());
        items.push_back(header(title));
        for (MenuItem& option : optionItems(command)) {
            items.push_back(std::move(option));
        }
    }

    /// A feature's submenu: its switch, one section per option list, and after a separator the
    /// switch that some features have last.
    Items feature(MenuItem enable,
                  std::initializer_list<std::pair<const char*, MenuCommand>> sections,
                  std::optional<MenuItem> last = std::nullopt) const {
        Items items{std::move(enable)};
        for (const auto& [title, command] : sections) {
            appendSection(items, title, command);
        }
        if (last) {
            items.push_back(separator());
            items.push_back(std::move(*last));
        }
        return items;
    }

    /// The four switches, then the amount of each effect (not in the settings file).
    Items retroEffects() const {
        Items items{switchItem("Scan Lines", MenuCommand::toggleScanLines),
                    switchItem("RGB Shift", MenuCommand::toggleRGBShift),
                    switchItem("Noise", MenuCommand::toggleNoise),
                    switchItem("Flicker", MenuCommand::toggleFlicker)};
        appendSection(items, "Scan Line Strength", MenuCommand::setScanLineIntensity);
        appendSection(items, "RGB Shift Distance", MenuCommand::setRGBShiftAmount);
        appendSection(items, "Noise Amount", MenuCommand::setNoiseAmount);
        appendSection(items, "Flicker Strength", MenuCommand::setFlickerIntensity);
        return items;
    }

    /// The camera switch (not saved: off again at every launch) and the calibration.
    Items gazeTracking() const {
        MenuItem reset = command("Reset Calibration", MenuCommand::resetGazeCalibration);
        reset.enabled = context_.gazeCalibrated;
        return {switchItem("Gaze Tracking", MenuCommand::toggleGazeTracking), separator(),
                command("Calibrate Gaze…", MenuCommand::calibrateGaze), std::move(reset)};
    }

    Items focusProfiles() const {
        Items items{switchItem("Enable Scheduled Profiles", MenuCommand::toggleScheduledProfiles),
                    separator(), header("Apply Profile Now")};
        const QString active =
            settingText(settings_, QStringLiteral("activeProfileName")).value_or(QString());
        const std::optional<std::vector<FocusProfile>> profiles = decodeFocusProfiles(
            settingText(settings_, QStringLiteral("focusProfiles")).value_or(QString()).toUtf8());
        for (const FocusProfile& profile : profiles.value_or(std::vector<FocusProfile>{})) {
            MenuItem choice = item(MenuItemKind::toggle, profile.name, MenuCommand::applyProfile);
            choice.profileId = canonicalUuidText(profile.id);
            // Exact text: a name that differs in letter case is another name.
            choice.ticked = profile.name == active;
            items.push_back(std::move(choice));
        }
        return items;
    }

    const AppState& settings_;
    const MenuContext& context_;
};

}  // namespace

std::vector<MenuItem> buildMenu(const AppState& settings, const MenuContext& context) {
    return MenuBuilder(settings, context).build();
}

}  // namespace glimmora
