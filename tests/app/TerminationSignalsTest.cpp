#include "app/TerminationSignals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <vector>

#include "support/TestApplication.h"

namespace glimmora {
namespace {

void (*currentHandler(int signal))(int) {
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    return action.sa_handler;
}

/// Runs the event loop until something quits it (exit code 0) or 5 s pass (exit code 1).
int runEventLoop() {
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    safety.start(5000);
    return QCoreApplication::exec();
}

class TerminationSignalsTest : public testing::TestWithParam<int> {
protected:
    void SetUp() override { test::testApplication(); }
};

TEST_P(TerminationSignalsTest, SignalReachesTheEventLoopAsACall) {
    const int signal = GetParam();
    std::vector<int> received;
    TerminationSignals signals([&](int s) {
        received.push_back(s);
        QCoreApplication::quit();
    });
    ASSERT_TRUE(signals.isInstalled());
    QTimer::singleShot(0, [signal] { std::raise(signal); });
    EXPECT_EQ(runEventLoop(), 0) << "the signal never reached the event loop";
    EXPECT_EQ(received, std::vector<int>{signal});
}

INSTANTIATE_TEST_SUITE_P(TermIntHup, TerminationSignalsTest,
                         testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(TerminationSignalsLifetimeTest, SeveralSignalsBeforeTheLoopRunsGiveOneCall) {
    test::testApplication();
    int calls = 0;
    TerminationSignals signals([&](int) {
        ++calls;
        QCoreApplication::quit();
    });
    std::raise(SIGTERM);
    std::raise(SIGINT);
    EXPECT_EQ(runEventLoop(), 0);
    EXPECT_EQ(calls, 1);
}

TEST(TerminationSignalsLifetimeTest, FirstSignalRestoresTheDefaultActionForTheNext) {
    test::testApplication();
    TerminationSignals signals([](int) { QCoreApplication::quit(); });
    EXPECT_NE(currentHandler(SIGTERM), SIG_DFL);
    std::raise(SIGINT);
    EXPECT_EQ(runEventLoop(), 0);
    // A second Ctrl+C or kill must end a process whose shutdown hangs.
    EXPECT_EQ(currentHandler(SIGTERM), SIG_DFL);
    EXPECT_EQ(currentHandler(SIGINT), SIG_DFL);
}

TEST(TerminationSignalsLifetimeTest, DestructionRestoresTheDefaultActions) {
    test::testApplication();
    {
        TerminationSignals signals([](int) {});
        EXPECT_NE(currentHandler(SIGHUP), SIG_DFL);
    }
    EXPECT_EQ(currentHandler(SIGTERM), SIG_DFL);
    EXPECT_EQ(currentHandler(SIGINT), SIG_DFL);
    EXPECT_EQ(currentHandler(SIGHUP), SIG_DFL);
}

}  // namespace
}  // namespace glimmora
