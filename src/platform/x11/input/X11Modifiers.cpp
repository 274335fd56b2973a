#include "platform/x11/input/X11Modifiers.h"

#include <xcb/xproto.h>

#include <array>
#include <utility>

namespace glimmora {
namespace {

// The modifiers whose X bit does not depend on the keyboard mapping.
constexpr std::array<std::pair<ModifierMask, std::uint16_t>, 5> kFixedBits{{
    {kShift, XCB_MOD_MASK_SHIFT},
    {kControl, XCB_MOD_MASK_CONTROL},
    {kAlt, XCB_MOD_MASK_1},
    {kSuper, XCB_MOD_MASK_4},
    {kCapsLock, XCB_MOD_MASK_LOCK},
}};

}  // namespace

std::uint16_t toXModifiers(ModifierMask modifiers, std::uint16_t numLockMask) {
    std::uint16_t state = 0;
    for (const auto& [ours, x] : kFixedBits) {
        if ((modifiers & ours) != 0) {
            state |= x;
        }
    }
    if ((modifiers & kNumLock) != 0) {
        state |= numLockMask;
    }
    return state;
}

ModifierMask fromXModifiers(std::uint16_t state, std::uint16_t numLockMask) {
    ModifierMask modifiers = kNoModifiers;
    for (const auto& [ours, x] : kFixedBits) {
        if ((state & x) != 0) {
            modifiers |= ours;
        }
    }
    if (numLockMask != 0 && (state & numLockMask) != 0) {
        modifiers |= kNumLock;
    }
    return modifiers;
}

}  // namespace glimmora
