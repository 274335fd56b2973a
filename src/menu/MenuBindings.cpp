#include "menu/MenuBindings.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "settings/SettingsByName.h"

namespace glimmora {
namespace {

struct SwitchBinding {
    MenuCommand command;
    const char* setting;
};

constexpr std::array<SwitchBinding, 20> kSwitches{{
    {MenuCommand::toggleOverlay, "isOverlayEnabled"},
    {MenuCommand::toggleHideFromScreenSharing, "isHiddenFromScreenSharing"},
    {MenuCommand::toggleScanLines, "isScanLinesEnabled"},
    {MenuCommand::toggleRGBShift, "isRGBShiftEnabled"},
    {MenuCommand::toggleNoise, "isNoiseEnabled"},
    {MenuCommand::toggleFlicker, "isFlickerEnabled"},
    {MenuCommand::toggleFocus, "isFocusEnabled"},
    {MenuCommand::toggleFocusFollowsCursor, "focusFollowsCursor"},
    {MenuCommand::toggleReadingRuler, "isReadingRulerEnabled"},
    {MenuCommand::toggleRulerFollowsCursor, "rulerFollowsCursor"},
    {MenuCommand::toggleSmartFocus, "isSmartFocusEnabled"},
    {MenuCommand::toggleScreenDimmer, "isScreenDimmerEnabled"},
    {MenuCommand::toggleColorBlindFilter, "isColorBlindFilterEnabled"},
    {MenuCommand::toggleCursorSpotlight, "isCursorSpotlightEnabled"},
    {MenuCommand::toggleDyslexiaAids, "isDyslexiaAidsEnabled"},
    {MenuCommand::toggleDyslexiaLineGuide, "dyslexiaLineGuide"},
    {MenuCommand::toggleScheduledProfiles, "isScheduledProfilesEnabled"},
    {MenuCommand::toggleBreathPacer, "isBreathPacerEnabled"},
    {MenuCommand::toggleExplosions, "isExplosionEnabled"},
    {MenuCommand::toggleGazeTracking, "isGazeTrackingEnabled"},
}};

const std::array<OptionBinding, 25> kOptions{{
    {MenuCommand::setScanLineIntensity, RetroAmountList::scanLines, "scanLineIntensity"},
    {MenuCommand::setRGBShiftAmount, RetroAmountList::rgbShift, "rgbShiftAmount"},
    {MenuCommand::setNoiseAmount, RetroAmountList::noise, "noiseAmount"},
    {MenuCommand::setFlickerIntensity, RetroAmountList::flicker, "flickerIntensity"},
    {MenuCommand::setFocusModeEffect, EnumList::FocusModeEffect, "focusModeEffect"},
    // One choice sets all three focus amounts; the tick follows the glitch amount alone.
    {MenuCommand::setFocusModeIntensity,
     LevelList::FocusModeIntensity,
     "focusModeGlitchAmount",
     {"focusModeDimAmount", "focusModeDesatAmount"}},
    {MenuCommand::setFocusModeHeight, LevelList::FocusZoneHeight, "focusModeHeight"},
    {MenuCommand::setRulerZoom, LevelList::ReadingRulerZoom, "readingRulerZoom"},
    {MenuCommand::setRulerHeight, LevelList::ReadingRulerHeight, "readingRulerHeight"},
    {MenuCommand::setSmartFocusEffectMode, EnumList::SmartFocusEffect, "smartFocusEffectMode"},
    {MenuCommand::setSmartFocusBlur, LevelList::SmartFocusBlurStrength, "smartFocusBlurStrength"},
    {MenuCommand::setSmartFocusFade, LevelList::SmartFocusEdgeFade, "smartFocusFadeWidth"},
    {MenuCommand::setScreenBrightness, LevelList::ScreenBrightness, "screenBrightness"},
    {MenuCommand::setColorBlindFilterType, EnumList::ColorBlindFilter, "colorBlindFilterType"},
    {MenuCommand::setColorBlindIntensity, LevelList::ColorFilterStrength,
     "colorBlindFilterIntensity"},
    {MenuCommand::setSpotlightEffectMode, EnumList::CursorSpotlightEffect,
     "cursorSpotlightEffectMode"},
    {MenuCommand::setSpotlightRadius, LevelList::CursorSpotlightRadius, "cursorSpotlightRadius"},
    {MenuCommand::setSpotlightDim, LevelList::CursorSpotlightDimming, "cursorSpotlightDimAmount"},
    {MenuCommand::setSpotlightBorder, LevelList::CursorSpotlightBorder,
     "cursorSpotlightBorderWidth"},
    {MenuCommand::setDyslexiaTint, EnumList::DyslexiaTintColor, "dyslexiaTintColor"},
    {MenuCommand::setDyslexiaTintStrength, LevelList::DyslexiaTintStrength, "dyslexiaTintStrength"},
    {MenuCommand::setBreathPacerStyle, EnumList::BreathPacerStyle, "breathPacerStyle"},
    {MenuCommand::setBreathPacerIntensity, LevelList::BreathPacerIntensity, "breathPacerIntensity"},
    {MenuCommand::setBreathsPerMinute, LevelList::BreathingRate, "breathsPerMinute"},
    {MenuCommand::setOpacity, LevelList::OverlayOpacity, "overlayOpacity"},
}};

// Half, normal and double each default amount. Flicker stays far below a flash: at double
// strength the picture darkens by at most 4 %.
constexpr std::array<LevelOption, 3> kScanLineAmounts{
    {{"Subtle", 0.1f}, {"Normal", 0.2f}, {"Strong", 0.4f}}};
constexpr std::array<LevelOption, 3> kRGBShiftAmounts{
    {{"Subtle", 0.00075f}, {"Normal", 0.0015f}, {"Strong", 0.003f}}};
constexpr std::array<LevelOption, 3> kNoiseAmounts{
    {{"Subtle", 0.025f}, {"Normal", 0.05f}, {"Strong", 0.1f}}};
constexpr std::array<LevelOption, 3> kFlickerAmounts{
    {{"Subtle", 0.01f}, {"Normal", 0.02f}, {"Strong", 0.04f}}};

// Retro amounts travel as value × 100000, which keeps the smallest (0.00075) whole.
constexpr double kRetroTagScale = 100000.0;
// Neighbours differ by a factor of two, so a quarter of the value ticks one item at most.
constexpr float kRetroTickFraction = 0.25f;

std::span<const LevelOption> retroAmounts(RetroAmountList list) {
    switch (list) {
        case RetroAmountList::scanLines:
            return kScanLineAmounts;
        case RetroAmountList::rgbShift:
            return kRGBShiftAmounts;
        case RetroAmountList::noise:
            return kNoiseAmounts;
        case RetroAmountList::flicker:
            return kFlickerAmounts;
    }
    return {};
}

float retroValueForTag(qint64 tag) {
    return float(tag) / float(kRetroTagScale);
}

QString settingName(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

std::optional<float> readFloat(const AppState& settings, std::string_view name) {
    const std::optional<QString> text = settingText(settings, settingName(name));
    if (!text) {
        return std::nullopt;
    }
    const QByteArray bytes = text->toLatin1();
    float value = 0;
    const auto [end, error] = std::from_chars(bytes.begin(), bytes.end(), value);
    return error == std::errc() && end == bytes.end() ? std::optional(value) : std::nullopt;
}

void writeFloat(AppState& settings, std::string_view name, float value) {
    // The shortest text that reads back as the same float, so the store gets the value exactly.
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    setSettingFromText(settings, settingName(name),
                       QString::fromLatin1(text, static_cast<qsizetype>(result.ptr - text)),
                       nullptr);
}

void writeSetting(AppState& settings, const OptionList& list, std::string_view name, qint64 tag) {
    if (const auto* level = std::get_if<LevelList>(&list)) {
        writeFloat(settings, name, valueForTag(*level, tag));
    } else if (std::holds_alternative<RetroAmountList>(list)) {
        writeFloat(settings, name, retroValueForTag(tag));
    } else {
        writeInteger(settings, name, tag);
    }
}

}  // namespace

const char* switchSetting(MenuCommand command) {
    for (const SwitchBinding& binding : kSwitches) {
        if (binding.command == command) {
            return binding.setting;
        }
    }
    return nullptr;
}

const OptionBinding* optionBinding(MenuCommand command) {
    for (const OptionBinding& binding : kOptions) {
        if (binding.command == command) {
            return &binding;
        }
    }
    return nullptr;
}

std::vector<OptionChoice> optionChoices(const OptionList& list) {
    std::vector<OptionChoice> choices;
    const auto title = [](std::string_view label) {
        return QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()));
    };
    if (const auto* enumeration = std::get_if<EnumList>(&list)) {
        for (const EnumOption& option : options(*enumeration)) {
            choices.push_back({title(option.label), option.value});
        }
    } else if (const auto* level = std::get_if<LevelList>(&list)) {
        for (const LevelOption& option : options(*level)) {
            choices.push_back({title(option.label), tagForValue(*level, option.value)});
        }
    } else {
        for (const LevelOption& option : retroAmounts(std::get<RetroAmountList>(list))) {
            choices.push_back(
                {title(option.label), std::llround(double(option.value) * kRetroTagScale)});
        }
    }
    return choices;
}

