// The keys glimmora watches across the desktop, on a private X server with a window manager:
// Control+Alt+Super+Escape pressed while another application has the keyboard ends glimmora,
// even one whose main thread hangs or whose combination another program holds, and a bare
// Escape meant for another application does not; Alt+F toggles the focus band from anywhere.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "support/ChildProcess.h"
#include "support/GlimmoraProcess.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;

// Launch and the first frames, on a loaded machine with a software renderer.
constexpr auto kStartTimeout = 30s;
// The quit itself takes well under a second; the margin is for a loaded machine.
constexpr auto kQuitTimeout = 5s;
// The forced exit comes two seconds after the press.
constexpr auto kForcedQuitTimeout = 8s;
// How long a program that must not quit is watched.
constexpr auto kStillRunningTime = 2s;
constexpr auto kWindowManagerTimeout = 10s;

constexpr std::string_view kCaptureStarted = "CAPTURE STARTED";
constexpr std::string_view kRegistered = "✅ Carbon hotkey registered successfully\n";
constexpr std::string_view kEscapeHatch =
    "✅ Escape hatch hotkey registered: Ctrl+Option+Cmd+Escape (or just Escape when menu is "
    "open)\n";
constexpr std::string_view kTriggered = "🚨 Carbon hotkey triggered! Quitting app...\n";
constexpr std::string_view kMonitorTriggered =
    "🚨 Emergency escape hotkey triggered! Quitting app...\n";
// Control, Alt (Mod1) and Super (Mod4) in a key event's state.
constexpr std::uint16_t kQuitModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
// X's BadAccess error code.
constexpr int kBadAccess = 10;

class QuitHotKeyEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        session = std::make_unique<test::XvfbSession>(test::XvfbSession::Options{});
        ASSERT_TRUE(session->isReady()) << session->failure();
        x = std::make_unique<test::X11TestDisplay>(session->display());
        ASSERT_TRUE(x->isConnected());
    }

    void TearDown() override {
        if (HasFailure() && glimmora) {
            std::cout << "glimmora's output:\n" << glimmora->output() << std::endl;
        }
        glimmora.reset();
    }

    /// Starts glimmora with its overlay on and waits until its quit keys are installed.
    void launch() {
        glimmora = std::make_unique<test::GlimmoraProcess>(
            *session,
            test::GlimmoraProcess::Options{.executable = GLIMMORA_PATH,
                                           .settings = "isOverlayEnabled=true\n",
                                           .leakSuppressions = GLIMMORA_LSAN_SUPPRESSIONS});
        ASSERT_NE(glimmora->process().pid(), 0);
        ASSERT_TRUE(test::waitUntil(
            [&] {
                return (glimmora->count(kCaptureStarted) > 0 &&
                        glimmora->count(kEscapeHatch) > 0) ||
                       !glimmora->process().isRunning();
            },
            kStartTimeout))
            << "glimmora did not finish launching";
        ASSERT_TRUE(glimmora->process().isRunning()) << "glimmora exited early";
    }

    /// A managed window of another application, given the keyboard focus; it reports the key
    /// presses it gets.
    xcb_window_t focusOtherWindow() {
        const xcb_window_t window =
            x->createWindow({50, 50, 200, 100}, false, XCB_EVENT_MASK_KEY_PRESS);
        x->map(window);
        EXPECT_TRUE(test::waitUntil([&] { return x->isViewable(window); }, kWindowManagerTimeout))
            << "the window manager did not show the window";
        xcb_set_input_focus(x->connection(), XCB_INPUT_FOCUS_POINTER_ROOT, window,
                            XCB_CURRENT_TIME);
        x->sync();
        return window;
    }

    /// Whether `window` got a key press with at least the modifiers `held` since the last call.
    bool gotKeyPress(xcb_window_t window, std::uint16_t held = 0) {
        bool got = false;
        x->drainEvents([&](const xcb_generic_event_t& event) {
            if ((event.response_type & 0x7f) != XCB_KEY_PRESS) {
                return;
            }
            const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
            if (press.event == window && (press.state & held) == held) {
                got = true;
            }
        });
        return got;
    }

    bool press(const std::string& keys) { return session->run({"xdotool", "key", keys}); }

    std::unique_ptr<test::XvfbSession> session;
    std::unique_ptr<test::X11TestDisplay> x;
    std::unique_ptr<test::GlimmoraProcess> glimmora;
};

TEST_F(QuitHotKeyEndToEndTest, CombinationQuitsWhileAnotherApplicationHasTheKeyboard) {
    launch();
    EXPECT_EQ(glimmora->count(kRegistered), 1);
    const xcb_window_t other = focusOtherWindow();
    gotKeyPress(other);

    ASSERT_TRUE(press("ctrl+alt+super+Escape"));
    const std::optional<int> status = glimmora->process().waitForExit(kQuitTimeout);
    ASSERT_TRUE(status.has_value()) << "glimmora still runs after the quit key";
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_EQ(glimmora->count(kTriggered), 1);
    // The modifier keys reach it, each pressed with the ones before it held; the Escape that
    // comes with all three held must not.
    EXPECT_FALSE(gotKeyPress(other, kQuitModifiers))
        << "the quit key also reached the focused application";
}

