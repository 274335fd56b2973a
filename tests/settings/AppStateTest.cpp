#include "settings/AppState.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <limits>
#include <string>

#include "settings/IniUserDefaults.h"
#include "settings/MemoryUserDefaults.h"
#include "settings/SettingsTestSupport.h"
#include "support/LogCapture.h"

namespace glimmora {
namespace {

using test::settingTexts;

class AppStateFileTest : public ::testing::Test {
protected:
    /// A new file each time: QSettings caches a file it has read while its size and time stay.
    void write(const QByteArray& content) {
        path_ = dir_.filePath(QStringLiteral("glimmora%1.conf").arg(++files_));
        QFile file(path_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + content);
    }

    QTemporaryDir dir_;
    int files_ = 0;
    QString path_ = dir_.filePath(QStringLiteral("glimmora.conf"));
};

TEST_F(AppStateFileTest, EachLoadRuleReadsAHandEditedFile) {
    // Key, the text after "key=" in the file (nullptr: no such line), the value it loads as.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        // Always: whatever is read, a missing key reading false or 0.
        {"screenBrightness", "-0.8", "-0.8"},
        {"screenBrightness", nullptr, "0"},
        {"screenBrightness", "nan", "0"},
        {"isScanLinesEnabled", "maybe", "false"},
        {"isScanLinesEnabled", "1", "true"},
        {"isScanLinesEnabled", "\" TRUE \"", "true"},
        {"isScanLinesEnabled", "ON", "true"},
        {"isScanLinesEnabled", " yes ", "true"},
        {"focusFollowsCursor", "No", "false"},
        // Only above 0, at or above 0, at or above 1.
        {"readingRulerZoom", "0", "1.5"},
        {"readingRulerZoom", "2.5", "2.5"},
        {"cursorSpotlightBorderWidth", "0", "0"},
        {"cursorSpotlightBorderWidth", "-0.01", "0.005"},
        {"breathPacerStyle", "2.5", "1"},
        {"breathPacerStyle", "3.0", "3"},
        // 0 stands for 1.
        {"overlayOpacity", "0", "1"},
        {"dyslexiaTintColor", "0", "1"},
        // Numbers outside their range: the nearest end, after the load rule had its say.
        {"dyslexiaTintStrength", "50", "0.6"},
        {"overlayOpacity", "0.1", "0.5"},
        {"dyslexiaTintColor", "9", "4"},
        // Only when present: switches that older saves lack, text, a profile list that decodes.
        {"focusFollowsCursor", nullptr, "true"},
        {"focusFollowsCursor", "false", "false"},
        {"activeProfileName", "Night Mode", "Night Mode"},
        {"activeProfileName", "a, b", "Default"},  // a list, not text
        {"focusProfiles", "[]", "[]"},
        {"gazeCalibrationSlopeX", nullptr, "1"},  // the identity until a fit was stored
    };
    for (const auto& [key, stored, expected] : cases) {
        SCOPED_TRACE(std::string(key) + "=" + (stored ? stored : "<missing>"));
        const QByteArray name(key);
        write((name == "isOverlayEnabled" ? "" : "isOverlayEnabled=true\n") +
              (stored ? name + "=" + stored + "\n" : QByteArray()));
        IniUserDefaults defaults(path_);
        EXPECT_EQ(settingText(AppState(defaults), QString::fromLatin1(name)), QString(expected));
    }
}

TEST_F(AppStateFileTest, FirstLaunchWithoutTheOverlaySwitchKeepsEveryDefault) {
    write("screenBrightness=-0.4\nisScanLinesEnabled=true\nbreathPacerStyle=3\n");
    IniUserDefaults defaults(path_);
    MemoryUserDefaults nothing;
    EXPECT_EQ(settingTexts(AppState(defaults), true), settingTexts(AppState(nothing), true));
}

TEST_F(AppStateFileTest, SaveThenLoadRestoresEveryStoredSettingAndResetsTheRest) {
    QMap<QString, QString> saved;
    {
        IniUserDefaults defaults(path_);
        AppState state(defaults);
        test::changeEverySetting(state);
        saved = settingTexts(state);
        ASSERT_TRUE(state.saveSettings());
    }
    QFile file(path_);  // plain text, which a hand-editor can read
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("\nscreenBrightness=0.25\n")) << text.data();
    EXPECT_TRUE(text.contains("\nactiveProfileName=Default 2\n")) << text.data();
    IniUserDefaults defaults(path_);
    const AppState loaded(defaults);
    MemoryUserDefaults nothing;
    const QMap<QString, QString> fresh = settingTexts(AppState(nothing));
    const QMap<QString, QString> texts = settingTexts(loaded);
    for (const SettingRow& row : settingsTable()) {
        const QString name = QString::fromLatin1(row.name);
        const bool stored = row.rule != LoadRule::NotStored;
        EXPECT_EQ(defaults.contains(name), stored) << row.name;
        EXPECT_EQ(texts[name], stored ? saved[name] : fresh[name]) << row.name;
    }
    // The eight session-only settings stay out of the file, whatever the table says.
    EXPECT_EQ(QSettings(path_, QSettings::IniFormat).allKeys().size(), 47);
}

