#include "settings/FocusProfile.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <limits>

namespace glimmora {
namespace {

QJsonObject validElement() {
    return QJsonDocument::fromJson(
               R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","name":"Evening","startHour":18,
                   "endHour":23,"daysOfWeek":[1,7],"screenDimmerEnabled":true,
                   "screenBrightness":-0.3,"focusModeEnabled":false,"smartFocusEnabled":true,
                   "dyslexiaAidsEnabled":false,"dyslexiaTintColor":2,
                   "cursorSpotlightEnabled":true})")
        .object();
}

QByteArray listOf(const QJsonObject& first, const QJsonObject& second = validElement()) {
    return QJsonDocument(QJsonArray{first, second}).toJson();
}

TEST(FocusProfileCodec, RoundTripsEveryFieldExactly) {
    auto profiles = builtInFocusProfiles();
    profiles[1].screenBrightness = -0.8f;
    profiles[2].name = QStringLiteral("Zoë's \"quiet\" hours 🌙");
    profiles[2].daysOfWeek = {};
    const auto json = encodeFocusProfiles(profiles);
    ASSERT_TRUE(json.has_value());
    EXPECT_EQ(decodeFocusProfiles(*json), profiles);
    profiles[2].screenBrightness = std::numeric_limits<float>::infinity();
    EXPECT_EQ(encodeFocusProfiles(profiles), std::nullopt);
    profiles[2].screenBrightness = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(encodeFocusProfiles(profiles), std::nullopt);
}

TEST(FocusProfileCodec, ReadsEveryKeyIgnoresUnknownOnesAndAcceptsLowerCaseIds) {
    QJsonObject element = validElement();
    element.insert("colourOfTheDay", "teal");
    element.insert("id", "e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    const auto decoded = decodeFocusProfiles(listOf(element));
    ASSERT_TRUE(decoded.has_value());
    FocusProfile expected;
    expected.id = QUuid::fromString(u"E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    expected.name = QStringLiteral("Evening");
    expected.startHour = 18;
    expected.endHour = 23;
    expected.daysOfWeek = {1, 7};
    expected.screenDimmerEnabled = expected.smartFocusEnabled = true;
    expected.cursorSpotlightEnabled = true;
    expected.screenBrightness = -0.3f;
    expected.dyslexiaTintColor = 2;
    EXPECT_EQ(*decoded, (std::vector<FocusProfile>{expected, expected}));
    EXPECT_TRUE(encodeFocusProfiles(*decoded)->contains("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"));
}

TEST(FocusProfileCodec, AnyMissingKeyOrWrongTypeRejectsTheWholeList) {
    std::vector<QJsonObject> broken;
    for (const QString& key : validElement().keys()) {
        broken.push_back(validElement());
        broken.back().remove(key);
    }
    const QJsonArray wrongTypes = QJsonDocument::fromJson(R"([
        ["id", 12], ["id", "not-a-uuid"], ["id", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}"],
        ["name", false], ["startHour", "9"], ["startHour", 9.5], ["endHour", null],
        ["daysOfWeek", 2], ["daysOfWeek", [2, "Monday"]], ["daysOfWeek", [2.5]],
        ["screenDimmerEnabled", 1], ["screenBrightness", "dim"], ["screenBrightness", 1e300],
        ["focusModeEnabled", "true"], ["dyslexiaTintColor", true]])")
                                      .array();
    for (const QJsonValue& keyAndValue : wrongTypes) {
        broken.push_back(validElement());
        broken.back().insert(keyAndValue[0].toString(), keyAndValue[1]);
    }
    for (const QJsonObject& element : broken) {
        EXPECT_EQ(decodeFocusProfiles(listOf(validElement(), element)), std::nullopt)
            << QJsonDocument(element).toJson(QJsonDocument::Compact).data();
    }
}

TEST(FocusProfileCodec, RejectsAnythingButAnArrayOfObjects) {
    for (const char* json : {"", "not json", R"({"id":1})", "[1, 2]", "[[]]"}) {
        EXPECT_EQ(decodeFocusProfiles(json), std::nullopt) << json;
    }
    EXPECT_EQ(decodeFocusProfiles("[]"), std::vector<FocusProfile>{});
}

TEST(FocusProfileCodec, TheAllZeroIdIsAnIdLikeAnyOther) {
    QJsonObject element = validElement();
    element.insert("id", "00000000-0000-0000-0000-000000000000");
    const auto decoded = decodeFocusProfiles(listOf(element));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_TRUE(decoded->front().id.isNull());
    EXPECT_EQ(decodeFocusProfiles(*encodeFocusProfiles(*decoded)), decoded);
}

}  // namespace
}  // namespace glimmora
