#include "platform/x11/capture/DeliveryLoop.h"

#include <poll.h>
#include <pthread.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <algorithm>
#include <csignal>
#include <functional>

#include "platform/x11/capture/DeliveryControl.h"
#include "platform/x11/capture/PicturePool.h"
#include "platform/x11/capture/SceneBuilder.h"
#include "platform/x11/capture/ServerCompositor.h"
#include "platform/x11/capture/TopLevelWindowList.h"
#include "platform/x11/connection/PrimaryMonitor.h"
#include "platform/x11/connection/X11Display.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;

// A still desktop sends a sign of life this often.
constexpr auto kKeepAliveInterval = 250ms;
// New windows wait at most this long for the main thread's own-window list; after it they are
// judged by the last list (a main thread this late draws nothing anyway).
constexpr auto kOwnWindowsPatience = 500ms;
// Never more pictures than this, whatever the configuration asks.
constexpr double kShortestInterval = 1.0 / 60;

}  // namespace

DeliveryLoop::DeliveryLoop(Setup setup, CaptureStreamDelegate& delegate, DeliveryControl& control,
                           std::function<void(quint64 upTo)> requestOwnWindows)
    : setup_(std::move(setup)),
      delegate_(delegate),
      control_(control),
      requestOwnWindows_(std::move(requestOwnWindows)),
      interval_(std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(std::max(setup_.minimumInterval, kShortestInterval)))) {}

DeliveryLoop::~DeliveryLoop() = default;

void DeliveryLoop::run(const std::function<void(std::optional<QString> error)>& started) {
    // A write to a server that just died must fail with EPIPE, not kill the process. The
    // signal goes to the writing thread, so blocking it here affects nobody else.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    pthread_setname_np(pthread_self(), kThreadName);

    const std::optional<QString> error = prepare();
    started(error);
    if (!error) {
        deliverUntilStopped();
    }
    // Everything that speaks to the server goes before the connection; the socket is
    // withdrawn from stop() before it closes.
    sceneBuilder_.reset();
    pool_.reset();
    compositor_.reset();
    tracker_.reset();
    control_.setConnectionDescriptor(-1);
    display_.reset();
}

std::optional<QString> DeliveryLoop::prepare() {
    QString error;
    display_ = std::shared_ptr<X11Display>(X11Display::open(setup_.displayName, &error));
    if (!display_) {
        return error;
    }
    control_.setConnectionDescriptor(xcb_get_file_descriptor(display_->connection()));
    if (std::optional<QString> missing = display_->initialiseCaptureExtensions()) {
        return missing;
    }
    const QRect monitor = primaryMonitorRect(display_->connection(), display_->screen());
    const QRect capture(monitor.topLeft(),
                        setup_.pictureSize.isEmpty() ? monitor.size() : setup_.pictureSize);
    const bool copying = setup_.path == CapturePath::Copying;
    const X11Display& display = *display_;
    tracker_ = std::make_unique<TopLevelWindowList>(
        display_, [&display](uint8_t depth) { return display.isCopyableDepth(depth); }, copying);
    if (std::optional<QString> failed = tracker_->start()) {
        return failed;
    }
    classify(setup_.ownWindows, tracker_->lastSerial());
    if (copying) {
        compositor_ = ServerCompositor::create(*display_, *tracker_, capture,
                                               std::max(setup_.pictureCount, 2), &error);
        if (!compositor_) {
            return error;
        }
        pool_ = std::make_unique<PicturePool>(compositor_->takePictures());
    } else {
        sceneBuilder_ = std::make_unique<SceneBuilder>(display_, *tracker_, capture);
    }
    xcb_flush(display_->connection());
    return std::nullopt;
}

void DeliveryLoop::deliverUntilStopped() {
    xcb_connection_t* c = display_->connection();
    lastUpdate_ = Clock::now() - interval_;
    lastDelivery_ = Clock::now();
    while (!control_.isStopRequested()) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            handle(event);
        }
        if (display_->hasError()) {
            if (!control_.isStopRequested()) {
                delegate_.didStopWithError(
                    QStringLiteral("Lost the X server connection (%1)").arg(display_->errorText()));
            }
            return;
        }
        Clock::time_point now = Clock::now();
        if (std::optional<OwnWindowsAnswer> answer = control_.takeOwnWindowsAnswer()) {
            ownWindowsAsked_ = false;
            setup_.ownWindows = std::move(answer->ids);
            classify(setup_.ownWindows, answer->upTo);
        }
        classifyNewWindows(now);
        if (isPictureDue() && now - lastUpdate_ >= interval_) {
            lastUpdate_ = now;
            producePicture();
            now = Clock::now();
        }
        keepAlive(now);
        xcb_flush(c);
        // Replies waited for above may have brought events along: handle them before sleeping.
        if (xcb_generic_event_t* event = xcb_poll_for_queued_event(c)) {
            handle(event);
            continue;
        }
        waitForWork(now);
    }
}

bool DeliveryLoop::isPictureDue() const {
    // Until the owner has heard of the start, changes only accumulate (see DeliveryControl).
    return (pictureOwed_ || tracker_->hasPendingChanges()) && control_.isStartReported();
}

void DeliveryLoop::handle(xcb_generic_event_t* event) {
    tracker_->handleEvent(*event);
    std::free(event);
}

