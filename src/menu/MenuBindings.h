#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <string_view>
#include <variant>
#include <vector>

#include "menu/MenuItem.h"
#include "settings/OptionLists.h"

namespace glimmora {

class AppState;

// Which setting each menu command reads and writes, said once for the menu builder and the
// actions alike. Settings are addressed by name through the settings-by-name table, so the
// menu depends on the store's names and text forms only.

/// The amounts of the four retro effects, which only the menu offers: each a ladder of half,
/// normal (the default) and double strength. Not saved, like the amounts themselves.
enum class RetroAmountList { scanLines, rgbShift, noise, flicker };

/// The option list an option command offers.
using OptionList = std::variant<EnumList, LevelList, RetroAmountList>;

/// An option command: the list its items come from and the setting that ticks them and that
/// choosing one writes. `alsoWritten` get the same value, after `setting`, in this order.
struct OptionBinding {
    MenuCommand command;
    OptionList list;
    const char* setting;
    std::array<const char*, 2> alsoWritten{};
};

/// One item of an option list: its title and the tag that carries its value.
struct OptionChoice {
    QString title;
    qint64 tag = 0;
};

/// The setting a switch command inverts and its item is ticked by; nullptr for other commands.
const char* switchSetting(MenuCommand command);

/// The binding of an option command; nullptr for other commands.
const OptionBinding* optionBinding(MenuCommand command);

/// The items of an option list in menu order.
std::vector<OptionChoice> optionChoices(const OptionList& list);

/// Whether the item carrying `tag` is ticked by the setting's current value: an exact match for
/// enumerations, within the list's tolerance for levels.
bool isOptionTicked(const OptionBinding& binding, const AppState& settings, qint64 tag);

/// Writes the value that `tag` carries to the binding's settings, in order.
void writeOption(const OptionBinding& binding, AppState& settings, qint64 tag);

/// A switch setting's value (false for a name the store does not know).
bool readSwitch(const AppState& settings, std::string_view name);
/// Sets a switch setting.
void writeSwitch(AppState& settings, std::string_view name, bool value);
/// An Int setting's value (0 for a name the store does not know).
qint64 readInteger(const AppState& settings, std::string_view name);
/// Sets an Int setting.
void writeInteger(AppState& settings, std::string_view name, qint64 value);

}  // namespace glimmora
