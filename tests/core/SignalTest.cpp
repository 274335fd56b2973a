#include "core/Published.h"
#include "core/Signal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glimmora {
namespace {

TEST(Signal, CallsEverySlotInConnectionOrder) {
    Signal<int> signal;
    std::vector<std::string> calls;
    auto a = signal.connect([&](int v) { calls.push_back("a" + std::to_string(v)); });
    auto b = signal.connect([&](int v) { calls.push_back("b" + std::to_string(v)); });
    signal.notify(7);
    EXPECT_EQ(calls, (std::vector<std::string>{"a7", "b7"}));
}

TEST(Signal, SubscriptionEndsConnectionWhenDestroyedOrReset) {
    Signal<> signal;
    int calls = 0;
    {
        auto scoped = signal.connect([&] { ++calls; });
        signal.notify();
    }
    signal.notify();
    EXPECT_EQ(calls, 1);

    auto explicitReset = signal.connect([&] { ++calls; });
    explicitReset.reset();
    signal.notify();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(signal.connectionCount(), 0u);
}

TEST(Signal, MovedSubscriptionKeepsTheConnection) {
    Signal<> signal;
    int calls = 0;
    Subscription outer;
    {
        auto inner = signal.connect([&] { ++calls; });
        outer = std::move(inner);
    }
    signal.notify();
    EXPECT_EQ(calls, 1);
}

TEST(Signal, SubscriptionMayOutliveTheSignal) {
    Subscription subscription;
    {
        Signal<> signal;
        subscription = signal.connect([] {});
    }
    subscription.reset();  // must not touch the destroyed signal
    EXPECT_FALSE(subscription.isConnected());
}

TEST(Signal, SlotDisconnectedDuringEmissionIsNotCalledAfterwards) {
    Signal<> signal;
    std::vector<int> calls;
    Subscription second;
    auto first = signal.connect([&] {
        calls.push_back(1);
        second.reset();
    });
    second = signal.connect([&] { calls.push_back(2); });
    signal.notify();
    signal.notify();
    EXPECT_EQ(calls, (std::vector<int>{1, 1}));
}

TEST(Signal, SlotMayDisconnectItselfAndConnectOthersWhileRunning) {
    Signal<> signal;
    std::vector<int> calls;
    std::vector<Subscription> added;
    Subscription self;
    self = signal.connect([&] {
        calls.push_back(1);
        self.reset();
        // Enough connections to force the slot storage to grow while this slot runs.
        for (int i = 0; i < 20; ++i) {
            added.push_back(signal.connect([&] { calls.push_back(2); }));
        }
    });
    signal.notify();
    EXPECT_EQ(calls, (std::vector<int>{1}));  // new slots wait for the next emission
    calls.clear();
    signal.notify();
    EXPECT_EQ(calls, std::vector<int>(20, 2));
}

TEST(Published, NotifiesOwnerBeforeStoringAndObserversAfter) {
    Signal<> willChange;
    Published<int> property(willChange, 1);
    std::vector<std::string> events;
    auto owner = willChange.connect(
        [&] { events.push_back("willChange sees " + std::to_string(property())); });
    auto observer = property.sinkChanges(
        [&](const int& v) { events.push_back("observer gets " + std::to_string(v)); });

    property = 5;
    EXPECT_EQ(property(), 5);
    EXPECT_EQ(events, (std::vector<std::string>{"willChange sees 1", "observer gets 5"}));
}

TEST(Published, EveryAssignmentNotifiesEvenWithoutChange) {
    Signal<> willChange;
    Published<bool> property(willChange, true);
    int ownerCalls = 0;
    int observerCalls = 0;
    auto owner = willChange.connect([&] { ++ownerCalls; });
    auto observer = property.sinkChanges([&](const bool&) { ++observerCalls; });
    property = true;
    property.set(true);
    EXPECT_EQ(ownerCalls, 2);
    EXPECT_EQ(observerCalls, 2);
}

TEST(Published, SinkDeliversCurrentValueFirstAndSinkChangesSkipsIt) {
    Signal<> willChange;
    Published<std::string> property(willChange, "first");
    std::vector<std::string> all;
    std::vector<std::string> changes;
    auto a = property.sink([&](const std::string& v) { all.push_back(v); });
    auto b = property.sinkChanges([&](const std::string& v) { changes.push_back(v); });
    property = "second";
    EXPECT_EQ(all, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(changes, (std::vector<std::string>{"second"}));
}

}  // namespace
}  // namespace glimmora
