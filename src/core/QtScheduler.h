#pragma once

#include <QObject>

#include "core/Scheduler.h"

namespace glimmora {

/// Scheduler on the Qt event loop of the main thread. Tasks still pending when the scheduler is
/// destroyed never run.
class QtScheduler final : public Scheduler {
public:
    void after(double seconds, std::function<void()> task) override;

private:
    QObject context_;  // guards pending tasks: they die with it
};

}  // namespace glimmora
