#pragma once

#include <QMap>
#include <QRegularExpression>
#include <variant>

#include "settings/AppState.h"
#include "settings/SettingsByName.h"
#include "settings/SettingsTable.h"

namespace glimmora::test {

/// Every setting's text form by name; `withoutIds` drops the profile ids, which each fresh store
/// draws anew, so that two stores with default profiles compare equal.
inline QMap<QString, QString> settingTexts(const AppState& state, bool withoutIds = false) {
    static const QRegularExpression id(QStringLiteral(R"("id":"[^"]*",?)"));
    QMap<QString, QString> texts;
    for (const QString& name : settingNames()) {
        QString text = settingText(state, name).value_or(QStringLiteral("<unknown>"));
        texts.insert(name, withoutIds ? text.remove(id) : text);
    }
    return texts;
}

/// A value unlike the one given that every load rule keeps (positive where the default is) and
/// that lies within the setting's range.
struct OtherThan {
    const SettingRow& row;
    bool operator()(bool value) const { return !value; }
    float operator()(float value) const { return inRange(value, value + 0.25f); }
    qint64 operator()(qint64 value) const { return inRange(value, value + 2); }
    QString operator()(const QString& value) const { return value + QStringLiteral(" 2"); }
    std::vector<FocusProfile> operator()(std::vector<FocusProfile> profiles) const {
        profiles.pop_back();
        return profiles;
    }
    /// `other`, or halfway from `value` to the farther end of the range when it lies outside.
    template <typename Number>
    Number inRange(Number value, Number other) const {
        const auto lowest = static_cast<Number>(row.range->lowest);
        const auto highest = static_cast<Number>(row.range->highest);
        if (other >= lowest && other <= highest) {
            return other;
        }
        return value - lowest > highest - value ? (value + lowest) / 2 : (value + highest) / 2;
    }
};

/// Gives every setting of `state` a value other than the one it holds.
inline void changeEverySetting(AppState& state) {
    for (const SettingRow& row : settingsTable()) {
        std::visit(
            [&state, &row](auto member) { state.*member = OtherThan{row}((state.*member)()); },
            row.member);
    }
}

}  // namespace glimmora::test
