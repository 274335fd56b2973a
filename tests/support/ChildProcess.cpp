#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/WaitUntil.h"

extern char** environ;

namespace glimmora::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& environment,
                           const std::string& logPath, bool reports, int passFd) {
    // Ours, with `environment` over it (and a later entry of it over an earlier one).
    std::vector<std::string> variables;
    for (char** e = environ; *e; ++e) {
        variables.emplace_back(*e);
    }
    for (const auto& [key, value] : environment) {
        std::erase_if(variables, [&](const std::string& e) { return e.starts_with(key + "="); });
        variables.push_back(key + "=" + value);
    }
    // The null-terminated arrays exec wants, pointing into the strings.
    const auto pointersTo = [](std::vector<std::string>& strings) {
        std::vector<char*> pointers;
        for (std::string& s : strings) {
            pointers.push_back(s.data());
        }
        pointers.push_back(nullptr);
        return pointers;
    };
    std::vector<std::string> arguments = argv;
    const std::vector<char*> argp = pointersTo(arguments), envp = pointersTo(variables);

    int report[2] = {-1, -1};
    if (reports && ::pipe2(report, O_CLOEXEC) != 0) {
        return;
    }
    const int third = reports ? report[1] : passFd;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (third != -1) {
        posix_spawn_file_actions_adddup2(&actions, third, 3);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, third != -1 ? 4 : 3);
    if (posix_spawnp(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) {
        pid_ = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (reports) {
        ::close(report[1]);
        reportFd_ = report[0];
    }
}

ChildProcess::~ChildProcess() {
    if (reportFd_ >= 0) {
        ::close(reportFd_);
    }
    sendSignal(SIGTERM);
    if (!waitForExit(std::chrono::seconds(3))) {
        sendSignal(SIGKILL);
        waitForExit(std::chrono::seconds(3));
    }
}

void ChildProcess::sendSignal(int signal) {
    if (pid_ != 0 && !status_) {
        ::kill(pid_, signal);
    }
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    int status = 0;
    if (pid_ != 0 && !status_ &&
        waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) {
        status_ = status;
    }
    return status_;
}

bool ChildProcess::succeeds(std::chrono::milliseconds timeout) {
    const std::optional<int> status = waitForExit(timeout);
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

std::string ChildProcess::readReport(std::chrono::milliseconds timeout) {
    std::string line;
    char c = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (reportFd_ >= 0 && std::chrono::steady_clock::now() < deadline) {
        pollfd p{reportFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            if (::read(reportFd_, &c, 1) != 1 || c == '\n') {
                return line;
            }
            line += c;
        } else if (!isRunning()) {
            break;
        }
    }
    return {};
}

}  // namespace glimmora::test
