#include "capture/CaptureStream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "capture/CaptureService.h"
#include "core/Scheduler.h"
#include "support/LogCapture.h"
#include "support/ManualRepeatingTimer.h"

namespace glimmora {
namespace {

/// Scheduler on a virtual clock: tasks run, each at its own time, only as advance() passes it;
/// tasks due at the same time run in the order they were scheduled (a multimap keeps it).
class ManualScheduler final : public Scheduler {
public:
    void after(double seconds, std::function<void()> task) override {
        tasks_.emplace(now_ + std::max(seconds, 0.0), std::move(task));
    }
    double now() const { return now_; }
    void advance(double seconds) {
        const double end = now_ + seconds;
        while (!tasks_.empty() && tasks_.begin()->first <= end) {
            auto next = tasks_.extract(tasks_.begin());
            now_ = std::max(now_, next.key());
            next.mapped()();
        }
        now_ = end;
    }

private:
    std::multimap<double, std::function<void()>> tasks_;
    double now_ = 0;
};

/// What the fake knows about one stream it made; outlives the stream, so that tests can see
/// what became of it after its owner let it go.
struct FakeStream {
    CaptureDisplay display;
    std::optional<quint32> excludedWindow;
    CaptureConfiguration configuration;
    CaptureStreamDelegate* delegate = nullptr;
    bool started = false;    // start() succeeded
    bool stopped = false;    // stop() was asked for, or the source ended the stream
    bool destroyed = false;  // the session object is gone
    std::function<void(std::optional<QString>)> heldReply = nullptr;  // a stop's, when held

    bool isDelivering() const { return started && !stopped && !destroyed; }
    void reply(std::optional<QString> error = std::nullopt) {
        started = started || (!stopped && !error);
        std::exchange(heldReply, nullptr)(std::move(error));
    }
    void endBySource(const QString& error) {
        stopped = true;
        delegate->didStopWithError(error);
    }
};

/// Scripted CaptureService: each test sets the answers; replies come at once, but for stop()'s
/// when the test holds them and sends them itself. Queries are stamped with `clock`.
class FakeCaptureService final : public CaptureService {
public:
    std::optional<ShareableContent> content = ShareableContent{{{1920, 1080}}, {42}};
    QString contentError;
    std::optional<QString> startError;
    std::optional<QString> stopError;
    bool holdStopReplies = false;

    std::function<double()> clock = [] { return 0.0; };
    std::vector<double> queryTimes;
    std::vector<std::shared_ptr<FakeStream>> streams;

    void queryShareableContent(
        std::function<void(std::optional<ShareableContent>, QString)> done) override {
        queryTimes.push_back(clock());
        done(content, content ? QString() : contentError);
    }

    std::unique_ptr<CaptureStreamSession> makeStream(const CaptureDisplay& display,
                                                     std::optional<quint32> excludedWindow,
                                                     const CaptureConfiguration& configuration,
                                                     CaptureStreamDelegate& delegate,
                                                     QString* /*error*/) override {
        streams.push_back(std::make_shared<FakeStream>(
            FakeStream{display, excludedWindow, configuration, &delegate}));
        return std::make_unique<Session>(*this, streams.back());
    }

    void deliver(const CaptureSample& sample) {
        for (const auto& stream : streams) {
            if (stream->isDelivering()) {
                stream->delegate->didOutputSample(sample);
            }
        }
    }

private:
    class Session final : public CaptureStreamSession {
    public:
        Session(FakeCaptureService& service, std::shared_ptr<FakeStream> stream)
            : service_(service), stream_(std::move(stream)) {}
        ~Session() override { stream_->destroyed = true; }

        void start(std::function<void(std::optional<QString>)> done) override {
            stream_->heldReply = std::move(done);
            stream_->reply(service_.startError);
        }
        void stop(std::function<void(std::optional<QString>)> done) override {
            stream_->stopped = true;
            stream_->heldReply = std::move(done);
            if (!service_.holdStopReplies) {
                stream_->reply(service_.stopError);
            }
        }

    private:
        FakeCaptureService& service_;
        std::shared_ptr<FakeStream> stream_;
    };
};

using Lines = std::vector<std::string>;

const std::string kStarted = "CAPTURE STARTED \u2013 LIVE DESKTOP (excluding window 42)";
const std::string kStall = "\u26a0\ufe0f Frames stopped (1.5s) - attempting restart";
const CaptureSample kPicture{QImage(4, 4, QImage::Format_RGB32)};

// Virtual time starts at 0 when the stream is made; the clock reads it plus an offset, so that
// nothing relies on the clock starting at zero. The watchdog fires at each 0.5 s tick.
class CaptureStreamTest : public testing::Test {
public:
    CaptureStreamTest() {
        service.clock = [this] { return clock(); };
        capture = std::make_unique<CaptureStream>(
            service, handOver, scheduler, std::unique_ptr<RepeatingTimer>(watchdog),
            [this] { return clock(); }, [this] { return windowId; },
            [this](std::function<void()> task) { scheduler.after(0, std::move(task)); });
    }

