#include "settings/FocusProfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace glimmora {

namespace {

FocusProfile makeProfile(const char* name, qint64 startHour, qint64 endHour, QList<qint64> days,
                         bool dimmer, float brightness, bool focus, bool smartFocus, bool dyslexia,
                         qint64 tint, bool spotlight) {
    return FocusProfile{QUuid::createUuid(),
                        QString::fromUtf8(name),
                        startHour,
                        endHour,
                        std::move(days),
                        dimmer,
                        brightness,
                        focus,
                        smartFocus,
                        dyslexia,
                        tint,
                        spotlight};
}

// JSON numbers are doubles. Going through the shortest decimal text of the float makes 0.2f
// appear as 0.2 in the file rather than 0.20000000298023224, and reads back as the same float.
double floatAsShortestDouble(float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text - 1, value);
    *result.ptr = '\0';
    return std::strtod(text, nullptr);
}

// Integers must be whole and exactly representable; a double such as 9.5 or 1e300 is rejected.
std::optional<qint64> integerFrom(const QJsonValue& value) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double d = value.toDouble();
    constexpr double kLimit = 9007199254740992.0;  // 2^53: beyond it doubles skip integers
    if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > kLimit) {
        return std::nullopt;
    }
    return static_cast<qint64>(d);
}

std::optional<float> floatFrom(const QJsonValue& value) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max()) {
        return std::nullopt;
    }
    return static_cast<float>(d);
}

std::optional<bool> boolFrom(const QJsonValue& value) {
    if (!value.isBool()) {
        return std::nullopt;
    }
    return value.toBool();
}

std::optional<FocusProfile> decodeProfile(const QJsonValue& element) {
    if (!element.isObject()) {
        return std::nullopt;
    }
    const QJsonObject o = element.toObject();
    FocusProfile p;

    const QJsonValue id = o.value(QLatin1String("id"));
    const QJsonValue name = o.value(QLatin1String("name"));
    const QJsonValue days = o.value(QLatin1String("daysOfWeek"));
    if (!id.isString() || !name.isString() || !days.isArray()) {
        return std::nullopt;
    }
    // Canonical ids have no braces; QUuid would also accept "{...}", which the stored form never
    // has.
    // QUuid gives the null id both for text that does not parse and for the all-zero id, which
    // is a valid id that a profile may carry: only the former is an error.
    static const QString kNullIdText = QStringLiteral("00000000-0000-0000-0000-000000000000");
    const QString idText = id.toString();
    p.id = QUuid::fromString(idText);
    if (idText.size() != 36 || (p.id.isNull() && idText != kNullIdText)) {
        return std::nullopt;
    }
    p.name = name.toString();
    for (const QJsonValue& day : days.toArray()) {
        const auto d = integerFrom(day);
        if (!d) {
            return std::nullopt;
        }
        p.daysOfWeek.append(*d);
    }

    const auto startHour = integerFrom(o.value(QLatin1String("startHour")));
    const auto endHour = integerFrom(o.value(QLatin1String("endHour")));
    const auto tint = integerFrom(o.value(QLatin1String("dyslexiaTintColor")));
    const auto brightness = floatFrom(o.value(QLatin1String("screenBrightness")));
    const auto dimmer = boolFrom(o.value(QLatin1String("screenDimmerEnabled")));
    const auto focus = boolFrom(o.value(QLatin1String("focusModeEnabled")));
    const auto smart = boolFrom(o.value(QLatin1String("smartFocusEnabled")));
    const auto dyslexia = boolFrom(o.value(QLatin1String("dyslexiaAidsEnabled")));
    const auto spotlight = boolFrom(o.value(QLatin1String("cursorSpotlightEnabled")));
    if (!startHour || !endHour || !tint || !brightness || !dimmer || !focus || !smart ||
        !dyslexia || !spotlight) {
        return std::nullopt;
    }
    p.startHour = *startHour;
    p.endHour = *endHour;
    p.dyslexiaTintColor = *tint;
    p.screenBrightness = *brightness;
    p.screenDimmerEnabled = *dimmer;
    p.focusModeEnabled = *focus;
    p.smartFocusEnabled = *smart;
    p.dyslexiaAidsEnabled = *dyslexia;
    p.cursorSpotlightEnabled = *spotlight;
    return p;
}

}  // namespace

QString canonicalUuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::vector<FocusProfile> builtInFocusProfiles() {
    return {
        makeProfile("Work Hours", 9, 17, {2, 3, 4, 5, 6}, false, 0.0f, true, true, false, 0, false),
        makeProfile("Night Mode", 21, 6, {1, 2, 3, 4, 5, 6, 7}, true, -0.5f, false, false, true, 1,
                    false),
        makeProfile("Presentation", 0, 24, {1, 2, 3, 4, 5, 6, 7}, false, 0.2f, false, false, false,
                    0, true),
    };
}

std::optional<QByteArray> encodeFocusProfiles(const std::vector<FocusProfile>& profiles) {
    QJsonArray array;
    for (const FocusProfile& p : profiles) {
        if (!std::isfinite(p.screenBrightness)) {
            return std::nullopt;
        }
        QJsonArray days;
        for (qint64 day : p.daysOfWeek) {
            days.append(day);
        }
        QJsonObject o;
        o.insert(QLatin1String("id"), canonicalUuidText(p.id));
        o.insert(QLatin1String("name"), p.name);
        o.insert(QLatin1String("startHour"), p.startHour);
        o.insert(QLatin1String("endHour"), p.endHour);
        o.insert(QLatin1String("daysOfWeek"), days);
        o.insert(QLatin1String("screenDimmerEnabled"), p.screenDimmerEnabled);
        o.insert(QLatin1String("screenBrightness"), floatAsShortestDouble(p.screenBrightness));
        o.insert(QLatin1String("focusModeEnabled"), p.focusModeEnabled);
        o.insert(QLatin1String("smartFocusEnabled"), p.smartFocusEnabled);
        o.insert(QLatin1String("dyslexiaAidsEnabled"), p.dyslexiaAidsEnabled);
        o.insert(QLatin1String("dyslexiaTintColor"), p.dyslexiaTintColor);
        o.insert(QLatin1String("cursorSpotlightEnabled"), p.cursorSpotlightEnabled);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<std::vector<FocusProfile>> decodeFocusProfiles(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    std::vector<FocusProfile> profiles;
    const QJsonArray array = document.array();
    profiles.reserve(static_cast<std::size_t>(array.size()));
    for (const QJsonValue& element : array) {
        auto profile = decodeProfile(element);
        if (!profile) {
            return std::nullopt;
        }
        profiles.push_back(std::move(*profile));
    }
    return profiles;
}

}  // namespace glimmora
