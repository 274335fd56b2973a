#pragma once

#include <memory>
#include <string>

#include "support/ChildProcess.h"

namespace glimmora::test {

/// A private D-Bus session bus for one test: a dbus-daemon of its own, so that names claimed,
/// services activated and tray hosts registered never meet another test's or the user's.
/// Services it activates (xfconfd for a panel) see `environment`. Stopped when it goes.
class SessionBus {
public:
    SessionBus(const std::string& directory, const ChildProcess::Environment& environment);

    /// Empty when the daemon did not start.
    const std::string& address() const { return address_; }

private:
    std::unique_ptr<ChildProcess> daemon_;
    std::string address_;
};

}  // namespace glimmora::test
