#include "app/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "core/Log.h"

namespace glimmora {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler's only view of the pipe; -1 while no instance exists.
volatile std::sig_atomic_t signalWriteFd = -1;

extern "C" void writeSignalToPipe(int signal) {
    const int savedErrno = errno;
    const int fd = signalWriteFd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signal);
        // A full pipe already holds a pending signal; dropping this one loses nothing.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

void setDisposition(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int signal)> onSignal)
    : onSignal_(std::move(onSignal)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        logLine(std::string("TerminationSignals: Could not create the signal pipe: ") +
                std::strerror(errno));
        return;
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    signalWriteFd = writeFd_;
    notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { readSignals(); });
    for (int signal : kSignals) {
        setDisposition(signal, writeSignalToPipe);
    }
}

TerminationSignals::~TerminationSignals() {
    for (int signal : kSignals) {
        setDisposition(signal, SIG_DFL);
    }
    signalWriteFd = -1;
    notifier_.reset();
    if (readFd_ >= 0) {
        ::close(readFd_);
    }
    if (writeFd_ >= 0) {
        ::close(writeFd_);
    }
}

void TerminationSignals::readSignals() {
    unsigned char buffer[16];
    int last = 0;
    ssize_t n;
    while ((n = ::read(readFd_, buffer, sizeof buffer)) > 0) {
        last = buffer[n - 1];
    }
    if (last == 0) {
        return;
    }
    // From now on a further signal acts at once: a hanging shutdown must never trap the user.
    for (int signal : kSignals) {
        setDisposition(signal, SIG_DFL);
    }
    if (onSignal_) {
        onSignal_(last);
    }
}

}  // namespace glimmora
