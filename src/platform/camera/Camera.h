#pragma once

#include <string>

#include <opencv2/core/mat.hpp>

namespace glimmora {

/// What one read of a camera gave.
struct CameraRead {
    enum class Status {
        Frame,    ///< `image` holds a frame newer than the last one read
        Stalled,  ///< no new frame came within the time asked for; the camera may still recover
        Ended,    ///< the camera is gone (unplugged, end of a recording, a read error)
    };
    Status status = Status::Stalled;
    cv::Mat image;      ///< 8-bit BGR, as the camera delivers it (not mirrored), for Frame
    std::string error;  ///< what happened, for Stalled and Ended
};

/// A source of camera frames that always hands out the newest one: frames that arrive while
/// the reader is busy are dropped, so a slow reader sees the present, never a backlog.
///
/// Implementations: a V4L2 device and a video file played at its own frame rate. One thread
/// reads; destroying the camera never waits on the device.
class Camera {
public:
    virtual ~Camera() = default;

    /// A display name for the log: the device's own name, or the file's name.
    virtual std::string name() const = 0;

    /// The newest frame not read before, waiting up to `timeoutSeconds` for one to arrive.
    virtual CameraRead read(double timeoutSeconds) = 0;
};

}  // namespace glimmora
