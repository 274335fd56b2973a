#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace glimmora {

/// Turns the termination signals (SIGTERM, SIGINT, SIGHUP) into a call on the main thread, so
/// that a `kill` or a Ctrl+C ends the application through its normal terminate path instead of
/// killing it on the spot.
///
/// The signal handler only writes the signal number into a pipe (the one thing that is safe in
/// a handler); a socket notifier reads it in the event loop and calls `onSignal`. After the
/// first signal the default action is restored, so a second one kills a process whose
/// shutdown hangs. One instance per process; the handlers are reset when it is destroyed.
class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void(int signal)> onSignal);
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;
    ~TerminationSignals();

    /// False when the pipe or a handler could not be set up (the line was printed).
    bool isInstalled() const { return notifier_ != nullptr; }

private:
    void readSignals();

    std::function<void(int)> onSignal_;
    int readFd_ = -1;
    int writeFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace glimmora
