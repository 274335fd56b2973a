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

/// A value unlike the one given that every load rule keeps (positive where the default is).
struct OtherThan {
    bool operator()(bool value) const { return !value; }
    float operator()(float value) const { return value + 0.25f; }
    qint64 operator()(qint64 value) const { return value + 2; }
    QString operator()(const QString& value) const { return value + QStringLiteral(" 2"); }
    std::vector<FocusProfile> operator()(std::vector<FocusProfile> profiles) const {
        profiles.pop_back();
        return profiles;
    }
};

/// Gives every setting of `state` a value other than the one it holds.
inline void changeEverySetting(AppState& state) {
    for (const SettingRow& row : settingsTable()) {
        std::visit([&state](auto member) { state.*member = OtherThan()((state.*member)()); },
                   row.member);
    }
}

}  // namespace glimmora::test
