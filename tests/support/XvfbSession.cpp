#include "support/XvfbSession.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/X11TestDisplay.h"

namespace glimmora::test {
namespace {

constexpr auto kServerStartTimeout = std::chrono::seconds(20);
constexpr auto kWindowManagerStartTimeout = std::chrono::seconds(20);

std::string makeTemporaryDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/glimmora-test-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace

XvfbSession::XvfbSession(Options options) : directory_(makeTemporaryDirectory()) {
    if (directory_.empty()) {
        failure_ = "cannot create a temporary folder";
        return;
    }
    if (!startServer(options)) {
        return;
    }
    // Xvfb's one output is not primary by itself; the application asks for the primary monitor.
    if (!run({"xrandr", "--output", "screen", "--primary"})) {
        failure_ = "xrandr could not set the primary output";
        return;
    }
    if (options.windowManager) {
        startWindowManager();
    }
}

XvfbSession::~XvfbSession() {
    windowManager_.reset();
    server_.reset();
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

bool XvfbSession::startServer(const Options& options) {
    const std::string screen =
        std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
    // -displayfd: the server picks a free display number and writes it once it accepts
    // connections. -noreset: the last client leaving must not reset the server under a test.
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", screen, "+extension",
                                 "GLX", "+extension", "Composite", "-nolisten", "tcp", "-noreset"},
        ChildProcess::Environment{}, directory_ + "/xvfb.log", true);
    const std::string number = server_->readReport(kServerStartTimeout);
    if (number.empty()) {
        failure_ = "Xvfb did not start (is it installed?)";
        return false;
    }
    display_ = ":" + number;
    return true;
}

bool XvfbSession::startWindowManager() {
    windowManager_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"openbox"}, ChildProcess::Environment{{"DISPLAY", display_}},
        directory_ + "/openbox.log");
    X11TestDisplay x(display_);
    const auto deadline = std::chrono::steady_clock::now() + kWindowManagerStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (x.isConnected() && x.cardinal(x.root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW) &&
            showsNewWindows(x, deadline)) {
            return true;
        }
        if (!windowManager_->isRunning()) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    failure_ = "openbox did not start (is it installed?)";
    return false;
}

bool XvfbSession::showsNewWindows(X11TestDisplay& x,
                                  std::chrono::steady_clock::time_point deadline) {
    // openbox announces itself before it is done starting, and a window mapped in between
    // stays unshown for good: a window that it frames and shows tells that it is ready. Each
    // try gets a fresh window.
    constexpr auto kTry = std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < deadline && windowManager_->isRunning()) {
        const xcb_window_t probe = x.createWindow({0, 0, 10, 10});
        x.map(probe);
        const bool shown =
            waitUntil([&] { return x.topLevelOf(probe) != probe && x.isViewable(probe); }, kTry);
        x.destroy(probe);
        x.sync();
        if (shown) {
            return true;
        }
    }
    return false;
}

bool XvfbSession::run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    ChildProcess command(argv, {{"DISPLAY", display_}}, directory_ + "/commands.log");
    const auto status = command.waitForExit(timeout);
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

void XvfbSession::killServer() {
    if (server_) {
        server_->sendSignal(SIGKILL);
        server_->waitForExit(std::chrono::seconds(5));
    }
}

}  // namespace glimmora::test
