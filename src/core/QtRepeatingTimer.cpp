#include "core/QtRepeatingTimer.h"

namespace glimmora {

QtRepeatingTimer::QtRepeatingTimer(Qt::TimerType type) {
    timer_.setTimerType(type);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (onTimeout_) {
            onTimeout_();
        }
    });
}

void QtRepeatingTimer::start(std::chrono::milliseconds interval, std::function<void()> onTimeout) {
    onTimeout_ = std::move(onTimeout);
    timer_.start(interval);
}

void QtRepeatingTimer::stop() {
    timer_.stop();
    onTimeout_ = nullptr;
}

bool QtRepeatingTimer::isActive() const {
    return timer_.isActive();
}

}  // namespace glimmora
