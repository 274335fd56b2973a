#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace glimmora {

class AppState;

// The settings store's properties addressed by name, with their values as text: how tools and
// diagnostics take settings as NAME=VALUE, stored and not-stored properties alike.
//
// Text forms: switches "true" or "false" (exactly, lower case); Int properties decimal
// integers; Float properties decimal numbers ("0.5", "-0.8", "1e-3"), finite and within single
// precision; `activeProfileName` the text itself; `focusProfiles` the JSON array the saved
// settings hold. A number outside its setting's range is accepted and brought to the nearest
// end of the range, with one line logged, as loading does (see SettingsTable.h).

/// Every property name, in the store's declaration order.
QStringList settingNames();

/// Whether `name` is one of settingNames().
bool isSettingName(QStringView name);

/// Parses `value` for the property `name` and assigns it, within the setting's range, through
/// the property's setter (so observers see it). On an unknown name or an unparsable value returns
/// false, sets `error` to one line naming the problem and leaves the store untouched, without a
/// change notification.
bool setSettingFromText(AppState& settings, QStringView name, QStringView value, QString* error);

/// The checks of setSettingFromText() without a store: true when `value` would be accepted for
/// `name`; otherwise false with `error` set.
bool isValidSettingText(QStringView name, QStringView value, QString* error);

/// The property's current value in the text form above, which setSettingFromText() reads back
/// to the same value; nullopt for an unknown name. A profile list that has no JSON form (a
/// non-finite brightness) gives an empty text.
std::optional<QString> settingText(const AppState& settings, QStringView name);

}  // namespace glimmora
