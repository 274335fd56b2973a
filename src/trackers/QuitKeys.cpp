#include "trackers/QuitKeys.h"

namespace glimmora {

namespace {
constexpr ModifierMask kBlocksBareEscape = kShift | kControl | kAlt | kSuper | kCapsLock;
}  // namespace

bool isGlobalQuitCombination(KeySymbol key, ModifierMask modifiers) {
    return key == kKeyEscape && holdsAll(modifiers, kQuitModifiers);
}

LocalQuitKey classifyLocalKey(KeySymbol key, ModifierMask modifiers) {
    if (isGlobalQuitCombination(key, modifiers)) {
        return LocalQuitKey::Combination;
    }
    if (key == kKeyEscape && (modifiers & kBlocksBareEscape) == 0) {
        return LocalQuitKey::BareEscape;
    }
    return LocalQuitKey::None;
}

bool isLocalQuitKey(KeySymbol key, ModifierMask modifiers) {
    return classifyLocalKey(key, modifiers) != LocalQuitKey::None;
}

}  // namespace glimmora
