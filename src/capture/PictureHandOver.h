#pragma once

#include <QImage>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "capture/DesktopPicture.h"

namespace glimmora {

/// The one hand-over point between a picture source and the draw loop.
///
/// A source delivers desktop pictures, pixels or scenes, from its own thread with submit(); the
/// newest waits as the pending picture, replacing one that was never drawn (whatever its
/// kind). The draw (main thread) takes it with takePending(). The lock is held only to move an
/// implicitly shared QImage handle or a scene pointer, never across pixel work or a wait; a
/// replaced picture is released after the lock.
///
/// A picture that replaces a pending one carries the pending one's changed region too (see
/// DesktopPicture::replacing), so the draw may upload only what changed since the picture it
/// took last.
///
/// The draw loop draws only when something changed, so a submitted picture also wakes it: the
/// wake-up runs on the submitting thread, after the lock, and must only post to the main thread.
class PictureHandOver {
public:
    /// Main thread, before any source submits (or with every source stopped).
    void setWakeUp(std::function<void()> wakeUp);
    /// Any thread. A picture should be opaque 32-bit (QImage::Format_RGB32 or ARGB32). A null
    /// picture withdraws the last one: the draw falls back to its backup copy until the next.
    void submit(DesktopPicture picture);
    /// Any thread. Pixels only; a null image withdraws as above.
    void submit(QImage picture) { submit(DesktopPicture{std::move(picture), nullptr}); }
    /// Main thread. The newest picture since the last call, if any.
    std::optional<DesktopPicture> takePending();
    /// Any thread. Whether a picture waits to be taken.
    bool hasPending() const;

    /// Pictures replaced before they were drawn, for diagnostics and tests.
    int droppedCount() const;

private:
    mutable std::mutex mutex_;
    std::optional<DesktopPicture> pending_;
    int dropped_ = 0;
    std::function<void()> wakeUp_;
};

}  // namespace glimmora
