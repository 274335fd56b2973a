#include "capture/CaptureStream.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/Log.h"

namespace glimmora {

namespace {

constexpr double firstStartDelay = 0.5;     // lets the overlay window be set up first
constexpr double windowRetryDelay = 0.5;    // while the renderer is not in a window yet
constexpr double restartPause = 0.1;        // between stopping and starting again
constexpr double screenWakeDelay = 0.5;     // after a wake or a screen change
constexpr double windowRestoreDelay = 0.3;  // after a window came back from the dock
constexpr double afterStreamStopDelay = 2.0;

void logError(const std::string& prefix, const QString& error) {
    logLine(prefix + error.toStdString());
}

}  // namespace

/// A stream and its delegate. The session is declared last so it is destroyed first: its
/// destructor ends delivery, after which the delegate can go.
struct CaptureStream::OwnedStream {
    std::uint64_t id = 0;
    std::unique_ptr<CaptureStreamDelegate> delegate;
    std::unique_ptr<CaptureStreamSession> session;
};

CaptureStream::CaptureStream(CaptureService& service, PictureHandOver& handOver,
                             Scheduler& scheduler, std::unique_ptr<RepeatingTimer> watchdogTimer,
                             std::function<double()> clock,
                             std::function<std::optional<quint32>()> overlayWindowId,
                             PostToMainThread postToMainThread)
    : service_(service),
      scheduler_(scheduler),
      staleFrameTimer_(std::move(watchdogTimer)),
      clock_(std::move(clock)),
      overlayWindowId_(std::move(overlayWindowId)),
      postToMainThread_(std::move(postToMainThread)),
      intake_(handOver, clock_, [this](std::uint64_t streamId) {
          // On the reporting thread: only the post, which is thread-safe, happens there.
          postToMainThread_([this, streamId, alive = std::weak_ptr(alive_)] {
              if (alive.lock()) {
                  streamStopped(streamId);
              }
          });
      }) {
    // The timer belongs to this object and is stopped in the destructor, so `this` stays valid.
    staleFrameTimer_->start(watchdogInterval, [this] { checkForStaleFrames(); });
}

CaptureStream::~CaptureStream() {
    staleFrameTimer_->stop();
    intake_.follow(0);
    alive_.reset();
    // Streams go first, while every field their delegates might still touch is alive.
    stream_.reset();
    waiting_.clear();
    released_.clear();
}

void CaptureStream::later(double seconds, std::function<void()> task) {
    scheduler_.after(seconds, [alive = std::weak_ptr(alive_), task = std::move(task)] {
        if (alive.lock()) {
            task();
        }
    });
}

// --- Starting -------------------------------------------------------------------------------

void CaptureStream::startCapture() {
    const std::uint64_t generation = ++startGeneration_;
    if (!stream_ && !isCapturing()) {
        later(firstStartDelay, [this, generation] {
            if (isCurrent(generation)) {
                continueStart(generation);
            }
        });
        return;
    }
    continueStart(generation);
}

void CaptureStream::continueStart(std::uint64_t generation) {
    if (isCapturing()) {
        return;
    }
    service_.queryShareableContent([this, generation, alive = std::weak_ptr(alive_)](
                                       std::optional<ShareableContent> content, QString error) {
        if (alive.lock() && isCurrent(generation)) {
            startWithContent(generation, content, error);
        }
    });
}

void CaptureStream::startWithContent(std::uint64_t generation,
                                     const std::optional<ShareableContent>& content,
                                     const QString& error) {
    if (!content) {
        logError("Failed to get shareable content: ", error);
        return;
    }
    if (content->displays.empty()) {
        logLine("No display found");
        return;
    }
    const CaptureDisplay& display = content->displays.front();

    const std::optional<quint32> windowId = overlayWindowId_();
    if (!windowId) {
        logLine("No overlay window - retrying...");
        later(windowRetryDelay, [this, generation] {
            if (isCurrent(generation)) {
                startCapture();
            }
        });
        return;
    }

    const auto& ids = content->windowIds;
    const bool listed = std::find(ids.begin(), ids.end(), *windowId) != ids.end();
    const std::optional<quint32> excluded = listed ? windowId : std::nullopt;

    CaptureConfiguration configuration;
    configuration.width = static_cast<int>(display.width * scale_);
    configuration.height = static_cast<int>(display.height * scale_);
    configuration.queueDepth = 3;
    configuration.showsCursor = false;
    configuration.minimumFrameInterval = minFrameInterval;

    auto owned = std::make_unique<OwnedStream>();
    owned->id = nextStreamId_++;
    owned->delegate = intake_.delegateFor(owned->id);
    QString makeError;
    owned->session =
        service_.makeStream(display, excluded, configuration, *owned->delegate, &makeError);
    if (!owned->session) {
        logError("CAPTURE FAILED: ", makeError);
        return;
    }

    const std::uint64_t streamId = owned->id;
    CaptureStreamSession& session = *owned->session;
    waiting_.push_back(std::move(owned));
    session.start([this, generation, streamId, windowId = *windowId,
                   alive = std::weak_ptr(alive_)](std::optional<QString> startError) {
        if (!alive.lock()) {
            return;
        }
        finishStart(generation, streamId, windowId, startError);
    });
}

void CaptureStream::finishStart(std::uint64_t generation, std::uint64_t streamId, quint32 windowId,
                                const std::optional<QString>& error) {
    if (error) {
        logError("CAPTURE FAILED: ", *error);
        release(streamId);
        return;
    }
    if (!isCurrent(generation)) {
        // Superseded while starting: a newer start or a restart owns the feed now.
        release(streamId);
        return;
    }
    auto found = std::find_if(waiting_.begin(), waiting_.end(),
                              [streamId](const auto& owned) { return owned->id == streamId; });
    if (found == waiting_.end()) {
        return;
    }
    auto started = std::move(*found);
    waiting_.erase(found);
    // A stream the service stopped may still be kept; it goes before the new one takes over.
    stream_.reset();
    stream_ = std::move(started);
    intake_.follow(streamId);
    isCapturing_ = true;
    logLine("CAPTURE STARTED \u2013 LIVE DESKTOP (excluding window " + std::to_string(windowId) +
            ")");
}

void CaptureStream::release(std::uint64_t streamId) {
    auto found = std::find_if(waiting_.begin(), waiting_.end(),
                              [streamId](const auto& owned) { return owned->id == streamId; });
    if (found == waiting_.end()) {
        return;
    }
    released_.push_back(std::move(*found));
    waiting_.erase(found);
    later(0, [this] { released_.clear(); });
}

// --- Restarting -----------------------------------------------------------------------------

void CaptureStream::restartCapture() {
    if (isRestarting_) {
        logLine("Restart already in progress, skipping");
        return;
    }
    isRestarting_ = true;
    ++startGeneration_;  // starts still under way would only race the restarted one
    later(0, [this] { stopCurrentStreamForRestart(); });
}

void CaptureStream::stopCurrentStreamForRestart() {
    if (!stream_) {
        later(restartPause, [this] { launchRestartedStart(); });
        return;
    }
    isCapturing_ = false;
    // A stream being stopped on purpose is no longer the feed: its last samples and any stop
    // report of its own are ignored. It leaves `stream_` at once, so a start that succeeds
    // during the stop is not the one dropped when the stop finishes.
    intake_.follow(0);
    const std::uint64_t streamId = stream_->id;
    CaptureStreamSession& session = *stream_->session;
    waiting_.push_back(std::move(stream_));
    session.stop([this, streamId, alive = std::weak_ptr(alive_)](std::optional<QString> error) {
        if (!alive.lock()) {
            return;
        }
        if (error) {
            logError("Error stopping capture: ", *error);
        }
        release(streamId);
        later(restartPause, [this] { launchRestartedStart(); });
    });
}

void CaptureStream::launchRestartedStart() {
    startCapture();
    isRestarting_ = false;
}

// --- Watchdog and notifications -------------------------------------------------------------

void CaptureStream::checkForStaleFrames() {
    const double elapsed = clock_() - intake_.lastSampleTime();
    if (elapsed > staleFrameThreshold && !isFrameStale() && !isRestarting_) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", elapsed);
        logLine("\u26a0\ufe0f Frames stopped (" + std::string(seconds) + "s) - attempting restart");
        intake_.markStalled();
        restartCapture();
    }
}

void CaptureStream::handleScreenWake() {
    logLine("Screen wake detected - restarting capture");
    later(screenWakeDelay, [this] { restartCapture(); });
}

void CaptureStream::handleWindowRestore() {
    later(windowRestoreDelay, [this] { restartCapture(); });
}

void CaptureStream::streamStopped(std::uint64_t streamId) {
    if (streamId != intake_.followed()) {
        return;  // stopped or replaced on purpose since the report
    }
    isCapturing_ = false;
    later(afterStreamStopDelay, [this] { startCapture(); });
}

}  // namespace glimmora
