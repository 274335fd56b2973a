#include "app/TerminationSignals.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <vector>

#include "support/TestApplication.h"
#include "support/WaitUntil.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;

bool hasDefaultAction(int signal) {
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    return action.sa_handler == SIG_DFL;
}

class TerminationSignalsTest : public testing::TestWithParam<int> {
protected:
    void SetUp() override { test::testApplication(); }
};

TEST_P(TerminationSignalsTest, SignalBecomesOneCallAndTheNextActsAtOnce) {
    {
        TerminationSignals unused([](int) {});
    }
    EXPECT_TRUE(hasDefaultAction(GetParam())) << "going away did not restore the default";
    std::vector<int> received;
    TerminationSignals signals([&](int s) { received.push_back(s); });
    ASSERT_TRUE(signals.isInstalled());
    EXPECT_FALSE(hasDefaultAction(GetParam()));

    std::raise(SIGHUP);
    std::raise(GetParam());  // before the loop ran: still one call, for the last one
    EXPECT_TRUE(test::waitUntil([&] { return !received.empty(); }, 5s, test::pumpQtEvents));
    test::pumpQtEvents();
    EXPECT_EQ(received, std::vector<int>{GetParam()});
    // A second Ctrl+C or kill must end a process whose shutdown hangs.
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        EXPECT_TRUE(hasDefaultAction(signal)) << signal;
    }
}

INSTANTIATE_TEST_SUITE_P(TermIntHup, TerminationSignalsTest,
                         testing::Values(SIGTERM, SIGINT, SIGHUP));

}  // namespace
}  // namespace glimmora
