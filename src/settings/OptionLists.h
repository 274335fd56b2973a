#pragma once

#include <QtGlobal>
#include <array>
#include <span>
#include <string_view>

namespace glimmora {

/// One choice of an enumerated (Int) setting: the menu label, shown exactly as written (UTF-8,
/// emoji included), and the raw value the setting stores. The menu item's tag is the raw value.
struct EnumOption {
    std::string_view label;
    qint64 value = 0;
    bool operator==(const EnumOption&) const = default;
};

/// One named level of a Float setting: the menu label and the exact value choosing it stores.
struct LevelOption {
    std::string_view label;
    float value = 0;
    bool operator==(const LevelOption&) const = default;
};

/// The enumerated settings, each with its option list in menu order.
enum class EnumList {
    FocusModeEffect,        ///< `focusModeEffect`, 0 to 4
    SmartFocusEffect,       ///< `smartFocusEffectMode`, 0 to 5 (the value is the list position)
    CursorSpotlightEffect,  ///< `cursorSpotlightEffectMode`, 0 to 4
    ColorBlindFilter,       ///< `colorBlindFilterType`, 1 to 4 (0: no type chosen yet)
    DyslexiaTintColor,      ///< `dyslexiaTintColor`, 1 to 4
    BreathPacerStyle,       ///< `breathPacerStyle`, 1 to 4
};

/// The stepped Float settings, each with its level list in menu order.
enum class LevelList {
    FocusModeIntensity,      ///< one choice sets `focusModeGlitchAmount`, `focusModeDimAmount`
                             ///< and `focusModeDesatAmount` to the same value (0.4 to 1.0);
                             ///< the menu ticks it by `focusModeGlitchAmount`
    FocusZoneHeight,         ///< `focusModeHeight`, fraction of the screen height (0.06 to 0.25)
    ReadingRulerZoom,        ///< `readingRulerZoom`, magnification factor (1.25 to 2.5)
    ReadingRulerHeight,      ///< `readingRulerHeight`, fraction of the screen height (0.04 to 0.15)
    SmartFocusBlurStrength,  ///< `smartFocusBlurStrength`, unitless amount (0.4 to 1.0)
    SmartFocusEdgeFade,      ///< `smartFocusFadeWidth`, fraction of the screen (0.005 to 0.1)
    ScreenBrightness,        ///< `screenBrightness`, signed offset, 0 unchanged (-0.8 to +0.8)
    ColorFilterStrength,     ///< `colorBlindFilterIntensity`, unitless amount (0.4 to 1.0)
    CursorSpotlightRadius,   ///< `cursorSpotlightRadius`, fraction of the screen (0.08 to 0.25)
    CursorSpotlightDimming,  ///< `cursorSpotlightDimAmount`, unitless amount (0.4 to 0.95)
    CursorSpotlightBorder,   ///< `cursorSpotlightBorderWidth`, fraction of the screen (0 to 0.012)
    OverlayOpacity,          ///< `overlayOpacity`, 0.5 to 1.0
    DyslexiaTintStrength,    ///< `dyslexiaTintStrength`, unitless amount (0.15 to 0.6)
    BreathPacerIntensity,    ///< `breathPacerIntensity`, unitless amount (0.4 to 1.0)
    BreathingRate,           ///< `breathsPerMinute`, breaths per minute (4 to 8)
};

/// Every enumerated list, in the order the enum declares them, so callers can iterate.
inline constexpr std::array allEnumLists = {
    EnumList::FocusModeEffect,  EnumList::SmartFocusEffect,  EnumList::CursorSpotlightEffect,
    EnumList::ColorBlindFilter, EnumList::DyslexiaTintColor, EnumList::BreathPacerStyle,
};

/// Every level list, in the order the enum declares them, so callers can iterate.
inline constexpr std::array allLevelLists = {
    LevelList::FocusModeIntensity,     LevelList::FocusZoneHeight,
    LevelList::ReadingRulerZoom,       LevelList::ReadingRulerHeight,
    LevelList::SmartFocusBlurStrength, LevelList::SmartFocusEdgeFade,
    LevelList::ScreenBrightness,       LevelList::ColorFilterStrength,
    LevelList::CursorSpotlightRadius,  LevelList::CursorSpotlightDimming,
    LevelList::CursorSpotlightBorder,  LevelList::OverlayOpacity,
    LevelList::DyslexiaTintStrength,   LevelList::BreathPacerIntensity,
    LevelList::BreathingRate,
};

/// The options of an enumerated setting in menu order. The tables are constant for the life of
/// the process.
std::span<const EnumOption> options(EnumList list);

/// The levels of a stepped setting in menu order. The tables are constant for the life of the
/// process.
std::span<const LevelOption> options(LevelList list);

/// Whether an enumeration item is ticked: the setting holds exactly the option's raw value.
inline bool isTicked(qint64 setting, const EnumOption& option) {
    return setting == option.value;
}

/// Whether a level item is ticked: the setting lies strictly within the list's tick tolerance
/// of the option's value, compared in single precision. Each tolerance is narrower than the gaps
/// around its options, so a chosen level ticks itself alone. Two reach halfway to a neighbour:
/// the dyslexia tint strength (0.05 between 0.15 and 0.25), so 0.2 ticks both, and the spotlight
/// border (0.002 with 0.003 steps), so its default 0.005 ticks "Thin" and "Medium".
bool isTicked(LevelList list, float setting, const LevelOption& option);

/// The distance within which a level item is ticked (same unit as the setting).
float tickTolerance(LevelList list);

/// The integer tag that carries a level through a menu item: value × scale rounded to the nearest
/// integer, the scale being 1, 100, 1000 or 10000 by list. Screen brightness, whose offsets are
/// negative, is carried as (offset + 1) × 100 instead.
qint64 tagForValue(LevelList list, float value);

/// The value a chosen menu item stores: tag ÷ scale (for screen brightness tag ÷ 100 − 1), worked
/// as one single-precision division of an integer, (tag − 100) ÷ 100 for brightness, so that
/// every option's value comes back bit for bit.
float valueForTag(LevelList list, qint64 tag);

/// The filter type the colour-blindness filter uses once it is switched on: a type still unset
/// (0) becomes Deuteranopia (2), so that switching the filter on always shows an effect; any
/// other type is kept.
qint64 colorBlindFilterTypeWhenEnabled(qint64 currentType);

}  // namespace glimmora
