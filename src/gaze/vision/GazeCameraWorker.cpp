#include "gaze/vision/GazeCameraWorker.h"

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <opencv2/core/utility.hpp>

#include "gaze/vision/GazeFrameAnalyzer.h"
#include "gaze/vision/GazeTrackerLines.h"
#include "platform/camera/CameraOpener.h"

namespace glimmora {
namespace {

// Short enough that a stop is seen at once, long enough that a waiting worker costs nothing.
constexpr double kReadTimeoutSeconds = 0.1;
constexpr int kHighestDeviceNumber = 63;

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool isCharacterDevice(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

}  // namespace

GazeCameraWorker::GazeCameraWorker(Options options)
    : options_(std::move(options)), analyzer_(std::make_unique<GazeFrameAnalyzer>()) {}

GazeCameraWorker::~GazeCameraWorker() {
    stop();
}

GazeCameraService::Authorization GazeCameraWorker::authorization() {
    const auto mayUse = [](const std::string& path) {
        return ::access(path.c_str(), R_OK | W_OK) == 0;
    };
    if (!options_.cameraPath.empty()) {
        struct stat status {};
        if (::stat(options_.cameraPath.c_str(), &status) != 0) {
            return Authorization::Authorized;  // nothing there: the run says so
        }
        const bool allowed = S_ISCHR(status.st_mode)
                                 ? mayUse(options_.cameraPath)
                                 : ::access(options_.cameraPath.c_str(), R_OK) == 0;
        return allowed ? Authorization::Authorized : Authorization::Denied;
    }
    bool anyDevice = false;
    for (int i = 0; i <= kHighestDeviceNumber; ++i) {
        const std::string node = options_.deviceDirectory + "/video" + std::to_string(i);
        if (!isCharacterDevice(node)) {
            continue;
        }
        anyDevice = true;
        if (mayUse(node)) {
            return Authorization::Authorized;
        }
    }
    return anyDevice ? Authorization::Denied : Authorization::Authorized;
}

void GazeCameraWorker::start(GazeCameraEvents events) {
    stop();
    stopRequested_ = false;
    thread_ = std::thread([this, events = std::move(events)] {
        // The name shows in top and in debuggers; at most 15 characters.
        pthread_setname_np(pthread_self(), "glim-gaze");
        // One core for the gaze: OpenCV's own thread pool would compete with the overlay.
        cv::setNumThreads(1);
        run(events);
    });
}

void GazeCameraWorker::stop() {
    stopRequested_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void GazeCameraWorker::run(const GazeCameraEvents& events) {
    CameraOpening opening = openCamera(options_.cameraPath, options_.deviceDirectory);
    if (!opening.camera) {
        events.failed(
            cameraOpeningLine(opening).value_or("GazeTracker: No front camera available"));
        return;
    }
    if (stopRequested_) {
        return;
    }
    events.opened(opening.camera->name());
    if (!modelLoaded_) {
        std::string error;
        modelLoaded_ = analyzer_->load(options_.modelPath, &error);
        if (!modelLoaded_) {
            events.failed("GazeTracker: Vision request failed - " + error);
            return;
        }
    }
    analyzer_->reset();  // a face followed in an earlier run is not where this one starts
    bool delivering = false;
    double lastFrameAt = secondsNow();
    while (!stopRequested_) {
        CameraRead read = opening.camera->read(kReadTimeoutSeconds);
        if (read.status == CameraRead::Status::Stalled &&
            secondsNow() - lastFrameAt > options_.stallSeconds) {
            read.error = "no frame for " + std::to_string(options_.stallSeconds) + " seconds";
            read.status = CameraRead::Status::Ended;
        }
        if (read.status == CameraRead::Status::Ended) {
            events.failed(cameraLostLine(read));
            return;
        }
        if (read.status != CameraRead::Status::Frame) {
            continue;
        }
        lastFrameAt = secondsNow();
        const FrameAnalysis analysis = analyzer_->analyze(read.image);
        if (!delivering) {
            delivering = true;
            events.running();
        }
        events.frame(analysis.face ? std::optional(analysis.eyes) : std::nullopt);
    }
}

}  // namespace glimmora
