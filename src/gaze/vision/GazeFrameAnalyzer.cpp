#include "gaze/vision/GazeFrameAnalyzer.h"

#include <opencv2/imgproc.hpp>

namespace glimmora {
namespace {

EyeLandmarks eyeFrom(const FaceShape& shape, int firstPoint) {
    EyeLandmarks eye;
    eye.outline.assign(shape.begin() + firstPoint, shape.begin() + firstPoint + 6);
    return eye;
}

}  // namespace

bool GazeFrameAnalyzer::load(const std::string& modelPath, std::string* error) {
    return landmarker_.load(modelPath, error);
}

FrameAnalysis GazeFrameAnalyzer::analyze(const cv::Mat& frame) {
    FrameAnalysis analysis;
    if (frame.channels() == 3) {
        cv::cvtColor(frame, grey_, cv::COLOR_BGR2GRAY);
    } else {
        grey_ = frame;
    }
    analysis.face = landmarker_.track(grey_);
    if (!analysis.face) {
        return analysis;
    }
    analysis.eyes.right = eyeFrom(*analysis.face, 36);
    analysis.eyes.left = eyeFrom(*analysis.face, 42);
    for (EyeLandmarks* eye : {&analysis.eyes.right, &analysis.eyes.left}) {
        eye->pupil = pupils_.locate(grey_, eye->outline);
    }
    return analysis;
}

}  // namespace glimmora
