#pragma once

#include <cstdint>

#include "core/KeyInput.h"

namespace glimmora {

/// Translation between our modifier bits and an X key event's state field. Control, Shift and
/// CapsLock have fixed X bits; Alt is Mod1 and Super is Mod4 as on every common layout; NumLock
/// sits on whichever ModN bit the keyboard's modifier mapping gives it, passed as
/// `numLockMask` (0 when no key is NumLock, and then it is never reported or requested).

/// The X modifier mask for `modifiers`.
std::uint16_t toXModifiers(ModifierMask modifiers, std::uint16_t numLockMask);

/// Our modifier bits for an X key event's `state`; pointer buttons and unknown ModN bits are
/// left out.
ModifierMask fromXModifiers(std::uint16_t state, std::uint16_t numLockMask);

}  // namespace glimmora
