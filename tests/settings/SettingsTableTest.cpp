#include "settings/SettingsTable.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "settings/OptionLists.h"
#include "support/LogCapture.h"

namespace glimmora {
namespace {

const SettingRow& row(const char* name) {
    const SettingRow* found = findSetting(name);
    EXPECT_NE(found, nullptr) << name;
    return found != nullptr ? *found : settingsTable().front();
}

TEST(SettingsTable, RangesKeepEveryDefaultMenuOptionAndBuiltInProfileValue) {
    const test::LogCapture log;
    MemoryUserDefaults nothing;
    const AppState defaults(nothing);
    for (const SettingRow& each : settingsTable()) {
        std::visit(
            [&](auto member) {
                const auto& value = (defaults.*member)();
                EXPECT_EQ(withinRange(each, value), value) << each.name;
            },
            each.member);
    }
    // Which settings each list sets; the menu offers nothing else.
    const std::pair<LevelList, std::vector<const char*>> levels[] = {
        {LevelList::FocusModeIntensity,
         {"focusModeGlitchAmount", "focusModeDimAmount", "focusModeDesatAmount"}},
        {LevelList::FocusZoneHeight, {"focusModeHeight"}},
        {LevelList::ReadingRulerZoom, {"readingRulerZoom"}},
        {LevelList::ReadingRulerHeight, {"readingRulerHeight"}},
        {LevelList::SmartFocusBlurStrength, {"smartFocusBlurStrength"}},
        {LevelList::SmartFocusEdgeFade, {"smartFocusFadeWidth"}},
        {LevelList::ScreenBrightness, {"screenBrightness"}},
        {LevelList::ColorFilterStrength, {"colorBlindFilterIntensity"}},
        {LevelList::CursorSpotlightRadius, {"cursorSpotlightRadius"}},
        {LevelList::CursorSpotlightDimming, {"cursorSpotlightDimAmount"}},
        {LevelList::CursorSpotlightBorder, {"cursorSpotlightBorderWidth"}},
        {LevelList::OverlayOpacity, {"overlayOpacity"}},
        {LevelList::DyslexiaTintStrength, {"dyslexiaTintStrength"}},
        {LevelList::BreathPacerIntensity, {"breathPacerIntensity"}},
        {LevelList::BreathingRate, {"breathsPerMinute"}},
    };
    for (const auto& [list, names] : levels) {
        for (const char* name : names) {
            for (const LevelOption& option : options(list)) {
                EXPECT_EQ(withinRange(row(name), option.value), option.value) << name;
            }
        }
    }
    const std::pair<EnumList, const char*> enums[] = {
        {EnumList::FocusModeEffect, "focusModeEffect"},
        {EnumList::SmartFocusEffect, "smartFocusEffectMode"},
        {EnumList::CursorSpotlightEffect, "cursorSpotlightEffectMode"},
        {EnumList::ColorBlindFilter, "colorBlindFilterType"},
        {EnumList::DyslexiaTintColor, "dyslexiaTintColor"},
        {EnumList::BreathPacerStyle, "breathPacerStyle"},
    };
    for (const auto& [list, name] : enums) {
        for (const EnumOption& option : options(list)) {
            EXPECT_EQ(withinRange(row(name), option.value), option.value) << name;
        }
    }
    EXPECT_EQ(log.text(), "") << "nothing the menu offers is out of range";
}

TEST(SettingsTable, ValuesOutsideTheRangeBecomeItsNearestEndWithOneLine) {
    constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
    // Setting, value, the value used, as the line writes them.
    const std::tuple<const char*, float, const char*> floats[] = {
        {"screenBrightness", -1.0f, "-0.8"},    {"screenBrightness", 1.0f, "0.8"},
        {"dyslexiaTintStrength", 50.0f, "0.6"}, {"readingRulerZoom", 0.5f, "1"},
        {"overlayOpacity", kNan, "0.5"},  // no number at all: nearest to 0
    };
    for (const auto& [name, value, used] : floats) {
        SCOPED_TRACE(name);
        const test::LogCapture log;
        EXPECT_EQ(withinRange(row(name), value), std::stof(used));
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_TRUE(log.lines()[0].starts_with(std::string("Settings: ") + name + " "));
        EXPECT_TRUE(log.lines()[0].ends_with(std::string(" is out of range; using ") + used));
    }
}

}  // namespace
}  // namespace glimmora
