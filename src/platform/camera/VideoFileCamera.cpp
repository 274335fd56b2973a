#include "platform/camera/VideoFileCamera.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "core/MonotonicClock.h"

namespace glimmora {

std::unique_ptr<VideoFileCamera> VideoFileCamera::open(const std::string& path, std::string* error,
                                                       Clock clock, Sleep sleep) {
    cv::VideoCapture capture;
    try {
        // FFmpeg reads files at once; letting OpenCV choose would try GStreamer first.
        if (!capture.open(path, cv::CAP_FFMPEG)) {
            *error = "cannot play " + path;
            return nullptr;
        }
    } catch (const cv::Exception& e) {
        *error = e.what();
        return nullptr;
    }
    if (!clock) {
        clock = [] { return MonotonicClock::now(); };
    }
    if (!sleep) {
        sleep = [](double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); };
    }
    const std::string name = path.substr(path.find_last_of('/') + 1);
    return std::unique_ptr<VideoFileCamera>(
        new VideoFileCamera(std::move(capture), name, std::move(clock), std::move(sleep)));
}

VideoFileCamera::VideoFileCamera(cv::VideoCapture capture, std::string name, Clock clock,
                                 Sleep sleep)
    : capture_(std::move(capture)),
      name_(std::move(name)),
      clock_(std::move(clock)),
      sleep_(std::move(sleep)) {
    const double fps = capture_.get(cv::CAP_PROP_FPS);
    if (std::isfinite(fps) && fps > 0) {
        framesPerSecond_ = fps;
    }
}

CameraRead VideoFileCamera::read(double timeoutSeconds) {
    double now = clock_();
    if (!started_) {
        started_ = true;
        start_ = now;
    }
    // The frame on show now; if the reader already had it, wait for the next one.
    auto due = static_cast<std::int64_t>(std::floor((now - start_) * framesPerSecond_ + 1e-9));
    if (due < nextIndex_) {
        const double wait = start_ + static_cast<double>(nextIndex_) / framesPerSecond_ - now;
        if (wait > timeoutSeconds) {
            sleep_(timeoutSeconds);
            return CameraRead{CameraRead::Status::Stalled, {}, "no frame from the camera in time"};
        }
        sleep_(wait);
        due = nextIndex_;
    }
    try {
        for (; nextIndex_ < due; ++nextIndex_) {  // frames the reader was too slow for
            if (!capture_.grab()) {
                return CameraRead{CameraRead::Status::Ended, {}, "the recording ended"};
            }
        }
        cv::Mat frame;
        if (!capture_.read(frame) || frame.empty()) {
            return CameraRead{CameraRead::Status::Ended, {}, "the recording ended"};
        }
        ++nextIndex_;
        return CameraRead{CameraRead::Status::Frame, frame, {}};
    } catch (const cv::Exception& e) {
        return CameraRead{CameraRead::Status::Ended, {}, e.what()};
    }
}

}  // namespace glimmora
