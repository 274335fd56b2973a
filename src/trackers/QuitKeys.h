#pragma once

#include <array>

#include "core/KeyInput.h"

namespace glimmora {

/// The emergency quit combination: Escape with Control, Alt and Super held. It must always get
/// the user out, so extra modifiers (Shift, locks) never stop it.
inline constexpr ModifierMask kQuitModifiers = kControl | kAlt | kSuper;

/// What a key press seen by the application's own event filter asks for.
enum class LocalQuitKey {
    None,         ///< deliver the key as usual
    Combination,  ///< Control+Alt+Super+Escape: swallow the key and post a quit request
    BareEscape,   ///< Escape with no modifier while Glimmora has focus: swallow and quit at once
};

/// True for a key press anywhere on the desktop that must quit: Escape with at least
/// Control, Alt and Super held.
bool isGlobalQuitCombination(KeySymbol key, ModifierMask modifiers);

/// Classifies a key press that reaches Glimmora itself (for example while its menu is open).
/// The combination wins; otherwise Escape quits only when no modifier is held or engaged at
/// all, so Shift+Escape or Alt+Escape reach the menu as usual. An engaged CapsLock counts as a
/// modifier, so a bare Escape means exactly Escape and nothing else; NumLock does not, as an
/// engaged NumLock says nothing about what the user meant by Escape.
LocalQuitKey classifyLocalKey(KeySymbol key, ModifierMask modifiers);

/// True when classifyLocalKey() asks for any kind of quit.
bool isLocalQuitKey(KeySymbol key, ModifierMask modifiers);

/// The lock states a passive grab of the combination must be registered for, since X matches a
/// grab's modifiers exactly and an engaged lock would otherwise defeat it: none, CapsLock,
/// NumLock and both. Each is added to kQuitModifiers for one grab.
constexpr std::array<ModifierMask, 4> quitGrabLockVariants() {
    return {kNoModifiers, kCapsLock, kNumLock, kCapsLock | kNumLock};
}

}  // namespace glimmora
