#pragma once

#include <QtGlobal>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace glimmora {

/// The main thread's answer to a request for Glimmora's own window ids.
struct OwnWindowsAnswer {
    quint64 upTo = 0;  // covers the windows tracked up to this serial
    std::vector<quint32> ids;
};

/// What a capture stream's main-thread side and its delivery thread share: the stop request,
/// a wake-up for the delivery thread's wait, own-window answers, and the X socket so a stop can
/// break a wait on a server that no longer answers. All members are thread-safe.
class DeliveryControl {
public:
    DeliveryControl();
    ~DeliveryControl();
    DeliveryControl(const DeliveryControl&) = delete;
    DeliveryControl& operator=(const DeliveryControl&) = delete;

    void requestStop();
    bool isStopRequested() const;

    /// Ends the delivery thread's current wait (the descriptor turns readable).
    void wake();
    int wakeDescriptor() const { return wakeDescriptor_; }
    void clearWake();

    void answerOwnWindows(OwnWindowsAnswer answer);
    std::optional<OwnWindowsAnswer> takeOwnWindowsAnswer();

    /// The delivery thread's X socket while it is open, -1 otherwise.
    void setConnectionDescriptor(int descriptor);
    /// Shuts the X socket down: every wait on the server returns with a connection error.
    void shutDownConnection();

    /// The owner has heard that the stream started (its completion ran). Pictures wait for
    /// this: the owner ignores samples of a stream it does not know to run yet, and on a still
    /// desktop a first picture lost that way would not be followed by another.
    void markStartReported();
    bool isStartReported() const;

    /// The delivery thread is about to end.
    void markFinished();
    /// Whether markFinished() came within `timeout`.
    bool waitFinished(std::chrono::milliseconds timeout);

private:
    mutable std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool stopRequested_ = false;
    bool finished_ = false;
    bool startReported_ = false;
    int connectionDescriptor_ = -1;
    std::optional<OwnWindowsAnswer> ownWindows_;
    int wakeDescriptor_ = -1;
};

}  // namespace glimmora