    double clock() const { return scheduler.now() + 0.25; }

    void advanceTo(double time) {
        for (; nextTick_ <= time + 1e-9; nextTick_ += 0.5) {
            scheduler.advance(std::max(0.0, nextTick_ - scheduler.now()));
            if (fireWatchdog) {
                watchdog->fire();
            }
        }
        scheduler.advance(std::max(0.0, time - scheduler.now()));
    }
    void advance(double seconds) { advanceTo(scheduler.now() + seconds); }

    bool shown() { return handOver.takePending().has_value(); }

    test::LogCapture log;
    ManualScheduler scheduler;
    FakeCaptureService service;
    PictureHandOver handOver;
    ManualRepeatingTimer* watchdog = new ManualRepeatingTimer;  // owned by the stream
    std::optional<quint32> windowId = 42;
    bool fireWatchdog = true;
    std::unique_ptr<CaptureStream> capture;

private:
    double nextTick_ = 0.5;
};

TEST_F(CaptureStreamTest, CapturesThePrimaryDisplayScaledLeavingOutTheOverlayIfListed) {
    EXPECT_EQ(watchdog->interval(), std::chrono::milliseconds(500));
    service.content = ShareableContent{{{1001, 667}, {800, 600}}, {5}};
    capture->setScale(1.5);
    capture->startCapture();
    advanceTo(0.5);
    ASSERT_EQ(service.streams.size(), 1u);
    EXPECT_EQ(service.streams[0]->display, (CaptureDisplay{1001, 667}));
    EXPECT_EQ(service.streams[0]->excludedWindow, std::nullopt) << "42 is not listed";
    EXPECT_EQ(service.streams[0]->configuration,
              (CaptureConfiguration{1501, 1000, 3, false, 1.0 / 60}))
        << "scaled and truncated";
}

TEST_F(CaptureStreamTest, WorkStillUnderWayDoesNothingOnceDestroyed) {
    capture->startCapture();
    advanceTo(0.5);
    EXPECT_EQ(service.streams[0]->excludedWindow, 42u) << "the overlay, listed";
    service.holdStopReplies = true;
    capture->restartCapture();
    advance(0);
    capture->handleScreenWake();
    fireWatchdog = false;  // the timer went with the stream
    capture.reset();
    EXPECT_TRUE(service.streams[0]->destroyed);
    log.clear();
    service.streams[0]->reply();
    advance(5);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(service.queryTimes.size(), 1u);
}

// What the stream does with each turn of events: what it logs (the sample reports left out),
// when it asks for the content, how many streams it made; at the end, whether it is capturing
// from one stream, which shows its pictures, every other one destroyed and never shown.
struct Scenario {
    const char* name;
    Lines lines;
    std::vector<double> queries;  // clock readings
    std::size_t streams;
    bool capturing;
    std::function<void(CaptureStreamTest&)> script;
    friend void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }
};

class CaptureStreamScenarioTest : public CaptureStreamTest,
                                  public testing::WithParamInterface<Scenario> {};

TEST_P(CaptureStreamScenarioTest, KeepsOneStreamLiveWithItsDelaysAndLines) {
    GetParam().script(*this);
    Lines lines = log.lines();
    std::erase_if(
        lines, [](const std::string& line) { return line.find("Capture stream: ") != line.npos; });
    EXPECT_EQ(lines, GetParam().lines);
    EXPECT_THAT(service.queryTimes,
                testing::Pointwise(testing::DoubleNear(1e-9), GetParam().queries));
    ASSERT_EQ(service.streams.size(), GetParam().streams);
    EXPECT_EQ(capture->isCapturing(), GetParam().capturing);
    for (std::size_t i = 0; i < service.streams.size(); ++i) {
        const bool live = GetParam().capturing && i + 1 == service.streams.size();
        EXPECT_EQ(service.streams[i]->isDelivering(), live) << "stream " << i;
        EXPECT_EQ(service.streams[i]->destroyed, !live) << "stream " << i;
    }
    EXPECT_FALSE(shown()) << "nothing from a stream that is not the feed";
    service.deliver(kPicture);
    EXPECT_EQ(shown(), GetParam().capturing);
}

void start(CaptureStreamTest& t) {
    t.capture->startCapture();
    t.advanceTo(0.5);
}

/// Started, then `trigger` at 0.5 s, followed for 2.5 s without the watchdog.
std::function<void(CaptureStreamTest&)> restartBy(std::function<void(CaptureStreamTest&)> trigger) {
    return [trigger](CaptureStreamTest& t) {
        t.fireWatchdog = false;
        start(t);
        trigger(t);
        t.advance(2.5);
    };
}

/// A start that fails at one step, followed for 20 s.
std::function<void(CaptureStreamTest&)> failAt(std::function<void(FakeCaptureService&)> step) {
    return [step](CaptureStreamTest& t) {
        step(t.service);
        t.capture->startCapture();
        t.advanceTo(20);
    };
}

INSTANTIATE_TEST_SUITE_P(
    Turns, CaptureStreamScenarioTest,
    testing::Values(
        // A first start waits 0.5 s so the overlay window can be set up.
        Scenario{"FirstStart", {kStarted}, {0.75}, 1, true, start},
        // Each retry is a fresh start, which waits its own 0.5 s.
        Scenario{"NoOverlayWindowYet",
                 {"No overlay window - retrying...", "No overlay window - retrying...", kStarted},
                 {0.75, 1.75, 2.75},
                 1,
                 true,
                 [](auto& t) {
                     t.fireWatchdog = false;
                     t.windowId = std::nullopt;
                     t.capture->startCapture();
                     t.advanceTo(1.5);
                     t.windowId = 42;
                     t.advanceTo(3);
                 }},
        // A failed start is tried again only by the watchdog, once per stall: the first after
        // 1.5 s of silence (1 s is not a stall), then the restart's pause and the start's wait.
        Scenario{"NoContent",
                 {"Failed to get shareable content: no X connection", kStall,
                  "Failed to get shareable content: no X connection"},
                 {0.75, 2.35},
                 0,
                 false,
                 failAt([](auto& s) {
                     s.content = std::nullopt;
                     s.contentError = "no X connection";
                 })},
        Scenario{"NoStart",
                 {"CAPTURE FAILED: BadMatch", kStall, "CAPTURE FAILED: BadMatch"},
                 {0.75, 2.35},
                 2,
                 false,
                 failAt([](auto& s) { s.startError = "BadMatch"; })},
        // A restart stops at once, pauses 0.1 s and starts afresh (0.5 s); notifications wait
        // first. A stream the source ended is kept, so the start 2 s later skips its wait.
        Scenario{"Restart", {kStarted, kStarted}, {0.75, 1.35}, 2, true, restartBy([](auto& t) {
                     t.capture->restartCapture();
                 })},
        Scenario{"ScreenWake",
                 {kStarted, "Screen wake detected - restarting capture", kStarted},
                 {0.75, 1.85},
                 2,
                 true,
                 restartBy([](auto& t) { t.capture->handleScreenWake(); })},
        Scenario{"EndedBySource",
                 {kStarted, "Stream stopped with error: display lost", kStarted},
                 {0.75, 2.75},
                 2,
                 true,
                 restartBy([](auto& t) { t.service.streams[0]->endBySource("display lost"); })},
        // A stall restarts once, however long the silence; once samples come back, the next
        // stall gets its own restart.
        Scenario{"Stalls",
                 {kStarted, "\u26a0\ufe0f Frames stopped (1.3s) - attempting restart", kStarted,
                  "\u2705 Frames resumed", kStall, kStarted},
                 {0.75, 2.85, 17.35},
                 3,
                 true,
                 [](auto& t) {
                     start(t);
                     t.advanceTo(0.7);
                     t.service.deliver({});
                     t.advanceTo(15);
                     t.service.deliver({});
                     t.advanceTo(18);
                 }},
        // One restart at a time; the watchdog leaves one stuck in its stop alone, and the
        // stream being stopped is no longer the feed.
        Scenario{"RestartDuringARestart",
                 {kStarted, "Restart already in progress, skipping", kStarted},
                 {0.75, 3.85},
                 2,
                 true,
                 [](auto& t) {
                     start(t);
                     t.service.holdStopReplies = true;
                     t.capture->restartCapture();
                     t.capture->restartCapture();
                     t.advanceTo(3);
                     t.service.streams[0]->delegate->didOutputSample(kPicture);
                     t.service.streams[0]->delegate->didStopWithError("late");
                     t.service.streams[0]->reply();
                     t.fireWatchdog = false;  // the silence would be a new stall from here on
                     t.advanceTo(4);
                 }}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace glimmora
