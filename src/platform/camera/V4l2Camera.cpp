#include "platform/camera/V4l2Camera.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include <opencv2/videoio.hpp>

namespace glimmora {

// Everything the grab thread touches; it holds its own reference, so the camera object can go
// while a read is still blocked in the driver.
struct V4l2Camera::Shared {
    cv::VideoCapture capture;
    std::mutex mutex;
    std::condition_variable frameArrived;
    cv::Mat newest;              // guarded by mutex
    std::uint64_t sequence = 0;  // guarded by mutex; counts frames grabbed
    std::uint64_t sequenceRead = 0;
    bool ended = false;  // guarded by mutex
    bool stopping = false;
};

namespace {

void grab(std::shared_ptr<V4l2Camera::Shared> shared) {
    cv::Mat frame;
    while (true) {
        {
            std::lock_guard lock(shared->mutex);
            if (shared->stopping) {
                break;
            }
        }
        bool ok = false;
        try {
            ok = shared->capture.read(frame) && !frame.empty();
        } catch (const cv::Exception&) {
            ok = false;
        }
        std::lock_guard lock(shared->mutex);
        if (!ok) {
            shared->ended = true;  // unplugged, or the driver gave up
            shared->frameArrived.notify_all();
            break;
        }
        frame.copyTo(shared->newest);
        ++shared->sequence;
        shared->frameArrived.notify_all();
    }
    shared->capture.release();
}

}  // namespace

std::unique_ptr<V4l2Camera> V4l2Camera::open(const std::string& devicePath, std::string name,
                                             std::string* error) {
    auto shared = std::make_shared<Shared>();
    try {
        if (!shared->capture.open(devicePath, cv::CAP_V4L2)) {
            *error = "cannot open " + devicePath;
            return nullptr;
        }
        shared->capture.set(cv::CAP_PROP_FOURCC, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
        shared->capture.set(cv::CAP_PROP_FRAME_WIDTH, 640);
        shared->capture.set(cv::CAP_PROP_FRAME_HEIGHT, 480);
        shared->capture.set(cv::CAP_PROP_FPS, 30);
        shared->capture.set(cv::CAP_PROP_BUFFERSIZE, 1);
    } catch (const cv::Exception& e) {
        *error = e.what();
        return nullptr;
    }
    std::thread(grab, shared).detach();
    return std::unique_ptr<V4l2Camera>(new V4l2Camera(std::move(shared), std::move(name)));
}

V4l2Camera::V4l2Camera(std::shared_ptr<Shared> shared, std::string name)
    : shared_(std::move(shared)), name_(std::move(name)) {}

V4l2Camera::~V4l2Camera() {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
}

CameraRead V4l2Camera::read(double timeoutSeconds) {
    std::unique_lock lock(shared_->mutex);
    const bool woke = shared_->frameArrived.wait_for(
        lock, std::chrono::duration<double>(timeoutSeconds),
        [&] { return shared_->ended || shared_->sequence > shared_->sequenceRead; });
    if (shared_->sequence > shared_->sequenceRead) {
        shared_->sequenceRead = shared_->sequence;
        return CameraRead{CameraRead::Status::Frame, shared_->newest.clone(), {}};
    }
    if (shared_->ended) {
        return CameraRead{CameraRead::Status::Ended, {}, "the camera stopped delivering frames"};
    }
    (void)woke;
    return CameraRead{CameraRead::Status::Stalled, {}, "no frame from the camera in time"};
}

}  // namespace glimmora
