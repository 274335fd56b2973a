#include "settings/OptionLists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace glimmora {
namespace {

// The expected tables are written out here on their own rather than read from the production
// tables, so that a typo in either shows up as a mismatch.

struct ExpectedEnum {
    EnumList list;
    std::vector<std::pair<std::string, qint64>> options;
};

const std::vector<ExpectedEnum>& expectedEnums() {
    static const std::vector<ExpectedEnum> tables = {
        {EnumList::FocusModeEffect,
         {{"Dim Only", 0},
          {"Glitch Only", 1},
          {"Dim + Glitch", 2},
          {"Vignette", 3},
          {"Desaturate", 4}}},
        {EnumList::SmartFocusEffect,
         {{"Dim Only", 0},
          {"Scan Lines", 1},
          {"RGB Shift", 2},
          {"Noise", 3},
          {"Full Retro", 4},
          {"Dim + Glitch", 5}}},
        {EnumList::CursorSpotlightEffect,
         {{"Dim Only", 0}, {"Scan Lines", 1}, {"RGB Shift", 2}, {"Noise", 3}, {"Full Retro", 4}}},
        {EnumList::ColorBlindFilter,
         {{"Protanopia (Red-Blind)", 1},
          {"Deuteranopia (Green-Blind)", 2},
          {"Tritanopia (Blue-Blind)", 3},
          {"Achromatopsia (Grayscale)", 4}}},
        {EnumList::DyslexiaTintColor,
         {{"Cream (Warm)", 1}, {"Blue (Calming)", 2}, {"Green (Natural)", 3}, {"Pink (Irlen)", 4}}},
        // Spelled as code points so that a lost variation selector (U+FE0F) is caught.
        {EnumList::BreathPacerStyle,
         {{"\U0001F499 Soft Glow", 1},
          {"\U0001F308 Color Wave", 2},
          {"\u26A1\uFE0F Glitch Pulse", 3},
          {"\U0001F532 Vignette Pulse", 4}}},
    };
    return tables;
}

struct ExpectedLevel {
    std::string label;
    float value;
    qint64 tag;  // worked out by hand from the list's tag rule
};

struct ExpectedLevels {
    LevelList list;
    const char* name;
    float tolerance;
    std::vector<ExpectedLevel> levels;
};

const std::vector<ExpectedLevels>& expectedLevels() {
    static const std::vector<ExpectedLevels> tables = {
        {LevelList::FocusModeIntensity,
         "focus mode intensity",
         0.05f,
         {{"Light", 0.4f, 40}, {"Medium", 0.6f, 60}, {"Strong", 0.8f, 80}, {"Maximum", 1.0f, 100}}},
        {LevelList::FocusZoneHeight,
         "focus zone height",
         0.02f,
         {{"Narrow", 0.06f, 60},
          {"Normal", 0.12f, 120},
          {"Wide", 0.18f, 180},
          {"Extra Wide", 0.25f, 250}}},
        {LevelList::ReadingRulerZoom,
         "reading ruler zoom",
         0.05f,
         {{"125%", 1.25f, 125},
          {"150%", 1.5f, 150},
          {"175%", 1.75f, 175},
          {"200%", 2.0f, 200},
          {"250%", 2.5f, 250}}},
        {LevelList::ReadingRulerHeight,
         "reading ruler height",
         0.01f,
         {{"Thin", 0.04f, 40},
          {"Normal", 0.06f, 60},
          {"Wide", 0.1f, 100},
          {"Extra Wide", 0.15f, 150}}},
        {LevelList::SmartFocusBlurStrength,
         "smart focus blur strength",
         0.05f,
         {{"Light", 0.4f, 40}, {"Medium", 0.6f, 60}, {"Strong", 0.8f, 80}, {"Maximum", 1.0f, 100}}},
        {LevelList::SmartFocusEdgeFade,
         "smart focus edge fade",
         0.003f,
         {{"Sharp", 0.005f, 5},
          {"Soft", 0.02f, 20},
          {"Very Soft", 0.05f, 50},
          {"Gradient", 0.1f, 100}}},
        {LevelList::ScreenBrightness,
         "screen brightness",
         0.05f,
         {{"Extra Dark (-80%)", -0.8f, 20},
          {"Very Dark (-60%)", -0.6f, 40},
          {"Dark (-40%)", -0.4f, 60},
          {"Dim (-20%)", -0.2f, 80},
          {"Normal", 0.0f, 100},
          {"Bright (+20%)", 0.2f, 120},
          {"Very Bright (+40%)", 0.4f, 140},
          {"Extra Bright (+60%)", 0.6f, 160},
          {"Maximum (+80%)", 0.8f, 180}}},
        {LevelList::ColorFilterStrength,
         "colour filter strength",
         0.05f,
         {{"Light", 0.4f, 40}, {"Medium", 0.6f, 60}, {"Strong", 0.8f, 80}, {"Full", 1.0f, 100}}},
        {LevelList::CursorSpotlightRadius,
         "cursor spotlight radius",
         0.02f,
         {{"Small", 0.08f, 80},
          {"Medium", 0.12f, 120},
          {"Large", 0.18f, 180},
          {"Extra Large", 0.25f, 250}}},
        {LevelList::CursorSpotlightDimming,
         "cursor spotlight dimming",
         0.05f,
         {{"Light", 0.4f, 40}, {"Medium", 0.6f, 60}, {"Strong", 0.8f, 80}, {"Maximum", 0.95f, 95}}},
        {LevelList::CursorSpotlightBorder,
         "cursor spotlight border",
         0.0008f,
         {{"None", 0.0f, 0}, {"Thin", 0.003f, 30}, {"Medium", 0.006f, 60}, {"Thick", 0.012f, 120}}},
        {LevelList::OverlayOpacity,
         "overlay opacity",
         0.05f,
         {{"50%", 0.5f, 50}, {"70%", 0.7f, 70}, {"90%", 0.9f, 90}, {"100%", 1.0f, 100}}},
        {LevelList::DyslexiaTintStrength,
         "dyslexia tint strength",
         0.04f,
         {{"Subtle", 0.15f, 15}, {"Light", 0.25f, 25}, {"Medium", 0.4f, 40}, {"Strong", 0.6f, 60}}},
        {LevelList::BreathPacerIntensity,
         "breath pacer intensity",
         0.05f,
         {{"Subtle", 0.4f, 40}, {"Light", 0.6f, 60}, {"Medium", 0.8f, 80}, {"Strong", 1.0f, 100}}},
        {LevelList::BreathingRate,
         "breathing rate",
         0.5f,
         {{"4 (Deep Calm)", 4.0f, 4},
          {"5 (Relaxed)", 5.0f, 5},
          {"6 (Normal)", 6.0f, 6},
          {"7 (Light)", 7.0f, 7},
          {"8 (Alert)", 8.0f, 8}}},
    };
    return tables;
}

std::uint32_t bits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

int tickedCount(LevelList list, float setting) {
    const auto levels = options(list);
    return int(std::count_if(levels.begin(), levels.end(), [&](const LevelOption& option) {
        return isTicked(list, setting, option);
    }));
}

TEST(OptionListsTest, EveryListIsCoveredOnce) {
    EXPECT_EQ(allEnumLists.size(), expectedEnums().size());
    EXPECT_EQ(allLevelLists.size(), expectedLevels().size());
    for (const auto& expected : expectedEnums()) {
        EXPECT_EQ(std::count(allEnumLists.begin(), allEnumLists.end(), expected.list), 1);
    }
    for (const auto& expected : expectedLevels()) {
        EXPECT_EQ(std::count(allLevelLists.begin(), allLevelLists.end(), expected.list), 1)
            << expected.name;
    }
}

TEST(OptionListsTest, EnumerationsHaveExactLabelsAndValuesInMenuOrder) {
    for (const auto& expected : expectedEnums()) {
        SCOPED_TRACE(int(expected.list));
        const auto actual = options(expected.list);
        ASSERT_EQ(actual.size(), expected.options.size());
        for (size_t i = 0; i < actual.size(); ++i) {
            EXPECT_EQ(actual[i].label, expected.options[i].first);
            EXPECT_EQ(actual[i].value, expected.options[i].second);
        }
    }
}

TEST(OptionListsTest, EnumerationItemsTickOnlyOnTheirExactValue) {
    for (EnumList list : allEnumLists) {
        for (const EnumOption& setting : options(list)) {
            for (const EnumOption& option : options(list)) {
                EXPECT_EQ(isTicked(setting.value, option), setting.value == option.value);
            }
        }
        EXPECT_FALSE(isTicked(-1, options(list).front()));
    }
}

TEST(OptionListsTest, LevelListsHaveExactLabelsAndValuesInMenuOrder) {
    for (const auto& expected : expectedLevels()) {
        SCOPED_TRACE(expected.name);
        const auto actual = options(expected.list);
        ASSERT_EQ(actual.size(), expected.levels.size());
        for (size_t i = 0; i < actual.size(); ++i) {
            EXPECT_EQ(actual[i].label, expected.levels[i].label);
            EXPECT_EQ(bits(actual[i].value), bits(expected.levels[i].value)) << actual[i].label;
        }
    }
}

TEST(OptionListsTest, LevelsTravelAsTheirListsTags) {
    for (const auto& expected : expectedLevels()) {
        SCOPED_TRACE(expected.name);
        for (const ExpectedLevel& level : expected.levels) {
            EXPECT_EQ(tagForValue(expected.list, level.value), level.tag) << level.label;
        }
    }
}

// A chosen item must store exactly the value in the table, or a float compare elsewhere (the
// renderer's "unchanged" brightness, a saved value read back) sees a neighbour.
TEST(OptionListsTest, EveryLevelRoundTripsThroughItsTagBitForBit) {
    for (const auto& expected : expectedLevels()) {
        SCOPED_TRACE(expected.name);
        for (const ExpectedLevel& level : expected.levels) {
            EXPECT_EQ(bits(valueForTag(expected.list, level.tag)), bits(level.value))
                << level.label << " from tag " << level.tag;
        }
        for (const LevelOption& option : options(expected.list)) {
            const float back = valueForTag(expected.list, tagForValue(expected.list, option.value));
            EXPECT_EQ(bits(back), bits(option.value)) << option.label;
        }
    }
}

TEST(OptionListsTest, DarkBrightnessLevelsComeBackExactly) {
    EXPECT_EQ(bits(valueForTag(LevelList::ScreenBrightness, 20)), bits(-0.8f));
    EXPECT_EQ(bits(valueForTag(LevelList::ScreenBrightness, 40)), bits(-0.6f));
    EXPECT_EQ(bits(valueForTag(LevelList::ScreenBrightness, 100)), bits(0.0f));
}

TEST(OptionListsTest, NoBorderStoresPositiveZero) {
    const float none = valueForTag(LevelList::CursorSpotlightBorder, 0);
    EXPECT_EQ(bits(none), bits(0.0f));
}

TEST(OptionListsTest, ZoomLabelsArePercentOfTheValue) {
    for (const LevelOption& option : options(LevelList::ReadingRulerZoom)) {
        char formatted[16];
        std::snprintf(formatted, sizeof formatted, "%.0f", double(option.value * 100.0f));
        EXPECT_EQ(option.label, std::string(formatted) + "%");
    }
}

TEST(OptionListsTest, OpacityLabelsAreTheTagInPercent) {
    for (const LevelOption& option : options(LevelList::OverlayOpacity)) {
        const qint64 tag = tagForValue(LevelList::OverlayOpacity, option.value);
        EXPECT_EQ(option.label, std::to_string(tag) + "%");
    }
}

TEST(OptionListsTest, TickTolerancesMatchTheMenu) {
    for (const auto& expected : expectedLevels()) {
        SCOPED_TRACE(expected.name);
        const float tolerance = tickTolerance(expected.list);
        EXPECT_EQ(bits(tolerance), bits(expected.tolerance));
        for (const LevelOption& option : options(expected.list)) {
            EXPECT_TRUE(isTicked(expected.list, option.value + 0.9f * tolerance, option));
            EXPECT_TRUE(isTicked(expected.list, option.value - 0.9f * tolerance, option));
            EXPECT_FALSE(isTicked(expected.list, option.value + 1.1f * tolerance, option));
            EXPECT_FALSE(isTicked(expected.list, option.value - 1.1f * tolerance, option));
        }
    }
}

TEST(OptionListsTest, EachLevelTicksItselfAlone) {
    for (LevelList list : allLevelLists) {
        for (const LevelOption& setting : options(list)) {
            for (const LevelOption& option : options(list)) {
                EXPECT_EQ(isTicked(list, setting.value, option), setting.label == option.label)
                    << setting.label << " vs " << option.label;
            }
        }
    }
}

// Counts, over a sweep of each list's range, the settings that tick more than one item, skipping
// those for which `mayOverlap` says an overlap is expected.
template <typename MayOverlap>
void expectAtMostOneTick(LevelList list, MayOverlap mayOverlap) {
    const auto levels = options(list);
    const float tolerance = tickTolerance(list);
    std::vector<float> settings;
    const float low = levels.front().value - 2 * tolerance;
    const float high = levels.back().value + 2 * tolerance;
    const int steps = 20000;
    for (int i = 0; i <= steps; ++i) {
        settings.push_back(low + (high - low) * float(i) / float(steps));
    }
    // Halfway between neighbours is where two items would first overlap; take every float near
    // each midpoint, where the rounding of the differences decides.
    for (size_t i = 0; i + 1 < levels.size(); ++i) {
        float setting = (levels[i].value + levels[i + 1].value) / 2;
        for (int k = 0; k < 64; ++k) {
            setting = std::nextafter(setting, -INFINITY);
        }
        for (int k = 0; k < 128; ++k) {
            settings.push_back(setting);
            setting = std::nextafter(setting, INFINITY);
        }
    }
    int overlaps = 0;
    for (float setting : settings) {
        if (tickedCount(list, setting) > 1 && !mayOverlap(setting)) {
            ++overlaps;
            ADD_FAILURE() << "two items ticked at " << setting;
        }
    }
    EXPECT_EQ(overlaps, 0);
}

TEST(OptionListsTest, AtMostOneLevelTicksForAnyValue) {
    for (LevelList list : allLevelLists) {
        SCOPED_TRACE(int(list));
        expectAtMostOneTick(list, [](float) { return false; });
    }
}

TEST(OptionListsTest, DefaultsOutsideTheListsTickNothing) {
    EXPECT_EQ(tickedCount(LevelList::DyslexiaTintStrength, 0.3f), 0);
    EXPECT_EQ(tickedCount(LevelList::BreathPacerIntensity, 0.7f), 0);
    EXPECT_EQ(tickedCount(LevelList::CursorSpotlightDimming, 0.7f), 0);
    EXPECT_EQ(tickedCount(LevelList::CursorSpotlightRadius, 0.15f), 0);
    EXPECT_EQ(tickedCount(LevelList::CursorSpotlightBorder, 0.005f), 0);
    EXPECT_EQ(tickedCount(LevelList::DyslexiaTintStrength, 0.2f), 0);
}

TEST(OptionListsTest, EnablingColourFilterWithoutTypeChoosesDeuteranopia) {
    EXPECT_EQ(colorBlindFilterTypeWhenEnabled(0), 2);
    const auto deuteranopia = options(EnumList::ColorBlindFilter)[1];
    EXPECT_EQ(deuteranopia.label, "Deuteranopia (Green-Blind)");
    EXPECT_EQ(colorBlindFilterTypeWhenEnabled(0), deuteranopia.value);
}

TEST(OptionListsTest, EnablingColourFilterKeepsAChosenType) {
    for (qint64 type : {1, 2, 3, 4}) {
        EXPECT_EQ(colorBlindFilterTypeWhenEnabled(type), type);
    }
}

}  // namespace
}  // namespace glimmora
