#include "trackers/QuitKeys.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace glimmora {
namespace {

TEST(QuitKeysTest, ClassifiesKeysTypedAnywhereAndInsideGlimmora) {
    using enum LocalQuitKey;
    const struct {
        KeySymbol key;
        ModifierMask modifiers;
        bool quitsAnywhere;
        LocalQuitKey inside;
    } cases[] = {
        // The combination, whatever else is held or engaged.
        {kKeyEscape, kQuitModifiers, true, Combination},
        {kKeyEscape, kQuitModifiers | kShift, true, Combination},
        {kKeyEscape, kQuitModifiers | kCapsLock | kNumLock | kShift, true, Combination},
        // Two of the three modifiers, or another key.
        {kKeyEscape, kControl | kAlt, false, None},
        {kKeyF, kQuitModifiers, false, None},
        // Escape alone quits inside Glimmora only; NumLock is a keyboard state, not a modifier.
        {kKeyEscape, kNoModifiers, false, BareEscape},
        {kKeyEscape, kNumLock, false, BareEscape},
        // Any modifier, CapsLock included, sends Escape to Glimmora's menu as usual.
        {kKeyEscape, kShift, false, None},
        {kKeyEscape, kAlt, false, None},
        {kKeyEscape, kControl, false, None},
        {kKeyEscape, kCapsLock, false, None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << ", modifiers " << c.modifiers);
        EXPECT_EQ(isGlobalQuitCombination(c.key, c.modifiers), c.quitsAnywhere);
        EXPECT_EQ(classifyLocalKey(c.key, c.modifiers), c.inside);
        EXPECT_EQ(isLocalQuitKey(c.key, c.modifiers), c.inside != None);
    }
}

TEST(QuitKeysTest, GrabCoversEachLockCombinationOnce) {
    constexpr auto variants = quitGrabLockVariants();
    for (const ModifierMask locks : {kNoModifiers, kCapsLock, kNumLock, kCapsLock | kNumLock}) {
        EXPECT_EQ(std::count(variants.begin(), variants.end(), locks), 1) << locks;
    }
}

}  // namespace
}  // namespace glimmora
