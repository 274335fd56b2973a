#pragma once

#include <QTemporaryDir>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace glimmora::test {

/// A private X server for one test: Xvfb on a display number it picks itself (so tests run in
/// parallel), with GLX and Composite, its one output made the RandR primary, and optionally
/// openbox as a reparenting window manager. Everything it started is stopped, and its
/// temporary folder removed, when it goes.
class XvfbSession {
public:
    struct Options {
        int width = 800;
        int height = 600;
        bool windowManager = true;
    };

    explicit XvfbSession(Options options);

    /// Whether the server (and the window manager) came up; failure() says why not.
    bool isReady() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    /// ":N".
    const std::string& display() const { return display_; }
    /// A temporary folder for this test's logs and files.
    const std::string& directory() const { return directory_; }

    /// Runs `argv` on this display to completion; true when it exits with status 0.
    bool run(const std::vector<std::string>& argv,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// Sends `signal` to the X server (SIGKILL to lose it, SIGSTOP to hang it, SIGCONT).
    void signalServer(int signal) { server_->sendSignal(signal); }
    /// Ends the X server at once (SIGKILL), as a crash of the server would, and waits for it:
    /// for tests of what clients do when it goes.
    void killServer();

private:
    /// Whether openbox came up and frames and shows new windows.
    bool startWindowManager();

    QTemporaryDir folder_;
    std::string directory_;
    std::string display_;
    std::string failure_;
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<ChildProcess> windowManager_;
};

}  // namespace glimmora::test
