#pragma once

#include <QImage>
#include <mutex>
#include <optional>

namespace glimmora {

/// The one hand-over point between a picture source and the draw loop.
///
/// A source delivers desktop pictures from its own thread with submit(); the newest waits as
/// the pending picture, replacing one that was never drawn. The draw (main thread) takes it
/// with takePending(). The lock is held only to move an implicitly shared QImage handle, never
/// across pixel work or a wait.
class PictureHandOver {
public:
    /// Any thread. `picture` should be opaque 32-bit (QImage::Format_RGB32 or ARGB32). A null
    /// picture withdraws the last one: the draw falls back to its backup copy until the next.
    void submit(QImage picture);
    /// Main thread. The newest picture since the last call, if any.
    std::optional<QImage> takePending();

    /// Pictures replaced before they were drawn, for diagnostics and tests.
    int droppedCount() const;

private:
    mutable std::mutex mutex_;
    std::optional<QImage> pending_;
    int dropped_ = 0;
};

}  // namespace glimmora
