// The gaze worker on real inputs: no camera, then a webcam recording from opening to end.

#include "gaze/vision/GazeCameraWorker.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace glimmora {
namespace {

// The recording plays at its own rate and a slow reader misses frames: instrumented and
// unoptimised, the face model takes most of a second per frame.
#ifdef GLIMMORA_SANITIZED
constexpr int kClipRate = 2, kFacesAtLeast = 2;
#else
constexpr int kClipRate = 15, kFacesAtLeast = 5;
#endif

// A run's reports, each from the worker's named thread, until it ends by itself.
std::vector<std::string> reportsOfARun(GazeCameraWorker& worker) {
    std::vector<std::string> reports;  // written by the run's thread until `ended`
    std::promise<void> ended;
    const auto add = [&](std::string report) {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        reports.push_back(std::string(name) == "glim-gaze" ? report : "elsewhere: " + report);
    };
    worker.start({.opened = [&](std::string name) { add("opened " + name); },
                  .running = [&] { add("running"); },
                  .frame = [&](auto eyes) { add(eyes ? "face" : "no face"); },
                  .failed = [&](std::string line) { add(line), ended.set_value(); }});
    ended.get_future().wait_for(std::chrono::seconds(60));
    worker.stop();
    return reports;
}

TEST(GazeCameraWorkerTest, RunsEndInTheirLinesFromAMissingCameraToTheEndOfARecording) {
    const std::filesystem::path directory = testing::TempDir() + "gaze-worker";
    std::filesystem::create_directories(directory);
    GazeCameraWorker missing({.cameraPath = {}, .deviceDirectory = directory.string()});
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(reportsOfARun(missing),
              std::vector<std::string>{"GazeTracker: No front camera available"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));

    // Fifteen frames of the face, cut out of the clip as a webcam would frame it.
    const std::string clip = (directory / "webcam.avi").string();
    cv::VideoCapture source(GLIMMORA_WEBCAM_CLIP, cv::CAP_FFMPEG);
    cv::VideoWriter writer(clip, cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                           kClipRate, cv::Size(640, 480));
    cv::Mat frame, webcam;
    for (int i = 0; i < 15 && source.read(frame); ++i) {
        cv::resize(frame(cv::Rect(90, 60, 300, 225)), webcam, cv::Size(640, 480));
        writer.write(webcam);
    }
    writer.release();
    GazeCameraWorker recording({.cameraPath = clip});
    const std::vector<std::string> reports = reportsOfARun(recording);
    EXPECT_EQ(reports.at(0), "opened webcam.avi");
    EXPECT_EQ(reports.at(1), "running");
    EXPECT_GE(std::ranges::count(reports, "face"), kFacesAtLeast);
    EXPECT_EQ(reports.back(),
              "GazeTracker: Camera stopped delivering frames - the recording ended");
    std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace glimmora
