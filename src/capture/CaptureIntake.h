#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "capture/CaptureService.h"
#include "capture/DesktopPicture.h"
#include "capture/PictureHandOver.h"

namespace glimmora {

/// Where a capture stream's samples come in: the one part of the live desktop feed that runs on
/// the capture service's threads, so that the feed's policy (CaptureStream) stays on the main
/// thread.
///
/// It takes the samples and the stop report of one stream at a time, the one the main thread
/// follow()s; calls of any other stream (one starting, superseded or being stopped) are
/// ignored. Every sample taken is a sign of life: it stamps the time the watchdog reads, ends a
/// stall the watchdog reported ("Frames resumed") and counts in the 5-second report. A sample
/// with a picture or a scene goes to the hand-over when at least minPictureInterval has passed
/// since the last one that did; one that comes sooner is held back (the newest replacing an
/// older one) and goes out with the next sample that is late enough, picture or not, so the
/// last change of a burst is never lost. A sample with neither does not take the slot, so a
/// change right after a quiet moment is not held back.
///
/// Threads: samples arrive one at a time on the delivery thread; the stop report on whatever
/// thread noticed the end, which hands it on through `onStopReport` (it must only post it to
/// the main thread). The main thread and those threads share the followed stream, the time
/// stamp, the stall flag and the counters as relaxed atomics; the held picture sits under its
/// own lock, and pictures leave through the hand-over's lock. Consecutive streams deliver on
/// different threads, one at a time, which is why the delivery-only fields are atomic too.
class CaptureIntake {
public:
    /// Smallest spacing of pictures handed to the draw loop, in seconds.
    static constexpr double minPictureInterval = 1.0 / 60;

    /// `clock` gives monotonic seconds from any thread; silence is counted from now.
    /// `onStopReport(streamId)` runs on the reporting thread after the report was logged.
    CaptureIntake(PictureHandOver& handOver, std::function<double()> clock,
                  std::function<void(std::uint64_t streamId)> onStopReport);
    CaptureIntake(const CaptureIntake&) = delete;
    CaptureIntake& operator=(const CaptureIntake&) = delete;

    /// Main thread. The delegate for stream `streamId` (never 0); it must outlive its stream
    /// and this intake must outlive it.
    std::unique_ptr<CaptureStreamDelegate> delegateFor(std::uint64_t streamId);
    /// Main thread. Takes the calls of `streamId` from now on; 0 takes none.
    void follow(std::uint64_t streamId) { followed_.store(streamId, relaxed); }
    std::uint64_t followed() const { return followed_.load(relaxed); }

    /// When the last sample was taken (the clock at construction before the first).
    double lastSampleTime() const { return lastSampleTime_.load(relaxed); }
    /// Main thread: the watchdog saw a stall; the next sample ends it.
    void markStalled() { isStalled_.store(true, relaxed); }
    /// A stall was reported and no sample has come since. Any thread.
    bool isStalled() const { return isStalled_.load(relaxed); }
    /// Samples taken since the last report. Any thread.
    int sampleCount() const { return sampleCount_.load(relaxed); }

    /// Delivery thread: takes one sample of `streamId`.
    void take(std::uint64_t streamId, const CaptureSample& sample);
    /// Reporting thread: `streamId` ended by itself.
    void takeStopReport(std::uint64_t streamId, const QString& error);

private:
    static constexpr auto relaxed = std::memory_order_relaxed;

    PictureHandOver& handOver_;
    std::function<double()> clock_;
    std::function<void(std::uint64_t)> onStopReport_;

    std::atomic<std::uint64_t> followed_{0};
    std::atomic<double> lastSampleTime_;
    std::atomic<bool> isStalled_{false};
    // "Never" is minus infinity, so the first sample always reports and its picture always
    // goes out, however early on the monotonic clock it comes.
    std::atomic<int> sampleCount_{0};
    std::atomic<double> lastReportTime_;
    std::atomic<double> lastPictureTime_;
    std::mutex heldPictureMutex_;
    DesktopPicture heldPicture_;  // the newest one the throttle held back
};

}  // namespace glimmora
