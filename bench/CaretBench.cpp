// What following the caret costs and how far it lags, on a live accessibility bus: run by
// bench/caret-bench next to a GTK text window that has the focus. Types with xdotool, measures
// from the moment xdotool has sent each key until the tracker publishes the caret's new line,
// and reports the poll's cost on the main thread and on the reader's thread.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "core/QtRepeatingTimer.h"
#include "platform/atspi/AtspiCaretSource.h"
#include "platform/x11/windows/X11ActiveWindow.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "trackers/TextCursorTracker.h"

namespace glimmora {
namespace {

double threadMicroseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) * 1e-3;
}

/// The poll timer, with the main thread's CPU time of every tick added up.
class MeasuredTimer final : public RepeatingTimer {
public:
    void start(std::chrono::milliseconds interval, std::function<void()> onTimeout) override {
        timer_.start(interval, [this, onTimeout = std::move(onTimeout)] {
            const double started = threadMicroseconds();
            onTimeout();
            microseconds += threadMicroseconds() - started;
            ++ticks;
        });
    }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

    double microseconds = 0;
    long ticks = 0;

private:
    QtRepeatingTimer timer_{Qt::PreciseTimer};
};

bool waitFor(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

int run() {
    X11ActiveWindow activeWindow;
    AtspiCaretSource source(AtspiCaretSource::Options{
        .sessionBusAddress = {}, .activeTopLevel = [&]() -> std::optional<ActiveTopLevel> {
            const auto active = activeWindow.read();
            return active ? std::optional(ActiveTopLevel{active->pid, active->contentOrigin})
                          : std::nullopt;
        }});
    MemoryUserDefaults defaults;
    AppState state(defaults);
    auto* timer = new MeasuredTimer;
    TextCursorTracker tracker(
        state, source,
        [] {
            return Rect{0, 0, 1920, 1080};
        },
        std::unique_ptr<RepeatingTimer>(timer));
    tracker.startTracking();
    if (!waitFor([&] { return tracker.hasCursorPosition(); }, 20000)) {
        std::fprintf(stderr, "caret-bench: no caret found\n");
        return 1;
    }
    const CaretReaderStatistics startup = source.statistics();
    const double startupMicroseconds = timer->microseconds;
    const long startupTicks = timer->ticks;

    constexpr int kKeys = 40;
    std::vector<double> fromStart;  // from starting xdotool: includes its own start-up
    std::vector<double> fromExit;   // from xdotool's exit, when the key has surely been sent
    for (int i = 0; i < kKeys; ++i) {
        const float before = tracker.normalizedY();
        // New lines down, then back up: every key moves the caret to another line.
        QProcess xdotool;
        QElapsedTimer clock;
        clock.start();
        xdotool.start(QStringLiteral("xdotool"),
                      {QStringLiteral("key"),
                       i < kKeys / 2 ? QStringLiteral("Return") : QStringLiteral("BackSpace")});
        double exited = -1;
        double published = -1;
        waitFor(
            [&] {
                const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
                if (exited < 0 && xdotool.state() == QProcess::NotRunning) {
                    exited = now;
                }
                if (published < 0 && tracker.normalizedY() != before) {
                    published = now;
                }
                return exited >= 0 && published >= 0;
            },
            2000);
        xdotool.waitForFinished();
        if (published >= 0 && exited >= 0) {
            fromStart.push_back(published);
            fromExit.push_back(std::max(0.0, published - exited));
        }
        waitFor([] { return false; }, 60);  // let the poll settle between keys
    }
    // Quiet polls: the caret stands still.
    waitFor([] { return false; }, 3000);

    const CaretReaderStatistics done = source.statistics();
    const auto percentiles = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const auto at = [&](double fraction) {
            return values.empty()
                       ? 0.0
                       : values[static_cast<std::size_t>(fraction * (values.size() - 1))];
        };
        char line[96];
        std::snprintf(line, sizeof line, "median %5.1f  p90 %5.1f  max %5.1f", at(0.5), at(0.9),
                      at(1.0));
        return std::string(line);
    };
    const long measurements = done.measurements - startup.measurements;
    const long ticks = timer->ticks - startupTicks;
    std::printf("keys followed:                          %zu of %d\n", fromStart.size(), kKeys);
    std::printf("xdotool started -> line published (ms): %s\n", percentiles(fromStart).c_str());
    std::printf("xdotool exited  -> line published (ms): %s\n", percentiles(fromExit).c_str());
    std::printf("main thread per poll (us CPU):          %.1f over %ld polls\n",
                ticks ? (timer->microseconds - startupMicroseconds) / ticks : 0.0, ticks);
    std::printf("reader measurements:                    %ld\n", measurements);
    std::printf("round trips per measurement:            %.2f\n",
                measurements ? double(done.roundTrips - startup.roundTrips) / measurements : 0.0);
    std::printf(
        "reader thread per measurement (us CPU): %.1f\n",
        measurements ? (done.workerSeconds - startup.workerSeconds) * 1e6 / measurements : 0.0);
    std::printf(
        "measurement, first call to result (us): %.1f\n",
        measurements ? (done.querySeconds - startup.querySeconds) * 1e6 / measurements : 0.0);
    tracker.stopTracking();
    return 0;
}

}  // namespace
}  // namespace glimmora

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    return glimmora::run();
}
