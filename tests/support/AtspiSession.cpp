#include "support/AtspiSession.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace glimmora::test {

namespace {

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

AtspiSession::AtspiSession(XvfbSession::Options options) : desktop_(options) {
    if (!desktop_.isReady()) {
        return;
    }
    const std::string& directory = desktop_.directory();
    for (const char* folder : {"/runtime", "/config"}) {
        std::filesystem::create_directories(directory + folder);
        ::chmod((directory + folder).c_str(), 0700);
    }
    // The shell inside the session writes the bus address and its own process id (which
    // `exec sleep` keeps): ending that process ends dbus-run-session and its bus, and with the
    // bus the accessibility bus launcher and registry.
    const std::string script = "echo \"$DBUS_SESSION_BUS_ADDRESS\" > " + directory +
                               "/bus.address.tmp && echo $$ > " + directory + "/bus.pid && mv " +
                               directory + "/bus.address.tmp " + directory +
                               "/bus.address && exec sleep 100000";
    bus_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"dbus-run-session", "--", "sh", "-c", script},
        ChildProcess::Environment{{"DISPLAY", desktop_.display()},
                                  {"XDG_RUNTIME_DIR", directory + "/runtime"},
                                  {"XDG_CONFIG_HOME", directory + "/config"}},
        directory + "/dbus.log");
    for (int i = 0; i < 400 && address_.empty() && bus_->isRunning(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        address_ = firstLine(directory + "/bus.address");
    }
    busHolderPid_ = firstLine(directory + "/bus.pid");
    if (address_.empty()) {
        failure_ = "dbus-run-session did not start (is dbus installed?)";
    }
}

AtspiSession::~AtspiSession() {
    if (!busHolderPid_.empty()) {
        ::kill(std::stoi(busHolderPid_), SIGTERM);
        bus_->waitForExit(std::chrono::seconds(5));
    }
}

ChildProcess::Environment AtspiSession::environment() const {
    const std::string& directory = desktop_.directory();
    return {{"DISPLAY", desktop_.display()},
            {"DBUS_SESSION_BUS_ADDRESS", address_},
            {"XDG_RUNTIME_DIR", directory + "/runtime"},
            {"XDG_CONFIG_HOME", directory + "/config"}};
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
