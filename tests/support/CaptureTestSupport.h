#pragma once

#include <QCoreApplication>
#include <QImage>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "capture/CaptureService.h"

namespace glimmora::test {

using namespace std::chrono_literals;

/// The process's QCoreApplication, made on first use: completions arrive through its loop.
inline QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "x11-capture-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* instance = QCoreApplication::instance() != nullptr
                                            ? QCoreApplication::instance()
                                            : new QCoreApplication(argc, argv);
    return *instance;
}

/// Runs the event loop until `condition` holds or `timeout` passes; whether it held.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = 3s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

/// 0xRRGGBB as the opaque pixel a picture holds.
constexpr quint32 opaque(quint32 rgb) {
    return 0xff000000u | rgb;
}

/// The stored 32-bit word at (x, y), alpha byte included.
inline quint32 pixelAt(const QImage& picture, int x, int y) {
    return reinterpret_cast<const quint32*>(picture.constScanLine(y))[x];
}

/// Keeps what a stream delivers, for the test thread to look at. Scenes of a zero-copy stream
/// count as pictures; the newest is kept (and with it the pixmaps it names).
class RecordingDelegate final : public CaptureStreamDelegate {
public:
    void didOutputSample(const CaptureSample& sample) override {
        const std::lock_guard lock(mutex_);
        if (!sample.hasPicture()) {
            ++signsOfLife_;
            return;
        }
        if (sample.scene) {
            latestScene_ = sample.scene;
        } else {
            latest_ = sample.picture.copy();  // the stream's own picture goes back to it at once
        }
        pictureTimes_.push_back(std::chrono::steady_clock::now());
    }
    void didStopWithError(const QString& error) override {
        const std::lock_guard lock(mutex_);
        stopError_ = error;
    }

    int pictureCount() const {
        const std::lock_guard lock(mutex_);
        return static_cast<int>(pictureTimes_.size());
    }
    int signOfLifeCount() const {
        const std::lock_guard lock(mutex_);
        return signsOfLife_;
    }
    int sampleCount() const { return pictureCount() + signOfLifeCount(); }
    QImage latestPicture() const {
        const std::lock_guard lock(mutex_);
        return latest_;
    }
    std::shared_ptr<const DesktopScene> latestScene() const {
        const std::lock_guard lock(mutex_);
        return latestScene_;
    }
    /// Lets go of the newest scene, so that only the test's own copies hold its pixmaps.
    void forgetScene() {
        std::shared_ptr<const DesktopScene> scene;
        const std::lock_guard lock(mutex_);
        scene = std::exchange(latestScene_, nullptr);
    }
    std::vector<std::chrono::steady_clock::time_point> pictureTimes() const {
        const std::lock_guard lock(mutex_);
        return pictureTimes_;
    }
    std::optional<QString> stopError() const {
        const std::lock_guard lock(mutex_);
        return stopError_;
    }

    /// Waits until the newest scene satisfies `condition`.
    bool waitForScene(const std::function<bool(const DesktopScene&)>& condition,
                      std::chrono::milliseconds timeout = 3s) const {
        return waitUntil(
            [&] {
                const std::shared_ptr<const DesktopScene> scene = latestScene();
                return scene && condition(*scene);
            },
            timeout);
    }

    /// Waits until the newest picture satisfies `condition`.
    bool waitForPicture(const std::function<bool(const QImage&)>& condition,
                        std::chrono::milliseconds timeout = 3s) const {
        return waitUntil(
            [&] {
                const QImage picture = latestPicture();
                return !picture.isNull() && condition(picture);
            },
            timeout);
    }

private:
    mutable std::mutex mutex_;
    QImage latest_;
    std::shared_ptr<const DesktopScene> latestScene_;
    std::vector<std::chrono::steady_clock::time_point> pictureTimes_;
    int signsOfLife_ = 0;
    std::optional<QString> stopError_;
};

}  // namespace glimmora::test
