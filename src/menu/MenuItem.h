#pragma once

#include <QString>
#include <QtGlobal>
#include <vector>

namespace glimmora {

/// What choosing a menu item does: one command per action of the menu. Switches invert one
/// setting; option commands write the value their item's tag carries; the rest act on the
/// windows, the profile scheduler, the login session or the application.
enum class MenuCommand {
    none,  ///< separators, section headers and submenu titles do nothing
    toggleOverlay,
    toggleHideFromScreenSharing,
    toggleScanLines,
    toggleRGBShift,
    toggleNoise,
    toggleFlicker,
    setScanLineIntensity,
    setRGBShiftAmount,
    setNoiseAmount,
    setFlickerIntensity,
    toggleFocus,
    setFocusModeEffect,
    setFocusModeIntensity,
    setFocusModeHeight,
    toggleFocusFollowsCursor,
    toggleReadingRuler,
    setRulerZoom,
    setRulerHeight,
    toggleRulerFollowsCursor,
    toggleSmartFocus,
    setSmartFocusEffectMode,
    setSmartFocusBlur,
    setSmartFocusFade,
    toggleScreenDimmer,
    setScreenBrightness,
    toggleColorBlindFilter,
    setColorBlindFilterType,
    setColorBlindIntensity,
    toggleCursorSpotlight,
    setSpotlightEffectMode,
    setSpotlightRadius,
    setSpotlightDim,
    setSpotlightBorder,
    toggleDyslexiaAids,
    setDyslexiaTint,
    setDyslexiaTintStrength,
    toggleDyslexiaLineGuide,
    toggleScheduledProfiles,
    applyProfile,
    toggleBreathPacer,
    setBreathPacerStyle,
    setBreathPacerIntensity,
    setBreathsPerMinute,
    toggleExplosions,
    toggleGazeTracking,
    calibrateGaze,
    resetGazeCalibration,
    setOpacity,
    toggleStartAtLogin,
    showAbout,
    quitApp,
};

/// How an item shows in the menu.
enum class MenuItemKind {
    command,    ///< a plain item that acts when chosen (About, Quit)
    toggle,     ///< an item that acts when chosen and shows a tick while its state is on
    header,     ///< a section title: shown disabled, does nothing
    separator,  ///< a line between groups
    submenu,    ///< opens `children`; does nothing itself
};

/// One item of the menu model: everything the toolkit needs to draw it and everything an
/// action needs to run it, so the model can be tested without any toolkit. A plain value.
struct MenuItem {
    MenuItemKind kind = MenuItemKind::separator;
    QString title;
    MenuCommand command = MenuCommand::none;
    /// Option items: the option's value in tag form (see OptionLists.h). 0 elsewhere.
    qint64 tag = 0;
    /// Profile items: the profile's id in canonical text, the item's represented object.
    QString profileId;
    bool ticked = false;
    bool enabled = true;
    /// The key equivalent shown beside the title, in Linux names ("Ctrl+E", "Alt+F").
    QString keyHint;
    std::vector<MenuItem> children;

    bool operator==(const MenuItem&) const = default;
};

}  // namespace glimmora
