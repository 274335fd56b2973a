#include "platform/x11/input/X11KeyboardMapping.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace glimmora {
namespace {

constexpr KeySymbol kNumLockSymbol = 0xff7f;
constexpr int kModifierCount = 8;

template <typename T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;

}  // namespace

X11KeyboardMapping::X11KeyboardMapping(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    // Both requests go out before either answer is awaited.
    const xcb_get_keyboard_mapping_cookie_t keysCookie =
        xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<std::uint8_t>(count));
    const xcb_get_modifier_mapping_cookie_t modifiersCookie = xcb_get_modifier_mapping(connection);
    XReply<xcb_get_keyboard_mapping_reply_t> keys(
        xcb_get_keyboard_mapping_reply(connection, keysCookie, nullptr), &std::free);
    XReply<xcb_get_modifier_mapping_reply_t> modifiers(
        xcb_get_modifier_mapping_reply(connection, modifiersCookie, nullptr), &std::free);
    if (!keys) {
        return;
    }
    minKeyCode_ = setup->min_keycode;
    symbolsPerCode_ = keys->keysyms_per_keycode;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(keys.get());
    symbols_.assign(symbols, symbols + xcb_get_keyboard_mapping_keysyms_length(keys.get()));
    if (!modifiers) {
        return;
    }
    const std::vector<xcb_keycode_t> numLockKeys = keyCodesFor(kNumLockSymbol, true);
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int perModifier = modifiers->keycodes_per_modifier;
    for (int modifier = 0; modifier < kModifierCount && numLockMask_ == 0; ++modifier) {
        for (int slot = 0; slot < perModifier; ++slot) {
            const xcb_keycode_t code = codes[modifier * perModifier + slot];
            if (code != 0 && std::ranges::find(numLockKeys, code) != numLockKeys.end()) {
                numLockMask_ = static_cast<std::uint16_t>(1u << modifier);
                break;
            }
        }
    }
}

KeySymbol X11KeyboardMapping::unshiftedSymbol(xcb_keycode_t code) const {
    const std::size_t index =
        static_cast<std::size_t>(code - minKeyCode_) * static_cast<std::size_t>(symbolsPerCode_);
    if (code < minKeyCode_ || symbolsPerCode_ == 0 || index >= symbols_.size()) {
        return 0;
    }
    return symbols_[index];
}

std::vector<xcb_keycode_t> X11KeyboardMapping::keyCodesFor(KeySymbol symbol, bool anyLevel) const {
    std::vector<xcb_keycode_t> codes;
    if (symbolsPerCode_ == 0) {
        return codes;
    }
    const int levels = anyLevel ? symbolsPerCode_ : 1;
    const std::size_t count = symbols_.size() / static_cast<std::size_t>(symbolsPerCode_);
    for (std::size_t index = 0; index < count; ++index) {
        for (int level = 0; level < levels; ++level) {
            if (symbols_[index * static_cast<std::size_t>(symbolsPerCode_) +
                         static_cast<std::size_t>(level)] == symbol) {
                codes.push_back(static_cast<xcb_keycode_t>(minKeyCode_ + index));
                break;
            }
        }
    }
    return codes;
}

}  // namespace glimmora
