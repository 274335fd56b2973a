#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace glimmora::test {
namespace {

/// The null-terminated array of `strings` that exec wants; it points into them.
std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& environment,
                           const std::string& logPath, bool reports, int passFd) {
    // Ours, with `environment` over it (and a later entry of it over an earlier one).
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        envStrings.emplace_back(*e);
    }
    for (const auto& [key, value] : environment) {
        std::erase_if(envStrings, [&](const std::string& e) { return e.starts_with(key + "="); });
        envStrings.push_back(key + "=" + value);
    }
    std::vector<std::string> args = argv;
    const std::vector<char*> argvp = pointersTo(args);
    const std::vector<char*> envp = pointersTo(envStrings);

    int report[2] = {-1, -1};
    if (reports && ::pipe2(report, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (reports) {
        posix_spawn_file_actions_adddup2(&actions, report[1], 3);
    } else if (passFd != -1) {
        posix_spawn_file_actions_adddup2(&actions, passFd, 3);
    }
    const bool passes = reports || passFd != -1;
    posix_spawn_file_actions_addclosefrom_np(&actions, passes ? 4 : 3);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argvp[0], &actions, nullptr, argvp.data(), envp.data()) == 0) {
        pid_ = pid;
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
    if (!isRunning()) {
        return;
    }
    sendSignal(SIGTERM);
    if (!waitForExit(std::chrono::seconds(3))) {
        sendSignal(SIGKILL);
        waitForExit(std::chrono::seconds(3));
    }
}

bool ChildProcess::isRunning() {
    return pid_ != 0 && !waitForExit(std::chrono::milliseconds(0));
}

void ChildProcess::sendSignal(int signal) {
    if (pid_ != 0 && !status_) {
        ::kill(pid_, signal);
    }
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (pid_ == 0 || status_) {
        return status_;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string ChildProcess::readReport(std::chrono::milliseconds timeout) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (reportFd_ >= 0 && std::chrono::steady_clock::now() < deadline) {
        pollfd p{reportFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            if (!isRunning()) {
                break;
            }
            continue;
        }
        char c = 0;
        if (::read(reportFd_, &c, 1) != 1 || c == '\n') {
            return line;
        }
        line += c;
    }
    return {};
}

}  // namespace glimmora::test
