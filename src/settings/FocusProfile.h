#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>
#include <vector>

namespace glimmora {

/// A named bundle of feature switches with the hours and weekdays in which it applies.
struct FocusProfile {
    QUuid id;
    QString name;
    qint64 startHour = 0;      // first hour of the window, 0 to 23, inclusive
    qint64 endHour = 0;        // 0 to 24, exclusive; below startHour the window runs past midnight
    QList<qint64> daysOfWeek;  // 1 = Sunday, 2 = Monday, ... 7 = Saturday
    bool screenDimmerEnabled = false;
    float screenBrightness = 0;  // signed brightness offset
    bool focusModeEnabled = false;
    bool smartFocusEnabled = false;
    bool dyslexiaAidsEnabled = false;
    qint64 dyslexiaTintColor = 0;  // 0 means no colour chosen
    bool cursorSpotlightEnabled = false;

    bool operator==(const FocusProfile&) const = default;
};

/// "Work Hours", "Night Mode" and "Presentation", each with a freshly generated id.
std::vector<FocusProfile> builtInFocusProfiles();

/// The stored form: one compact JSON array of objects with twelve keys each.
/// Fails (nullopt) only when a value has no JSON form: a non-finite brightness.
std::optional<QByteArray> encodeFocusProfiles(const std::vector<FocusProfile>& profiles);

/// Accepts what encodeFocusProfiles writes; unknown keys are ignored. A missing key, a value of
/// the wrong type or anything that is not such an array rejects the whole list (nullopt).
std::optional<std::vector<FocusProfile>> decodeFocusProfiles(const QByteArray& json);

/// The canonical text of an id: 36 characters, upper-case, no braces.
QString canonicalUuidText(const QUuid& id);

}  // namespace glimmora
