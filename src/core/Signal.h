#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace glimmora {

/// Ends one connection when it goes out of scope (or on reset()). Owners keep their
/// subscriptions as members, so a connection never outlives the object it calls into.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
    Subscription(Subscription&& other) noexcept
        : disconnect_(std::exchange(other.disconnect_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            disconnect_ = std::exchange(other.disconnect_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    /// Disconnects now; harmless when already disconnected or when the signal is gone.
    void reset() {
        if (disconnect_) {
            std::exchange(disconnect_, {})();
        }
    }
    bool isConnected() const { return static_cast<bool>(disconnect_); }

private:
    std::function<void()> disconnect_;
};

/// A small typed signal for main-thread observers. Slots may connect or disconnect (themselves
/// or others) while the signal is being emitted: a slot disconnected during an emission is not
/// called afterwards, a slot connected during an emission is first called by the next one.
/// Emitting allocates nothing. Not thread-safe: every call happens on the owning thread.
template <typename... Args>
class Signal {
public:
    using Slot = std::function<void(Args...)>;

    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Subscription connect(Slot slot) {
        const std::uint64_t id = state_->nextId++;
        state_->entries.push_back({id, std::make_shared<Slot>(std::move(slot))});
        std::weak_ptr<State> weak = state_;
        return Subscription([weak, id] {
            if (auto state = weak.lock()) {
                state->remove(id);
            }
        });
    }

    void notify(Args... args) const {
        State& state = *state_;
        ++state.emitting;
        // Slots connected by a slot during this emission sit past `count` and wait for the next.
        const std::size_t count = state.entries.size();
        for (std::size_t i = 0; i < count && i < state.entries.size(); ++i) {
            std::shared_ptr<Slot> slot = state.entries[i].slot;  // keeps it alive while it runs
            if (slot) {
                (*slot)(args...);
            }
        }
        if (--state.emitting == 0 && state.hasDeadSlots) {
            std::erase_if(state.entries, [](const Entry& e) { return !e.slot; });
            state.hasDeadSlots = false;
        }
    }

    std::size_t connectionCount() const {
        std::size_t n = 0;
        for (const Entry& e : state_->entries) {
            n += e.slot ? 1 : 0;
        }
        return n;
    }

private:
    struct Entry {
        std::uint64_t id;
        std::shared_ptr<Slot> slot;  // null once disconnected during an emission
    };
    struct State {
        std::vector<Entry> entries;
        std::uint64_t nextId = 1;
        int emitting = 0;
        bool hasDeadSlots = false;

        void remove(std::uint64_t id) {
            for (auto it = entries.begin(); it != entries.end(); ++it) {
                if (it->id != id) {
                    continue;
                }
                if (emitting > 0) {
                    it->slot.reset();
                    hasDeadSlots = true;
                } else {
                    entries.erase(it);
                }
                return;
            }
        }
    };

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace glimmora
