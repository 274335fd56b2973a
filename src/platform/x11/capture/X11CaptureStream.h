#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <thread>

#include "capture/CaptureService.h"
#include "platform/x11/capture/CapturePath.h"

namespace glimmora {

class DeliveryControl;

/// A capture stream of the primary monitor through X Composite, leaving out one window and
/// Glimmora's own windows (and the window-manager frames around them).
///
/// Pictures are made on a delivery thread with its own X connection (see DeliveryLoop); the
/// cursor is never in them (showsCursor is not supported). A zero-copy stream delivers scenes
/// instead of pictures (see DesktopScene), for a draw loop that composes them on the GPU.
/// Completion callbacks are always called exactly once, later, from the main thread's event loop (a
/// QCoreApplication must exist), even when the stream is destroyed in between.
class X11CaptureStream final : public CaptureStreamSession {
public:
    struct Settings {
        QString displayName;  // empty: $DISPLAY
        CaptureDisplay display;
        std::optional<quint32> excludedWindow;
        CaptureConfiguration configuration;
        /// Glimmora's own window ids; called on the main thread when the stream starts and
        /// whenever new top-level windows appear. May be empty.
        std::function<std::vector<quint32>()> ownWindows;
        CapturePath path = CapturePath::Copying;
    };

    /// Main thread. `delegate` must outlive the stream.
    X11CaptureStream(Settings settings, CaptureStreamDelegate& delegate);
    /// Stops delivery and waits for the delivery thread.
    ~X11CaptureStream() override;
    X11CaptureStream(const X11CaptureStream&) = delete;
    X11CaptureStream& operator=(const X11CaptureStream&) = delete;

    /// Main thread. Connects and starts delivering on the delivery thread; `done` gets the
    /// error line of a failed start (no X server, a missing extension), or nothing. A stream
    /// may be started again after a stop or after it ended by itself.
    void start(std::function<void(std::optional<QString> error)> done) override;
    /// Main thread. Ends delivery before it returns: no delegate call follows. Waits at most
    /// about a second for a server that stopped answering before cutting the connection.
    void stop(std::function<void(std::optional<QString> error)> done) override;

    /// Whether it delivers scenes (ZeroCopy) or pictures (Copying).
    CapturePath path() const { return settings_.path; }

private:
    void halt();
    void requestOwnWindows(const std::shared_ptr<DeliveryControl>& control, quint64 upTo);

    Settings settings_;
    CaptureStreamDelegate& delegate_;
    std::shared_ptr<DeliveryControl> control_;
    std::thread thread_;
    QObject mainThread_;  // own-window requests posted to the main thread die with it
};

}  // namespace glimmora