TEST(AppStateProfiles, ListThatDoesNotConvertIsLeftAsItWas) {
    MemoryUserDefaults d;
    d.setBool("isOverlayEnabled", true);
    d.setData("focusProfiles", R"([{"name": "half a profile"}])");
    AppState state(d);
    ASSERT_EQ(state.focusProfiles().size(), 3u);  // the built-ins
    EXPECT_EQ(state.focusProfiles()[0].name, QStringLiteral("Work Hours"));

    auto profiles = state.focusProfiles();
    profiles[0].screenBrightness = std::numeric_limits<float>::quiet_NaN();
    state.focusProfiles = profiles;
    state.readingRulerZoom = 2.0f;
    state.saveSettings();
    EXPECT_EQ(d.dataValue("focusProfiles"), QByteArray(R"([{"name": "half a profile"}])"));
    EXPECT_EQ(d.floatValue("readingRulerZoom"), 2.0f);  // the rest is saved
}

TEST(AppStateProfiles, NumbersOutsideTheirRangeAreBroughtInWhenLoadedAndWhenApplied) {
    MemoryUserDefaults d;
    d.setBool("isOverlayEnabled", true);
    auto stored = builtInFocusProfiles();
    stored[1].screenBrightness = -1.0f;
    stored[2].dyslexiaTintColor = 7;
    d.setData("focusProfiles", *encodeFocusProfiles(stored));
    const test::LogCapture log;
    AppState state(d);
    EXPECT_EQ(state.focusProfiles()[1].screenBrightness, -0.8f);
    EXPECT_EQ(state.focusProfiles()[2].dyslexiaTintColor, 4);

    FocusProfile glaring = stored[2];
    glaring.screenBrightness = 1.0f;
    state.applyProfile(glaring);
    EXPECT_EQ(state.screenBrightness(), 0.8f);
    EXPECT_EQ(state.dyslexiaTintColor(), 4);
    EXPECT_EQ(log.lines().size(), 4u) << log.text();
}

TEST(AppStateProfiles, ApplyingSetsItsEightSettingsWithoutSaving) {
    MemoryUserDefaults d;
    AppState state(d);
    int changes = 0;
    Subscription counting = state.objectWillChange().connect([&] { ++changes; });
    state.applyProfile(state.focusProfiles()[1]);
    EXPECT_EQ(changes, 8);
    EXPECT_EQ(state.screenBrightness(), -0.5f);  // Night Mode's
    EXPECT_TRUE(state.isDyslexiaAidsEnabled());
    EXPECT_EQ(d.size(), 0) << "applying does not save";
}

}  // namespace
}  // namespace glimmora
