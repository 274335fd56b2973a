#pragma once

#include <vector>

#include "menu/MenuItem.h"

namespace glimmora {

class AppState;

/// What the menu shows that the settings store does not hold.
struct MenuContext {
    /// Whether the login session starts Glimmora (the "Start at Login" tick).
    bool startsAtLogin = false;
    /// Whether the gaze tracker's calibrated mapping is in force (what "Reset Calibration"
    /// would undo).
    bool gazeCalibrated = false;
};

/// The whole menu, top to bottom, built from the settings' current values: every switch, every
/// option list with its tick, the focus profiles, About and Quit. A pure function: the menu holds
/// no state of its own and is built afresh after every burst of changes.
std::vector<MenuItem> buildMenu(const AppState& settings, const MenuContext& context);

}  // namespace glimmora
