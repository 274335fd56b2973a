// CPU milliseconds per frame of each gaze stage on the recorded webcam clip, and the frame rate
// the whole per-frame path sustains on one thread. Prints one line per stage.
//
// Usage: glimmora-bench-gaze [CLIP]  (default: the clip of Debian's forensics-samples-files)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "gaze/GazeEstimator.h"
#include "gaze/RawGaze.h"
#include "gaze/vision/FaceLandmarker.h"
#include "gaze/vision/GazeFrameAnalyzer.h"
#include "gaze/vision/PupilLocator.h"

namespace {

using namespace glimmora;

double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Stage {
    const char* name;
    std::vector<double> ms;
    void report() {
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double m : ms) {
            sum += m;
        }
        std::printf("%-34s mean %7.3f ms  median %7.3f ms  over %zu frames\n", name,
                    ms.empty() ? 0 : sum / ms.size(), ms.empty() ? 0 : ms[ms.size() / 2],
                    ms.size());
    }
};

}  // namespace

int main(int argc, char** argv) {
    const std::string clip = argc > 1 ? argv[1]
                                      : "/usr/share/forensics-samples/original-files/movie2/"
                                        "movie-hello.mp4";
    cv::setNumThreads(1);
    cv::VideoCapture video(clip, cv::CAP_FFMPEG);
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    while (video.read(frame)) {
        cv::Mat webcam;
        cv::resize(frame(cv::Rect(90, 60, 300, 225)), webcam, cv::Size(640, 480));
        frames.push_back(webcam);
    }
    if (frames.empty()) {
        std::fprintf(stderr, "cannot read %s\n", clip.c_str());
        return 1;
    }
    FaceLandmarker landmarker;
    std::string error;
    double start = nowMs();
    if (!landmarker.load(FaceLandmarker::kDefaultModelPath, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("model load: %.0f ms\n", nowMs() - start);

    Stage detect100{"detection at full size", {}}, detect75{"detection at 0.75", {}},
        track{"landmarks while following", {}}, pupils{"pupils (both eyes)", {}},
        estimate{"estimator", {}}, whole{"whole frame (grey+follow+pupils+est.)", {}};
    PupilLocator locator;
    GazeEstimator estimator;
    cv::Mat grey;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        cv::cvtColor(frames[i], grey, cv::COLOR_BGR2GRAY);
        if (i % 10 == 0) {
            start = nowMs();
            landmarker.detect(grey, 1.0);
            detect100.ms.push_back(nowMs() - start);
            start = nowMs();
            landmarker.detect(grey, 0.75);
            detect75.ms.push_back(nowMs() - start);
        }
        start = nowMs();
        const std::optional<FaceShape> shape = landmarker.track(grey);
        track.ms.push_back(nowMs() - start);
        if (!shape) {
            continue;
        }
        FaceEyes eyes;
        eyes.right.outline.assign(shape->begin() + 36, shape->begin() + 42);
        eyes.left.outline.assign(shape->begin() + 42, shape->begin() + 48);
        start = nowMs();
        eyes.right.pupil = locator.locate(grey, eyes.right.outline);
        eyes.left.pupil = locator.locate(grey, eyes.left.outline);
        pupils.ms.push_back(nowMs() - start);
        start = nowMs();
        if (const std::optional<RawGaze> raw = rawGazeFromEyes(eyes)) {
            estimator.estimate(*raw, DisplaySize{1920, 1080}, static_cast<double>(i) / 30);
        }
        estimate.ms.push_back(nowMs() - start);
    }
    GazeFrameAnalyzer analyzer;
    analyzer.load(FaceLandmarker::kDefaultModelPath, &error);
    GazeEstimator wholeEstimator;
    const double wholeStart = nowMs();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        start = nowMs();
        const FrameAnalysis analysis = analyzer.analyze(frames[i]);
        if (const std::optional<RawGaze> raw = rawGazeFromEyes(analysis.eyes);
            raw && analysis.face) {
            wholeEstimator.estimate(*raw, DisplaySize{1920, 1080}, static_cast<double>(i) / 30);
        }
        whole.ms.push_back(nowMs() - start);
    }
    const double seconds = (nowMs() - wholeStart) / 1000;
    for (Stage* stage : {&detect100, &detect75, &track, &pupils, &estimate, &whole}) {
        stage->report();
    }
    std::printf("sustained: %.1f frames a second on one thread\n",
                static_cast<double>(frames.size()) / seconds);
    return 0;
}
