#pragma once

#include <QString>
#include <QtGlobal>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "capture/CaptureIntake.h"
#include "capture/CaptureService.h"
#include "capture/PictureHandOver.h"
#include "core/RepeatingTimer.h"
#include "core/Scheduler.h"

namespace glimmora {

/// The live desktop feed of the overlay: asks the capture service for the primary display
/// without the overlay window, hands every picture (at most 60 a second) to the draw loop and
/// keeps the feed alive. Streams stall in practice (display sleep, resolution changes, a
/// restored window, a lost source), so it carries a watchdog that restarts a silent stream once
/// per stall, and a restart protocol that allows one restart at a time.
///
/// Starting is asynchronous: a first start (no stream, not capturing) waits 0.5 s so the
/// overlay window can be set up, then queries the content; while the overlay is not in a
/// window yet it tries again 0.5 s later (a fresh start, which waits its own 0.5 s). A restart
/// stops the stream, waits 0.1 s and starts again. When the service ends a stream by itself, a new
/// start follows 2 s later; the stopped stream is kept until a new one replaces it, so that start
/// skips the 0.5 s wait.
///
/// At most one stream delivers to the draw loop at any time:
/// - every start carries a generation; a newer start or a restart supersedes all earlier
///   starts, which give up at their next resume point, and a superseded start whose stream
///   already started drops it (destroying a stream ends its delivery);
/// - a new stream that succeeds while an older, stopped one is still kept replaces it and
///   destroys it first;
/// - each stream gets its own delegate that knows which stream it speaks for; samples and stop
///   reports of any stream other than the current one are ignored, so a stream that is starting,
///   superseded or being stopped is neither counted nor shown.
///
/// The samples and stop reports of the current stream come in through a CaptureIntake, which
/// counts them, keeps the watchdog's time stamp and throttles pictures to the draw loop (at most
/// 60 a second).
///
/// Threads: main thread only. The intake is the part that runs on the service's threads; a
/// stop report reaches the policy here through `postToMainThread`.
class CaptureStream {
public:
    /// Runs a task on the main thread at its next turn; must be callable from any thread
    /// (QMetaObject::invokeMethod with a queued connection on a main-thread object in the
    /// application; QTimer::singleShot is not documented as thread-safe).
    using PostToMainThread = std::function<void(std::function<void()>)>;

    /// Smallest spacing of pictures handed to the draw loop, in seconds.
    static constexpr double minFrameInterval = CaptureIntake::minPictureInterval;
    /// Silence, in seconds, that counts as a stall.
    static constexpr double staleFrameThreshold = 1.0;
    /// How often the watchdog looks for a stall.
    static constexpr std::chrono::milliseconds watchdogInterval{500};

    /// Starts the watchdog (`watchdogTimer`, every 0.5 s) and counts silence from now; it does
    /// not start capturing: the owner calls startCapture() once its window is on its way.
    /// `clock` gives monotonic seconds and must be callable from any thread. `overlayWindowId`
    /// gives the overlay's X11 window id once the renderer is in a window, nothing before.
    CaptureStream(CaptureService& service, PictureHandOver& handOver, Scheduler& scheduler,
                  std::unique_ptr<RepeatingTimer> watchdogTimer, std::function<double()> clock,
                  std::function<std::optional<quint32>()> overlayWindowId,
                  PostToMainThread postToMainThread);
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;
    /// Stops the watchdog and destroys every stream (ending their delivery); tasks still
    /// scheduled do nothing when they run.
    ~CaptureStream();

    /// Device pixels per display unit; the stream is width × scale by height × scale,
    /// truncated. 1.0 on X11, where displays are already measured in pixels.
    void setScale(double scale) { scale_ = scale; }

    /// Builds and starts a stream (asynchronous; does nothing if one is capturing).
    void startCapture();
    /// Stops the stream and starts a new one 0.1 s later; skipped while a restart runs.
    void restartCapture();
    /// The watchdog: one restart when no sample came for more than staleFrameThreshold.
    void checkForStaleFrames();
    /// Screens woke or the screen layout changed: restart 0.5 s from now.
    void handleScreenWake();
    /// A window came back from being minimised: restart 0.3 s from now.
    void handleWindowRestore();

    /// A stream was started and has not been stopped or failed.
    bool isCapturing() const { return isCapturing_; }
    /// A stall was reported and no sample has arrived since.
    bool isFrameStale() const { return intake_.isStalled(); }
    /// A restart is between its request and the launch of its new start.
    bool isRestarting() const { return isRestarting_; }
    /// A stream is kept: the running one, or one the service stopped and none replaced yet.
    bool hasStream() const { return stream_ != nullptr; }
    /// Samples delivered since the last stream report.
    int frameCount() const { return intake_.sampleCount(); }

private:
    struct OwnedStream;

    void continueStart(std::uint64_t generation);
    void startWithContent(std::uint64_t generation, const std::optional<ShareableContent>& content,
                          const QString& error);
    void finishStart(std::uint64_t generation, std::uint64_t streamId, quint32 windowId,
                     const std::optional<QString>& error);
    void stopCurrentStreamForRestart();
    void launchRestartedStart();
    bool isCurrent(std::uint64_t generation) const { return generation == startGeneration_; }
    /// Takes a stream out of the waiting list to be destroyed at the next turn of the main loop,
    /// never inside one of its own callbacks.
    void release(std::uint64_t streamId);
    /// Runs `task` after `seconds` on the main thread, unless this object is gone by then.
    void later(double seconds, std::function<void()> task);

    /// The intake took a stop report of `streamId`, the stream then current.
    void streamStopped(std::uint64_t streamId);

    CaptureService& service_;
    Scheduler& scheduler_;
    std::unique_ptr<RepeatingTimer> staleFrameTimer_;
    std::function<double()> clock_;
    std::function<std::optional<quint32>()> overlayWindowId_;
    PostToMainThread postToMainThread_;
    double scale_ = 1.0;
    // Before the streams: their delegates call into it until they are destroyed.
    CaptureIntake intake_;

    std::unique_ptr<OwnedStream> stream_;
    std::vector<std::unique_ptr<OwnedStream>> waiting_;   // starting or stopping
    std::vector<std::unique_ptr<OwnedStream>> released_;  // destroyed at the next turn
    std::uint64_t startGeneration_ = 0;
    std::uint64_t nextStreamId_ = 1;
    bool isRestarting_ = false;
    bool isCapturing_ = false;

    // Last member: tasks and posts check it to do nothing once this object is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace glimmora
