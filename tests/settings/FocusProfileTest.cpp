#include "settings/FocusProfile.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <limits>

namespace glimmora {
namespace {

QJsonObject validElement() {
    return QJsonObject{
        {"id", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
        {"name", "Evening"},
        {"startHour", 18},
        {"endHour", 23},
        {"daysOfWeek", QJsonArray{1, 7}},
        {"screenDimmerEnabled", true},
        {"screenBrightness", -0.3},
        {"focusModeEnabled", false},
        {"smartFocusEnabled", true},
        {"dyslexiaAidsEnabled", false},
        {"dyslexiaTintColor", 2},
        {"cursorSpotlightEnabled", true},
    };
}

QByteArray listOf(const QJsonObject& element) {
    return QJsonDocument(QJsonArray{element}).toJson();
}

TEST(FocusProfileBuiltIns, HaveTheDocumentedValuesInOrder) {
    const auto p = builtInFocusProfiles();
    ASSERT_EQ(p.size(), 3u);

    EXPECT_EQ(p[0].name, QStringLiteral("Work Hours"));
    EXPECT_EQ(p[0].startHour, 9);
    EXPECT_EQ(p[0].endHour, 17);
    EXPECT_EQ(p[0].daysOfWeek, (QList<qint64>{2, 3, 4, 5, 6}));
    EXPECT_FALSE(p[0].screenDimmerEnabled);
    EXPECT_EQ(p[0].screenBrightness, 0.0f);
    EXPECT_TRUE(p[0].focusModeEnabled);
    EXPECT_TRUE(p[0].smartFocusEnabled);
    EXPECT_FALSE(p[0].dyslexiaAidsEnabled);
    EXPECT_EQ(p[0].dyslexiaTintColor, 0);
    EXPECT_FALSE(p[0].cursorSpotlightEnabled);

    EXPECT_EQ(p[1].name, QStringLiteral("Night Mode"));
    EXPECT_EQ(p[1].startHour, 21);
    EXPECT_EQ(p[1].endHour, 6);
    EXPECT_EQ(p[1].daysOfWeek, (QList<qint64>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(p[1].screenDimmerEnabled);
    EXPECT_EQ(p[1].screenBrightness, -0.5f);
    EXPECT_FALSE(p[1].focusModeEnabled);
    EXPECT_FALSE(p[1].smartFocusEnabled);
    EXPECT_TRUE(p[1].dyslexiaAidsEnabled);
    EXPECT_EQ(p[1].dyslexiaTintColor, 1);
    EXPECT_FALSE(p[1].cursorSpotlightEnabled);

    EXPECT_EQ(p[2].name, QStringLiteral("Presentation"));
    EXPECT_EQ(p[2].startHour, 0);
    EXPECT_EQ(p[2].endHour, 24);
    EXPECT_EQ(p[2].daysOfWeek, (QList<qint64>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_FALSE(p[2].screenDimmerEnabled);
    EXPECT_EQ(p[2].screenBrightness, 0.2f);
    EXPECT_FALSE(p[2].focusModeEnabled);
    EXPECT_FALSE(p[2].smartFocusEnabled);
    EXPECT_FALSE(p[2].dyslexiaAidsEnabled);
    EXPECT_EQ(p[2].dyslexiaTintColor, 0);
    EXPECT_TRUE(p[2].cursorSpotlightEnabled);

    for (const auto& profile : p) {
        EXPECT_FALSE(profile.id.isNull());
    }
    EXPECT_NE(p[0].id, p[1].id);
    EXPECT_NE(builtInFocusProfiles()[0].id, p[0].id);
}

TEST(FocusProfileCodec, EncodesCompactArrayOfTwelveKeysWithCanonicalIds) {
    const auto profiles = builtInFocusProfiles();
    const auto json = encodeFocusProfiles(profiles);
    ASSERT_TRUE(json.has_value());
    EXPECT_FALSE(json->contains('\n'));
    EXPECT_FALSE(json->contains(": ")) << "no pretty printing: " << json->toStdString();
    EXPECT_FALSE(json->contains(", \"")) << json->toStdString();

    const QJsonArray array = QJsonDocument::fromJson(*json).array();
    ASSERT_EQ(array.size(), 3);
    const QRegularExpression canonical(
        "^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    for (const QJsonValue& element : array) {
        const QJsonObject o = element.toObject();
        EXPECT_EQ(o.size(), 12);
        EXPECT_TRUE(canonical.match(o.value("id").toString()).hasMatch())
            << o.value("id").toString().toStdString();
    }
    // Floats are written as their shortest decimal, so a hand-reader sees 0.2, not 0.200000003.
    EXPECT_TRUE(json->contains("\"screenBrightness\":0.2")) << json->toStdString();
    EXPECT_TRUE(json->contains("\"screenBrightness\":-0.5")) << json->toStdString();
}

TEST(FocusProfileCodec, RoundTripsEveryFieldExactly) {
    auto profiles = builtInFocusProfiles();
    profiles[1].screenBrightness = -0.8f;
    profiles[2].name = QStringLiteral("Zoë's \"quiet\" hours 🌙");
    profiles[2].daysOfWeek = {};
    const auto json = encodeFocusProfiles(profiles);
    ASSERT_TRUE(json.has_value());
    const auto decoded = decodeFocusProfiles(*json);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, profiles);
}

TEST(FocusProfileCodec, NonFiniteBrightnessFailsTheEncode) {
    auto profiles = builtInFocusProfiles();
    profiles[2].screenBrightness = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(encodeFocusProfiles(profiles).has_value());
    profiles[2].screenBrightness = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(encodeFocusProfiles(profiles).has_value());
}

TEST(FocusProfileCodec, IgnoresKeysItDoesNotKnow) {
    QJsonObject element = validElement();
    element.insert("colourOfTheDay", "teal");
    element.insert("version", 2);
    const auto decoded = decodeFocusProfiles(listOf(element));
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->size(), 1u);
    const FocusProfile& p = decoded->front();
    EXPECT_EQ(canonicalUuidText(p.id), QStringLiteral("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"));
    EXPECT_EQ(p.name, QStringLiteral("Evening"));
    EXPECT_EQ(p.startHour, 18);
    EXPECT_EQ(p.endHour, 23);
    EXPECT_EQ(p.daysOfWeek, (QList<qint64>{1, 7}));
    EXPECT_TRUE(p.screenDimmerEnabled);
    EXPECT_EQ(p.screenBrightness, -0.3f);
    EXPECT_TRUE(p.smartFocusEnabled);
    EXPECT_EQ(p.dyslexiaTintColor, 2);
    EXPECT_TRUE(p.cursorSpotlightEnabled);
}

TEST(FocusProfileCodec, AnyMissingKeyRejectsTheWholeList) {
    for (const QString& key : validElement().keys()) {
        QJsonObject broken = validElement();
        broken.remove(key);
        const QByteArray json = QJsonDocument(QJsonArray{validElement(), broken}).toJson();
        EXPECT_FALSE(decodeFocusProfiles(json).has_value()) << key.toStdString();
    }
}

TEST(FocusProfileCodec, AnyWrongTypeRejectsTheWholeList) {
    const std::vector<std::pair<QString, QJsonValue>> wrong = {
        {"id", 12},
        {"id", "not-a-uuid"},
        {"id", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}"},
        {"name", false},
        {"startHour", "9"},
        {"startHour", 9.5},
        {"endHour", QJsonValue::Null},
        {"daysOfWeek", 2},
        {"daysOfWeek", QJsonArray{2, "Monday"}},
        {"daysOfWeek", QJsonArray{2.5}},
        {"screenDimmerEnabled", 1},
        {"screenBrightness", "dim"},
        {"screenBrightness", 1e300},
        {"focusModeEnabled", "true"},
        {"smartFocusEnabled", QJsonValue::Null},
        {"dyslexiaAidsEnabled", 0},
        {"dyslexiaTintColor", true},
        {"cursorSpotlightEnabled", QJsonArray{}},
    };
    for (const auto& [key, value] : wrong) {
        QJsonObject broken = validElement();
        broken.insert(key, value);
        EXPECT_FALSE(decodeFocusProfiles(listOf(broken)).has_value())
            << key.toStdString() << " = "
            << QJsonDocument(QJsonArray{value}).toJson().toStdString();
    }
}

TEST(FocusProfileCodec, RejectsAnythingButAnArrayOfObjects) {
    EXPECT_FALSE(decodeFocusProfiles("").has_value());
    EXPECT_FALSE(decodeFocusProfiles("not json").has_value());
    EXPECT_FALSE(decodeFocusProfiles(QJsonDocument(validElement()).toJson()).has_value());
    EXPECT_FALSE(decodeFocusProfiles("[1, 2]").has_value());
    EXPECT_FALSE(decodeFocusProfiles("[[]]").has_value());
    const auto empty = decodeFocusProfiles("[]");
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
}

TEST(FocusProfileCodec, AcceptsLowerCaseIdsAndWritesThemBackUpperCase) {
    QJsonObject element = validElement();
    element.insert("id", "e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    const auto decoded = decodeFocusProfiles(listOf(element));
    ASSERT_TRUE(decoded.has_value());
    const auto json = encodeFocusProfiles(*decoded);
    ASSERT_TRUE(json.has_value());
    EXPECT_TRUE(json->contains("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"));
}

}  // namespace
}  // namespace glimmora
