#include "capture/TestPatternSource.h"

#include <QPainter>
#include <chrono>

#include "capture/PictureHandOver.h"

namespace glimmora {

TestPatternSource::TestPatternSource(QSize size, int framesPerSecond)
    : size_(size), framesPerSecond_(framesPerSecond) {}

TestPatternSource::TestPatternSource(QImage still)
    : size_(still.size()), still_(std::move(still).convertToFormat(QImage::Format_RGB32)) {}

TestPatternSource::~TestPatternSource() {
    stop();
}

QImage TestPatternSource::patternFrame(QSize size, int frame) {
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width();
    const int h = size.height();
    static const QRgb bars[] = {qRgb(235, 235, 235), qRgb(235, 235, 16), qRgb(16, 235, 235),
                                qRgb(16, 235, 16),   qRgb(235, 16, 235), qRgb(235, 16, 16),
                                qRgb(16, 16, 235)};
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (y < h * 2 / 3) {
                line[x] = bars[x * 7 / w];
            } else {
                const int grey = x * 255 / std::max(w - 1, 1);
                line[x] = qRgb(grey, grey, grey);
            }
        }
    }
    // A stripe sweeping across makes every new picture visibly different.
    const int stripe = std::max(w / 40, 2);
    const int position = (frame * stripe / 2) % std::max(w, 1);
    QPainter painter(&image);
    painter.fillRect(position, 0, stripe, h, QColor(20, 20, 20));
    return image;
}

void TestPatternSource::start(PictureHandOver& handOver) {
    stop();
    if (!still_.isNull()) {
        handOver.submit(still_);
        return;
    }
    running_ = true;
    thread_ = std::thread([this, &handOver] {
        const auto interval = std::chrono::microseconds(1000000 / std::max(framesPerSecond_, 1));
        auto next = std::chrono::steady_clock::now();
        for (int frame = 0; running_; ++frame) {
            handOver.submit(patternFrame(size_, frame));
            next += interval;
            std::this_thread::sleep_until(next);
        }
    });
}

void TestPatternSource::stop() {
    running_ = false;
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace glimmora
