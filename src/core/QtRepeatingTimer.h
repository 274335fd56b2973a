#pragma once

#include <QTimer>

#include "core/RepeatingTimer.h"

namespace glimmora {

/// RepeatingTimer on the Qt event loop of the thread that creates it.
class QtRepeatingTimer final : public RepeatingTimer {
public:
    explicit QtRepeatingTimer(Qt::TimerType type = Qt::CoarseTimer);

    void start(std::chrono::milliseconds interval, std::function<void()> onTimeout) override;
    void stop() override;
    bool isActive() const override;

private:
    QTimer timer_;
    std::function<void()> onTimeout_;
};

}  // namespace glimmora
