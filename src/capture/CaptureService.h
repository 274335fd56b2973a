#pragma once

#include <QImage>
#include <QRegion>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "capture/DesktopScene.h"

namespace glimmora {

/// A monitor the capture service can stream, in device pixels.
struct CaptureDisplay {
    int width = 0;
    int height = 0;
    bool operator==(const CaptureDisplay&) const = default;
};

/// What can be captured right now: the displays (primary first) and the ids of the top-level
/// windows on screen (X11 window ids on Linux).
struct ShareableContent {
    std::vector<CaptureDisplay> displays;
    std::vector<quint32> windowIds;
};

/// How a stream is asked to deliver pictures.
struct CaptureConfiguration {
    int width = 0;   // device pixels
    int height = 0;  // device pixels
    int queueDepth = 3;
    bool showsCursor = false;
    double minimumFrameInterval = 1.0 / 60;  // seconds
    bool operator==(const CaptureConfiguration&) const = default;
};

/// One delivered sample: a picture, a scene, or neither. A sample with neither is a sign of life
/// only (the desktop did not change). Pictures are opaque 32-bit (QImage::Format_RGB32),
/// `width` × `height` of the stream. A zero-copy stream sends scenes instead: descriptions of
/// the desktop that the draw loop composes on the GPU (see DesktopScene); a stream sends one
/// kind or the other, never both in one sample.
struct CaptureSample {
    QImage picture;
    std::shared_ptr<const DesktopScene> scene = nullptr;
    /// The part of `picture` that differs from the stream's previous picture; none: all of it.
    std::optional<QRegion> changed = std::nullopt;

    bool hasPicture() const { return !picture.isNull() || scene != nullptr; }
};

/// Receives a stream's samples and its end. Both may be called on any thread: samples on the
/// stream's own delivery thread, one at a time; the stop on whatever thread noticed it.
class CaptureStreamDelegate {
public:
    virtual ~CaptureStreamDelegate() = default;
    virtual void didOutputSample(const CaptureSample& sample) = 0;
    /// The stream ended by itself (the source was lost); `error` says why, in one line.
    virtual void didStopWithError(const QString& error) = 0;
};

/// One capture stream. Created stopped; delivers to its delegate between a successful start()
/// and stop(). Completion callbacks come back on the main thread. Destroying a stream stops its
/// delivery: no delegate call happens after the destructor returns.
class CaptureStreamSession {
public:
    virtual ~CaptureStreamSession() = default;
    /// Begins delivery. `done` gets an error line, or nothing on success.
    virtual void start(std::function<void(std::optional<QString> error)> done) = 0;
    /// Ends delivery. `done` gets an error line, or nothing on success.
    virtual void stop(std::function<void(std::optional<QString> error)> done) = 0;
};

/// The platform's desktop capture: X Composite on Linux, a scripted fake in tests.
/// Main thread only; completion callbacks come back on the main thread.
class CaptureService {
public:
    virtual ~CaptureService() = default;

    /// The displays and windows that can be captured now, or an error line (no X connection).
    virtual void queryShareableContent(
        std::function<void(std::optional<ShareableContent> content, QString error)> done) = 0;

    /// A new, stopped stream of `display` that leaves `excludedWindow` (and Glimmora's other
    /// windows) out of its pictures. Null with `error` set when the stream cannot be made.
    virtual std::unique_ptr<CaptureStreamSession> makeStream(
        const CaptureDisplay& display, std::optional<quint32> excludedWindow,
        const CaptureConfiguration& configuration, CaptureStreamDelegate& delegate,
        QString* error) = 0;
};

}  // namespace glimmora
