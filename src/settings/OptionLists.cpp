#include "settings/OptionLists.h"

#include <cmath>

namespace glimmora {
namespace {

constexpr std::array<EnumOption, 5> kFocusModeEffects{{
    {"Dim Only", 0},
    {"Glitch Only", 1},
    {"Dim + Glitch", 2},
    {"Vignette", 3},
    {"Desaturate", 4},
}};

constexpr std::array<EnumOption, 6> kSmartFocusEffects{{
    {"Dim Only", 0},
    {"Scan Lines", 1},
    {"RGB Shift", 2},
    {"Noise", 3},
    {"Full Retro", 4},
    {"Dim + Glitch", 5},
}};

constexpr std::array<EnumOption, 5> kCursorSpotlightEffects{{
    {"Dim Only", 0},
    {"Scan Lines", 1},
    {"RGB Shift", 2},
    {"Noise", 3},
    {"Full Retro", 4},
}};

constexpr qint64 kDeuteranopia = 2;

constexpr std::array<EnumOption, 4> kColorBlindFilters{{
    {"Protanopia (Red-Blind)", 1},
    {"Deuteranopia (Green-Blind)", kDeuteranopia},
    {"Tritanopia (Blue-Blind)", 3},
    {"Achromatopsia (Grayscale)", 4},
}};

constexpr std::array<EnumOption, 4> kDyslexiaTintColors{{
    {"Cream (Warm)", 1},
    {"Blue (Calming)", 2},
    {"Green (Natural)", 3},
    {"Pink (Irlen)", 4},
}};

constexpr std::array<EnumOption, 4> kBreathPacerStyles{{
    {"💙 Soft Glow", 1},
    {"🌈 Color Wave", 2},
    {"⚡️ Glitch Pulse", 3},
    {"🔲 Vignette Pulse", 4},
}};

// Shared by the focus mode intensity and the smart focus blur strength.
constexpr std::array<LevelOption, 4> kLightToMaximum{{
    {"Light", 0.4f},
    {"Medium", 0.6f},
    {"Strong", 0.8f},
    {"Maximum", 1.0f},
}};

constexpr std::array<LevelOption, 4> kFocusZoneHeights{{
    {"Narrow", 0.06f},
    {"Normal", 0.12f},
    {"Wide", 0.18f},
    {"Extra Wide", 0.25f},
}};

// Labels follow the value: value × 100 with no decimals, then "%".
constexpr std::array<LevelOption, 5> kReadingRulerZooms{{
    {"125%", 1.25f},
    {"150%", 1.5f},
    {"175%", 1.75f},
    {"200%", 2.0f},
    {"250%", 2.5f},
}};

constexpr std::array<LevelOption, 4> kReadingRulerHeights{{
    {"Thin", 0.04f},
    {"Normal", 0.06f},
    {"Wide", 0.1f},
    {"Extra Wide", 0.15f},
}};

constexpr std::array<LevelOption, 4> kSmartFocusEdgeFades{{
    {"Sharp", 0.005f},
    {"Soft", 0.02f},
    {"Very Soft", 0.05f},
    {"Gradient", 0.1f},
}};

constexpr std::array<LevelOption, 9> kScreenBrightnesses{{
    {"Extra Dark (-80%)", -0.8f},
    {"Very Dark (-60%)", -0.6f},
    {"Dark (-40%)", -0.4f},
    {"Dim (-20%)", -0.2f},
    {"Normal", 0.0f},
    {"Bright (+20%)", 0.2f},
    {"Very Bright (+40%)", 0.4f},
    {"Extra Bright (+60%)", 0.6f},
    {"Maximum (+80%)", 0.8f},
}};

constexpr std::array<LevelOption, 4> kColorFilterStrengths{{
    {"Light", 0.4f},
    {"Medium", 0.6f},
    {"Strong", 0.8f},
    {"Full", 1.0f},
}};

constexpr std::array<LevelOption, 4> kCursorSpotlightRadii{{
    {"Small", 0.08f},
    {"Medium", 0.12f},
    {"Large", 0.18f},
    {"Extra Large", 0.25f},
}};

constexpr std::array<LevelOption, 4> kCursorSpotlightDimmings{{
    {"Light", 0.4f},
    {"Medium", 0.6f},
    {"Strong", 0.8f},
    {"Maximum", 0.95f},
}};

constexpr std::array<LevelOption, 4> kCursorSpotlightBorders{{
    {"None", 0.0f},
    {"Thin", 0.003f},
    {"Medium", 0.006f},
    {"Thick", 0.012f},
}};

// Labels are the menu tag (value × 100) as a whole number, then "%".
constexpr std::array<LevelOption, 4> kOverlayOpacities{{
    {"50%", 0.5f},
    {"70%", 0.7f},
    {"90%", 0.9f},
    {"100%", 1.0f},
}};

constexpr std::array<LevelOption, 4> kDyslexiaTintStrengths{{
    {"Subtle", 0.15f},
    {"Light", 0.25f},
    {"Medium", 0.4f},
    {"Strong", 0.6f},
}};

constexpr std::array<LevelOption, 4> kBreathPacerIntensities{{
    {"Subtle", 0.4f},
    {"Light", 0.6f},
    {"Medium", 0.8f},
    {"Strong", 1.0f},
}};

constexpr std::array<LevelOption, 5> kBreathingRates{{
    {"4 (Deep Calm)", 4.0f},
    {"5 (Relaxed)", 5.0f},
    {"6 (Normal)", 6.0f},
    {"7 (Light)", 7.0f},
    {"8 (Alert)", 8.0f},
}};

/// How one level list travels through menu tags and how close a setting must be to tick an item.
struct LevelRules {
    std::span<const LevelOption> options;
    int tagScale;
    qint64 tagBias;  // the tag of value 0; lets the signed brightness travel as a positive tag
    float tickTolerance;
};

LevelRules rules(LevelList list) {
    switch (list) {
        case LevelList::FocusModeIntensity:
            return {kLightToMaximum, 100, 0, 0.05f};
        case LevelList::FocusZoneHeight:
            return {kFocusZoneHeights, 1000, 0, 0.02f};
        case LevelList::ReadingRulerZoom:
            return {kReadingRulerZooms, 100, 0, 0.05f};
        case LevelList::ReadingRulerHeight:
            return {kReadingRulerHeights, 1000, 0, 0.01f};
        case LevelList::SmartFocusBlurStrength:
            return {kLightToMaximum, 100, 0, 0.05f};
        case LevelList::SmartFocusEdgeFade:
            return {kSmartFocusEdgeFades, 1000, 0, 0.003f};
        case LevelList::ScreenBrightness:
            return {kScreenBrightnesses, 100, 100, 0.05f};
        case LevelList::ColorFilterStrength:
            return {kColorFilterStrengths, 100, 0, 0.05f};
        case LevelList::CursorSpotlightRadius:
            return {kCursorSpotlightRadii, 1000, 0, 0.02f};
        case LevelList::CursorSpotlightDimming:
            return {kCursorSpotlightDimmings, 100, 0, 0.05f};
        case LevelList::CursorSpotlightBorder:
            // Narrower than half the 0.003 steps, so "None", "Thin" and "Medium" never tick
            // together and the default 0.005, which is in no list, ticks nothing.
            return {kCursorSpotlightBorders, 10000, 0, 0.0008f};
        case LevelList::OverlayOpacity:
            return {kOverlayOpacities, 100, 0, 0.05f};
        case LevelList::DyslexiaTintStrength:
            // Under half the 0.1 step from "Subtle" to "Light": a stored 0.2 ticks neither.
            return {kDyslexiaTintStrengths, 100, 0, 0.04f};
        case LevelList::BreathPacerIntensity:
            return {kBreathPacerIntensities, 100, 0, 0.05f};
        case LevelList::BreathingRate:
            return {kBreathingRates, 1, 0, 0.5f};
    }
    return {};  // unreachable for a valid enumerator
}

}  // namespace

std::span<const EnumOption> options(EnumList list) {
    switch (list) {
        case EnumList::FocusModeEffect:
            return kFocusModeEffects;
        case EnumList::SmartFocusEffect:
            return kSmartFocusEffects;
        case EnumList::CursorSpotlightEffect:
            return kCursorSpotlightEffects;
        case EnumList::ColorBlindFilter:
            return kColorBlindFilters;
        case EnumList::DyslexiaTintColor:
            return kDyslexiaTintColors;
        case EnumList::BreathPacerStyle:
            return kBreathPacerStyles;
    }
    return {};  // unreachable for a valid enumerator
}

std::span<const LevelOption> options(LevelList list) {
    return rules(list).options;
}

float tickTolerance(LevelList list) {
    return rules(list).tickTolerance;
}

bool isTicked(LevelList list, float setting, const LevelOption& option) {
    return std::fabs(setting - option.value) < rules(list).tickTolerance;
}

qint64 tagForValue(LevelList list, float value) {
    const LevelRules r = rules(list);
    // Worked in double so that the product is not rounded once more before it is rounded to a tag.
    return std::llround(double(value) * r.tagScale + double(r.tagBias));
}

float valueForTag(LevelList list, qint64 tag) {
    const LevelRules r = rules(list);
    // The bias comes off the integer before the one single-precision division: subtracting 1 from
    // tag / 100 instead would leave -0.2, 0.2, 0.4 and others one bit off the values above.
    return float(tag - r.tagBias) / float(r.tagScale);
}

qint64 colorBlindFilterTypeWhenEnabled(qint64 currentType) {
    return currentType == 0 ? kDeuteranopia : currentType;
}

}  // namespace glimmora
