#pragma once

#include <QImage>
#include <QSize>

#include "render/RenderTarget.h"

namespace glimmora {

/// A framebuffer object with one 8-bit RGBA colour texture, for drawing frames without a
/// window (offline rendering, tests, benchmarks). Needs a current OpenGL context for every
/// call, destruction included.
class OffscreenTarget {
public:
    explicit OffscreenTarget(QSize size);
    OffscreenTarget(const OffscreenTarget&) = delete;
    OffscreenTarget& operator=(const OffscreenTarget&) = delete;
    ~OffscreenTarget();

    RenderTarget target() const { return {framebuffer_, size_.width(), size_.height()}; }
    QSize size() const { return size_; }

    /// Waits for the drawing to finish and reads it back, top row first, as Format_ARGB32.
    QImage read() const;

private:
    QSize size_;
    unsigned framebuffer_ = 0;
    unsigned texture_ = 0;
};

}  // namespace glimmora
