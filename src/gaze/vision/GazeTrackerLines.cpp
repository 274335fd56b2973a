#include "gaze/vision/GazeTrackerLines.h"

namespace glimmora {

std::optional<std::string> cameraOpeningLine(const CameraOpening& opening) {
    switch (opening.error) {
        case CameraOpening::Error::None:
            return std::nullopt;
        case CameraOpening::Error::Missing:
            return "GazeTracker: No front camera available";
        case CameraOpening::Error::Denied:
            // Access to a webcam on Linux is membership of the group owning its device node.
            return "GazeTracker: Camera access denied/restricted. Please add your user to the "
                   "video group (sudo usermod -aG video $USER) and log in again";
        case CameraOpening::Error::Failed:
            break;
    }
    return "GazeTracker: Failed to configure camera - " + opening.description;
}

std::string cameraLostLine(const CameraRead& read) {
    return "GazeTracker: Camera stopped delivering frames - " + read.error;
}

}  // namespace glimmora
