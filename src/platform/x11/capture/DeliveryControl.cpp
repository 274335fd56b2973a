#include "platform/x11/capture/DeliveryControl.h"

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstdint>

namespace glimmora {

DeliveryControl::DeliveryControl() : wakeDescriptor_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

DeliveryControl::~DeliveryControl() {
    if (wakeDescriptor_ >= 0) {
        close(wakeDescriptor_);
    }
}

void DeliveryControl::requestStop() {
    const std::lock_guard lock(mutex_);
    stopRequested_ = true;
}

bool DeliveryControl::isStopRequested() const {
    const std::lock_guard lock(mutex_);
    return stopRequested_;
}

void DeliveryControl::wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeDescriptor_, &one, sizeof one);
}

void DeliveryControl::clearWake() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(wakeDescriptor_, &count, sizeof count);
}

void DeliveryControl::answerOwnWindows(OwnWindowsAnswer answer) {
    {
        const std::lock_guard lock(mutex_);
        ownWindows_ = std::move(answer);
    }
    wake();
}

std::optional<OwnWindowsAnswer> DeliveryControl::takeOwnWindowsAnswer() {
    const std::lock_guard lock(mutex_);
    return std::exchange(ownWindows_, std::nullopt);
}

void DeliveryControl::setConnectionDescriptor(int descriptor) {
    const std::lock_guard lock(mutex_);
    connectionDescriptor_ = descriptor;
}

void DeliveryControl::shutDownConnection() {
    // Under the lock, so the delivery thread cannot close the socket (and the number be
    // reused) in between.
    const std::lock_guard lock(mutex_);
    if (connectionDescriptor_ >= 0) {
        shutdown(connectionDescriptor_, SHUT_RDWR);
    }
}

void DeliveryControl::markStartReported() {
    const std::lock_guard lock(mutex_);
    startReported_ = true;
}

bool DeliveryControl::isStartReported() const {
    const std::lock_guard lock(mutex_);
    return startReported_;
}

void DeliveryControl::markFinished() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    finishedChanged_.notify_all();
}

bool DeliveryControl::waitFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return finishedChanged_.wait_for(lock, timeout, [this] { return finished_; });
}

}  // namespace glimmora
