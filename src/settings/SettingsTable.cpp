#include "settings/SettingsTable.h"

#include <algorithm>

#include "settings/AppState.h"

namespace glimmora {

namespace {

#define GLIMMORA_SETTING_ROW(name, Type, initial, rule, filePlace) \
    SettingRow{#name, &AppState::name, LoadRule::rule, filePlace},
constexpr std::array kSettings{GLIMMORA_SETTINGS(GLIMMORA_SETTING_ROW)};
#undef GLIMMORA_SETTING_ROW

constexpr bool isStored(const SettingRow& row) {
    return row.rule != LoadRule::NotStored;
}

constexpr std::size_t kStoredCount =
    static_cast<std::size_t>(std::ranges::count_if(kSettings, isStored));

// A place outside 1 to kStoredCount stops the build here (out-of-range write in a constant
// expression); a place given twice leaves another one empty, which the check below catches.
constexpr std::array<const SettingRow*, kStoredCount> kFileOrder = [] {
    std::array<const SettingRow*, kStoredCount> order{};
    for (const SettingRow& row : kSettings) {
        if (isStored(row)) {
            order.at(static_cast<std::size_t>(row.filePlace - 1)) = &row;
        }
    }
    return order;
}();

static_assert(std::ranges::none_of(kFileOrder, [](const SettingRow* row) { return !row; }),
              "every stored setting needs its own place in the file order");
static_assert(std::ranges::all_of(kSettings,
                                  [](const SettingRow& row) {
                                      return isStored(row) == (row.filePlace != 0);
                                  }),
              "a setting that is not stored has place 0, every other one a place");

// Text and the profile list have no number to test: they load only when present.
constexpr bool ruleFitsType(const SettingRow& row) {
    const bool isNumber = row.member.index() <= 2;  // bool, float, qint64
    return isNumber || row.rule == LoadRule::IfPresent || row.rule == LoadRule::NotStored;
}
static_assert(std::ranges::all_of(kSettings, ruleFitsType),
              "text and profile settings load only when present");

}  // namespace

std::span<const SettingRow> settingsTable() {
    return kSettings;
}

std::span<const SettingRow* const> storedSettingsInFileOrder() {
    return kFileOrder;
}

}  // namespace glimmora
