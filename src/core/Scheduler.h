#pragma once

#include <functional>

namespace glimmora {

/// Runs a task on the main thread after a delay. Tasks are not cancelled by the scheduler:
/// owners guard their tasks themselves (a generation number, a weak reference), because a task
/// may outlive the reason it was scheduled for.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    /// Runs `task` once, `seconds` from now (0 = at the next turn of the event loop).
    virtual void after(double seconds, std::function<void()> task) = 0;
};

}  // namespace glimmora
