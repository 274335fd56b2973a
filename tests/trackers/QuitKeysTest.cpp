#include "trackers/QuitKeys.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace glimmora {
namespace {

constexpr ModifierMask kExtras[] = {kNoModifiers, kShift, kCapsLock, kNumLock,
                                    kCapsLock | kNumLock | kShift};

TEST(QuitKeysTest, CombinationQuitsEverywhereWithExtraModifiers) {
    for (ModifierMask extra : kExtras) {
        EXPECT_TRUE(isGlobalQuitCombination(kKeyEscape, kQuitModifiers | extra)) << extra;
        EXPECT_EQ(classifyLocalKey(kKeyEscape, kQuitModifiers | extra), LocalQuitKey::Combination)
            << extra;
    }
}

TEST(QuitKeysTest, CombinationNeedsAllThreeModifiersAndEscape) {
    for (ModifierMask partial :
         {kControl | kAlt, kControl | kSuper, kAlt | kSuper, kShift | kControl | kAlt}) {
        EXPECT_FALSE(isGlobalQuitCombination(kKeyEscape, partial)) << partial;
        EXPECT_EQ(classifyLocalKey(kKeyEscape, partial), LocalQuitKey::None) << partial;
    }
    EXPECT_FALSE(isGlobalQuitCombination(kKeyF, kQuitModifiers));
    EXPECT_FALSE(isLocalQuitKey(kKeyF, kQuitModifiers));
}

TEST(QuitKeysTest, BareEscapeQuitsOnlyInsideGlimmora) {
    EXPECT_FALSE(isGlobalQuitCombination(kKeyEscape, kNoModifiers));
    EXPECT_EQ(classifyLocalKey(kKeyEscape, kNoModifiers), LocalQuitKey::BareEscape);
    EXPECT_TRUE(isLocalQuitKey(kKeyEscape, kNoModifiers));
    // NumLock is a keyboard state, not something the user holds with Escape.
    EXPECT_EQ(classifyLocalKey(kKeyEscape, kNumLock), LocalQuitKey::BareEscape);
}

TEST(QuitKeysTest, ModifiedEscapeReachesGlimmoraAsUsual) {
    for (ModifierMask held :
         {kShift, kAlt, kControl, kSuper, kCapsLock, kControl | kAlt, kShift | kNumLock}) {
        EXPECT_FALSE(isLocalQuitKey(kKeyEscape, held)) << held;
    }
    EXPECT_FALSE(isLocalQuitKey(kKeyG, kNoModifiers));
}

TEST(QuitKeysTest, GrabCoversEachLockCombinationOnce) {
    constexpr auto variants = quitGrabLockVariants();
    for (ModifierMask expected : {kNoModifiers, kCapsLock, kNumLock, kCapsLock | kNumLock}) {
        EXPECT_EQ(std::count(variants.begin(), variants.end(), expected), 1) << expected;
    }
    for (ModifierMask variant : variants) {
        EXPECT_TRUE(isGlobalQuitCombination(kKeyEscape, kQuitModifiers | variant));
    }
}

}  // namespace
}  // namespace glimmora
