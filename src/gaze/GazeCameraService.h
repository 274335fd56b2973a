#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "gaze/EyeLandmarks.h"

namespace glimmora {

/// The line the gaze tracker logs when the user may not use the camera. Access to a webcam on
/// Linux is membership of the group that owns its device node.
inline constexpr std::string_view kCameraDeniedLine =
    "GazeTracker: Camera access denied/restricted. Please add your user to the video group "
    "(sudo usermod -aG video $USER) and log in again";

/// What one camera run reports to the gaze tracker. Each callback may be called on the run's
/// own thread; the tracker hands the news to the main thread itself.
///
/// A run reports `opened` once its camera is open, then `running` once the face model is ready
/// and the first frame has been read, then `frame` for each analysed frame. `failed` ends a run
/// by itself at any point (no camera, a camera that would not open, the face model missing, a
/// camera that stalled or went away) with the line that says why; nothing follows it.
struct GazeCameraEvents {
    std::function<void(std::string cameraName)> opened;
    std::function<void()> running;
    /// The eyes of the face in one frame, or nothing when the frame shows no face.
    std::function<void(std::optional<FaceEyes> eyes)> frame;
    std::function<void(std::string line)> failed;
};

/// The camera side of gaze tracking: whether the user may use the camera, and one run at a time
/// that opens it, loads the face model and analyses frames, all off the main thread.
///
/// The gaze tracker calls it on the main thread only. Tests put a double in its place and feed
/// the tracker eye landmarks directly.
class GazeCameraService {
public:
    /// Whether the user may use the camera, numbered as the tracker's log line explains them.
    /// Linux asks the user nothing: access to the device node decides at once, so the values
    /// for "not determined" (0) and "restricted" (1) never occur.
    enum class Authorization : int {
        Denied = 2,
        Authorized = 3,
    };

    virtual ~GazeCameraService() = default;

    /// Whether the user may use the camera; never waits on a device. No camera at all counts as
    /// authorized: the run then reports that there is none.
    virtual Authorization authorization() = 0;

    /// Starts a run that reports to `events`, ending the previous run first.
    virtual void start(GazeCameraEvents events) = 0;

    /// Ends the current run, if any, and returns once it will report nothing more.
    virtual void stop() = 0;
};

}  // namespace glimmora
