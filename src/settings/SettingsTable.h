#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <span>
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

// Every setting of the store, described once, in the order the store declares them (the order
// settingNames() lists). Each row:
//
//     X(name, type, default, load rule, place in the settings file's key order)
//
// The name is the property, the key in the settings file and the name tools set it by. The
// place (1, 2, ...) is the position among the stored keys in which loading reads and saving
// writes them; it differs from the declaration order because the file kept the order in which
// settings were added. 0 for a setting that is not stored. A new setting takes the next place.
// Sizes are fractions of the primary monitor (0 to 1); amounts are unitless factors; Ints take
// the values of the option lists in OptionLists.h.
#define GLIMMORA_SETTINGS(X)                                                           \
    X(isOverlayEnabled, bool, true, Always, 1)                                         \
    X(isRetroEffectEnabled, bool, false, Always, 2)                                    \
    X(isScanLinesEnabled, bool, false, Always, 3)                                      \
    X(isRGBShiftEnabled, bool, false, Always, 4)                                       \
    X(isNoiseEnabled, bool, false, Always, 5)                                          \
    X(isFlickerEnabled, bool, false, Always, 6)                                        \
    X(isFocusEnabled, bool, false, NotStored, 0)                                       \
    X(isExplosionEnabled, bool, false, NotStored, 0)                                   \
    X(focusFollowsCursor, bool, true, IfPresent, 41)                                   \
    X(isReadingRulerEnabled, bool, false, Always, 8)                                   \
    X(readingRulerZoom, float, 1.5f, IfPositive, 9) /* magnification factor */         \
    X(readingRulerHeight, float, 0.06f, IfPositive, 10)                                \
    X(rulerFollowsCursor, bool, true, IfPresent, 42)                                   \
    X(isGazeTrackingEnabled, bool, false, NotStored, 0)                                \
    X(isSmartFocusEnabled, bool, false, Always, 11)                                    \
    X(smartFocusBlurStrength, float, 0.6f, IfPositive, 12)                             \
    X(smartFocusFadeWidth, float, 0.02f, IfPositive, 14)                               \
    X(smartFocusEffectMode, qint64, 0, Always, 13)                                     \
    X(isHiddenFromScreenSharing, bool, false, NotStored, 0)                            \
    X(isScreenDimmerEnabled, bool, false, Always, 15)                                  \
    X(screenBrightness, float, 0.0f, Always, 16) /* signed offset, 0 = unchanged */    \
    X(isColorBlindFilterEnabled, bool, false, Always, 17)                              \
    X(colorBlindFilterType, qint64, 0, Always, 18) /* 0: no type chosen yet */         \
    X(colorBlindFilterIntensity, float, 0.8f, IfPositive, 19)                          \
    X(isCursorSpotlightEnabled, bool, false, Always, 20)                               \
    X(cursorSpotlightRadius, float, 0.15f, IfPositive, 21)                             \
    X(cursorSpotlightDimAmount, float, 0.7f, IfPositive, 22)                           \
    X(cursorSpotlightBorderWidth, float, 0.005f, IfNotNegative, 24) /* 0: no border */ \
    X(cursorSpotlightEffectMode, qint64, 0, Always, 23)                                \
    X(isDyslexiaAidsEnabled, bool, false, Always, 25)                                  \
    X(dyslexiaTintColor, qint64, 1, ZeroMeansOne, 26) /* 0 names no colour */          \
    X(dyslexiaTintStrength, float, 0.3f, IfPositive, 27)                               \
    X(dyslexiaLineGuide, bool, false, Always, 28)                                      \
    X(isScheduledProfilesEnabled, bool, false, Always, 29)                             \
    X(activeProfileName, QString, QStringLiteral("Default"), IfPresent, 30)            \
    X(focusProfiles, std::vector<FocusProfile>, builtInFocusProfiles(), IfPresent, 31) \
    X(isBreathPacerEnabled, bool, false, Always, 32)                                   \
    X(breathPacerStyle, qint64, 1, IfAtLeastOne, 33)                                   \
    X(breathPacerIntensity, float, 0.7f, IfPositive, 34)                               \
    X(breathsPerMinute, float, 6.0f, IfPositive, 35)                                   \
    X(focusModeEffect, qint64, 0, Always, 36)                                          \
    X(focusModeGlitchAmount, float, 0.6f, IfPositive, 37)                              \
    X(focusModeDimAmount, float, 0.7f, IfPositive, 38)                                 \
    X(focusModeDesatAmount, float, 0.8f, IfPositive, 39)                               \
    X(focusModeHeight, float, 0.12f, IfPositive, 40)                                   \
    X(scanLineIntensity, float, 0.2f, NotStored, 0)                                    \
    X(rgbShiftAmount, float, 0.0015f, NotStored, 0)                                    \
    X(noiseAmount, float, 0.05f, NotStored, 0)                                         \
    X(flickerIntensity, float, 0.02f, NotStored, 0)                                    \
    X(overlayOpacity, float, 1.0f, ZeroMeansOne, 7) /* an invisible overlay is a mistake */

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
    int filePlace;  // 1-based; 0 when not stored
};

/// Every setting, in declaration order.
std::span<const SettingRow> settingsTable();

/// The stored settings, in the settings file's key order.
std::span<const SettingRow* const> storedSettingsInFileOrder();

}  // namespace glimmora
