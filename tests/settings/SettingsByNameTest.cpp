#include "settings/SettingsByName.h"

#include <gtest/gtest.h>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "settings/SettingsTestSupport.h"

namespace glimmora {
namespace {

using test::settingTexts;

class SettingsByNameTest : public ::testing::Test {
protected:
    MemoryUserDefaults nothing_;
    AppState state_{nothing_};
};

TEST_F(SettingsByNameTest, EveryNameSetsItsOwnPropertyAndNoOtherAndReadsBack) {
    test::changeEverySetting(state_);
    const QMap<QString, QString> wanted = settingTexts(state_);
    ASSERT_EQ(settingNames().size(), 55);
    for (const QString& name : settingNames()) {
        SCOPED_TRACE(name.toStdString());
        AppState state(nothing_);
        QMap<QString, QString> expected = settingTexts(state);
        ASSERT_NE(expected[name], wanted[name]);
        expected[name] = wanted[name];
        QString error;
        EXPECT_TRUE(isSettingName(name));
        EXPECT_TRUE(isValidSettingText(name, wanted[name], &error)) << error.toStdString();
        ASSERT_TRUE(setSettingFromText(state, name, wanted[name], &error)) << error.toStdString();
        EXPECT_EQ(settingTexts(state), expected);
    }
}

TEST_F(SettingsByNameTest, RejectsUnknownNamesAndUnparsableValuesLeavingTheStoreAlone) {
    const std::pair<const char*, const char*> rejected[] = {
        {"noSuchSetting", "true"},     {"IsOverlayEnabled", "false"},  // names are case-sensitive
        {"isOverlayEnabled", "1"},     {"screenBrightness", "0.5x"},
        {"screenBrightness", " -0.5"}, {"screenBrightness", "+0.5"},
        {"screenBrightness", "nan"},   {"screenBrightness", "1e39"},  // beyond single precision
        {"breathPacerStyle", "1.5"},   {"breathPacerStyle", "99999999999999999999"},
        {"focusProfiles", "{}"},
    };
    int willChange = 0;
    Subscription counting = state_.objectWillChange().connect([&] { ++willChange; });
    const QMap<QString, QString> before = settingTexts(state_);
    for (const auto& [nameText, valueText] : rejected) {
        SCOPED_TRACE(std::string(nameText) + "=" + valueText);
        const QString name = QString::fromUtf8(nameText);
        const QString value = QString::fromUtf8(valueText);
        QString error;
        EXPECT_FALSE(setSettingFromText(state_, name, value, &error));
        EXPECT_TRUE(!error.isEmpty() && error.contains(name)) << error.toStdString();
        QString validationError;
        EXPECT_FALSE(isValidSettingText(name, value, &validationError));
        EXPECT_EQ(validationError, error);
    }
    EXPECT_EQ(willChange, 0);
    EXPECT_EQ(settingTexts(state_), before);
}

}  // namespace
}  // namespace glimmora
