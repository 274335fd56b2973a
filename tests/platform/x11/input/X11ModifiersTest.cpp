#include "platform/x11/input/X11Modifiers.h"

#include <gtest/gtest.h>
#include <xcb/xproto.h>

namespace glimmora {
namespace {

TEST(X11ModifiersTest, FixedBitsTranslateBothWays) {
    const ModifierMask all = kShift | kControl | kAlt | kSuper | kCapsLock;
    const std::uint16_t x = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 |
                            XCB_MOD_MASK_4 | XCB_MOD_MASK_LOCK;
    EXPECT_EQ(toXModifiers(all, XCB_MOD_MASK_2), x);
    EXPECT_EQ(fromXModifiers(x, XCB_MOD_MASK_2), all);
    EXPECT_EQ(fromXModifiers(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, 0), kControl | kAlt);
}

TEST(X11ModifiersTest, NumLockFollowsTheKeyboardsMapping) {
    // Mod2 on most keyboards, but any ModN bit the mapping names.
    EXPECT_EQ(toXModifiers(kNumLock, XCB_MOD_MASK_3), XCB_MOD_MASK_3);
    EXPECT_EQ(fromXModifiers(XCB_MOD_MASK_3, XCB_MOD_MASK_3), kNumLock);
    EXPECT_EQ(fromXModifiers(XCB_MOD_MASK_2, XCB_MOD_MASK_3), kNoModifiers);
    // No NumLock key at all: never reported and never asked for.
    EXPECT_EQ(toXModifiers(kNumLock | kControl, 0), XCB_MOD_MASK_CONTROL);
    EXPECT_EQ(fromXModifiers(XCB_MOD_MASK_2 | XCB_MOD_MASK_CONTROL, 0), kControl);
}

TEST(X11ModifiersTest, PointerButtonsAndUnknownModsAreLeftOut) {
    const std::uint16_t state =
        XCB_KEY_BUT_MASK_BUTTON_1 | XCB_KEY_BUT_MASK_BUTTON_3 | XCB_MOD_MASK_5 | XCB_MOD_MASK_1;
    EXPECT_EQ(fromXModifiers(state, XCB_MOD_MASK_2), kAlt);
}

}  // namespace
}  // namespace glimmora
