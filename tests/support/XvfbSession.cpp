#include "support/XvfbSession.h"

#include <QDir>
#include <csignal>
#include <thread>

#include "support/X11TestDisplay.h"

namespace glimmora::test {
constexpr auto kStartTimeout = std::chrono::seconds(20);

XvfbSession::XvfbSession(Options options)
    : folder_(QDir::tempPath() + "/glimmora-test-XXXXXX"),
      directory_(folder_.path().toStdString()) {
    if (!folder_.isValid()) {
        failure_ = "cannot create a temporary folder";
        return;
    }
    // -displayfd: the server picks a free display number and writes it once it accepts
    // connections. -noreset: the last client leaving must not reset the server under a test.
    const std::string screen =
        std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", screen, "+extension",
                                 "GLX", "+extension", "Composite", "-nolisten", "tcp", "-noreset"},
        ChildProcess::Environment{}, directory_ + "/xvfb.log", true);
    const std::string number = server_->readReport(kStartTimeout);
    display_ = ":" + number;
    if (number.empty()) {
        failure_ = "Xvfb did not start (is it installed?)";
    } else if (!run({"xrandr", "--output", "screen", "--primary"})) {
        // Xvfb's one output is not primary by itself; the application asks for the primary one.
        failure_ = "xrandr could not set the primary output";
    } else if (options.windowManager && !startWindowManager()) {
        failure_ = "openbox did not start (is it installed?)";
    }
}

bool XvfbSession::startWindowManager() {
    windowManager_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"openbox"}, ChildProcess::Environment{{"DISPLAY", display_}},
        directory_ + "/openbox.log");
    X11TestDisplay x(display_);
    // openbox announces itself before it is done starting, and a window mapped in between
    // stays unshown for good: a window that it frames and shows tells that it is ready. Each
    // try gets a fresh window.
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline && windowManager_->isRunning()) {
        if (!x.isConnected() ||
            !x.cardinal(x.root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        const xcb_window_t probe = x.createWindow({0, 0, 10, 10});
        x.map(probe);
        const bool shown =
            waitUntil([&] { return x.topLevelOf(probe) != probe && x.isViewable(probe); },
                      std::chrono::seconds(1));
        x.destroy(probe);
        x.sync();
        if (shown) {
            return true;
        }
    }
    return false;
}

bool XvfbSession::run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    return ChildProcess(argv, {{"DISPLAY", display_}}, directory_ + "/commands.log")
        .succeeds(timeout);
}

void XvfbSession::killServer() {
    server_->sendSignal(SIGKILL);
    server_->waitForExit(std::chrono::seconds(5));
}

}  // namespace glimmora::test
