#pragma once

#include <functional>
#include <utility>

#include "core/Signal.h"

namespace glimmora {

/// One observable property. Setting it first emits the owner's will-change signal, then stores
/// the value, then hands the new value to the property's own observers. Every assignment
/// notifies, also when the value does not change, so a burst of menu writes always reaches the
/// owner's debounced observers. No clamping and no validation happen here.
template <typename T>
class Published {
public:
    Published(Signal<>& ownerWillChange, T initial)
        : ownerWillChange_(ownerWillChange), value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    const T& operator()() const { return value_; }

    void set(T value) {
        ownerWillChange_.notify();
        value_ = std::move(value);
        changed_.notify(value_);
    }
    Published& operator=(T value) {
        set(std::move(value));
        return *this;
    }

    /// Calls `observer` with the current value at once, then with every new value.
    [[nodiscard]] Subscription sink(std::function<void(const T&)> observer) {
        observer(value_);
        return changed_.connect(std::move(observer));
    }

    /// Calls `observer` with every new value from now on; the current value is skipped.
    [[nodiscard]] Subscription sinkChanges(std::function<void(const T&)> observer) {
        return changed_.connect(std::move(observer));
    }

private:
    Signal<>& ownerWillChange_;
    T value_;
    Signal<const T&> changed_;
};

}  // namespace glimmora
