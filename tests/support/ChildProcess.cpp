#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <thread>

extern char** environ;

namespace glimmora::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& environment,
                           const std::string& logPath, int passFd) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq) {
            env[std::string(*e, static_cast<std::size_t>(eq - *e))] = eq + 1;
        }
    }
    for (const auto& [key, value] : environment) {
        env[key] = value;
    }
    std::vector<std::string> envStrings;
    for (const auto& [key, value] : env) {
        envStrings.push_back(key + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argvp;
    for (std::string& s : args) {
        argvp.push_back(s.data());
    }
    argvp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (passFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, passFd, 3);
        posix_spawn_file_actions_addclosefrom_np(&actions, 4);
    } else {
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    }
    pid_t pid = 0;
    if (posix_spawnp(&pid, argvp[0], &actions, nullptr, argvp.data(), envp.data()) == 0) {
        pid_ = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
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

}  // namespace glimmora::test
