// Opening the gaze camera: what each missing or unusable camera makes the tracker say, without
// waiting on any device; and the recording that stands in for a webcam, on a clock the test
// moves itself.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "gaze/vision/GazeTrackerLines.h"
#include "platform/camera/CameraOpener.h"
#include "platform/camera/VideoFileCamera.h"

namespace glimmora {
namespace {

namespace fs = std::filesystem;

class CameraTest : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(directory_); }
    void TearDown() override { fs::remove_all(directory_); }
    const fs::path directory_ =
        fs::temp_directory_path() / ("glimmora-camera-" + std::to_string(getpid()));
};

TEST_F(CameraTest, SaysWhyThereIsNoCamera) {
    const fs::path devices = directory_ / "dev", notVideo = directory_ / "notes.txt";
    fs::create_directories(devices);
    fs::create_symlink("/dev/null", devices / "video0");  // a character device, but not V4L2
    std::ofstream(notVideo) << "not a video\n";
    const std::string missing = "GazeTracker: No front camera available";
    const std::tuple<std::string, CameraOpening::Error, std::string> cases[] = {
        {"", CameraOpening::Error::Missing, missing},  // no capture device
        {(devices / "video7").string(), CameraOpening::Error::Missing, missing},
        {"/dev/null", CameraOpening::Error::Missing, missing},
        {notVideo.string(), CameraOpening::Error::Failed,
         "GazeTracker: Failed to configure camera - "},
    };
    for (const auto& [path, error, lineStart] : cases) {
        const CameraOpening opening = openCamera(path, devices.string());
        EXPECT_EQ(opening.error, error) << path;
        EXPECT_FALSE(opening.camera) << path;
        const std::string line = cameraOpeningLine(opening).value_or("(none)");
        EXPECT_EQ(line.rfind(lineStart, 0), 0u) << path << ": " << line;
    }
}

// Frames are due every 1/30 s from the first read. A reader that keeps pace waits for each; one
// that falls behind gets the frame on show now and never the ones it missed.
TEST_F(CameraTest, RecordingPlaysAtItsOwnRateAndDropsLateFrames) {
    const std::string path = (directory_ / "numbered.avi").string();
    {
        cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                               30.0, cv::Size(64, 48));
        for (int i = 0; i < 8; ++i) {
            writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(20 * i)));  // frame i at 20 i
        }
    }
    double now = 100.0;
    std::string error;
    auto camera = VideoFileCamera::open(
        path, &error, [&] { return now; }, [&](double s) { now += s; });
    ASSERT_TRUE(camera) << error;
    const auto frameNumber = [&](double timeout) {
        const CameraRead read = camera->read(timeout);
        return read.status == CameraRead::Status::Frame ? cvRound(cv::mean(read.image)[0] / 20)
                                                        : -1;
    };
    EXPECT_EQ(frameNumber(1.0), 0);
    EXPECT_EQ(frameNumber(1.0), 1);  // waited for it
    EXPECT_NEAR(now, 100.0 + 1.0 / 30, 1e-9);
    EXPECT_EQ(camera->read(0.01).status, CameraRead::Status::Stalled) << "frame 2 is not due yet";
    now = 100.0 + 5.5 / 30;  // frames 2 to 4 passed while the reader was busy
    for (int expected : {5, 6, 7}) {
        EXPECT_EQ(frameNumber(1.0), expected);
    }
    const CameraRead end = camera->read(1.0);
    EXPECT_EQ(end.status, CameraRead::Status::Ended);
    EXPECT_EQ(cameraLostLine(end),
              "GazeTracker: Camera stopped delivering frames - the recording ended");
}

}  // namespace
}  // namespace glimmora
