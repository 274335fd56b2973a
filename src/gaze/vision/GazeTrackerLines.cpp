#include "gaze/vision/GazeTrackerLines.h"

#include "gaze/GazeCameraService.h"

namespace glimmora {

std::optional<std::string> cameraOpeningLine(const CameraOpening& opening) {
    switch (opening.error) {
        case CameraOpening::Error::None:
            return std::nullopt;
        case CameraOpening::Error::Missing:
            return "GazeTracker: No front camera available";
        case CameraOpening::Error::Denied:
            return std::string(kCameraDeniedLine);
        case CameraOpening::Error::Failed:
            break;
    }
    return "GazeTracker: Failed to configure camera - " + opening.description;
}

std::string cameraLostLine(const CameraRead& read) {
    return "GazeTracker: Camera stopped delivering frames - " + read.error;
}

}  // namespace glimmora
