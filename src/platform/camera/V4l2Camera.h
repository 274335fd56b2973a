#pragma once

#include <memory>
#include <string>

#include "platform/camera/Camera.h"

namespace glimmora {

/// A V4L2 webcam through OpenCV's V4L2 backend (named, because the default backend tries
/// GStreamer first for about two seconds), asking for MJPG 640 × 480 at 30 frames a second with
/// a single driver buffer.
///
/// A grab thread reads the device and keeps only the newest frame. OpenCV's read can block for
/// up to ten seconds on a stalled device, so the thread is never joined: it owns its share of
/// the state and ends by itself once its blocked read returns after the camera is destroyed.
class V4l2Camera : public Camera {
public:
    /// Opens `devicePath`; nothing (with `error` set) when the device will not open or start.
    static std::unique_ptr<V4l2Camera> open(const std::string& devicePath, std::string name,
                                            std::string* error);
    ~V4l2Camera() override;

    std::string name() const override { return name_; }
    CameraRead read(double timeoutSeconds) override;

    struct Shared;

private:
    V4l2Camera(std::shared_ptr<Shared> shared, std::string name);

    std::shared_ptr<Shared> shared_;
    std::string name_;
};

}  // namespace glimmora
