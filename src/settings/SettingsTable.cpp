#include "settings/SettingsTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>

#include "core/Log.h"
#include "settings/AppState.h"

namespace glimmora {

namespace {

#define GLIMMORA_SETTING_ROW(name, Type, initial, rule, filePlace, range) \
    SettingRow{#name, &AppState::name, LoadRule::rule, filePlace, range},
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

// Floats and Ints have a range, nothing else has one.
constexpr bool rangeFitsType(const SettingRow& row) {
    const bool isNumber = row.member.index() == 1 || row.member.index() == 2;  // float, qint64
    return isNumber == row.range.has_value() &&
           (!row.range || row.range->lowest <= row.range->highest);
}
static_assert(std::ranges::all_of(kSettings, rangeFitsType),
              "every Float and Int setting, and only those, has a range from low to high");

std::string numberText(float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string numberText(qint64 value) {
    return std::to_string(value);
}

/// `value` within [lowest, highest], compared in the setting's own type so that a bound such as
/// 0.8 holds the float 0.8f exactly. Not a number becomes the value nearest 0.
template <typename Number>
Number nearestWithin(const NumberRange& range, Number value) {
    const auto lowest = static_cast<Number>(range.lowest);
    const auto highest = static_cast<Number>(range.highest);
    if constexpr (std::is_floating_point_v<Number>) {
        if (std::isnan(value)) {
            return std::clamp(Number(0), lowest, highest);
        }
    }
    return std::clamp(value, lowest, highest);
}

template <typename Number>
Number clampNumber(const SettingRow& row, Number value, std::string_view what) {
    if (!row.range) {
        return value;
    }
    const Number used = nearestWithin(*row.range, value);
    // Compared bit for bit so that a NaN, which equals nothing, is reported too.
    if (std::memcmp(&used, &value, sizeof used) != 0) {
        logLine("Settings: " + std::string(what) + " " + numberText(value) +
                " is out of range; using " + numberText(used));
    }
    return used;
}

const SettingRow& rowNamed(std::string_view name) {
    // The names below are rows of the table; a typo fails every test that loads a profile.
    return *findSetting(name);
}

}  // namespace

std::span<const SettingRow> settingsTable() {
    return kSettings;
}

std::span<const SettingRow* const> storedSettingsInFileOrder() {
    return kFileOrder;
}

const SettingRow* findSetting(std::string_view name) {
    const auto it = std::ranges::find_if(
        kSettings, [name](const SettingRow& row) { return name == std::string_view(row.name); });
    return it == kSettings.end() ? nullptr : &*it;
}

float withinRange(const SettingRow& row, float value) {
    return clampNumber(row, value, row.name);
}

qint64 withinRange(const SettingRow& row, qint64 value) {
    return clampNumber(row, value, row.name);
}

bool withinRange(const SettingRow&, bool value) {
    return value;
}

QString withinRange(const SettingRow&, QString value) {
    return value;
}

std::vector<FocusProfile> withinRange(const SettingRow& row, std::vector<FocusProfile> value) {
    static const SettingRow& brightness = rowNamed("screenBrightness");
    static const SettingRow& tint = rowNamed("dyslexiaTintColor");
    for (FocusProfile& profile : value) {
        const std::string prefix =
            std::string(row.name) + " \"" + profile.name.toStdString() + "\" ";
        profile.screenBrightness =
            clampNumber(brightness, profile.screenBrightness, prefix + brightness.name);
        profile.dyslexiaTintColor =
            clampNumber(tint, profile.dyslexiaTintColor, prefix + tint.name);
    }
    return value;
}

}  // namespace glimmora
