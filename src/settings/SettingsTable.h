#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "core/Published.h"
#include "settings/FocusProfile.h"

namespace glimmora {

class AppState;

/// How a stored setting is read back at launch. Where a rule declines a value, the setting keeps
/// its default. Reads of a missing key, or of a value of the wrong type, give false, 0, no text
/// and no data (see UserDefaults).
enum class LoadRule {
    NotStored,      ///< session only: never written, so every launch starts at the default
    Always,         ///< whatever is read, a missing key included
    IfPositive,     ///< only a value > 0 (0 is what a missing key reads as)
    IfNotNegative,  ///< only a value >= 0, for amounts where 0 is a real choice
    IfAtLeastOne,   ///< only a value >= 1, for enumerations that start at 1
    ZeroMeansOne,   ///< whatever is read, except that 0 becomes 1
    IfPresent,      ///< only when the key is there: switches added after earlier saves, the
                    ///< profile name when text is stored, the profile list when it decodes
};

/// The closed range a number setting is kept in, whatever the value comes from: the settings
/// file, a profile, or a tool that sets it by name.
struct NumberRange {
    double lowest = 0;
    double highest = 0;
    bool operator==(const NumberRange&) const = default;
};

/// A row's range, from `lowest` to `highest`.
constexpr std::optional<NumberRange> between(double lowest, double highest) {
    return NumberRange{lowest, highest};
}
/// The range of a switch, a text or the profile list: they have none.
inline constexpr std::optional<NumberRange> kAnyValue = std::nullopt;

// Every setting of the store, described once, in the order the store declares them (the order
// settingNames() lists). Each row:
//
//     X(name, type, default, load rule, place in the settings file's key order, range)
//
// The name is the property, the key in the settings file and the name tools set it by. The
// place (1, 2, ...) is the position among the stored keys in which loading reads and saving
// writes them; it differs from the declaration order because the file kept the order in which
// settings were added. 0 for a setting that is not stored. A new setting takes the next place.
// Sizes are fractions of the primary monitor (0 to 1); amounts are unitless factors; Ints take
// the values of the option lists in OptionLists.h.
//
// The range holds every value a menu option or a built-in profile uses, widened where the
// effect has a neutral end (0 for an amount, no magnification for the zoom), and ends where the
// screen would stop being usable or safe: a brightness of -1 is black and +1 white, a strong
// tint swamps the page it is meant to help read, a fast breathing pulse or a strong flicker
// flashes. Values outside are brought to the nearest end (withinRange()).
//
// The gaze calibration (the mapping the gaze tracker fitted, and whether one is in force) is kept
// here so it outlives the session. Fitted slopes lie near -3 and intercepts near 2; the wide
// range only keeps a hand-edited file finite, and the tracker refuses a set it cannot use.
#define GLIMMORA_SETTINGS(X)                                                                      \
    X(isOverlayEnabled, bool, true, Always, 1, kAnyValue)                                         \
    X(isRetroEffectEnabled, bool, false, Always, 2, kAnyValue)                                    \
    X(isScanLinesEnabled, bool, false, Always, 3, kAnyValue)                                      \
    X(isRGBShiftEnabled, bool, false, Always, 4, kAnyValue)                                       \
    X(isNoiseEnabled, bool, false, Always, 5, kAnyValue)                                          \
    X(isFlickerEnabled, bool, false, Always, 6, kAnyValue)                                        \
    X(isFocusEnabled, bool, false, NotStored, 0, kAnyValue)                                       \
    X(isExplosionEnabled, bool, false, NotStored, 0, kAnyValue)                                   \
    X(focusFollowsCursor, bool, true, IfPresent, 41, kAnyValue)                                   \
    X(isReadingRulerEnabled, bool, false, Always, 8, kAnyValue)                                   \
    X(readingRulerZoom, float, 1.5f, IfPositive, 9, between(1, 4)) /* magnification factor */     \
    X(readingRulerHeight, float, 0.06f, IfPositive, 10, between(0.02, 0.25))                      \
    X(rulerFollowsCursor, bool, true, IfPresent, 42, kAnyValue)                                   \
    X(isGazeTrackingEnabled, bool, false, NotStored, 0, kAnyValue)                                \
    X(isSmartFocusEnabled, bool, false, Always, 11, kAnyValue)                                    \
    X(smartFocusBlurStrength, float, 0.6f, IfPositive, 12, between(0, 1))                         \
    X(smartFocusFadeWidth, float, 0.02f, IfPositive, 14, between(0, 0.2))                         \
    X(smartFocusEffectMode, qint64, 0, Always, 13, between(0, 5))                                 \
    X(isHiddenFromScreenSharing, bool, false, NotStored, 0, kAnyValue)                            \
    X(isScreenDimmerEnabled, bool, false, Always, 15, kAnyValue)                                  \
    X(screenBrightness, float, 0.0f, Always, 16,                                                  \
      between(-0.8, 0.8)) /* signed offset, 0 = unchanged */                                      \
    X(isColorBlindFilterEnabled, bool, false, Always, 17, kAnyValue)                              \
    X(colorBlindFilterType, qint64, 0, Always, 18, between(0, 4)) /* 0: no type chosen yet */     \
    X(colorBlindFilterIntensity, float, 0.8f, IfPositive, 19, between(0, 1))                      \
    X(isCursorSpotlightEnabled, bool, false, Always, 20, kAnyValue)                               \
    X(cursorSpotlightRadius, float, 0.15f, IfPositive, 21, between(0.02, 0.5))                    \
    X(cursorSpotlightDimAmount, float, 0.7f, IfPositive, 22, between(0, 0.95))                    \
    X(cursorSpotlightBorderWidth, float, 0.005f, IfNotNegative, 24,                               \
      between(0, 0.05)) /* 0: no border */                                                        \
    X(cursorSpotlightEffectMode, qint64, 0, Always, 23, between(0, 4))                            \
    X(isDyslexiaAidsEnabled, bool, false, Always, 25, kAnyValue)                                  \
    X(dyslexiaTintColor, qint64, 1, ZeroMeansOne, 26, between(0, 4)) /* 0 names no colour */      \
    X(dyslexiaTintStrength, float, 0.3f, IfPositive, 27, between(0, 0.6))                         \
    X(dyslexiaLineGuide, bool, false, Always, 28, kAnyValue)                                      \
    X(isScheduledProfilesEnabled, bool, false, Always, 29, kAnyValue)                             \
    X(activeProfileName, QString, QStringLiteral("Default"), IfPresent, 30, kAnyValue)            \
    X(focusProfiles, std::vector<FocusProfile>, builtInFocusProfiles(), IfPresent, 31, kAnyValue) \
    X(isBreathPacerEnabled, bool, false, Always, 32, kAnyValue)                                   \
    X(breathPacerStyle, qint64, 1, IfAtLeastOne, 33, between(1, 4))                               \
    X(breathPacerIntensity, float, 0.7f, IfPositive, 34, between(0, 1))                           \
    X(breathsPerMinute, float, 6.0f, IfPositive, 35, between(2, 12))                              \
    X(focusModeEffect, qint64, 0, Always, 36, between(0, 4))                                      \
    X(focusModeGlitchAmount, float, 0.6f, IfPositive, 37, between(0, 1))                          \
    X(focusModeDimAmount, float, 0.7f, IfPositive, 38, between(0, 1))                             \
    X(focusModeDesatAmount, float, 0.8f, IfPositive, 39, between(0, 1))                           \
    X(focusModeHeight, float, 0.12f, IfPositive, 40, between(0.02, 0.5))                          \
    X(scanLineIntensity, float, 0.2f, NotStored, 0, between(0, 1))                                \
    X(rgbShiftAmount, float, 0.0015f, NotStored, 0, between(0, 0.01))                             \
    X(noiseAmount, float, 0.05f, NotStored, 0, between(0, 0.25))                                  \
    X(flickerIntensity, float, 0.02f, NotStored, 0, between(0, 0.04))                             \
    X(overlayOpacity, float, 1.0f, ZeroMeansOne, 7,                                               \
      between(0.5, 1)) /* an invisible overlay is a mistake */                                    \
    X(isGazeCalibrated, bool, false, IfPresent, 47, kAnyValue)                                    \
    X(gazeCalibrationSlopeX, float, 1.0f, IfPresent, 43, between(-100, 100))                      \
    X(gazeCalibrationInterceptX, float, 0.0f, IfPresent, 44, between(-100, 100))                  \
    X(gazeCalibrationSlopeY, float, 1.0f, IfPresent, 45, between(-100, 100))                      \
    X(gazeCalibrationInterceptY, float, 0.0f, IfPresent, 46, between(-100, 100))

template <typename T>
using SettingMember = Published<T> AppState::*;

/// A pointer to one of the store's properties, of any of the five setting types.
using AnySettingMember =
    std::variant<SettingMember<bool>, SettingMember<float>, SettingMember<qint64>,
                 SettingMember<QString>, SettingMember<std::vector<FocusProfile>>>;

/// One row of the list above, for code that walks every setting: loading, saving, setting by
/// name, and tests.
struct SettingRow {
    const char* name;
    AnySettingMember member;
    LoadRule rule;
    int filePlace;                     // 1-based; 0 when not stored
    std::optional<NumberRange> range;  // for numbers only
};

/// Every setting, in declaration order.
std::span<const SettingRow> settingsTable();

/// The stored settings, in the settings file's key order.
std::span<const SettingRow* const> storedSettingsInFileOrder();

/// The row of the setting called `name`; nullptr for an unknown name.
const SettingRow* findSetting(std::string_view name);

/// `value` brought into `row`'s range. A value outside it (or not a number at all) becomes the
/// nearest value inside, and one line naming the setting and the value used is logged. Switches
/// and text pass unchanged; in a profile list each profile's brightness and tint colour are
/// kept in the ranges of `screenBrightness` and `dyslexiaTintColor`, which they are applied to.
float withinRange(const SettingRow& row, float value);
qint64 withinRange(const SettingRow& row, qint64 value);
bool withinRange(const SettingRow& row, bool value);
QString withinRange(const SettingRow& row, QString value);
std::vector<FocusProfile> withinRange(const SettingRow& row, std::vector<FocusProfile> value);

}  // namespace glimmora
