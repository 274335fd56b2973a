#pragma once

#include <cstdint>

namespace glimmora {

/// A key's identity as an X keysym value, so the input layer can hand over what XKB reports
/// without this logic depending on X headers. For letters it is the symbol at the level chosen
/// by Shift alone (lower-case `f` without Shift), matching "characters ignoring modifiers".
using KeySymbol = std::uint32_t;

inline constexpr KeySymbol kKeyEscape = 0xff1b;
inline constexpr KeySymbol kKeyF = 0x66;  // lower-case f
inline constexpr KeySymbol kKeyG = 0x67;  // lower-case g

/// The modifiers held (or locks engaged) during one key press, as a bit set combined with `|`.
/// Our own bits rather than X's mask values: which ModN bit carries NumLock or Super depends on
/// the keyboard mapping, so the input layer translates once and the rules here stay fixed.
using ModifierMask = std::uint32_t;

inline constexpr ModifierMask kNoModifiers = 0;
inline constexpr ModifierMask kShift = 1u << 0;
inline constexpr ModifierMask kControl = 1u << 1;
inline constexpr ModifierMask kAlt = 1u << 2;    // Mod1 on nearly every keyboard map
inline constexpr ModifierMask kSuper = 1u << 3;  // the "Windows" key, usually Mod4
inline constexpr ModifierMask kCapsLock = 1u << 4;
inline constexpr ModifierMask kNumLock = 1u << 5;

/// True when every bit of `required` is set in `held`; further bits may be set too.
constexpr bool holdsAll(ModifierMask held, ModifierMask required) {
    return (held & required) == required;
}

}  // namespace glimmora
