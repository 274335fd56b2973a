#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "gaze/GazeCameraService.h"
#include "gaze/vision/FaceLandmarker.h"

namespace glimmora {

class GazeFrameAnalyzer;

/// The gaze tracker's camera service: one worker thread per run that opens the camera, loads the
/// face model, reads the newest frame and analyses it, reporting each step to the tracker.
///
/// Nothing here blocks the main thread for long: opening the camera and loading the model
/// (about a second) happen on the worker, and the worker reads frames with a short timeout so
/// that a stop is seen within a fraction of a second. A camera that delivers no new frame for
/// `stallSeconds`, or goes away, ends the run with the tracker's "lost" line; the worker then
/// waits on nothing and spins on nothing.
///
/// The face model is loaded once, by the first run that needs it, and kept for later runs, which
/// never overlap: start() and stop() join the previous run's thread.
class GazeCameraWorker final : public GazeCameraService {
public:
    struct Options {
        /// A V4L2 device node or a video file; empty = the first capture device.
        std::string cameraPath;
        /// Where capture devices are looked for when `cameraPath` is empty.
        std::string deviceDirectory = "/dev";
        std::string modelPath = FaceLandmarker::kDefaultModelPath;
        /// How long the camera may deliver nothing before the run gives up on it.
        double stallSeconds = 10;
    };

    explicit GazeCameraWorker(Options options);
    ~GazeCameraWorker() override;
    GazeCameraWorker(const GazeCameraWorker&) = delete;
    GazeCameraWorker& operator=(const GazeCameraWorker&) = delete;

    /// Denied when the camera's device node exists and this user may not read and write it (or,
    /// with no path given, when every capture device is like that); authorized otherwise.
    Authorization authorization() override;
    void start(GazeCameraEvents events) override;
    void stop() override;

private:
    void run(const GazeCameraEvents& events);

    Options options_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    /// Used only by the run's thread; kept between runs so the model loads once.
    std::unique_ptr<GazeFrameAnalyzer> analyzer_;
    bool modelLoaded_ = false;
};

}  // namespace glimmora
