#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glimmora::test {

/// A helper program started for a test (Xvfb, a window manager, the application), stopped and
/// reaped when the object goes: SIGTERM, then SIGKILL if it is still there after a grace time.
class ChildProcess {
public:
    using Environment = std::vector<std::pair<std::string, std::string>>;

    /// Starts `argv` (found on PATH) with `environment` added to ours, its standard output and
    /// error appended to `logPath`, standard input from /dev/null, and no other descriptor;
    /// with `reports`, a pipe as descriptor 3 for readReport(); otherwise `passFd`, when not -1,
    /// as descriptor 3 (what a careless launcher leaves open).
    ChildProcess(const std::vector<std::string>& argv, const Environment& environment,
                 const std::string& logPath, bool reports = false, int passFd = -1);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    /// 0 when it could not be started.
    pid_t pid() const { return pid_; }
    bool isRunning() { return pid_ != 0 && !waitForExit(std::chrono::milliseconds(0)); }
    void sendSignal(int signal);
    /// The wait status once it has exited within `timeout`; nothing if it is still running.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    /// Whether it exits with status 0 within `timeout`.
    bool succeeds(std::chrono::milliseconds timeout);
    /// The first line the child writes on descriptor 3, the way servers say where they listen
    /// once they do (Xvfb -displayfd, dbus-daemon --print-address); empty when none comes within
    /// `timeout` or the child ends first.
    std::string readReport(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = 0;
    int reportFd_ = -1;
    std::optional<int> status_;
};

}  // namespace glimmora::test
