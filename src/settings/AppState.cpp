#include "settings/AppState.h"

#include "settings/IniUserDefaults.h"
#include "settings/UserDefaults.h"

namespace glimmora {

namespace {

QString key(const char* name) {
    return QString::fromLatin1(name);
}

// Load rules. Each assigns through the property's setter, so observers see loaded values.
void loadAlways(const UserDefaults& d, Published<bool>& p, const char* name) {
    p = d.boolValue(key(name));
}
void loadAlways(const UserDefaults& d, Published<float>& p, const char* name) {
    p = d.floatValue(key(name));
}
void loadAlways(const UserDefaults& d, Published<qint64>& p, const char* name) {
    p = d.integerValue(key(name));
}
void loadIfPositive(const UserDefaults& d, Published<float>& p, const char* name) {
    if (const float v = d.floatValue(key(name)); v > 0) {
        p = v;
    }
}
void loadIfExists(const UserDefaults& d, Published<bool>& p, const char* name) {
    if (d.contains(key(name))) {
        p = d.boolValue(key(name));
    }
}

void save(UserDefaults& d, const Published<bool>& p, const char* name) {
    d.setBool(key(name), p());
}
void save(UserDefaults& d, const Published<float>& p, const char* name) {
    d.setFloat(key(name), p());
}
void save(UserDefaults& d, const Published<qint64>& p, const char* name) {
    d.setInteger(key(name), p());
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
    const UserDefaults& d = defaults_;
    // Without this key nothing was ever saved: a first launch keeps every default.
    if (!d.contains(key("isOverlayEnabled"))) {
        return;
    }
    loadAlways(d, isOverlayEnabled, "isOverlayEnabled");
    loadAlways(d, isRetroEffectEnabled, "isRetroEffectEnabled");
    loadAlways(d, isScanLinesEnabled, "isScanLinesEnabled");
    loadAlways(d, isRGBShiftEnabled, "isRGBShiftEnabled");
    loadAlways(d, isNoiseEnabled, "isNoiseEnabled");
    loadAlways(d, isFlickerEnabled, "isFlickerEnabled");
    loadAlways(d, overlayOpacity, "overlayOpacity");
    if (overlayOpacity() == 0) {
        overlayOpacity = 1.0f;  // an invisible overlay is never what the user meant
    }
    loadAlways(d, isReadingRulerEnabled, "isReadingRulerEnabled");
    loadIfPositive(d, readingRulerZoom, "readingRulerZoom");
    loadIfPositive(d, readingRulerHeight, "readingRulerHeight");
    loadAlways(d, isSmartFocusEnabled, "isSmartFocusEnabled");
    loadIfPositive(d, smartFocusBlurStrength, "smartFocusBlurStrength");
    loadAlways(d, smartFocusEffectMode, "smartFocusEffectMode");
    loadIfPositive(d, smartFocusFadeWidth, "smartFocusFadeWidth");
    loadAlways(d, isScreenDimmerEnabled, "isScreenDimmerEnabled");
    loadAlways(d, screenBrightness, "screenBrightness");
    loadAlways(d, isColorBlindFilterEnabled, "isColorBlindFilterEnabled");
    loadAlways(d, colorBlindFilterType, "colorBlindFilterType");
    loadIfPositive(d, colorBlindFilterIntensity, "colorBlindFilterIntensity");
    loadAlways(d, isCursorSpotlightEnabled, "isCursorSpotlightEnabled");
    loadIfPositive(d, cursorSpotlightRadius, "cursorSpotlightRadius");
    loadIfPositive(d, cursorSpotlightDimAmount, "cursorSpotlightDimAmount");
    loadAlways(d, cursorSpotlightEffectMode, "cursorSpotlightEffectMode");
    // 0 is the "None" border, a real choice.
    if (const float v = d.floatValue(key("cursorSpotlightBorderWidth")); v >= 0) {
        cursorSpotlightBorderWidth = v;
    }
    loadAlways(d, isDyslexiaAidsEnabled, "isDyslexiaAidsEnabled");
    loadAlways(d, dyslexiaTintColor, "dyslexiaTintColor");
    if (dyslexiaTintColor() == 0) {
        dyslexiaTintColor = 1;  // 0 names no colour
    }
    loadIfPositive(d, dyslexiaTintStrength, "dyslexiaTintStrength");
    loadAlways(d, dyslexiaLineGuide, "dyslexiaLineGuide");
    loadAlways(d, isScheduledProfilesEnabled, "isScheduledProfilesEnabled");
    if (auto name = d.stringValue(key("activeProfileName"))) {
        activeProfileName = *name;
    }
    if (auto data = d.dataValue(key("focusProfiles"))) {
        // Undecodable data leaves the built-in profiles, silently.
        if (auto profiles = decodeFocusProfiles(*data)) {
            focusProfiles = std::move(*profiles);
        }
    }
    loadAlways(d, isBreathPacerEnabled, "isBreathPacerEnabled");
    if (const qint64 v = d.integerValue(key("breathPacerStyle")); v >= 1) {
        breathPacerStyle = v;
    }
    loadIfPositive(d, breathPacerIntensity, "breathPacerIntensity");
    loadIfPositive(d, breathsPerMinute, "breathsPerMinute");
    loadAlways(d, focusModeEffect, "focusModeEffect");
    loadIfPositive(d, focusModeGlitchAmount, "focusModeGlitchAmount");
    loadIfPositive(d, focusModeDimAmount, "focusModeDimAmount");
    loadIfPositive(d, focusModeDesatAmount, "focusModeDesatAmount");
    loadIfPositive(d, focusModeHeight, "focusModeHeight");
    // Settings saved before these two switches existed must not turn them off.
    loadIfExists(d, focusFollowsCursor, "focusFollowsCursor");
    loadIfExists(d, rulerFollowsCursor, "rulerFollowsCursor");
}

bool AppState::saveSettings() {
    UserDefaults& d = defaults_;
    save(d, isOverlayEnabled, "isOverlayEnabled");
    save(d, isRetroEffectEnabled, "isRetroEffectEnabled");
    save(d, isScanLinesEnabled, "isScanLinesEnabled");
    save(d, isRGBShiftEnabled, "isRGBShiftEnabled");
    save(d, isNoiseEnabled, "isNoiseEnabled");
    save(d, isFlickerEnabled, "isFlickerEnabled");
    save(d, overlayOpacity, "overlayOpacity");
    save(d, isReadingRulerEnabled, "isReadingRulerEnabled");
    save(d, readingRulerZoom, "readingRulerZoom");
    save(d, readingRulerHeight, "readingRulerHeight");
    save(d, isSmartFocusEnabled, "isSmartFocusEnabled");
    save(d, smartFocusBlurStrength, "smartFocusBlurStrength");
    save(d, smartFocusEffectMode, "smartFocusEffectMode");
    save(d, smartFocusFadeWidth, "smartFocusFadeWidth");
    save(d, isScreenDimmerEnabled, "isScreenDimmerEnabled");
    save(d, screenBrightness, "screenBrightness");
    save(d, isColorBlindFilterEnabled, "isColorBlindFilterEnabled");
    save(d, colorBlindFilterType, "colorBlindFilterType");
    save(d, colorBlindFilterIntensity, "colorBlindFilterIntensity");
    save(d, isCursorSpotlightEnabled, "isCursorSpotlightEnabled");
    save(d, cursorSpotlightRadius, "cursorSpotlightRadius");
    save(d, cursorSpotlightDimAmount, "cursorSpotlightDimAmount");
    save(d, cursorSpotlightEffectMode, "cursorSpotlightEffectMode");
    save(d, cursorSpotlightBorderWidth, "cursorSpotlightBorderWidth");
    save(d, isDyslexiaAidsEnabled, "isDyslexiaAidsEnabled");
    save(d, dyslexiaTintColor, "dyslexiaTintColor");
    save(d, dyslexiaTintStrength, "dyslexiaTintStrength");
    save(d, dyslexiaLineGuide, "dyslexiaLineGuide");
    save(d, isScheduledProfilesEnabled, "isScheduledProfilesEnabled");
    d.setString(key("activeProfileName"), activeProfileName());
    // A list that cannot be encoded leaves the stored one as it was; the rest is still saved.
    if (auto data = encodeFocusProfiles(focusProfiles())) {
        d.setData(key("focusProfiles"), *data);
    }
    save(d, isBreathPacerEnabled, "isBreathPacerEnabled");
    save(d, breathPacerStyle, "breathPacerStyle");
    save(d, breathPacerIntensity, "breathPacerIntensity");
    save(d, breathsPerMinute, "breathsPerMinute");
    save(d, focusModeEffect, "focusModeEffect");
    save(d, focusModeGlitchAmount, "focusModeGlitchAmount");
    save(d, focusModeDimAmount, "focusModeDimAmount");
    save(d, focusModeDesatAmount, "focusModeDesatAmount");
    save(d, focusModeHeight, "focusModeHeight");
    save(d, focusFollowsCursor, "focusFollowsCursor");
    save(d, rulerFollowsCursor, "rulerFollowsCursor");
    return d.sync();
}

void AppState::applyProfile(const FocusProfile& profile) {
    activeProfileName = profile.name;
    isScreenDimmerEnabled = profile.screenDimmerEnabled;
    screenBrightness = profile.screenBrightness;
    isFocusEnabled = profile.focusModeEnabled;
    isSmartFocusEnabled = profile.smartFocusEnabled;
    isDyslexiaAidsEnabled = profile.dyslexiaAidsEnabled;
    dyslexiaTintColor = profile.dyslexiaTintColor;
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
