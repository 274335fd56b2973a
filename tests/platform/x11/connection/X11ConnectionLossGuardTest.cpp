#include "platform/x11/connection/X11ConnectionLossGuard.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdint>

#include "support/XvfbSession.h"

namespace glimmora {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer takes a crash itself: it reports it and exits.
const auto kCrashed = testing::ExitedWithCode(1);
constexpr const char* kCrashReport = "SEGV";
#else
const auto kCrashed = testing::KilledBySignal(SIGSEGV);
constexpr const char* kCrashReport = "";
#endif

/// Crashes the way a driver does on a null reply: a read through a pointer near null (not null
/// itself, which UBSan would catch first).
void crash() {
    static volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
}

// Only a crash with the connection broken becomes a clean exit; any other stays a crash, and
// so does every crash once the guard is gone.
TEST(X11ConnectionLossGuardDeathTest, EndsCleanlyOnlyWhenTheConnectionHasBroken) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A display that does not exist gives a connection in its failed state.
    xcb_connection_t* broken = xcb_connect(":65000", nullptr);
    ASSERT_NE(xcb_connection_has_error(broken), 0);
    EXPECT_EXIT(
        {
            const X11ConnectionLossGuard guard(broken);
            crash();
        },
        testing::ExitedWithCode(1), "^$");  // its line goes to standard output
    EXPECT_EXIT(
        {
            { const X11ConnectionLossGuard guard(broken); }
            crash();
        },
        kCrashed, kCrashReport);
    xcb_disconnect(broken);

    test::XvfbSession session({.windowManager = false});
    ASSERT_TRUE(session.isReady()) << session.failure();
    xcb_connection_t* working = xcb_connect(session.display().c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(working), 0);
    EXPECT_EXIT(
        {
            const X11ConnectionLossGuard guard(working);
            crash();
        },
        kCrashed, kCrashReport);
    xcb_disconnect(working);
}

}  // namespace
}  // namespace glimmora
