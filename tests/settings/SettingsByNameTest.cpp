#include "settings/SettingsByName.h"

#include <gtest/gtest.h>

#include <QMap>
#include <functional>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"

namespace glimmora {
namespace {

// The settings table, written out independently of the implementation's own table.
const QStringList kExpectedNames{
    "isOverlayEnabled",
    "isRetroEffectEnabled",
    "isScanLinesEnabled",
    "isRGBShiftEnabled",
    "isNoiseEnabled",
    "isFlickerEnabled",
    "isFocusEnabled",
    "isExplosionEnabled",
    "focusFollowsCursor",
    "isReadingRulerEnabled",
    "readingRulerZoom",
    "readingRulerHeight",
    "rulerFollowsCursor",
    "isGazeTrackingEnabled",
    "isSmartFocusEnabled",
    "smartFocusBlurStrength",
    "smartFocusFadeWidth",
    "smartFocusEffectMode",
    "isHiddenFromScreenSharing",
    "isScreenDimmerEnabled",
    "screenBrightness",
    "isColorBlindFilterEnabled",
    "colorBlindFilterType",
    "colorBlindFilterIntensity",
    "isCursorSpotlightEnabled",
    "cursorSpotlightRadius",
    "cursorSpotlightDimAmount",
    "cursorSpotlightBorderWidth",
    "cursorSpotlightEffectMode",
    "isDyslexiaAidsEnabled",
    "dyslexiaTintColor",
    "dyslexiaTintStrength",
    "dyslexiaLineGuide",
    "isScheduledProfilesEnabled",
    "activeProfileName",
    "focusProfiles",
    "isBreathPacerEnabled",
    "breathPacerStyle",
    "breathPacerIntensity",
    "breathsPerMinute",
    "focusModeEffect",
    "focusModeGlitchAmount",
    "focusModeDimAmount",
    "focusModeDesatAmount",
    "focusModeHeight",
    "scanLineIntensity",
    "rgbShiftAmount",
    "noiseAmount",
    "flickerIntensity",
    "overlayOpacity",
};

const char* const kOneProfile =
    R"([{"id":"6F1C2C4E-8E0A-4C1B-9C55-1B2D3E4F5A6B","name":"Reading","startHour":8,)"
    R"("endHour":12,"daysOfWeek":[2,3],"screenDimmerEnabled":true,"screenBrightness":-0.25,)"
    R"("focusModeEnabled":false,"smartFocusEnabled":true,"dyslexiaAidsEnabled":false,)"
    R"("dyslexiaTintColor":3,"cursorSpotlightEnabled":false}])";

/// A value other than the default for each property, and how to see that it arrived.
struct Case {
    const char* name;
    QString text;
    std::function<bool(const AppState&)> arrived;
};

std::vector<Case> nonDefaultCases() {
    return {
        {"isOverlayEnabled", "false", [](const AppState& s) { return !s.isOverlayEnabled(); }},
        {"isRetroEffectEnabled", "true",
         [](const AppState& s) { return s.isRetroEffectEnabled(); }},
        {"isScanLinesEnabled", "true", [](const AppState& s) { return s.isScanLinesEnabled(); }},
        {"isRGBShiftEnabled", "true", [](const AppState& s) { return s.isRGBShiftEnabled(); }},
        {"isNoiseEnabled", "true", [](const AppState& s) { return s.isNoiseEnabled(); }},
        {"isFlickerEnabled", "true", [](const AppState& s) { return s.isFlickerEnabled(); }},
        {"isFocusEnabled", "true", [](const AppState& s) { return s.isFocusEnabled(); }},
        {"isExplosionEnabled", "true", [](const AppState& s) { return s.isExplosionEnabled(); }},
        {"focusFollowsCursor", "false", [](const AppState& s) { return !s.focusFollowsCursor(); }},
        {"isReadingRulerEnabled", "true",
         [](const AppState& s) { return s.isReadingRulerEnabled(); }},
        {"readingRulerZoom", "2.25",
         [](const AppState& s) { return s.readingRulerZoom() == 2.25f; }},
        {"readingRulerHeight", "0.1",
         [](const AppState& s) { return s.readingRulerHeight() == 0.1f; }},
        {"rulerFollowsCursor", "false", [](const AppState& s) { return !s.rulerFollowsCursor(); }},
        {"isGazeTrackingEnabled", "true",
         [](const AppState& s) { return s.isGazeTrackingEnabled(); }},
        {"isSmartFocusEnabled", "true", [](const AppState& s) { return s.isSmartFocusEnabled(); }},
        {"smartFocusBlurStrength", "0.9",
         [](const AppState& s) { return s.smartFocusBlurStrength() == 0.9f; }},
        {"smartFocusFadeWidth", "0.05",
         [](const AppState& s) { return s.smartFocusFadeWidth() == 0.05f; }},
        {"smartFocusEffectMode", "4",
         [](const AppState& s) { return s.smartFocusEffectMode() == 4; }},
        {"isHiddenFromScreenSharing", "true",
         [](const AppState& s) { return s.isHiddenFromScreenSharing(); }},
        {"isScreenDimmerEnabled", "true",
         [](const AppState& s) { return s.isScreenDimmerEnabled(); }},
        {"screenBrightness", "-0.5",
         [](const AppState& s) { return s.screenBrightness() == -0.5f; }},
        {"isColorBlindFilterEnabled", "true",
         [](const AppState& s) { return s.isColorBlindFilterEnabled(); }},
        {"colorBlindFilterType", "2",
         [](const AppState& s) { return s.colorBlindFilterType() == 2; }},
        {"colorBlindFilterIntensity", "0.4",
         [](const AppState& s) { return s.colorBlindFilterIntensity() == 0.4f; }},
        {"isCursorSpotlightEnabled", "true",
         [](const AppState& s) { return s.isCursorSpotlightEnabled(); }},
        {"cursorSpotlightRadius", "0.25",
         [](const AppState& s) { return s.cursorSpotlightRadius() == 0.25f; }},
        {"cursorSpotlightDimAmount", "0.95",
         [](const AppState& s) { return s.cursorSpotlightDimAmount() == 0.95f; }},
        {"cursorSpotlightBorderWidth", "0",
         [](const AppState& s) { return s.cursorSpotlightBorderWidth() == 0.0f; }},
        {"cursorSpotlightEffectMode", "3",
         [](const AppState& s) { return s.cursorSpotlightEffectMode() == 3; }},
        {"isDyslexiaAidsEnabled", "true",
         [](const AppState& s) { return s.isDyslexiaAidsEnabled(); }},
        {"dyslexiaTintColor", "4", [](const AppState& s) { return s.dyslexiaTintColor() == 4; }},
        {"dyslexiaTintStrength", "0.6",
         [](const AppState& s) { return s.dyslexiaTintStrength() == 0.6f; }},
        {"dyslexiaLineGuide", "true", [](const AppState& s) { return s.dyslexiaLineGuide(); }},
        {"isScheduledProfilesEnabled", "true",
         [](const AppState& s) { return s.isScheduledProfilesEnabled(); }},
        {"activeProfileName", "Night Mode",
         [](const AppState& s) { return s.activeProfileName() == "Night Mode"; }},
        {"focusProfiles", kOneProfile,
         [](const AppState& s) {
             return s.focusProfiles().size() == 1 && s.focusProfiles()[0].name == "Reading" &&
                    s.focusProfiles()[0].screenBrightness == -0.25f &&
                    s.focusProfiles()[0].dyslexiaTintColor == 3;
         }},
        {"isBreathPacerEnabled", "true",
         [](const AppState& s) { return s.isBreathPacerEnabled(); }},
        {"breathPacerStyle", "3", [](const AppState& s) { return s.breathPacerStyle() == 3; }},
        {"breathPacerIntensity", "0.4",
         [](const AppState& s) { return s.breathPacerIntensity() == 0.4f; }},
        {"breathsPerMinute", "8", [](const AppState& s) { return s.breathsPerMinute() == 8.0f; }},
        {"focusModeEffect", "3", [](const AppState& s) { return s.focusModeEffect() == 3; }},
        {"focusModeGlitchAmount", "1",
         [](const AppState& s) { return s.focusModeGlitchAmount() == 1.0f; }},
        {"focusModeDimAmount", "0.4",
         [](const AppState& s) { return s.focusModeDimAmount() == 0.4f; }},
        {"focusModeDesatAmount", "0.5",
         [](const AppState& s) { return s.focusModeDesatAmount() == 0.5f; }},
        {"focusModeHeight", "0.25", [](const AppState& s) { return s.focusModeHeight() == 0.25f; }},
        {"scanLineIntensity", "0.6",
         [](const AppState& s) { return s.scanLineIntensity() == 0.6f; }},
        {"rgbShiftAmount", "0.004", [](const AppState& s) { return s.rgbShiftAmount() == 0.004f; }},
        {"noiseAmount", "0.3", [](const AppState& s) { return s.noiseAmount() == 0.3f; }},
        {"flickerIntensity", "0.1", [](const AppState& s) { return s.flickerIntensity() == 0.1f; }},
        {"overlayOpacity", "0.5", [](const AppState& s) { return s.overlayOpacity() == 0.5f; }},
    };
}

QMap<QString, QString> snapshot(const AppState& s) {
    QMap<QString, QString> texts;
    for (const QString& name : settingNames()) {
        texts.insert(name, settingText(s, name).value_or(QStringLiteral("<unknown>")));
    }
    return texts;
}

class SettingsByNameTest : public ::testing::Test {
protected:
    MemoryUserDefaults defaults_;
    AppState settings_{defaults_};
};

TEST_F(SettingsByNameTest, NamesAreTheFiftyPropertiesInDeclarationOrder) {
    EXPECT_EQ(settingNames(), kExpectedNames);
    for (const QString& name : kExpectedNames) {
        EXPECT_TRUE(isSettingName(name)) << name.toStdString();
    }
}

TEST_F(SettingsByNameTest, EveryNameSetsItsOwnPropertyAndNoOther) {
    const std::vector<Case> cases = nonDefaultCases();
    ASSERT_EQ(cases.size(), 50u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryUserDefaults defaults;
        AppState s(defaults);
        ASSERT_FALSE(c.arrived(s)) << "the case must differ from the default";
        const QMap<QString, QString> before = snapshot(s);
        QString error;
        ASSERT_TRUE(setSettingFromText(s, QString::fromLatin1(c.name), c.text, &error))
            << error.toStdString();
        EXPECT_TRUE(c.arrived(s));
        const QMap<QString, QString> after = snapshot(s);
        for (const QString& name : kExpectedNames) {
            if (name != QLatin1String(c.name)) {
                EXPECT_EQ(after[name], before[name]) << "also changed: " << name.toStdString();
            } else {
                EXPECT_NE(after[name], before[name]) << "its text did not change";
            }
        }
    }
}

TEST_F(SettingsByNameTest, TextOfEveryPropertyReadsBackToTheSameValue) {
    // Non-default values first, so the check does not rest on defaults alone.
    for (const Case& c : nonDefaultCases()) {
        ASSERT_TRUE(setSettingFromText(settings_, QString::fromLatin1(c.name), c.text, nullptr));
    }
    const QMap<QString, QString> texts = snapshot(settings_);
    MemoryUserDefaults otherDefaults;
    AppState other(otherDefaults);
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        QString error;
        EXPECT_TRUE(setSettingFromText(other, it.key(), it.value(), &error))
            << it.key().toStdString() << ": " << error.toStdString();
    }
    EXPECT_EQ(snapshot(other), texts);
    EXPECT_EQ(other.focusProfiles(), settings_.focusProfiles());
}

TEST_F(SettingsByNameTest, FloatTextIsTheShortestThatReadsBack) {
    EXPECT_EQ(settingText(settings_, u"cursorSpotlightBorderWidth"), QStringLiteral("0.005"));
    EXPECT_EQ(settingText(settings_, u"rgbShiftAmount"), QStringLiteral("0.0015"));
    EXPECT_EQ(settingText(settings_, u"isOverlayEnabled"), QStringLiteral("true"));
    EXPECT_EQ(settingText(settings_, u"activeProfileName"), QStringLiteral("Default"));
    EXPECT_EQ(settingText(settings_, u"noSuchSetting"), std::nullopt);
}

TEST_F(SettingsByNameTest, AcceptsValuesTheStoreLeavesUnchecked) {
    // The store validates nothing, so neither does setting by name.
    EXPECT_TRUE(setSettingFromText(settings_, u"breathPacerStyle", u"-3", nullptr));
    EXPECT_EQ(settings_.breathPacerStyle(), -3);
    EXPECT_TRUE(setSettingFromText(settings_, u"readingRulerZoom", u"1e-3", nullptr));
    EXPECT_EQ(settings_.readingRulerZoom(), 0.001f);
    EXPECT_TRUE(setSettingFromText(settings_, u"activeProfileName", u"", nullptr));
    EXPECT_EQ(settings_.activeProfileName(), QString());
    EXPECT_TRUE(setSettingFromText(settings_, u"activeProfileName", u"a=b c", nullptr));
    EXPECT_EQ(settings_.activeProfileName(), QStringLiteral("a=b c"));
    EXPECT_TRUE(setSettingFromText(settings_, u"focusProfiles", u"[]", nullptr));
    EXPECT_TRUE(settings_.focusProfiles().empty());
}

TEST_F(SettingsByNameTest, SettingNotifiesLikeAnyAssignment) {
    int willChange = 0;
    std::vector<float> seen;
    Subscription a = settings_.objectWillChange().connect([&] { ++willChange; });
    Subscription b =
        settings_.screenBrightness.sinkChanges([&](const float& v) { seen.push_back(v); });
    ASSERT_TRUE(setSettingFromText(settings_, u"screenBrightness", u"-0.8", nullptr));
    EXPECT_EQ(willChange, 1);
    EXPECT_EQ(seen, std::vector<float>{-0.8f});
}

struct Rejected {
    const char* name;
    const char* value;
};

TEST_F(SettingsByNameTest, RejectsUnknownNamesAndUnparsableValuesLeavingTheStoreAlone) {
    const std::vector<Rejected> rejected{
        {"noSuchSetting", "true"},
        {"IsOverlayEnabled", "false"},  // names are case-sensitive
        {"", "true"},
        {"isOverlayEnabled", "yes"},
        {"isOverlayEnabled", "False"},
        {"isOverlayEnabled", "0"},
        {"isOverlayEnabled", ""},
        {"screenBrightness", "abc"},
        {"screenBrightness", "0.5x"},
        {"screenBrightness", " -0.5"},
        {"screenBrightness", "+0.5"},
        {"screenBrightness", "0,5"},
        {"screenBrightness", "nan"},
        {"screenBrightness", "inf"},
        {"screenBrightness", "1e39"},  // beyond single precision
        {"screenBrightness", ""},
        {"breathPacerStyle", "1.5"},
        {"breathPacerStyle", "2e3"},
        {"breathPacerStyle", "two"},
        {"breathPacerStyle", "99999999999999999999"},
        {"focusProfiles", "{}"},
        {"focusProfiles", "not json"},
        {"focusProfiles", R"([{"name":"no id"}])"},
    };
    int willChange = 0;
    Subscription counting = settings_.objectWillChange().connect([&] { ++willChange; });
    const QMap<QString, QString> before = snapshot(settings_);
    for (const Rejected& r : rejected) {
        SCOPED_TRACE(std::string(r.name) + "=" + r.value);
        const QString name = QString::fromUtf8(r.name);
        const QString value = QString::fromUtf8(r.value);
        QString error;
        EXPECT_FALSE(setSettingFromText(settings_, name, value, &error));
        EXPECT_FALSE(error.isEmpty());
        if (!name.isEmpty()) {
            EXPECT_TRUE(error.contains(name)) << error.toStdString();
        }
        QString validationError;
        EXPECT_FALSE(isValidSettingText(name, value, &validationError));
        EXPECT_EQ(validationError, error);
    }
    EXPECT_EQ(willChange, 0);
    EXPECT_EQ(snapshot(settings_), before);
}

TEST_F(SettingsByNameTest, ErrorIsOneShortLineEvenForLongMultiLineValues) {
    const QString value = QStringLiteral("[\n  {\"name\": \"broken\"\n") + QString(200, u'x');
    QString error;
    ASSERT_FALSE(setSettingFromText(settings_, u"focusProfiles", value, &error));
    EXPECT_FALSE(error.contains(QLatin1Char('\n')));
    EXPECT_LT(error.size(), 120);
    EXPECT_TRUE(error.startsWith(QLatin1String("focusProfiles")));
}

TEST_F(SettingsByNameTest, ValidationAcceptsWhatSettingAccepts) {
    for (const Case& c : nonDefaultCases()) {
        QString error;
        EXPECT_TRUE(isValidSettingText(QString::fromLatin1(c.name), c.text, &error))
            << c.name << ": " << error.toStdString();
    }
}

}  // namespace
}  // namespace glimmora
