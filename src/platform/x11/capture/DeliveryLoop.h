#pragma once

#include <xcb/xcb.h>
#include <QRegion>
#include <QSize>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "capture/CaptureService.h"
#include "platform/x11/capture/CapturePath.h"

namespace glimmora {

class DeliveryControl;
class PicturePool;
class SceneBuilder;
class ServerCompositor;
class TopLevelWindowList;
class X11Display;

/// The body of a capture stream's delivery thread: its own X connection, the window tracker,
/// the server compositor (copying path) or the scene builder (zero-copy path), and the timing of
/// pictures and signs of life.
///
/// Pictures (or scenes) come at most once per `minimumInterval` and only when something
/// visible changed, the first once the owner has heard that the stream started.
/// When no picture went out for 0.25 s, a round trip to the server is made and, once it comes
/// back, a sample without a picture: a still desktop keeps the stream alive, while a hung or
/// lost server falls silent.
class DeliveryLoop {
public:
    /// The delivery thread's name, as `top -H` and debuggers show it. The kernel keeps at most
    /// 15 characters and refuses a longer name outright.
    static constexpr char kThreadName[] = "glim-capture";
    static_assert(sizeof kThreadName <= 16);

    struct Setup {
        QString displayName;                // empty: $DISPLAY
        QSize pictureSize;                  // empty: the primary monitor's size
        double minimumInterval = 1.0 / 60;  // seconds
        int pictureCount = 3;  // delivered in turn; while the consumer holds all, pictures wait
        /// Windows always left out (the one the stream was made to exclude).
        std::vector<quint32> excluded;
        /// Glimmora's own windows when the stream started.
        std::vector<quint32> ownWindows;
        /// Whether new top-level windows must wait for a fresh own-window list (through
        /// `requestOwnWindows`) before they are shown.
        bool asksForOwnWindows = false;
        /// Pictures (Copying) or scenes for the GPU to compose (ZeroCopy).
        CapturePath path = CapturePath::Copying;
    };

    /// `requestOwnWindows(upTo)` must arrange for DeliveryControl::answerOwnWindows() to be
    /// called with the own windows as of now, from any thread.
    DeliveryLoop(Setup setup, CaptureStreamDelegate& delegate, DeliveryControl& control,
                 std::function<void(quint64 upTo)> requestOwnWindows);
    ~DeliveryLoop();
    DeliveryLoop(const DeliveryLoop&) = delete;
    DeliveryLoop& operator=(const DeliveryLoop&) = delete;

    /// Connects and prepares; reports the outcome through `started` (on this thread), then
    /// delivers until a stop is requested or the connection is lost (which it reports to the
    /// delegate). Returns with the connection closed, unless scenes still held elsewhere keep
    /// it open for the pixmaps they name (it closes with the last of them).
    void run(const std::function<void(std::optional<QString> error)>& started);

private:
    using Clock = std::chrono::steady_clock;

    std::optional<QString> prepare();
    void deliverUntilStopped();
    void handle(xcb_generic_event_t* event);
    void classifyNewWindows(Clock::time_point now);
    void classify(const std::vector<quint32>& ownWindows, quint64 upTo);
    /// Whether a picture (or scene) should be made once the interval allows.
    bool isPictureDue() const;
    void producePicture();
    void produceScene();
    void keepAlive(Clock::time_point now);
    void waitForWork(Clock::time_point now);

    Setup setup_;
    CaptureStreamDelegate& delegate_;
    DeliveryControl& control_;
    std::function<void(quint64)> requestOwnWindows_;
    Clock::duration interval_;

    std::shared_ptr<X11Display> display_;  // shared with the pixmaps of scenes handed out
    std::unique_ptr<TopLevelWindowList> tracker_;
    std::unique_ptr<ServerCompositor> compositor_;  // copying path
    std::unique_ptr<PicturePool> pool_;             // copying path
    std::unique_ptr<SceneBuilder> sceneBuilder_;    // zero-copy path

    Clock::time_point lastUpdate_;
    Clock::time_point lastDelivery_;
    bool pictureOwed_ = true;  // a change (or the first picture) is not delivered yet
    bool hasDelivered_ = false;
    QRegion changedSinceDelivery_;  // picture coordinates
    std::optional<unsigned int> keepAliveRequest_;
    Clock::time_point keepAliveAskedAt_;
    bool ownWindowsAsked_ = false;
    Clock::time_point ownWindowsAskedAt_;
};

}  // namespace glimmora
