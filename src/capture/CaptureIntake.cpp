#include "capture/CaptureIntake.h"

#include <limits>
#include <string>
#include <utility>

#include "core/Log.h"

namespace glimmora {

namespace {

constexpr double never = -std::numeric_limits<double>::infinity();
constexpr double reportInterval = 5.0;

/// Speaks for one stream, so that the intake can tell the followed stream's calls from those
/// of streams the owner no longer wants.
class StreamDelegate final : public CaptureStreamDelegate {
public:
    StreamDelegate(CaptureIntake& intake, std::uint64_t streamId)
        : intake_(intake), streamId_(streamId) {}

    void didOutputSample(const CaptureSample& sample) override { intake_.take(streamId_, sample); }
    void didStopWithError(const QString& error) override {
        intake_.takeStopReport(streamId_, error);
    }

private:
    CaptureIntake& intake_;
    const std::uint64_t streamId_;
};

}  // namespace

CaptureIntake::CaptureIntake(PictureHandOver& handOver, std::function<double()> clock,
                             std::function<void(std::uint64_t streamId)> onStopReport)
    : handOver_(handOver),
      clock_(std::move(clock)),
      onStopReport_(std::move(onStopReport)),
      lastSampleTime_(clock_()),
      lastReportTime_(never),
      lastPictureTime_(never) {}

std::unique_ptr<CaptureStreamDelegate> CaptureIntake::delegateFor(std::uint64_t streamId) {
    return std::make_unique<StreamDelegate>(*this, streamId);
}

void CaptureIntake::takeStopReport(std::uint64_t streamId, const QString& error) {
    if (streamId != followed()) {
        return;  // a stream being started, superseded or stopped on purpose: not the feed
    }
    logLine("Stream stopped with error: " + error.toStdString());
    onStopReport_(streamId);
}

void CaptureIntake::take(std::uint64_t streamId, const CaptureSample& sample) {
    if (streamId != followed()) {
        return;
    }
    lastSampleTime_.store(clock_(), relaxed);
    if (isStalled_.exchange(false, relaxed)) {
        logLine("\u2705 Frames resumed");
    }

    const int count = sampleCount_.fetch_add(1, relaxed) + 1;
    const double t = clock_();
    if (t - lastReportTime_.load(relaxed) > reportInterval) {
        logLine("\U0001F4F9 Capture stream: " + std::to_string(count) +
                " frames received in last 5s");
        sampleCount_.store(0, relaxed);
        lastReportTime_.store(t, relaxed);
    }

    // A picture that comes too soon after the last one is held back rather than dropped:
    // dropping it would lose the last change of a burst (the final keystroke) until something
    // else changes. A sample without a picture says only that the desktop did not change.
    // A replaced scene may free pixmaps on the server: that happens after the lock.
    DesktopPicture replaced;
    const std::lock_guard lock(heldPictureMutex_);
    if (sample.hasPicture()) {
        DesktopPicture picture{sample.picture, sample.scene, sample.changed};
        if (!heldPicture_.isNull()) {
            picture = DesktopPicture::replacing(std::move(picture), heldPicture_);
        }
        replaced = std::exchange(heldPicture_, std::move(picture));
    }
    if (!heldPicture_.isNull() && t - lastPictureTime_.load(relaxed) >= minPictureInterval) {
        lastPictureTime_.store(t, relaxed);
        handOver_.submit(std::exchange(heldPicture_, DesktopPicture{}));
    }
}

}  // namespace glimmora
