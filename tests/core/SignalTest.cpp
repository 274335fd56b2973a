#include "core/Published.h"
#include "core/Signal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glimmora {
namespace {

TEST(Signal, CallsSlotsInConnectionOrderUntilTheirSubscriptionEndsButNotWhenMoved) {
    Signal<int> signal;
    std::string calls;
    Subscription moved;
    {
        auto scoped = signal.connect([&](int v) { calls += "a" + std::to_string(v); });
        moved = signal.connect([&](int v) { calls += "b" + std::to_string(v); });
        auto reset = signal.connect([&](int v) { calls += "c" + std::to_string(v); });
        reset.reset();
        signal.notify(1);
    }
    signal.notify(2);
    EXPECT_EQ(calls, "a1b1b2");
    moved.reset();
    EXPECT_EQ(signal.connectionCount(), 0u);
    // A subscription may outlive its signal: ending it then must not touch the signal.
    Subscription outliving = Signal<>().connect([] {});
    outliving.reset();
}

TEST(Signal, SlotsMayDisconnectAndConnectWhileTheSignalRuns) {
    Signal<> signal;
    std::vector<int> calls;
    std::vector<Subscription> added;
    Subscription self;
    Subscription later;
    self = signal.connect([&] {
        calls.push_back(1);
        self.reset();
        later.reset();  // before its turn in this emission: not called
        // Enough connections to force the slot storage to grow while this slot runs.
        for (int i = 0; i < 20; ++i) {
            added.push_back(signal.connect([&] { calls.push_back(2); }));
        }
    });
    later = signal.connect([&] { calls.push_back(3); });
    signal.notify();
    EXPECT_EQ(calls, (std::vector<int>{1}));  // new slots wait for the next emission
    calls.clear();
    signal.notify();
    EXPECT_EQ(calls, std::vector<int>(20, 2));
}

TEST(Published, EveryAssignmentNotifiesOwnerBeforeStoringAndObserversAfter) {
    Signal<> willChange;
    Published<int> property(willChange, 1);
    std::vector<std::string> events;
    auto owner = willChange.connect(
        [&] { events.push_back("willChange sees " + std::to_string(property())); });
    auto observer = property.sinkChanges(
        [&](const int& v) { events.push_back("observer gets " + std::to_string(v)); });
    property = 5;
    property.set(5);  // unchanged, and still announced
    // sink, unlike sinkChanges, delivers the current value first.
    auto all = property.sink([&](const int& v) { events.push_back("sink " + std::to_string(v)); });
    property = 6;
    EXPECT_EQ(events, (std::vector<std::string>{"willChange sees 1", "observer gets 5",
                                                "willChange sees 5", "observer gets 5", "sink 5",
                                                "willChange sees 5", "observer gets 6", "sink 6"}));
}

}  // namespace
}  // namespace glimmora
