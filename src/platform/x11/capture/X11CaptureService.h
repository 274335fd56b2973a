#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "capture/CaptureService.h"
#include "platform/x11/capture/CapturePath.h"

namespace glimmora {

class X11Display;

/// Desktop capture on X11: the primary monitor, through X Composite, without Glimmora's own
/// windows. Main thread only.
///
/// Streams take the zero-copy path (scenes composed on the GPU from the windows' pixmaps) when
/// it is preferred and the draw loop says it can compose scenes, the copying path (pictures the
/// X server composes in memory it shares with us) otherwise. Each stream keeps the path it was made
/// with.
class X11CaptureService final : public CaptureService {
public:
    /// `displayName` as for xcb_connect; empty means $DISPLAY. Connects on first use.
    explicit X11CaptureService(QString displayName = {});
    ~X11CaptureService() override;
    X11CaptureService(const X11CaptureService&) = delete;
    X11CaptureService& operator=(const X11CaptureService&) = delete;

    /// Tells every stream made from now on which windows are Glimmora's (X window ids; client
    /// windows are fine, their window-manager frames are found). Called on the main thread
    /// when a stream starts and whenever a new top-level window appears during capture; new
    /// windows stay out of the pictures until it has answered.
    void setOwnWindows(std::function<std::vector<quint32>()> ownWindows);

    /// The path streams made from now on take when they can; ZeroCopy unless set. Copying
    /// forces the copying path (benchmarks compare the two).
    void setPreferredPath(CapturePath path) { preferredPath_ = path; }
    CapturePath preferredPath() const { return preferredPath_; }
    /// Whether the consumer can compose scenes (OverlayRenderer::canComposeScenes), asked on
    /// the main thread each time a stream is made. Unset, or answering false: every stream
    /// copies.
    void setZeroCopyAvailable(std::function<bool()> isAvailable) {
        zeroCopyAvailable_ = std::move(isAvailable);
    }
    /// The path a stream made now would take.
    CapturePath pathForNewStream() const;

    /// The primary monitor (RandR primary, else the primary output, else the first monitor,
    /// else the whole screen) as the only display, and the ids of the root's viewable children.
    /// Asks the server synchronously; `done` is called later from the event loop, never
    /// before this returns, and not at all if the service is destroyed first.
    void queryShareableContent(
        std::function<void(std::optional<ShareableContent> content, QString error)> done) override;

    std::unique_ptr<CaptureStreamSession> makeStream(const CaptureDisplay& display,
                                                     std::optional<quint32> excludedWindow,
                                                     const CaptureConfiguration& configuration,
                                                     CaptureStreamDelegate& delegate,
                                                     QString* error) override;

private:
    std::optional<ShareableContent> readContent(QString* error);

    QString displayName_;
    std::unique_ptr<X11Display> display_;  // reopened after the server went away
    std::function<std::vector<quint32>()> ownWindows_;
    CapturePath preferredPath_ = CapturePath::ZeroCopy;
    std::function<bool()> zeroCopyAvailable_;
    QObject context_;  // completions still queued die with the service
};

}  // namespace glimmora
