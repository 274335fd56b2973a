// Opening the gaze camera: what each missing or unusable camera makes the tracker say, without
// waiting on any device; and the recording that stands in for a webcam, on a clock the test
// moves itself.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "glimmora-camera-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override { fs::remove_all(directory_); }

    // A 30 fps recording whose frame i is grey level 20 × i, so a frame tells its own number.
    std::string numberedRecording(int frames) {
        const std::string path = (directory_ / "numbered.avi").string();
        cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                               30.0, cv::Size(64, 48));
        EXPECT_TRUE(writer.isOpened());
        for (int i = 0; i < frames; ++i) {
            writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(20 * i)));
        }
        return path;
    }

    fs::path directory_;
};

TEST_F(CameraTest, SaysWhyThereIsNoCamera) {
    const fs::path devices = directory_ / "dev";
    fs::create_directories(devices);
    fs::create_symlink("/dev/null", devices / "video0");  // a character device, but not V4L2
    const fs::path notVideo = directory_ / "notes.txt";
    std::ofstream(notVideo) << "not a video\n";

    struct Case {
        const char* name;
        std::string path;
        CameraOpening::Error error;
        std::string lineStart;
    };
    const Case cases[] = {
        {"no capture device", "", CameraOpening::Error::Missing,
         "GazeTracker: No front camera available"},
        {"named node absent", (devices / "video7").string(), CameraOpening::Error::Missing,
         "GazeTracker: No front camera available"},
        {"named node not V4L2", "/dev/null", CameraOpening::Error::Missing,
         "GazeTracker: No front camera available"},
        {"file that is no video", notVideo.string(), CameraOpening::Error::Failed,
         "GazeTracker: Failed to configure camera - "},
    };
    for (const Case& c : cases) {
        const CameraOpening opening = openCamera(c.path, devices.string());
        EXPECT_EQ(opening.error, c.error) << c.name;
        EXPECT_FALSE(opening.camera) << c.name;
        EXPECT_EQ(cameraOpeningLine(opening).value_or("").rfind(c.lineStart, 0), 0u)
            << c.name << ": " << cameraOpeningLine(opening).value_or("(none)");
    }
}

// Frames are due every 1/30 s from the first read. A reader that keeps pace waits for each; one
// that falls behind gets the frame on show now and never the ones it missed.
TEST_F(CameraTest, RecordingPlaysAtItsOwnRateAndDropsLateFrames) {
    double now = 100.0;
    std::string error;
    auto camera = VideoFileCamera::open(
        numberedRecording(8), &error, [&] { return now; }, [&](double s) { now += s; });
    ASSERT_TRUE(camera) << error;
    EXPECT_EQ(camera->name(), "numbered.avi");
    const auto frameNumber = [](const CameraRead& read) {
        return read.status == CameraRead::Status::Frame ? cvRound(cv::mean(read.image)[0] / 20)
                                                        : -1;
    };
    EXPECT_EQ(frameNumber(camera->read(1.0)), 0);
    EXPECT_EQ(frameNumber(camera->read(1.0)), 1);  // waited for it
    EXPECT_NEAR(now, 100.0 + 1.0 / 30, 1e-9);
    EXPECT_EQ(camera->read(0.01).status, CameraRead::Status::Stalled) << "frame 2 is not due yet";
    now = 100.0 + 5.5 / 30;  // frames 2 to 4 passed while the reader was busy
    EXPECT_EQ(frameNumber(camera->read(1.0)), 5);
    EXPECT_EQ(frameNumber(camera->read(1.0)), 6);
    EXPECT_EQ(frameNumber(camera->read(1.0)), 7);
    const CameraRead end = camera->read(1.0);
    EXPECT_EQ(end.status, CameraRead::Status::Ended);
    EXPECT_EQ(cameraLostLine(end),
              "GazeTracker: Camera stopped delivering frames - the recording ended");
}

}  // namespace
}  // namespace glimmora
