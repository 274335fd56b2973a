#include "platform/x11/capture/X11CaptureStream.h"

#include <QCoreApplication>

#include "platform/x11/capture/DeliveryControl.h"
#include "platform/x11/capture/DeliveryLoop.h"

namespace glimmora {
namespace {

using Completion = std::function<void(std::optional<QString> error)>;

// Beyond this, a stop no longer waits for a server that does not answer.
constexpr std::chrono::milliseconds kStopPatience{1000};

/// Runs `done(error)` from the main thread's event loop, whoever asks and whatever dies first.
void completeLater(Completion done, std::optional<QString> error) {
    if (!done) {
        return;
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        done(std::move(error));
        return;
    }
    QMetaObject::invokeMethod(
        application, [done = std::move(done), error = std::move(error)] { done(error); },
        Qt::QueuedConnection);
}

}  // namespace

X11CaptureStream::X11CaptureStream(Settings settings, CaptureStreamDelegate& delegate)
    : settings_(std::move(settings)), delegate_(delegate) {}

X11CaptureStream::~X11CaptureStream() {
    halt();
}

void X11CaptureStream::start(Completion done) {
    if (thread_.joinable()) {
        if (!control_->waitFinished(std::chrono::milliseconds(0))) {
            completeLater(std::move(done), QStringLiteral("The capture stream is already running"));
            return;
        }
        thread_.join();  // it ended by itself (failed start or lost server)
    }
    DeliveryLoop::Setup setup;
    setup.displayName = settings_.displayName;
    const CaptureConfiguration& configuration = settings_.configuration;
    setup.pictureSize = configuration.width > 0 && configuration.height > 0
                            ? QSize(configuration.width, configuration.height)
                            : QSize(settings_.display.width, settings_.display.height);
    setup.minimumInterval = configuration.minimumFrameInterval;
    setup.pictureCount = configuration.queueDepth;
    setup.path = settings_.path;
    if (settings_.excludedWindow) {
        setup.excluded.push_back(*settings_.excludedWindow);
    }
    if (settings_.ownWindows) {
        setup.ownWindows = settings_.ownWindows();
        setup.asksForOwnWindows = true;
    }

    auto control = std::make_shared<DeliveryControl>();
    control_ = control;
    auto request = [this, control](quint64 upTo) { requestOwnWindows(control, upTo); };
    thread_ = std::thread([setup = std::move(setup), &delegate = delegate_, control,
                           request = std::move(request), done = std::move(done)]() mutable {
        DeliveryLoop loop(std::move(setup), delegate, *control, std::move(request));
        loop.run([&done, &control](std::optional<QString> error) {
            Completion reported = [done = std::move(done),
                                   control](std::optional<QString> outcome) {
                if (done) {
                    done(std::move(outcome));
                }
                // Only now does the owner take this stream's pictures.
                control->markStartReported();
                control->wake();
            };
            completeLater(std::move(reported), std::move(error));
        });
        control->markFinished();
    });
}

void X11CaptureStream::stop(Completion done) {
    halt();
    completeLater(std::move(done), std::nullopt);
}

void X11CaptureStream::halt() {
    if (!thread_.joinable()) {
        return;
    }
    control_->requestStop();
    control_->wake();
    if (!control_->waitFinished(kStopPatience)) {
        control_->shutDownConnection();  // its blocked wait now fails and the thread ends
    }
    thread_.join();
}

void X11CaptureStream::requestOwnWindows(const std::shared_ptr<DeliveryControl>& control,
                                         quint64 upTo) {
    // Called on the delivery thread; the list is asked for on the main thread, where Glimmora's
    // windows live, and the answer goes back through the control.
    QMetaObject::invokeMethod(
        &mainThread_,
        [this, control, upTo] {
            control->answerOwnWindows({upTo, settings_.ownWindows()});
        },
        Qt::QueuedConnection);
}

}  // namespace glimmora