TEST_F(QuitHotKeyEndToEndTest, CombinationQuitsWithCapsLockAndNumLockEngaged) {
    launch();
    focusOtherWindow();
    ASSERT_TRUE(press("Caps_Lock"));
    ASSERT_TRUE(press("Num_Lock"));
    // Both engaged now (NumLock is Mod2 in the server's default keyboard map).
    std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> pointer(
        xcb_query_pointer_reply(x->connection(), xcb_query_pointer(x->connection(), x->root()),
                                nullptr),
        &std::free);
    ASSERT_TRUE(pointer);
    ASSERT_EQ(pointer->mask & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2),
              XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
    ASSERT_TRUE(press("ctrl+alt+super+Escape"));
    const std::optional<int> status = glimmora->process().waitForExit(kQuitTimeout);
    ASSERT_TRUE(status.has_value()) << "an engaged lock defeated the quit key";
    EXPECT_EQ(glimmora->count(kTriggered), 1);
}

TEST_F(QuitHotKeyEndToEndTest, BareEscapeInAnotherApplicationDoesNotQuit) {
    launch();
    const xcb_window_t other = focusOtherWindow();
    gotKeyPress(other);

    ASSERT_TRUE(press("Escape"));
    ASSERT_TRUE(press("alt+Escape"));
    EXPECT_TRUE(test::waitUntil([&] { return gotKeyPress(other); }, kWindowManagerTimeout))
        << "Escape did not reach the focused application";
    EXPECT_FALSE(glimmora->process().waitForExit(kStillRunningTime).has_value())
        << "glimmora quit on a key meant for another application";
    EXPECT_EQ(glimmora->count(kTriggered), 0);
}

TEST_F(QuitHotKeyEndToEndTest, CombinationHeldByAnotherClientIsReportedAndStillQuits) {
    // Any key with exactly Control+Alt+Super, held passively by the test: glimmora's grab of
    // Escape with those modifiers overlaps it.
    const auto cookie =
        xcb_grab_key_checked(x->connection(), 1, x->root(), kQuitModifiers, XCB_GRAB_ANY,
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t* error = xcb_request_check(x->connection(), cookie);
    ASSERT_EQ(error, nullptr);

    launch();
    EXPECT_EQ(glimmora->count(
                  "⚠️ Carbon hotkey registration failed: " + std::to_string(kBadAccess) + "\n"),
              1);
    EXPECT_EQ(glimmora->count(kRegistered), 0);
    EXPECT_EQ(glimmora->count(kEscapeHatch), 1);

    // The other program's grab takes the press; glimmora's watch of raw key events sees it
    // anyway.
    focusOtherWindow();
    ASSERT_TRUE(press("ctrl+alt+super+Escape"));
    const std::optional<int> status = glimmora->process().waitForExit(kQuitTimeout);
    ASSERT_TRUE(status.has_value()) << "glimmora still runs after the quit key";
    EXPECT_EQ(glimmora->count(kMonitorTriggered), 1);
    EXPECT_EQ(glimmora->count(kTriggered), 0);
}

TEST_F(QuitHotKeyEndToEndTest, AltFTogglesFocusWhileAnotherApplicationHasTheKeyboard) {
    launch();
    focusOtherWindow();
    ASSERT_TRUE(press("alt+f"));
    EXPECT_TRUE(test::waitUntil([&] { return glimmora->count("Focus: ON\n") == 1; }, kQuitTimeout));

    // Neither another letter with Alt nor F alone; a second Alt+F (Shift held too) turns it off.
    ASSERT_TRUE(press("alt+g"));
    ASSERT_TRUE(press("f"));
    ASSERT_TRUE(press("shift+alt+f"));
    EXPECT_TRUE(
        test::waitUntil([&] { return glimmora->count("Focus: OFF\n") == 1; }, kQuitTimeout));
    EXPECT_EQ(glimmora->count("Focus: ON\n"), 1);
    EXPECT_TRUE(glimmora->process().isRunning());
}

TEST_F(QuitHotKeyEndToEndTest, CombinationEndsAProcessWhoseMainThreadHangs) {
    const std::string log = session->directory() + "/hang.log";
    test::ChildProcess hanging({QUIT_HOT_KEY_HANG_PATH}, {{"DISPLAY", session->display()}}, log);
    ASSERT_NE(hanging.pid(), 0);
    const auto printed = [&] {
        std::ifstream in(log);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    ASSERT_TRUE(test::waitUntil(
        [&] { return printed().find("MAIN THREAD HANGING") != std::string::npos; }, kStartTimeout));
    EXPECT_NE(printed().find(kRegistered), std::string::npos) << printed();
    focusOtherWindow();

    ASSERT_TRUE(press("ctrl+alt+super+Escape"));
    const std::optional<int> status = hanging.waitForExit(kForcedQuitTimeout);
    ASSERT_TRUE(status.has_value()) << "the hung process survived the quit key\n" << printed();
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_NE(printed().find(kTriggered), std::string::npos) << printed();
}

}  // namespace
}  // namespace glimmora
