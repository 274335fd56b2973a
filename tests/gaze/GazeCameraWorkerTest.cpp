// The gaze worker on real inputs: no camera at all, and a short recording of the webcam clip
// played as the camera from its opening to its end.

#include "gaze/vision/GazeCameraWorker.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

namespace glimmora {
namespace {

namespace fs = std::filesystem;

// What a run reported, from its thread, as "opened:NAME", "running", "face", "no face",
// "failed:LINE"; each entry also checks the thread it came from.
class Recorder {
public:
    GazeCameraEvents events() {
        return {.opened = [this](std::string name) { add("opened:" + name); },
                .running = [this] { add("running"); },
                .frame = [this](auto eyes) { add(eyes ? "face" : "no face"); },
                .failed = [this](std::string line) { add("failed:" + line); }};
    }
    // Waits for a run to end by itself and returns all it reported.
    std::vector<std::string> untilFailed() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(20), [this] {
            return !entries_.empty() && entries_.back().starts_with("failed:");
        });
        return entries_;
    }

private:
    void add(std::string entry) {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        EXPECT_STREQ(name, "glim-gaze");
        const std::lock_guard lock(mutex_);
        entries_.push_back(std::move(entry));
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> entries_;
};

class GazeCameraWorkerTest : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(directory); }
    void TearDown() override { fs::remove_all(directory); }
    const fs::path directory =
        fs::temp_directory_path() / ("gaze-worker-" + std::to_string(getpid()));
};

TEST_F(GazeCameraWorkerTest, NoCameraEndsTheRunAtOnce) {
    GazeCameraWorker worker({.cameraPath = {}, .deviceDirectory = directory});
    EXPECT_EQ(worker.authorization(), GazeCameraService::Authorization::Authorized);
    Recorder recorder;
    const auto started = std::chrono::steady_clock::now();
    worker.start(recorder.events());
    EXPECT_EQ(recorder.untilFailed(),
              std::vector<std::string>{"failed:GazeTracker: No front camera available"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
}

// A second of the face, cut out of the clip as a webcam would frame it; its end is the camera
// going away.
TEST_F(GazeCameraWorkerTest, ARecordingOpensRunsWithTheFaceAndEndsAsALostCamera) {
    const std::string clip = (directory / "webcam.avi").string();
    cv::VideoCapture source(GLIMMORA_WEBCAM_CLIP, cv::CAP_FFMPEG);
    cv::VideoWriter writer(clip, cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                           15, cv::Size(640, 480));
    cv::Mat frame, webcam;
    for (int i = 0; i < 15 && source.read(frame); ++i) {
        cv::resize(frame(cv::Rect(90, 60, 300, 225)), webcam, cv::Size(640, 480));
        writer.write(webcam);
    }
    writer.release();

    GazeCameraWorker worker({.cameraPath = clip});
    Recorder recorder;
    worker.start(recorder.events());
    const std::vector<std::string> reported = recorder.untilFailed();
    ASSERT_GE(reported.size(), 4u);
    EXPECT_EQ(reported[0], "opened:webcam.avi");
    EXPECT_EQ(reported[1], "running");
    EXPECT_GE(std::count(reported.begin(), reported.end(), "face"), 5);
    EXPECT_TRUE(reported.back().starts_with("failed:GazeTracker: Camera stopped delivering frames"))
        << reported.back();
    worker.stop();
}

}  // namespace
}  // namespace glimmora