void DeliveryLoop::classifyNewWindows(Clock::time_point now) {
    if (!tracker_->hasUnclassified()) {
        return;
    }
    if (!setup_.asksForOwnWindows ||
        (ownWindowsAsked_ && now - ownWindowsAskedAt_ >= kOwnWindowsPatience)) {
        classify(setup_.ownWindows, tracker_->lastSerial());
    } else if (!ownWindowsAsked_) {
        ownWindowsAsked_ = true;
        ownWindowsAskedAt_ = now;
        requestOwnWindows_(tracker_->lastSerial());
    }
}

void DeliveryLoop::classify(const std::vector<quint32>& ownWindows, quint64 upTo) {
    // Managed windows sit in a frame of the window manager: the frame is the top-level to skip.
    std::unordered_set<xcb_window_t> topLevels;
    for (const auto& ids : {std::cref(setup_.excluded), std::cref(ownWindows)}) {
        for (const quint32 id : ids.get()) {
            if (const xcb_window_t topLevel = tracker_->topLevelOf(id); topLevel != XCB_NONE) {
                topLevels.insert(topLevel);
            }
        }
    }
    tracker_->classify(topLevels, upTo);
}

void DeliveryLoop::producePicture() {
    if (sceneBuilder_) {
        produceScene();
        return;
    }
    const QRegion updated = compositor_->update();
    if (!updated.isEmpty()) {
        pool_->invalidate(updated);
        changedSinceDelivery_ += updated;
        pictureOwed_ = true;
    }
    if (!pictureOwed_ || display_->hasError()) {
        return;
    }
    const int index = pool_->acquire();
    if (index < 0) {
        return;  // the consumer holds every picture; try again next interval
    }
    QImage& picture = pool_->picture(index);
    if (!compositor_->compose(index, picture, pool_->outOfDate(index))) {
        return;  // still owed: the next interval tries again
    }
    pool_->markDelivered(index);
    pictureOwed_ = false;
    // The first picture of a stream is new as a whole to whoever takes it.
    std::optional<QRegion> changed;
    if (std::exchange(hasDelivered_, true)) {
        changed = changedSinceDelivery_;
    }
    changedSinceDelivery_ = QRegion();
    delegate_.didOutputSample(CaptureSample{picture, nullptr, std::move(changed)});
    lastDelivery_ = Clock::now();
}

void DeliveryLoop::produceScene() {
    if (sceneBuilder_->update()) {
        pictureOwed_ = true;
    }
    if (!pictureOwed_ || display_->hasError()) {
        return;
    }
    // No pool here: a scene is a few dozen bytes, and the pixmaps it names live as long as it.
    pictureOwed_ = false;
    delegate_.didOutputSample(CaptureSample{QImage(), sceneBuilder_->scene()});
    lastDelivery_ = Clock::now();
}

void DeliveryLoop::keepAlive(Clock::time_point now) {
    xcb_connection_t* c = display_->connection();
    if (!keepAliveRequest_ && now - lastDelivery_ >= kKeepAliveInterval) {
        keepAliveRequest_ = xcb_get_input_focus(c).sequence;
        keepAliveAskedAt_ = now;
        return;
    }
    if (!keepAliveRequest_) {
        return;
    }
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(c, *keepAliveRequest_, &reply, &error) == 0) {
        return;
    }
    const bool answered = reply != nullptr;
    std::free(reply);
    std::free(error);
    keepAliveRequest_.reset();
    // A picture delivered meanwhile already proved the server alive.
    if (answered && lastDelivery_ <= keepAliveAskedAt_) {
        delegate_.didOutputSample(CaptureSample{});
        lastDelivery_ = Clock::now();
    }
}

void DeliveryLoop::waitForWork(Clock::time_point now) {
    std::optional<Clock::time_point> deadline;
    auto consider = [&deadline](Clock::time_point at) {
        deadline = deadline ? std::min(*deadline, at) : at;
    };
    if (isPictureDue()) {
        consider(lastUpdate_ + interval_);
    }
    if (!keepAliveRequest_) {
        consider(lastDelivery_ + kKeepAliveInterval);
    }
    if (ownWindowsAsked_ && tracker_->hasUnclassified()) {
        consider(ownWindowsAskedAt_ + kOwnWindowsPatience);
    }
    // To the microsecond: a wait rounded up to whole milliseconds makes every interval late,
    // and would follow a window drawn 60 times a second at 57.
    timespec timeout{};
    if (deadline) {
        const auto left = std::max(std::chrono::ceil<std::chrono::microseconds>(*deadline - now),
                                   std::chrono::microseconds(0));
        timeout.tv_sec = static_cast<time_t>(left.count() / 1000000);
        timeout.tv_nsec = static_cast<long>(left.count() % 1000000) * 1000;
    }
    pollfd descriptors[] = {{xcb_get_file_descriptor(display_->connection()), POLLIN, 0},
                            {control_.wakeDescriptor(), POLLIN, 0}};
    // Without a deadline it waits for the server or the main thread.
    ppoll(descriptors, 2, deadline ? &timeout : nullptr, nullptr);
    if (descriptors[1].revents != 0) {
        control_.clearWake();
    }
}

}  // namespace glimmora
