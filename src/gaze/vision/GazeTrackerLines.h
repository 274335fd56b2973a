#pragma once

#include <optional>
#include <string>

#include "platform/camera/Camera.h"
#include "platform/camera/CameraOpener.h"

namespace glimmora {

/// The line the gaze tracker logs when its camera does not open, or nothing when it opened.
/// Each failure leaves the tracker idle.
std::optional<std::string> cameraOpeningLine(const CameraOpening& opening);

/// The line the gaze tracker logs when a running camera stalls or goes away; the tracker then
/// stops rather than wait on a device that may never answer.
std::string cameraLostLine(const CameraRead& read);

}  // namespace glimmora
