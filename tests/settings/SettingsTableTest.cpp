#include "settings/SettingsTable.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

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

}  // namespace
}  // namespace glimmora
