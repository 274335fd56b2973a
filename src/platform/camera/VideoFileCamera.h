#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <opencv2/videoio.hpp>

#include "platform/camera/Camera.h"

namespace glimmora {

/// A recording standing in for a webcam: it plays at its own frame rate from the first read,
/// whatever the reader's pace, and a frame whose time has passed while the reader was busy is
/// skipped, as a webcam's would be. The end of the recording is the camera going away.
///
/// Used by tests and by `glimmora --camera FILE` for demonstrations without a webcam.
class VideoFileCamera : public Camera {
public:
    /// Seconds on a monotonic clock, and a way to wait; tests pass a clock they move themselves.
    using Clock = std::function<double()>;
    using Sleep = std::function<void(double seconds)>;

    /// Opens `path`; nothing (with `error` set) when the file is no video OpenCV can read.
    static std::unique_ptr<VideoFileCamera> open(const std::string& path, std::string* error,
                                                 Clock clock = {}, Sleep sleep = {});

    std::string name() const override { return name_; }
    CameraRead read(double timeoutSeconds) override;

    double framesPerSecond() const { return framesPerSecond_; }

private:
    VideoFileCamera(cv::VideoCapture capture, std::string name, Clock clock, Sleep sleep);

    cv::VideoCapture capture_;
    std::string name_;
    Clock clock_;
    Sleep sleep_;
    double framesPerSecond_ = 30;
    double start_ = 0;
    bool started_ = false;
    std::int64_t nextIndex_ = 0;  // the frame the file's next read decodes
};

}  // namespace glimmora
