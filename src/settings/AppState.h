#pragma once

#include <QString>
#include <vector>

#include "core/Published.h"
#include "core/Signal.h"
#include "settings/FocusProfile.h"
#include "settings/SettingsTable.h"

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
/// loaded from the user defaults once at creation and written back by saveSettings(). The
/// properties, their defaults and how each is stored are listed once, in SettingsTable.h;
/// loading, saving and setting by name all walk that list.
///
/// Main thread only; no lock.
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
    // One Published<T> per row of GLIMMORA_SETTINGS (SettingsTable.h), in its order, each
    // starting at its default: isOverlayEnabled, readingRulerZoom, focusProfiles, ...
#define GLIMMORA_DECLARE_SETTING(name, Type, initial, rule, filePlace, range) \
    Published<Type> name{objectWillChange_, initial};
    GLIMMORA_SETTINGS(GLIMMORA_DECLARE_SETTING)
#undef GLIMMORA_DECLARE_SETTING
};

}  // namespace glimmora
