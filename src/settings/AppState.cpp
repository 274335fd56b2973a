#include "settings/AppState.h"

#include "settings/IniUserDefaults.h"
#include "settings/UserDefaults.h"

namespace glimmora {

namespace {

// Without this key nothing was ever saved: a first launch keeps every default.
const QString kSavedBeforeKey = QStringLiteral("isOverlayEnabled");

// Typed reads of the numbers; each gives false or 0 for a missing key or a wrong type.
bool read(const UserDefaults& d, const QString& key, bool*) {
    return d.boolValue(key);
}
float read(const UserDefaults& d, const QString& key, float*) {
    return d.floatValue(key);
}
qint64 read(const UserDefaults& d, const QString& key, qint64*) {
    return d.integerValue(key);
}

// Whether `rule` keeps a number read from the file; otherwise the default stays.
bool accepts(LoadRule rule, double value) {
    switch (rule) {
        case LoadRule::IfPositive:
            return value > 0;
        case LoadRule::IfNotNegative:
            return value >= 0;
        case LoadRule::IfAtLeastOne:
            return value >= 1;
        default:
            return true;
    }
}

// Each load assigns through the property's setter, so observers see loaded values; whatever
// the file says, the value assigned is within the setting's range.
template <typename Number>
void load(const UserDefaults& d, const SettingRow& row, Published<Number>& property) {
    const QString key = QString::fromLatin1(row.name);
    if (row.rule == LoadRule::NotStored || (row.rule == LoadRule::IfPresent && !d.contains(key))) {
        return;
    }
    Number value = read(d, key, static_cast<Number*>(nullptr));
    if (!accepts(row.rule, static_cast<double>(value))) {
        return;
    }
    if (row.rule == LoadRule::ZeroMeansOne && value == Number(0)) {
        value = Number(1);
    }
    property = withinRange(row, value);
}

// Text and the profile list load only when present (the table checks their rule).
void load(const UserDefaults& d, const SettingRow& row, Published<QString>& property) {
    if (auto text = d.stringValue(QString::fromLatin1(row.name))) {
        property = *text;
    }
}
void load(const UserDefaults& d, const SettingRow& row,
          Published<std::vector<FocusProfile>>& property) {
    if (auto data = d.dataValue(QString::fromLatin1(row.name))) {
        // Undecodable data leaves the built-in profiles, silently.
        if (auto profiles = decodeFocusProfiles(*data)) {
            property = withinRange(row, std::move(*profiles));
        }
    }
}

void save(UserDefaults& d, const QString& key, bool value) {
    d.setBool(key, value);
}
void save(UserDefaults& d, const QString& key, float value) {
    d.setFloat(key, value);
}
void save(UserDefaults& d, const QString& key, qint64 value) {
    d.setInteger(key, value);
}
void save(UserDefaults& d, const QString& key, const QString& value) {
    d.setString(key, value);
}
void save(UserDefaults& d, const QString& key, const std::vector<FocusProfile>& value) {
    // A list that cannot be encoded leaves the stored one as it was; the rest is still saved.
    if (auto data = encodeFocusProfiles(value)) {
        d.setData(key, *data);
    }
}

}  // namespace

AppState::AppState(UserDefaults& defaults) : defaults_(defaults) {
    loadSettings();
}

AppState& AppState::shared() {
    // Never destroyed: components keep references to it until the process exits.
    static AppState* const instance =
        new AppState(*new IniUserDefaults(IniUserDefaults::defaultFilePath()));
    return *instance;
}

void AppState::loadSettings() {
    if (!defaults_.contains(kSavedBeforeKey)) {
        return;
    }
    for (const SettingRow* row : storedSettingsInFileOrder()) {
        std::visit([&](auto member) { load(defaults_, *row, this->*member); }, row->member);
    }
}

bool AppState::saveSettings() {
    for (const SettingRow* row : storedSettingsInFileOrder()) {
        const QString key = QString::fromLatin1(row->name);
        std::visit([&](auto member) { save(defaults_, key, (this->*member)()); }, row->member);
    }
    return defaults_.sync();
}

void AppState::applyProfile(const FocusProfile& profile) {
    // A profile made in memory need not have come through loading: its numbers are kept in
    // range here too.
    static const SettingRow& brightness = *findSetting("screenBrightness");
    static const SettingRow& tint = *findSetting("dyslexiaTintColor");
    activeProfileName = profile.name;
    isScreenDimmerEnabled = profile.screenDimmerEnabled;
    screenBrightness = withinRange(brightness, profile.screenBrightness);
    isFocusEnabled = profile.focusModeEnabled;
    isSmartFocusEnabled = profile.smartFocusEnabled;
    isDyslexiaAidsEnabled = profile.dyslexiaAidsEnabled;
    dyslexiaTintColor = withinRange(tint, profile.dyslexiaTintColor);
    isCursorSpotlightEnabled = profile.cursorSpotlightEnabled;
}

RetroEffectParameters AppState::retroEffectParameters() const {
    return RetroEffectParameters{
        isScanLinesEnabled() ? scanLineIntensity() : 0.0f,
        isRGBShiftEnabled() ? rgbShiftAmount() : 0.0f,
        isNoiseEnabled() ? noiseAmount() : 0.0f,
        isFlickerEnabled() ? flickerIntensity() : 0.0f,
        overlayOpacity(),
    };
}

}  // namespace glimmora
