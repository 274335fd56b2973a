#include "support/AtspiSession.h"

#include <sys/stat.h>

#include <filesystem>

namespace glimmora::test {
namespace {

/// What the bus's own services (the accessibility bus, a panel's settings daemon) see.
ChildProcess::Environment desktopEnvironment(const XvfbSession& desktop) {
    const std::string& directory = desktop.directory();
    return {{"DISPLAY", desktop.display()},
            {"XDG_RUNTIME_DIR", directory + "/runtime"},
            {"XDG_CONFIG_HOME", directory + "/config"},
            {"XDG_DATA_HOME", directory + "/data"}};
}

}  // namespace

// The folders are made before any program can ask the bus for a service.
AtspiSession::AtspiSession(XvfbSession::Options options)
    : desktop_(options),
      bus_({"dbus-daemon", "--session", "--nofork", "--print-address=3"},
           desktopEnvironment(desktop_), desktop_.directory() + "/dbus.log", true),
      busAddress_(bus_.readReport(std::chrono::seconds(10))) {
    for (const char* folder : {"/runtime", "/config", "/data"}) {
        std::filesystem::create_directories(desktop_.directory() + folder);
        ::chmod((desktop_.directory() + folder).c_str(), 0700);
    }
}

ChildProcess::Environment AtspiSession::environment() const {
    ChildProcess::Environment environment = desktopEnvironment(desktop_);
    environment.emplace_back("DBUS_SESSION_BUS_ADDRESS", busAddress_);
    return environment;
}

std::unique_ptr<ChildProcess> AtspiSession::launch(const std::vector<std::string>& argv,
                                                   const std::string& logName,
                                                   ChildProcess::Environment extra) {
    ChildProcess::Environment environment = this->environment();
    environment.insert(environment.end(), extra.begin(), extra.end());
    return std::make_unique<ChildProcess>(argv, environment, desktop_.directory() + "/" + logName);
}

bool AtspiSession::run(const std::vector<std::string>& argv) {
    return ChildProcess(argv, environment(), desktop_.directory() + "/commands.log")
        .succeeds(std::chrono::seconds(10));
}

}  // namespace glimmora::test
