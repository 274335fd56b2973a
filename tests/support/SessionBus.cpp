#include "support/SessionBus.h"

namespace glimmora::test {

SessionBus::SessionBus(const std::string& directory, const ChildProcess::Environment& environment)
    : daemon_(std::make_unique<ChildProcess>(
          std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--print-address=3"},
          environment, directory + "/dbus.log", true)),
      address_(daemon_->readReport(std::chrono::seconds(10))) {}

}  // namespace glimmora::test
