#include "support/AtspiSession.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

namespace glimmora::test {

// Services the bus starts (the accessibility bus, a panel's settings daemon) see this display and
// these folders; they are made before any program can ask for one.
AtspiSession::AtspiSession(XvfbSession::Options options)
    : desktop_(options), bus_(desktop_.directory(), desktopEnvironment()) {
    for (const char* folder : {"/runtime", "/config", "/data"}) {
        std::filesystem::create_directories(desktop_.directory() + folder);
        ::chmod((desktop_.directory() + folder).c_str(), 0700);
    }
}

ChildProcess::Environment AtspiSession::desktopEnvironment() const {
    const std::string& directory = desktop_.directory();
    return {{"DISPLAY", desktop_.display()},
            {"XDG_RUNTIME_DIR", directory + "/runtime"},
            {"XDG_CONFIG_HOME", directory + "/config"},
            {"XDG_DATA_HOME", directory + "/data"}};
}

ChildProcess::Environment AtspiSession::environment() const {
    ChildProcess::Environment environment = desktopEnvironment();
    environment.emplace_back("DBUS_SESSION_BUS_ADDRESS", bus_.address());
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
    ChildProcess command(argv, environment(), desktop_.directory() + "/commands.log");
    const auto status = command.waitForExit(std::chrono::seconds(10));
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

}  // namespace glimmora::test
