#include "capture/CaptureStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/FakeCaptureService.h"
#include "support/ManualRepeatingTimer.h"
#include "support/ManualScheduler.h"

namespace glimmora {
namespace {

using Lines = std::vector<std::string>;

const std::string kStarted42 = "CAPTURE STARTED \u2013 LIVE DESKTOP (excluding window 42)";
const std::string kResumed = "\u2705 Frames resumed";

CaptureSample picture() {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    return {image};
}

int count(const Lines& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// Virtual time starts at 0 when the stream is created; the clock reads it plus an offset, so
// nothing may rely on the clock starting at zero (and the first report must still come
// although the clock is below 5 s).
class CaptureStreamTest : public testing::Test {
protected:
    static constexpr double kClockOffset = 0.25;

    CaptureStreamTest() {
        service.clock = [this] { return clock(); };
        auto timer = std::make_unique<ManualRepeatingTimer>();
        watchdog = timer.get();
        capture = std::make_unique<CaptureStream>(
            service, handOver, scheduler, std::move(timer), [this] { return clock(); },
            [this] { return windowId; },
            [this](std::function<void()> task) {
                ++posts;
                scheduler.after(0, std::move(task));
            });
        testing::internal::CaptureStdout();
    }
    // Failure messages go to the captured standard output too; show them.
    ~CaptureStreamTest() override {
        const std::string rest = testing::internal::GetCapturedStdout();
        if (HasFailure()) {
            std::cerr << rest;
        }
    }

    double clock() const { return scheduler.now() + kClockOffset; }

    /// Moves virtual time to `time` (seconds since creation), firing the watchdog at each
    /// 0.5 s tick on the way unless `fireWatchdog` is off.
    void advanceTo(double time) {
        while (nextTick_ <= time + 1e-9) {
            scheduler.advance(std::max(0.0, nextTick_ - scheduler.now()));
            if (fireWatchdog) {
                watchdog->fire();
            }
            nextTick_ += 0.5;
        }
        scheduler.advance(std::max(0.0, time - scheduler.now()));
    }
    void advance(double seconds) { advanceTo(scheduler.now() + seconds); }

    /// The lines printed since the last call.
    Lines takeLines() {
        std::istringstream text(testing::internal::GetCapturedStdout());
        testing::internal::CaptureStdout();
        Lines lines;
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    /// First start, done at 0.5 s; forgets its line.
    void startCapturing() {
        capture->startCapture();
        advanceTo(0.5);
        ASSERT_TRUE(capture->isCapturing());
        takeLines();
    }

    bool converted() { return handOver.takePending().has_value(); }

    ManualScheduler scheduler;
    FakeCaptureService service;
    PictureHandOver handOver;
    ManualRepeatingTimer* watchdog = nullptr;
    std::optional<quint32> windowId = 42;
    int posts = 0;
    bool fireWatchdog = true;
    std::unique_ptr<CaptureStream> capture;

private:
    double nextTick_ = 0.5;
};

// --- Starting --------------------------------------------------------------------------------

TEST_F(CaptureStreamTest, FirstStartWaitsHalfASecondThenCapturesWithoutTheOverlay) {
    EXPECT_TRUE(watchdog->isActive());
    EXPECT_EQ(watchdog->interval(), std::chrono::milliseconds(500));

    capture->startCapture();
    advanceTo(0.49);
    EXPECT_EQ(service.queryCount, 0);
    advanceTo(0.5);
    ASSERT_EQ(service.streams.size(), 1u);
    const FakeStreamRecord& stream = service.last();
    EXPECT_EQ(stream.display, (CaptureDisplay{1920, 1080}));
    EXPECT_EQ(stream.excludedWindow, 42u);
    EXPECT_EQ(stream.configuration, (CaptureConfiguration{1920, 1080, 3, false, 1.0 / 60}));
    EXPECT_TRUE(capture->isCapturing());
    EXPECT_TRUE(capture->hasStream());
    EXPECT_EQ(takeLines(), Lines{kStarted42});
}

TEST_F(CaptureStreamTest, CapturesThePrimaryDisplayScaledAndTruncated) {
    service.content = ShareableContent{{{1512, 982}, {800, 600}}, {42}};
    capture->setScale(2.0);
    startCapturing();
    EXPECT_EQ(service.last().configuration.width, 3024);
    EXPECT_EQ(service.last().configuration.height, 1964);

    service.content = ShareableContent{{{1001, 667}}, {42}};
    capture->setScale(1.5);
    capture->restartCapture();
    advance(0.65);
    ASSERT_EQ(service.streams.size(), 2u);
    EXPECT_EQ(service.last().configuration.width, 1501);   // 1501.5
    EXPECT_EQ(service.last().configuration.height, 1000);  // 1000.5
}

TEST_F(CaptureStreamTest, RetriesUntilTheOverlayIsInAWindow) {
    fireWatchdog = false;  // its restart would take over the retries after 1 s of silence
    windowId = std::nullopt;
    capture->startCapture();
    advanceTo(0.5);
    EXPECT_EQ(takeLines(), Lines{"No NSWindow - retrying..."});
    // Each retry is a fresh start, which waits its own 0.5 s before asking again.
    advanceTo(1.5);
    EXPECT_EQ(takeLines(), Lines{"No NSWindow - retrying..."});
    windowId = 7;
    advanceTo(2.5);
    EXPECT_EQ(takeLines(), Lines{"CAPTURE STARTED \u2013 LIVE DESKTOP (excluding window 7)"});
    ASSERT_EQ(service.queryTimes.size(), 3u);
    EXPECT_NEAR(service.queryTimes[1] - service.queryTimes[0], 1.0, 1e-9);
    EXPECT_NEAR(service.queryTimes[2] - service.queryTimes[1], 1.0, 1e-9);
    EXPECT_EQ(service.streams.size(), 1u);
}

TEST_F(CaptureStreamTest, LeavesNothingOutWhenTheOverlayIsNotListed) {
    service.content = ShareableContent{{{1920, 1080}}, {5, 6}};
    startCapturing();
    EXPECT_EQ(service.last().excludedWindow, std::nullopt);
}

TEST_F(CaptureStreamTest, FailedQueryIsRetriedOnlyByTheWatchdogOncePerStall) {
    service.content = std::nullopt;
    service.contentError = "no X connection";
    capture->startCapture();
    advanceTo(0.5);
    EXPECT_EQ(takeLines(), Lines{"Failed to get shareable content: no X connection"});
    EXPECT_FALSE(capture->isCapturing());
    EXPECT_FALSE(capture->hasStream());

    advanceTo(1.0);  // exactly 1 s of silence is not yet a stall
    EXPECT_TRUE(takeLines().empty());
    advanceTo(1.5);
    advanceTo(2.11);  // restart pause 0.1 s + start wait 0.5 s
    EXPECT_EQ(takeLines(), (Lines{"\u26a0\ufe0f Frames stopped (1.5s) - attempting restart",
                                  "Failed to get shareable content: no X connection"}));
    advanceTo(20);
    EXPECT_TRUE(takeLines().empty());
    EXPECT_EQ(service.queryCount, 2);
}

TEST_F(CaptureStreamTest, EachFailedStepIsReportedAndLeavesNoStream) {
    fireWatchdog = false;  // each step is retried by hand here
    service.content = ShareableContent{{}, {42}};
    capture->startCapture();
    advanceTo(0.5);
    EXPECT_EQ(takeLines(), Lines{"No display found"});
    EXPECT_TRUE(service.streams.empty());

    service.content = ShareableContent{{{1920, 1080}}, {42}};
    service.makeStreamError = "no Composite extension";
    capture->startCapture();
    advance(0.5);
    EXPECT_EQ(takeLines(), Lines{"CAPTURE FAILED: no Composite extension"});

    service.makeStreamError.clear();
    service.startError = "BadMatch";
    capture->startCapture();
    advance(0.5);
    advance(0);  // dropped streams go at the next turn
    EXPECT_EQ(takeLines(), Lines{"CAPTURE FAILED: BadMatch"});
    EXPECT_TRUE(service.last().destroyed);
    EXPECT_FALSE(capture->isCapturing());
    EXPECT_FALSE(capture->hasStream());
}

// --- Sample intake -----------------------------------------------------------------------

TEST_F(CaptureStreamTest, ConvertsAtMostSixtyPicturesASecondButCountsEverySample) {
    startCapturing();
    const double start = 1.0;
    int convertedCount = 0;
    double lastConversion = -1;
    for (int i = 0; i < 120; ++i) {
        advanceTo(start + i / 120.0);
        service.deliver(picture());
        if (converted()) {
            if (convertedCount > 0) {
                EXPECT_GE(clock() - lastConversion, CaptureStream::minFrameInterval);
            }
            lastConversion = clock();
            ++convertedCount;
        }
    }
    EXPECT_GE(convertedCount, 40);
    EXPECT_LE(convertedCount, 60);
    EXPECT_EQ(takeLines(), Lines{"\U0001F4F9 SCStream: 1 frames received in last 5s"});
    EXPECT_EQ(capture->frameCount(), 119);  // all but the first, which was reported
}

TEST_F(CaptureStreamTest, SampleWithoutPictureCountsButLeavesTheNextPictureItsSlot) {
    startCapturing();
    advanceTo(0.6);
    service.deliver(picture());
    EXPECT_TRUE(converted());
    advanceTo(0.62);
    service.deliver(CaptureSample{});
    EXPECT_FALSE(converted());
    advanceTo(0.63);  // over 1/60 s after the last picture, 10 ms after the empty sample
    service.deliver(picture());
    EXPECT_TRUE(converted());
    advanceTo(0.64);
    service.deliver(picture());
    EXPECT_FALSE(converted());
    EXPECT_EQ(capture->frameCount(), 3);
}

TEST_F(CaptureStreamTest, PictureTooSoonIsHeldBackUntilTheNextSampleNotLost) {
    startCapturing();
    advanceTo(0.6);
    service.deliver(picture());
    EXPECT_TRUE(converted());
    QImage last(4, 4, QImage::Format_RGB32);
    last.fill(qRgb(7, 8, 9));
    advanceTo(0.605);
    service.deliver(picture());
    advanceTo(0.61);  // the last change of a burst, too soon to convert
    service.deliver(CaptureSample{last});
    EXPECT_FALSE(converted());
    advanceTo(0.85);  // a sign of life with nothing new lets the held picture through
    service.deliver(CaptureSample{});
    const auto shown = handOver.takePending();
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->image, last) << "the newest held picture, not an older one";
    advanceTo(1.1);
    service.deliver(CaptureSample{});
    EXPECT_FALSE(converted()) << "nothing is held any more";
}

TEST_F(CaptureStreamTest, ScenesGoToTheHandOverLikePicturesHeldBackWhenTooSoon) {
    startCapturing();
    auto scene = [](int width) {
        auto made = std::make_shared<DesktopScene>();
        made->size = QSize(width, 4);
        return std::shared_ptr<const DesktopScene>(std::move(made));
    };
    advanceTo(0.6);
    const auto first = scene(1);
    service.deliver(CaptureSample{QImage(), first});
    std::optional<DesktopPicture> shown = handOver.takePending();
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->scene, first);
    EXPECT_TRUE(shown->image.isNull());

    advanceTo(0.605);  // too soon: held back, then replaced by a newer one
    auto second = scene(2);
    const std::weak_ptr<const DesktopScene> replaced = second;
    service.deliver(CaptureSample{QImage(), std::move(second)});
    const auto newest = scene(3);
    service.deliver(CaptureSample{QImage(), newest});
    EXPECT_FALSE(converted());
    EXPECT_TRUE(replaced.expired()) << "a replaced scene lets go of its pixmaps at once";
    advanceTo(0.7);
    service.deliver(CaptureSample{});
    shown = handOver.takePending();
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->scene, newest);
    EXPECT_EQ(newest.use_count(), 2) << "the held scene was given up, not kept";
}

TEST_F(CaptureStreamTest, ReportsTheFirstSampleThenAfterMoreThanFiveSeconds) {
    startCapturing();
    advanceTo(0.6);
    service.deliver(CaptureSample{});
    EXPECT_EQ(takeLines(), Lines{"\U0001F4F9 SCStream: 1 frames received in last 5s"});
    for (double t = 1.0; t < 5.6; t += 0.5) {  // ten samples, the last 4.9 s after the report
        advanceTo(t);
        service.deliver(CaptureSample{});
    }
    EXPECT_TRUE(takeLines().empty());
    advanceTo(5.7);
    service.deliver(CaptureSample{});
    EXPECT_EQ(takeLines(), Lines{"\U0001F4F9 SCStream: 11 frames received in last 5s"});
    EXPECT_EQ(capture->frameCount(), 0);
}

// --- Watchdog, notifications and restarts ---------------------------------------------------

TEST_F(CaptureStreamTest, StallRestartsOnceUntilASampleArrives) {
    startCapturing();
    advanceTo(0.7);
    service.deliver(picture());
    takeLines();
    advanceTo(1.9);
    EXPECT_TRUE(takeLines().empty());
    advanceTo(2.0);
    EXPECT_EQ(takeLines(), Lines{"\u26a0\ufe0f Frames stopped (1.3s) - attempting restart"});
    EXPECT_TRUE(capture->isFrameStale());

    advanceTo(2.61);
    EXPECT_EQ(takeLines(), Lines{kStarted42});
    ASSERT_EQ(service.streams.size(), 2u);
    EXPECT_TRUE(service.streams[0]->destroyed);

    // The restarted stream stays silent too: no second restart however long it lasts.
    advanceTo(15);
    EXPECT_TRUE(takeLines().empty());
    EXPECT_EQ(service.streams.size(), 2u);

    for (int i = 0; i < 3; ++i) {
        advance(0.1);
        service.deliver(picture());
    }
    EXPECT_EQ(count(takeLines(), kResumed), 1);
    EXPECT_FALSE(capture->isFrameStale());

    // Once frames came back, the next stall gets its own restart.
    advance(3);
    EXPECT_EQ(service.streams.size(), 3u);
}

TEST_F(CaptureStreamTest, NotificationsRestartAfterTheirDelays) {
    startCapturing();
    advanceTo(0.55);
    service.deliver(picture());
    takeLines();
    const double wake = clock();
    capture->handleScreenWake();
    EXPECT_EQ(takeLines(), Lines{"Screen wake detected - restarting capture"});
    advanceTo(1.7);
    EXPECT_NEAR(service.streams[0]->stopTime - wake, 0.5, 1e-9);
    ASSERT_EQ(service.queryTimes.size(), 2u);
    EXPECT_NEAR(service.queryTimes[1] - wake, 1.1, 1e-9);  // restart pause + start wait
    EXPECT_EQ(takeLines(), Lines{kStarted42});

    service.deliver(picture());
    const double restore = clock();
    capture->handleWindowRestore();
    advance(0.95);
    EXPECT_NEAR(service.streams[1]->stopTime - restore, 0.3, 1e-9);
    ASSERT_EQ(service.queryTimes.size(), 3u);
    EXPECT_NEAR(service.queryTimes[2] - restore, 0.9, 1e-9);
    EXPECT_EQ(takeLines(), Lines{kStarted42});  // the restore itself says nothing
}

TEST_F(CaptureStreamTest, RestartDuringARestartIsSkippedAndTheWatchdogWaits) {
    startCapturing();
    service.holdStopReplies = true;
    capture->restartCapture();
    capture->restartCapture();
    EXPECT_EQ(takeLines(), Lines{"Restart already in progress, skipping"});
    EXPECT_TRUE(capture->isRestarting());

    // Stuck in the stop: silence passes the threshold but the watchdog leaves the restart be.
    advanceTo(3.0);
    EXPECT_TRUE(takeLines().empty());
    EXPECT_FALSE(capture->isCapturing());

    service.streams[0]->completeStop();
    fireWatchdog = false;  // the silence would count as a new stall from here on
    advance(0.11);
    EXPECT_FALSE(capture->isRestarting());
    advance(0.5);
    EXPECT_EQ(service.streams.size(), 2u);
    EXPECT_EQ(service.deliveringCount(), 1);
}

TEST_F(CaptureStreamTest, FailedStopStillRestarts) {
    startCapturing();
    service.stopError = "BadDrawable";
    capture->restartCapture();
    advance(0.65);
    EXPECT_EQ(takeLines(), (Lines{"Error stopping capture: BadDrawable", kStarted42}));
    EXPECT_TRUE(service.streams[0]->destroyed);
    EXPECT_EQ(service.deliveringCount(), 1);
}

TEST_F(CaptureStreamTest, StreamEndedBySourceStartsAgainTwoSecondsLaterWithoutTheWait) {
    fireWatchdog = false;  // only the stop report's own retry is under test
    startCapturing();
    service.streams[0]->endBySource("display lost");
    EXPECT_EQ(takeLines(), Lines{"Stream stopped with error: display lost"});
    EXPECT_EQ(posts, 1);
    advance(0);  // the report reaches the policy on the main thread
    EXPECT_FALSE(capture->isCapturing());
    EXPECT_TRUE(capture->hasStream());  // kept: the next start skips its 0.5 s wait

    advanceTo(2.49);
    EXPECT_EQ(service.queryCount, 1);
    advanceTo(2.5);
    EXPECT_EQ(service.queryCount, 2);
    EXPECT_EQ(takeLines(), Lines{kStarted42});
    EXPECT_TRUE(capture->isCapturing());
    EXPECT_TRUE(service.streams[0]->destroyed);
    EXPECT_EQ(service.deliveringCount(), 1);
}

// --- At most one live stream -------------------------------------------------------------

TEST_F(CaptureStreamTest, StopReportRetryAfterAWatchdogRestartKeepsOneStream) {
    startCapturing();
    service.streams[0]->endBySource("display lost");
    advanceTo(5.0);  // watchdog restart at 1.5, the report's own start at 2.5
    EXPECT_EQ(service.streams.size(), 2u);
    EXPECT_EQ(service.deliveringCount(), 1);
    EXPECT_TRUE(capture->isCapturing());
}

TEST_F(CaptureStreamTest, AStartSupersededByARestartNeverDelivers) {
    service.holdStartReplies = true;
    capture->startCapture();
    advanceTo(0.5);
    capture->restartCapture();
    advance(0.05);  // in the restart's pause

    // The superseded start succeeds now: its stream is dropped, never shown or counted.
    service.streams[0]->completeStart();
    service.streams[0]->delegate->didOutputSample(picture());
    EXPECT_EQ(capture->frameCount(), 0);
    EXPECT_FALSE(converted());
    EXPECT_FALSE(capture->isCapturing());
    EXPECT_TRUE(takeLines().empty());

    advance(0.6);
    ASSERT_EQ(service.streams.size(), 2u);
    EXPECT_TRUE(service.streams[0]->destroyed);
    service.streams[1]->completeStart();
    EXPECT_EQ(takeLines(), Lines{kStarted42});
    EXPECT_EQ(service.deliveringCount(), 1);
    service.deliver(picture());
    EXPECT_TRUE(converted());
}

TEST_F(CaptureStreamTest, ANewerStartSupersedesAnEarlierOne) {
    capture->startCapture();
    advanceTo(0.2);
    capture->startCapture();
    advanceTo(1.0);
    EXPECT_EQ(service.queryCount, 1);
    EXPECT_EQ(service.streams.size(), 1u);
    EXPECT_EQ(takeLines(), Lines{kStarted42});
}

TEST_F(CaptureStreamTest, StreamBeingStoppedIsIgnored) {
    startCapturing();
    service.holdStopReplies = true;
    capture->restartCapture();
    advance(0);
    service.streams[0]->delegate->didOutputSample(picture());
    service.streams[0]->delegate->didStopWithError("late");
    EXPECT_EQ(capture->frameCount(), 0);
    EXPECT_FALSE(converted());
    EXPECT_TRUE(takeLines().empty());
    EXPECT_EQ(posts, 0);
}

TEST_F(CaptureStreamTest, WorkStillUnderWayDoesNothingOnceDestroyed) {
    startCapturing();
    service.holdStopReplies = true;
    capture->restartCapture();
    advance(0);
    capture->handleScreenWake();
    takeLines();
    fireWatchdog = false;  // the timer went with the stream
    capture.reset();
    EXPECT_TRUE(service.streams[0]->destroyed);
    service.streams[0]->completeStop();
    advance(5);
    EXPECT_TRUE(takeLines().empty());
    EXPECT_EQ(service.queryCount, 1);
}

}  // namespace
}  // namespace glimmora
