#include "settings/AppState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "settings/MemoryUserDefaults.h"

namespace glimmora {
namespace {

using Value = MemoryUserDefaults::Value;

void expectAllDefaults(const AppState& s) {
    EXPECT_TRUE(s.isOverlayEnabled());
    EXPECT_FALSE(s.isRetroEffectEnabled());
    EXPECT_FALSE(s.isScanLinesEnabled());
    EXPECT_FALSE(s.isRGBShiftEnabled());
    EXPECT_FALSE(s.isNoiseEnabled());
    EXPECT_FALSE(s.isFlickerEnabled());
    EXPECT_FALSE(s.isFocusEnabled());
    EXPECT_FALSE(s.isExplosionEnabled());
    EXPECT_TRUE(s.focusFollowsCursor());
    EXPECT_FALSE(s.isReadingRulerEnabled());
    EXPECT_EQ(s.readingRulerZoom(), 1.5f);
    EXPECT_EQ(s.readingRulerHeight(), 0.06f);
    EXPECT_TRUE(s.rulerFollowsCursor());
    EXPECT_FALSE(s.isGazeTrackingEnabled());
    EXPECT_FALSE(s.isSmartFocusEnabled());
    EXPECT_EQ(s.smartFocusBlurStrength(), 0.6f);
    EXPECT_EQ(s.smartFocusFadeWidth(), 0.02f);
    EXPECT_EQ(s.smartFocusEffectMode(), 0);
    EXPECT_FALSE(s.isHiddenFromScreenSharing());
    EXPECT_FALSE(s.isScreenDimmerEnabled());
    EXPECT_EQ(s.screenBrightness(), 0.0f);
    EXPECT_FALSE(s.isColorBlindFilterEnabled());
    EXPECT_EQ(s.colorBlindFilterType(), 0);
    EXPECT_EQ(s.colorBlindFilterIntensity(), 0.8f);
    EXPECT_FALSE(s.isCursorSpotlightEnabled());
    EXPECT_EQ(s.cursorSpotlightRadius(), 0.15f);
    EXPECT_EQ(s.cursorSpotlightDimAmount(), 0.7f);
    EXPECT_EQ(s.cursorSpotlightBorderWidth(), 0.005f);
    EXPECT_EQ(s.cursorSpotlightEffectMode(), 0);
    EXPECT_FALSE(s.isDyslexiaAidsEnabled());
    EXPECT_EQ(s.dyslexiaTintColor(), 1);
    EXPECT_EQ(s.dyslexiaTintStrength(), 0.3f);
    EXPECT_FALSE(s.dyslexiaLineGuide());
    EXPECT_FALSE(s.isScheduledProfilesEnabled());
    EXPECT_EQ(s.activeProfileName(), QStringLiteral("Default"));
    ASSERT_EQ(s.focusProfiles().size(), 3u);
    EXPECT_EQ(s.focusProfiles()[0].name, QStringLiteral("Work Hours"));
    EXPECT_EQ(s.focusProfiles()[1].name, QStringLiteral("Night Mode"));
    EXPECT_EQ(s.focusProfiles()[2].name, QStringLiteral("Presentation"));
    EXPECT_FALSE(s.isBreathPacerEnabled());
    EXPECT_EQ(s.breathPacerStyle(), 1);
    EXPECT_EQ(s.breathPacerIntensity(), 0.7f);
    EXPECT_EQ(s.breathsPerMinute(), 6.0f);
    EXPECT_EQ(s.focusModeEffect(), 0);
    EXPECT_EQ(s.focusModeGlitchAmount(), 0.6f);
    EXPECT_EQ(s.focusModeDimAmount(), 0.7f);
    EXPECT_EQ(s.focusModeDesatAmount(), 0.8f);
    EXPECT_EQ(s.focusModeHeight(), 0.12f);
    EXPECT_EQ(s.scanLineIntensity(), 0.2f);
    EXPECT_EQ(s.rgbShiftAmount(), 0.0015f);
    EXPECT_EQ(s.noiseAmount(), 0.05f);
    EXPECT_EQ(s.flickerIntensity(), 0.02f);
    EXPECT_EQ(s.overlayOpacity(), 1.0f);
}

// The 42 keys written by a save, with the type each is written as.
const std::vector<std::pair<const char*, int>>& storedKeys() {
    enum { B = 0, F = 1, I = 2, S = 3, D = 4 };  // variant indices of MemoryUserDefaults::Value
    static const std::vector<std::pair<const char*, int>> keys = {
        {"isOverlayEnabled", B},
        {"isRetroEffectEnabled", B},
        {"isScanLinesEnabled", B},
        {"isRGBShiftEnabled", B},
        {"isNoiseEnabled", B},
        {"isFlickerEnabled", B},
        {"overlayOpacity", F},
        {"isReadingRulerEnabled", B},
        {"readingRulerZoom", F},
        {"readingRulerHeight", F},
        {"isSmartFocusEnabled", B},
        {"smartFocusBlurStrength", F},
        {"smartFocusEffectMode", I},
        {"smartFocusFadeWidth", F},
        {"isScreenDimmerEnabled", B},
        {"screenBrightness", F},
        {"isColorBlindFilterEnabled", B},
        {"colorBlindFilterType", I},
        {"colorBlindFilterIntensity", F},
        {"isCursorSpotlightEnabled", B},
        {"cursorSpotlightRadius", F},
        {"cursorSpotlightDimAmount", F},
        {"cursorSpotlightEffectMode", I},
        {"cursorSpotlightBorderWidth", F},
        {"isDyslexiaAidsEnabled", B},
        {"dyslexiaTintColor", I},
        {"dyslexiaTintStrength", F},
        {"dyslexiaLineGuide", B},
        {"isScheduledProfilesEnabled", B},
        {"activeProfileName", S},
        {"focusProfiles", D},
        {"isBreathPacerEnabled", B},
        {"breathPacerStyle", I},
        {"breathPacerIntensity", F},
        {"breathsPerMinute", F},
        {"focusModeEffect", I},
        {"focusModeGlitchAmount", F},
        {"focusModeDimAmount", F},
        {"focusModeDesatAmount", F},
        {"focusModeHeight", F},
        {"focusFollowsCursor", B},
        {"rulerFollowsCursor", B},
    };
    return keys;
}

// A store that looks like an earlier save: the marker key plus whatever the test adds.
MemoryUserDefaults savedBefore() {
    MemoryUserDefaults d;
    d.setBool("isOverlayEnabled", true);
    return d;
}

TEST(AppStateLoad, FirstLaunchKeepsEveryDefault) {
    MemoryUserDefaults d;
    // Values without the marker key are ignored: only a saved "isOverlayEnabled" means a save.
    d.setFloat("screenBrightness", -0.4f);
    d.setBool("isScanLinesEnabled", true);
    AppState state(d);
    expectAllDefaults(state);
}

TEST(AppStateLoad, MarkerAloneMakesAlwaysRulesReadMissingKeysAsZero) {
    MemoryUserDefaults d;
    d.setBool("isOverlayEnabled", false);
    AppState state(d);
    EXPECT_FALSE(state.isOverlayEnabled());
    EXPECT_EQ(state.screenBrightness(), 0.0f);
    EXPECT_EQ(state.focusModeEffect(), 0);
    // Rules that need a positive value, or the key itself, keep their defaults.
    EXPECT_EQ(state.readingRulerZoom(), 1.5f);
    EXPECT_EQ(state.breathPacerStyle(), 1);
    EXPECT_EQ(state.overlayOpacity(), 1.0f);
    EXPECT_EQ(state.dyslexiaTintColor(), 1);
    EXPECT_EQ(state.cursorSpotlightBorderWidth(), 0.0f);  // ">= 0" accepts the missing 0
    EXPECT_TRUE(state.focusFollowsCursor());
    EXPECT_TRUE(state.rulerFollowsCursor());
    EXPECT_EQ(state.activeProfileName(), QStringLiteral("Default"));
    EXPECT_EQ(state.focusProfiles().size(), 3u);
}

TEST(AppStateLoad, BrightnessLoadsAnyValueIncludingZeroAndNegatives) {
    for (float stored : {-0.8f, 0.0f, 0.6f}) {
        MemoryUserDefaults d = savedBefore();
        d.setFloat("screenBrightness", stored);
        AppState state(d);
        EXPECT_EQ(state.screenBrightness(), stored);
    }
}

TEST(AppStateLoad, PositiveOnlyRulesKeepDefaultsForZeroAndNegatives) {
    MemoryUserDefaults d = savedBefore();
    d.setFloat("readingRulerZoom", 0.0f);
    d.setFloat("readingRulerHeight", -0.1f);
    d.setFloat("focusModeHeight", 0.25f);
    d.setFloat("breathsPerMinute", 0.0f);
    AppState state(d);
    EXPECT_EQ(state.readingRulerZoom(), 1.5f);
    EXPECT_EQ(state.readingRulerHeight(), 0.06f);
    EXPECT_EQ(state.focusModeHeight(), 0.25f);
    EXPECT_EQ(state.breathsPerMinute(), 6.0f);
}

TEST(AppStateLoad, ZeroSpotlightBorderIsAChoiceButNegativeIsNot) {
    MemoryUserDefaults zero = savedBefore();
    zero.setFloat("cursorSpotlightBorderWidth", 0.0f);
    EXPECT_EQ(AppState(zero).cursorSpotlightBorderWidth(), 0.0f);

    MemoryUserDefaults negative = savedBefore();
    negative.setFloat("cursorSpotlightBorderWidth", -0.01f);
    EXPECT_EQ(AppState(negative).cursorSpotlightBorderWidth(), 0.005f);
}

TEST(AppStateLoad, ZeroOpacityTintAndBreathStyleAreReplaced) {
    MemoryUserDefaults d = savedBefore();
    d.setFloat("overlayOpacity", 0.0f);
    d.setInteger("dyslexiaTintColor", 0);
    d.setInteger("breathPacerStyle", 0);
    AppState state(d);
    EXPECT_EQ(state.overlayOpacity(), 1.0f);
    EXPECT_EQ(state.dyslexiaTintColor(), 1);
    EXPECT_EQ(state.breathPacerStyle(), 1);

    MemoryUserDefaults other = savedBefore();
    other.setFloat("overlayOpacity", 0.5f);
    other.setInteger("dyslexiaTintColor", 4);
    other.setInteger("breathPacerStyle", 3);
    AppState loaded(other);
    EXPECT_EQ(loaded.overlayOpacity(), 0.5f);
    EXPECT_EQ(loaded.dyslexiaTintColor(), 4);
    EXPECT_EQ(loaded.breathPacerStyle(), 3);
}

TEST(AppStateLoad, FollowSwitchesMissingFromOlderSavesStayOn) {
    MemoryUserDefaults older = savedBefore();
    AppState fromOlder(older);
    EXPECT_TRUE(fromOlder.focusFollowsCursor());
    EXPECT_TRUE(fromOlder.rulerFollowsCursor());

    MemoryUserDefaults newer = savedBefore();
    newer.setBool("focusFollowsCursor", false);
    newer.setBool("rulerFollowsCursor", false);
    AppState fromNewer(newer);
    EXPECT_FALSE(fromNewer.focusFollowsCursor());
    EXPECT_FALSE(fromNewer.rulerFollowsCursor());
}

TEST(AppStateLoad, WrongTypesReadAsMissingKeys) {
    MemoryUserDefaults d = savedBefore();
    d.setString("readingRulerZoom", "huge");
    d.setString("screenBrightness", "dark");
    d.setData("activeProfileName", "not text");
    d.setString("focusProfiles", "[]");
    d.setString("breathPacerStyle", "2");
    AppState state(d);
    EXPECT_EQ(state.readingRulerZoom(), 1.5f);
    EXPECT_EQ(state.screenBrightness(), 0.0f);
    EXPECT_EQ(state.activeProfileName(), QStringLiteral("Default"));
    EXPECT_EQ(state.focusProfiles().size(), 3u);
    EXPECT_EQ(state.breathPacerStyle(), 1);
}

TEST(AppStateSave, WritesExactlyTheStoredKeysWithTheirTypes) {
    MemoryUserDefaults d;
    AppState state(d);
    ASSERT_TRUE(state.saveSettings());
    EXPECT_EQ(d.size(), static_cast<int>(storedKeys().size()));
    for (const auto& [name, type] : storedKeys()) {
        const auto value = d.value(QString::fromLatin1(name));
        ASSERT_TRUE(value.has_value()) << name;
        EXPECT_EQ(static_cast<int>(value->index()), type) << name;
    }
    for (const char* notStored : {"isFocusEnabled", "isExplosionEnabled", "isGazeTrackingEnabled",
                                  "isHiddenFromScreenSharing", "scanLineIntensity",
                                  "rgbShiftAmount", "noiseAmount", "flickerIntensity"}) {
        EXPECT_FALSE(d.contains(QString::fromLatin1(notStored))) << notStored;
    }
}

TEST(AppStateSave, EveryStoredValueSurvivesARelaunch) {
    MemoryUserDefaults d;
    {
        AppState s(d);
        s.isOverlayEnabled = false;
        s.isRetroEffectEnabled = true;
        s.isScanLinesEnabled = true;
        s.isRGBShiftEnabled = true;
        s.isNoiseEnabled = true;
        s.isFlickerEnabled = true;
        s.focusFollowsCursor = false;
        s.isReadingRulerEnabled = true;
        s.readingRulerZoom = 2.5f;
        s.readingRulerHeight = 0.15f;
        s.rulerFollowsCursor = false;
        s.isSmartFocusEnabled = true;
        s.smartFocusBlurStrength = 1.0f;
        s.smartFocusFadeWidth = 0.1f;
        s.smartFocusEffectMode = 5;
        s.isScreenDimmerEnabled = true;
        s.screenBrightness = -0.8f;
        s.isColorBlindFilterEnabled = true;
        s.colorBlindFilterType = 3;
        s.colorBlindFilterIntensity = 0.4f;
        s.isCursorSpotlightEnabled = true;
        s.cursorSpotlightRadius = 0.25f;
        s.cursorSpotlightDimAmount = 0.95f;
        s.cursorSpotlightBorderWidth = 0.0f;
        s.cursorSpotlightEffectMode = 4;
        s.isDyslexiaAidsEnabled = true;
        s.dyslexiaTintColor = 4;
        s.dyslexiaTintStrength = 0.6f;
        s.dyslexiaLineGuide = true;
        s.isScheduledProfilesEnabled = true;
        s.activeProfileName = QStringLiteral("Night Mode");
        s.isBreathPacerEnabled = true;
        s.breathPacerStyle = 4;
        s.breathPacerIntensity = 0.4f;
        s.breathsPerMinute = 8.0f;
        s.focusModeEffect = 3;
        s.focusModeGlitchAmount = 1.0f;
        s.focusModeDimAmount = 0.4f;
        s.focusModeDesatAmount = 0.6f;
        s.focusModeHeight = 0.06f;
        s.overlayOpacity = 0.7f;
        ASSERT_TRUE(s.saveSettings());
    }
    AppState s(d);
    EXPECT_FALSE(s.isOverlayEnabled());
    EXPECT_TRUE(s.isRetroEffectEnabled());
    EXPECT_TRUE(s.isScanLinesEnabled());
    EXPECT_TRUE(s.isRGBShiftEnabled());
    EXPECT_TRUE(s.isNoiseEnabled());
    EXPECT_TRUE(s.isFlickerEnabled());
    EXPECT_FALSE(s.focusFollowsCursor());
    EXPECT_TRUE(s.isReadingRulerEnabled());
    EXPECT_EQ(s.readingRulerZoom(), 2.5f);
    EXPECT_EQ(s.readingRulerHeight(), 0.15f);
    EXPECT_FALSE(s.rulerFollowsCursor());
    EXPECT_TRUE(s.isSmartFocusEnabled());
    EXPECT_EQ(s.smartFocusBlurStrength(), 1.0f);
    EXPECT_EQ(s.smartFocusFadeWidth(), 0.1f);
    EXPECT_EQ(s.smartFocusEffectMode(), 5);
    EXPECT_TRUE(s.isScreenDimmerEnabled());
    EXPECT_EQ(s.screenBrightness(), -0.8f);
    EXPECT_TRUE(s.isColorBlindFilterEnabled());
    EXPECT_EQ(s.colorBlindFilterType(), 3);
    EXPECT_EQ(s.colorBlindFilterIntensity(), 0.4f);
    EXPECT_TRUE(s.isCursorSpotlightEnabled());
    EXPECT_EQ(s.cursorSpotlightRadius(), 0.25f);
    EXPECT_EQ(s.cursorSpotlightDimAmount(), 0.95f);
    EXPECT_EQ(s.cursorSpotlightBorderWidth(), 0.0f);
    EXPECT_EQ(s.cursorSpotlightEffectMode(), 4);
    EXPECT_TRUE(s.isDyslexiaAidsEnabled());
    EXPECT_EQ(s.dyslexiaTintColor(), 4);
    EXPECT_EQ(s.dyslexiaTintStrength(), 0.6f);
    EXPECT_TRUE(s.dyslexiaLineGuide());
    EXPECT_TRUE(s.isScheduledProfilesEnabled());
    EXPECT_EQ(s.activeProfileName(), QStringLiteral("Night Mode"));
    EXPECT_TRUE(s.isBreathPacerEnabled());
    EXPECT_EQ(s.breathPacerStyle(), 4);
    EXPECT_EQ(s.breathPacerIntensity(), 0.4f);
    EXPECT_EQ(s.breathsPerMinute(), 8.0f);
    EXPECT_EQ(s.focusModeEffect(), 3);
    EXPECT_EQ(s.focusModeGlitchAmount(), 1.0f);
    EXPECT_EQ(s.focusModeDimAmount(), 0.4f);
    EXPECT_EQ(s.focusModeDesatAmount(), 0.6f);
    EXPECT_EQ(s.focusModeHeight(), 0.06f);
    EXPECT_EQ(s.overlayOpacity(), 0.7f);
}

TEST(AppStateSave, SessionOnlySwitchesStartAtDefaultsAfterEveryLaunch) {
    MemoryUserDefaults d;
    {
        AppState s(d);
        s.isFocusEnabled = true;
        s.isExplosionEnabled = true;
        s.isGazeTrackingEnabled = true;
        s.isHiddenFromScreenSharing = true;
        s.scanLineIntensity = 0.9f;
        s.rgbShiftAmount = 0.9f;
        s.noiseAmount = 0.9f;
        s.flickerIntensity = 0.9f;
        ASSERT_TRUE(s.saveSettings());
    }
    AppState relaunched(d);
    expectAllDefaults(relaunched);
}

TEST(AppStateProfiles, StoredListKeepsItsIdsAcrossLaunches) {
    MemoryUserDefaults d;
    std::vector<FocusProfile> first;
    {
        AppState s(d);
        first = s.focusProfiles();
        ASSERT_TRUE(s.saveSettings());
    }
    EXPECT_EQ(AppState(d).focusProfiles(), first);

    MemoryUserDefaults elsewhere;
    const auto other = AppState(elsewhere).focusProfiles();
    ASSERT_EQ(other.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_NE(other[i].id, first[i].id) << "built-in ids are fresh at each first launch";
    }
}

TEST(AppStateProfiles, EmptyStoredListStaysEmpty) {
    MemoryUserDefaults d = savedBefore();
    d.setData("focusProfiles", "[]");
    AppState s(d);
    EXPECT_TRUE(s.focusProfiles().empty());
    ASSERT_TRUE(s.saveSettings());
    EXPECT_TRUE(AppState(d).focusProfiles().empty());
}

TEST(AppStateProfiles, UndecodableListFallsBackToBuiltIns) {
    MemoryUserDefaults d = savedBefore();
    d.setData("focusProfiles", "[{\"name\": \"half a profile\"}]");
    AppState s(d);
    ASSERT_EQ(s.focusProfiles().size(), 3u);
    EXPECT_EQ(s.focusProfiles()[0].name, QStringLiteral("Work Hours"));
}

TEST(AppStateProfiles, EncodingFailureLeavesStoredListButSavesTheRest) {
    MemoryUserDefaults d;
    AppState s(d);
    ASSERT_TRUE(s.saveSettings());
    const auto storedBefore = d.dataValue("focusProfiles");

    auto profiles = s.focusProfiles();
    profiles[0].screenBrightness = std::numeric_limits<float>::quiet_NaN();
    s.focusProfiles = profiles;
    s.readingRulerZoom = 2.0f;
    s.saveSettings();

    EXPECT_EQ(d.dataValue("focusProfiles"), storedBefore);
    EXPECT_EQ(d.floatValue("readingRulerZoom"), 2.0f);
}

TEST(AppStateProfiles, ApplyProfileSetsItsEightValuesInOrderAndNothingElse) {
    MemoryUserDefaults d;
    AppState s(d);
    s.focusModeEffect = 2;
    s.dyslexiaTintStrength = 0.6f;

    std::vector<std::string> order;
    std::vector<Subscription> subscriptions;
    auto track = [&](auto& property, std::string name) {
        subscriptions.push_back(
            property.sinkChanges([&order, name](const auto&) { order.push_back(name); }));
    };
    track(s.activeProfileName, "activeProfileName");
    track(s.isScreenDimmerEnabled, "isScreenDimmerEnabled");
    track(s.screenBrightness, "screenBrightness");
    track(s.isFocusEnabled, "isFocusEnabled");
    track(s.isSmartFocusEnabled, "isSmartFocusEnabled");
    track(s.isDyslexiaAidsEnabled, "isDyslexiaAidsEnabled");
    track(s.dyslexiaTintColor, "dyslexiaTintColor");
    track(s.isCursorSpotlightEnabled, "isCursorSpotlightEnabled");
    int willChange = 0;
    auto counter = s.objectWillChange().connect([&] { ++willChange; });

    const FocusProfile night = s.focusProfiles()[1];
    s.applyProfile(night);

    EXPECT_EQ(order, (std::vector<std::string>{"activeProfileName", "isScreenDimmerEnabled",
                                               "screenBrightness", "isFocusEnabled",
                                               "isSmartFocusEnabled", "isDyslexiaAidsEnabled",
                                               "dyslexiaTintColor", "isCursorSpotlightEnabled"}));
    EXPECT_EQ(willChange, 8);
    EXPECT_EQ(s.activeProfileName(), QStringLiteral("Night Mode"));
    EXPECT_TRUE(s.isScreenDimmerEnabled());
    EXPECT_EQ(s.screenBrightness(), -0.5f);
    EXPECT_TRUE(s.isDyslexiaAidsEnabled());
    EXPECT_EQ(s.focusModeEffect(), 2);
    EXPECT_EQ(s.dyslexiaTintStrength(), 0.6f);
    EXPECT_EQ(d.size(), 0) << "applying does not save";
}

TEST(AppStateProfiles, WorkHoursTintZeroBecomesCreamAfterRelaunch) {
    MemoryUserDefaults d;
    {
        AppState s(d);
        s.dyslexiaTintColor = 3;
        s.applyProfile(s.focusProfiles()[0]);
        EXPECT_EQ(s.dyslexiaTintColor(), 0);
        EXPECT_TRUE(s.isFocusEnabled());
        ASSERT_TRUE(s.saveSettings());
    }
    AppState relaunched(d);
    EXPECT_EQ(relaunched.dyslexiaTintColor(), 1);
    EXPECT_FALSE(relaunched.isFocusEnabled());
    EXPECT_EQ(relaunched.activeProfileName(), QStringLiteral("Work Hours"));
}

TEST(AppStateRetro, ParametersFollowTheFourSwitchesAndAlwaysCarryOpacity) {
    MemoryUserDefaults d;
    AppState s(d);
    s.overlayOpacity = 0.7f;
    s.isRetroEffectEnabled = true;  // the master switch is not consulted
    EXPECT_EQ(s.retroEffectParameters(), (RetroEffectParameters{0, 0, 0, 0, 0.7f}));

    s.isScanLinesEnabled = true;
    s.isNoiseEnabled = true;
    EXPECT_EQ(s.retroEffectParameters(), (RetroEffectParameters{0.2f, 0, 0.05f, 0, 0.7f}));

    s.isRGBShiftEnabled = true;
    s.isFlickerEnabled = true;
    s.rgbShiftAmount = 0.01f;
    EXPECT_EQ(s.retroEffectParameters(), (RetroEffectParameters{0.2f, 0.01f, 0.05f, 0.02f, 0.7f}));
}

}  // namespace
}  // namespace glimmora
