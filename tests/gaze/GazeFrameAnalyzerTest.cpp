// The whole path from a camera frame to raw gaze, on the recorded webcam clip: a face with
// glasses turning its head, its eyes about 23 px wide. Where both pupils are found, the raw gaze
// lies inside the eyes; frames whose pupils hug an eyelid or the glasses give none.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "gaze/RawGaze.h"
#include "gaze/vision/GazeFrameAnalyzer.h"

namespace glimmora {
namespace {

TEST(GazeFrameAnalyzerTest, GivesRawGazeInsideTheEyesOnTheRecordedFace) {
    GazeFrameAnalyzer analyzer;
    std::string error;
    ASSERT_TRUE(analyzer.load(FaceLandmarker::kDefaultModelPath, &error)) << error;
    cv::VideoCapture video(GLIMMORA_WEBCAM_CLIP, cv::CAP_FFMPEG);
    ASSERT_TRUE(video.isOpened()) << "the recorded clip (package forensics-samples-files)";
    cv::Mat frame, webcam;
    int faces = 0;
    std::vector<double> xs, ys, steps;
    RawGaze last;
    bool hadLast = false;
    while (video.read(frame)) {
        cv::resize(frame(cv::Rect(90, 60, 300, 225)), webcam, cv::Size(640, 480));
        const FrameAnalysis analysis = analyzer.analyze(webcam);
        faces += analysis.faceFound;
        const std::optional<RawGaze> found = rawGazeFromEyes(analysis.eyes);
        const bool has = analysis.faceFound && found.has_value();
        const RawGaze raw = found.value_or(RawGaze{});
        if (has && hadLast) {
            steps.push_back(std::hypot(raw.x - last.x, raw.y - last.y));
        }
        if (has) {
            xs.push_back(raw.x);
            ys.push_back(raw.y);
        }
        last = raw;
        hadLast = has;
    }
    ASSERT_GT(faces, 200);
    ASSERT_GE(xs.size(), static_cast<std::size_t>(faces) * 4 / 10);
    for (std::vector<double>* values : {&xs, &ys, &steps}) {
        std::sort(values->begin(), values->end());
    }
    std::cout << "raw gaze on " << xs.size() << " of " << faces
              << " frames with a face; median frame-to-frame step " << steps[steps.size() / 2]
              << " eye widths\n";
    // The user looks at the screen just below the camera the whole time.
    EXPECT_NEAR(xs[xs.size() / 2], 0.5, 0.15);
    EXPECT_NEAR(ys[ys.size() / 2], 0.5, 0.15);
    EXPECT_GE(xs.front(), 0.0);
    EXPECT_LE(xs.back(), 1.0);
    EXPECT_GE(ys.front(), 0.0);
    EXPECT_LE(ys.back(), 1.0);
}

}  // namespace
}  // namespace glimmora
