#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/XvfbSession.h"

namespace glimmora::test {

/// A private desktop with an accessibility bus for one test: XvfbSession (Xvfb and openbox)
/// plus a session bus of its own from dbus-run-session, with a private XDG_RUNTIME_DIR (mode
/// 0700; parallel sessions would otherwise share, and delete, one accessibility bus socket)
/// and a private XDG_CONFIG_HOME (the accessibility switch is saved in dconf there). Programs
/// started through it see this display and this bus. Everything stops when it goes.
class AtspiSession {
public:
    explicit AtspiSession(XvfbSession::Options options);
    AtspiSession(const AtspiSession&) = delete;
    AtspiSession& operator=(const AtspiSession&) = delete;
    ~AtspiSession();

    bool isReady() const { return failure_.empty() && desktop_.isReady(); }
    std::string failure() const { return desktop_.isReady() ? failure_ : desktop_.failure(); }

    XvfbSession& desktop() { return desktop_; }
    const std::string& sessionBusAddress() const { return address_; }
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
    std::string failure_;
    std::string address_;
    std::string busHolderPid_;
    std::unique_ptr<ChildProcess> bus_;
};

}  // namespace glimmora::test
