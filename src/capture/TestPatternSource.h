#pragma once

#include <QImage>
#include <QSize>
#include <atomic>
#include <thread>

#include "capture/PictureSource.h"

namespace glimmora {

/// A picture source for running the renderer without a desktop: an animated test pattern
/// (colour bars, a grey ramp and a moving stripe) delivered from its own thread at a fixed
/// rate, or one still image delivered once.
class TestPatternSource final : public PictureSource {
public:
    /// Animated pattern of `size`, `framesPerSecond` pictures a second.
    TestPatternSource(QSize size, int framesPerSecond);
    /// One still picture, delivered once at start.
    explicit TestPatternSource(QImage still);
    ~TestPatternSource() override;

    void start(PictureHandOver& handOver) override;
    void stop() override;

    /// The pattern's picture number `frame`; pure, so tests can compare against it.
    static QImage patternFrame(QSize size, int frame);

private:
    QSize size_;
    int framesPerSecond_ = 0;
    QImage still_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace glimmora
