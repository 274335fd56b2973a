#include "support/SessionBus.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace glimmora::test {

SessionBus::SessionBus(const std::string& directory, const ChildProcess::Environment& environment) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    // --print-address=3: the address arrives on descriptor 3 once the bus accepts connections.
    daemon_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--print-address=3"},
        environment, directory + "/dbus.log", fds[1]);
    ::close(fds[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string line;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        char c = 0;
        if (::read(fds[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        line += c;
    }
    ::close(fds[0]);
    address_ = line;
}

}  // namespace glimmora::test
