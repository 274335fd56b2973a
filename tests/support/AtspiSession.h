#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/XvfbSession.h"

namespace glimmora::test {

/// A private desktop with a session bus of its own for one test, so that names claimed,
/// services activated and tray hosts registered never meet another test's or the user's (the
/// accessibility bus is started through it when a program asks): XvfbSession (Xvfb and
/// openbox) plus a dbus-daemon, with a private XDG_RUNTIME_DIR (mode 0700; parallel sessions
/// would otherwise share, and delete, one accessibility bus socket) and private XDG_CONFIG_HOME
/// and XDG_DATA_HOME (the accessibility switch is saved in dconf there). Programs started
/// through it see this display and this bus. Everything stops when it goes.
class AtspiSession {
public:
    explicit AtspiSession(XvfbSession::Options options);

    bool isReady() const { return desktop_.isReady() && !busAddress_.empty(); }
    std::string failure() const {
        return desktop_.isReady() ? "dbus-daemon did not start" : desktop_.failure();
    }

    XvfbSession& desktop() { return desktop_; }
    const std::string& sessionBusAddress() const { return busAddress_; }
    /// What a program needs to reach this display and bus.
    ChildProcess::Environment environment() const;

    /// Starts `argv` on this desktop, its output in `logName` in the session's folder.
    std::unique_ptr<ChildProcess> launch(const std::vector<std::string>& argv,
                                         const std::string& logName,
                                         ChildProcess::Environment extra = {});
    /// Runs `argv` (xdotool, gdbus) to completion; true when it exits with status 0.
    bool run(const std::vector<std::string>& argv);

private:
    XvfbSession desktop_;
    ChildProcess bus_;
    std::string busAddress_;
};

}  // namespace glimmora::test
