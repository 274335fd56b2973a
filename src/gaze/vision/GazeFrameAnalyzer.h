#pragma once

#include <optional>
#include <string>

#include <opencv2/core/mat.hpp>

#include "gaze/EyeLandmarks.h"
#include "gaze/vision/FaceLandmarker.h"
#include "gaze/vision/PupilLocator.h"

namespace glimmora {

/// What one camera frame shows the gaze tracker.
struct FrameAnalysis {
    std::optional<FaceShape> face;  ///< the face found or followed, if any
    FaceEyes eyes;                  ///< its eyes, each with its pupil where one was found
};

/// Turns a camera frame into eye landmarks: follows the face, takes each eye's outline from the
/// 68 landmarks and localises its pupil inside it. Runs on the gaze worker; one instance per
/// thread, and load() on that thread (the face model takes about a second).
class GazeFrameAnalyzer {
public:
    bool load(const std::string& modelPath, std::string* error);

    /// `frame` is 8-bit BGR or grey, as the camera delivers it.
    FrameAnalysis analyze(const cv::Mat& frame);

    /// Forgets the followed face.
    void reset() { landmarker_.reset(); }

private:
    FaceLandmarker landmarker_;
    PupilLocator pupils_;
    cv::Mat grey_;
};

}  // namespace glimmora
