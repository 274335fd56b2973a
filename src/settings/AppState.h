#pragma once

#include <QString>
#include <vector>

#include "core/Published.h"
#include "core/Signal.h"
#include "settings/FocusProfile.h"

namespace glimmora {

class UserDefaults;

/// The four retro amounts and the overlay opacity as the renderer consumes them.
struct RetroEffectParameters {
    float scanLines = 0;
    float rgbShift = 0;
    float noise = 0;
    float flicker = 0;
    float opacity = 1;
    bool operator==(const RetroEffectParameters&) const = default;
};

/// The settings store: every feature switch and effect parameter as an observable property,
/// loaded from the user defaults once at creation and written back by saveSettings().
///
/// Main thread only; no lock. Sizes are fractions of the primary monitor (0 to 1); amounts are
/// unitless factors; enumerated Ints take the values of the option lists in OptionLists.h.
class AppState {
public:
    /// Builds a store on `defaults` and loads it. `defaults` must outlive the store.
    explicit AppState(UserDefaults& defaults);
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    /// The process-wide store over the user's settings file, created (and loaded) on first use.
    static AppState& shared();

    /// Emitted before any property changes; no payload.
    Signal<>& objectWillChange() { return objectWillChange_; }

    void loadSettings();
    /// Writes every stored property. Returns false when the defaults could not be written out.
    bool saveSettings();
    /// Copies a profile's switches into the store; does not save.
    void applyProfile(const FocusProfile& profile);
    RetroEffectParameters retroEffectParameters() const;

private:
    Signal<> objectWillChange_;  // declared first: every property below refers to it
    UserDefaults& defaults_;

public:
    // Declaration order is part of the design: it is the order of the settings table.
    Published<bool> isOverlayEnabled{objectWillChange_, true};
    Published<bool> isRetroEffectEnabled{objectWillChange_, false};
    Published<bool> isScanLinesEnabled{objectWillChange_, false};
    Published<bool> isRGBShiftEnabled{objectWillChange_, false};
    Published<bool> isNoiseEnabled{objectWillChange_, false};
    Published<bool> isFlickerEnabled{objectWillChange_, false};
    Published<bool> isFocusEnabled{objectWillChange_, false};      // not stored
    Published<bool> isExplosionEnabled{objectWillChange_, false};  // not stored
    Published<bool> focusFollowsCursor{objectWillChange_, true};
    Published<bool> isReadingRulerEnabled{objectWillChange_, false};
    Published<float> readingRulerZoom{objectWillChange_, 1.5f};  // magnification factor
    Published<float> readingRulerHeight{objectWillChange_, 0.06f};
    Published<bool> rulerFollowsCursor{objectWillChange_, true};
    Published<bool> isGazeTrackingEnabled{objectWillChange_, false};  // not stored
    Published<bool> isSmartFocusEnabled{objectWillChange_, false};
    Published<float> smartFocusBlurStrength{objectWillChange_, 0.6f};
    Published<float> smartFocusFadeWidth{objectWillChange_, 0.02f};
    Published<qint64> smartFocusEffectMode{objectWillChange_, 0};
    Published<bool> isHiddenFromScreenSharing{objectWillChange_, false};  // not stored
    Published<bool> isScreenDimmerEnabled{objectWillChange_, false};
    Published<float> screenBrightness{objectWillChange_, 0.0f};  // signed offset, 0 = unchanged
    Published<bool> isColorBlindFilterEnabled{objectWillChange_, false};
    Published<qint64> colorBlindFilterType{objectWillChange_, 0};
    Published<float> colorBlindFilterIntensity{objectWillChange_, 0.8f};
    Published<bool> isCursorSpotlightEnabled{objectWillChange_, false};
    Published<float> cursorSpotlightRadius{objectWillChange_, 0.15f};
    Published<float> cursorSpotlightDimAmount{objectWillChange_, 0.7f};
    Published<float> cursorSpotlightBorderWidth{objectWillChange_, 0.005f};
    Published<qint64> cursorSpotlightEffectMode{objectWillChange_, 0};
    Published<bool> isDyslexiaAidsEnabled{objectWillChange_, false};
    Published<qint64> dyslexiaTintColor{objectWillChange_, 1};
    Published<float> dyslexiaTintStrength{objectWillChange_, 0.3f};
    Published<bool> dyslexiaLineGuide{objectWillChange_, false};
    Published<bool> isScheduledProfilesEnabled{objectWillChange_, false};
    Published<QString> activeProfileName{objectWillChange_, QStringLiteral("Default")};
    Published<std::vector<FocusProfile>> focusProfiles{objectWillChange_, builtInFocusProfiles()};
    Published<bool> isBreathPacerEnabled{objectWillChange_, false};
    Published<qint64> breathPacerStyle{objectWillChange_, 1};
    Published<float> breathPacerIntensity{objectWillChange_, 0.7f};
    Published<float> breathsPerMinute{objectWillChange_, 6.0f};
    Published<qint64> focusModeEffect{objectWillChange_, 0};
    Published<float> focusModeGlitchAmount{objectWillChange_, 0.6f};
    Published<float> focusModeDimAmount{objectWillChange_, 0.7f};
    Published<float> focusModeDesatAmount{objectWillChange_, 0.8f};
    Published<float> focusModeHeight{objectWillChange_, 0.12f};
    Published<float> scanLineIntensity{objectWillChange_, 0.2f};  // not stored
    Published<float> rgbShiftAmount{objectWillChange_, 0.0015f};  // not stored
    Published<float> noiseAmount{objectWillChange_, 0.05f};       // not stored
    Published<float> flickerIntensity{objectWillChange_, 0.02f};  // not stored
    Published<float> overlayOpacity{objectWillChange_, 1.0f};
};

}  // namespace glimmora
