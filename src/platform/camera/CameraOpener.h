#pragma once

#include <memory>
#include <string>

#include "platform/camera/Camera.h"

namespace glimmora {

/// The outcome of opening a camera: a camera, or why there is none.
struct CameraOpening {
    enum class Error {
        None,
        Missing,  ///< no video capture device (or no such file)
        Denied,   ///< the device node exists but this user may not read and write it
        Failed,   ///< the device or file would not open or deliver (busy, unsupported)
    };
    std::unique_ptr<Camera> camera;
    Error error = Error::None;
    std::string description;  ///< the system's words for Denied and Failed
};

/// Opens the camera gaze tracking reads. An empty `path` means the first V4L2 video capture
/// device under `deviceDirectory`; a character device is opened as a V4L2 device, any other
/// file as a recording played at its own frame rate. Never blocks on a missing device.
CameraOpening openCamera(const std::string& path, const std::string& deviceDirectory = "/dev");

}  // namespace glimmora