bool isOptionTicked(const OptionBinding& binding, const AppState& settings, qint64 tag) {
    if (std::holds_alternative<EnumList>(binding.list)) {
        return readInteger(settings, binding.setting) == tag;
    }
    const std::optional<float> value = readFloat(settings, binding.setting);
    if (!value) {
        return false;
    }
    if (const auto* level = std::get_if<LevelList>(&binding.list)) {
        return isTicked(*level, *value, LevelOption{{}, valueForTag(*level, tag)});
    }
    const float option = retroValueForTag(tag);
    return std::fabs(*value - option) < option * kRetroTickFraction;
}

void writeOption(const OptionBinding& binding, AppState& settings, qint64 tag) {
    writeSetting(settings, binding.list, binding.setting, tag);
    for (const char* name : binding.alsoWritten) {
        if (name != nullptr) {
            writeSetting(settings, binding.list, name, tag);
        }
    }
}

bool readSwitch(const AppState& settings, std::string_view name) {
    return settingText(settings, settingName(name)) == QStringLiteral("true");
}

void writeSwitch(AppState& settings, std::string_view name, bool value) {
    setSettingFromText(settings, settingName(name),
                       value ? QStringLiteral("true") : QStringLiteral("false"), nullptr);
}

qint64 readInteger(const AppState& settings, std::string_view name) {
    return settingText(settings, settingName(name)).value_or(QString()).toLongLong();
}

void writeInteger(AppState& settings, std::string_view name, qint64 value) {
    setSettingFromText(settings, settingName(name), QString::number(value), nullptr);
}

}  // namespace glimmora
