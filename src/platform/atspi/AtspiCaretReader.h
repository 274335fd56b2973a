#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "core/Point.h"
#include "platform/atspi/AtspiMessages.h"
#include "platform/atspi/CaretQuery.h"
#include "platform/atspi/FocusWalk.h"
#include "trackers/CaretSource.h"

class QTimer;

namespace glimmora {

/// The window the user works in, as the window manager reports it: its process, and where its
/// window-coordinate plane starts in root pixels (the client window's corner, plus GTK's
/// invisible frame where there is one).
struct ActiveTopLevel {
    std::int32_t pid = 0;
    Point origin;
};

/// What one reader has cost so far, for benchmarks and diagnostics.
struct CaretReaderStatistics {
    long measurements = 0;     ///< finished caret queries, found or not
    long roundTrips = 0;       ///< D-Bus calls those queries made
    double workerSeconds = 0;  ///< CPU time of the reader's thread spent handling them
    double querySeconds = 0;   ///< wall time from each query's first request to its result
};

/// The caret measurement over AT-SPI 2, on a thread of its own with its own connection to the
/// accessibility bus, so that no application can hold up the overlay's main loop.
///
/// Every 50 ms, and at once when the focused text's caret moves, it measures the focused text
/// of the application that owns the active window (CaretQuery) and hands the result to
/// `publish`. It follows focus from the applications' focus and caret events, registered with
/// the AT-SPI registry for the connection's life; an application it has heard nothing from is
/// searched once (FocusWalk). Every call is asynchronous with a short timeout and at most one
/// is in flight: an application that does not answer in time is left alone for a while
/// (doubling up to a few seconds) with a single patient request outstanding, whose answer ends
/// the pause at once.
///
/// It also switches the desktop's accessibility (org.a11y.Status IsEnabled on the session bus)
/// on while caret following wants it, and back off when it is no longer wanted or the reader
/// shuts down, if it was off before.
///
/// Lives on its worker thread: every method runs there (the owner invokes them queued).
class AtspiCaretReader : public QObject {
    Q_OBJECT

public:
    struct Options {
        /// The session bus; empty for the one in DBUS_SESSION_BUS_ADDRESS.
        QString sessionBusAddress;
        /// The active window; called on the reader's thread. Null: none is ever known.
        std::function<std::optional<ActiveTopLevel>()> activeTopLevel;
        /// Receives every measurement (nothing: it failed), on the reader's thread.
        std::function<void(std::optional<CaretReading>)> publish;
        /// Called once, on the reader's thread, when it is known whether the bus is reachable
        /// and accessibility is enabled.
        std::function<void(bool trusted)> started;
    };

    explicit AtspiCaretReader(Options options);
    ~AtspiCaretReader() override;

    void start();
    void stop();
    void setAccessibilityWanted(bool wanted);
    /// Leaves the accessibility setting as it was found, waiting up to a second for that.
    void shutdown();

    CaretReaderStatistics statistics() const;

    /// Timeout of each call to an application; past it the application counts as hung.
    static constexpr int kCallTimeoutMs = 150;

private Q_SLOTS:
    void stateChanged(const QDBusMessage& message);
    void caretMoved(const QDBusMessage& message);
    void nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    struct Application {
        std::string root = "/org/a11y/atspi/accessible/root";
        std::int32_t pid = -1;  // -1: not asked yet; 0: unknown
        bool hasInfo = false;
        std::string name;
        AtspiCoordinates coordinates = AtspiCoordinates::screen;
        std::string focusPath;
        double noWalkBefore = 0;
        double pausedUntil = 0;
        double pause = 0;
        bool isProbing = false;
    };
    using ReplyHandler = std::function<void(const AtspiReply&)>;

    void connectToAccessibilityBus(const QString& address);
    void reportStarted();
    void readAccessibilityStatus();
    void applyAccessibilityWish();
    void setAccessibilityEnabled(bool enabled);
    void focusMoved(const QDBusMessage& message);

    /// One step of measuring: whatever is missing first (applications, their process, their
    /// toolkit, the focused object), then the caret. Does nothing while a call is in flight.
    void measure();
    void listApplications();
    void askProcess(const std::string& bus);
    void askInformation(const std::string& bus);
    void continueWalk();
    void continueQuery();
    void finishQuery();
    void probe(const std::string& bus);

    /// Sends `message` to `bus` on the accessibility bus; `onReply` gets the answer (a timeout
    /// arrives as an error reply). Marks the reader busy until then.
    void call(const std::string& bus, const QDBusMessage& message, int timeoutMs,
              ReplyHandler onReply, bool occupies = true);
    void noteHung(const std::string& bus);
    void noteAlive(const std::string& bus);
    void publish(std::optional<CaretReading> reading);

    Options options_;
    QString sessionName_;
    QString busName_;
    bool isRunning_ = false;
    bool isConnected_ = false;
    bool hasReportedStart_ = false;
    QTimer* pollTimer_ = nullptr;

    bool isBusy_ = false;
    bool measureAgain_ = false;
    std::map<std::string, Application> applications_;
    double applicationsListedAt_ = -1e9;
    std::optional<FocusWalk> walk_;
    std::string walkBus_;
    std::optional<CaretQuery> query_;
    std::string queryBus_;
    std::string queryPath_;
    ActiveTopLevel queryTopLevel_;
    int queryRoundTrips_ = 0;
    double queryStartedAt_ = 0;

    bool isAccessibilityWanted_ = false;
    bool isAccessibilityEnabled_ = false;
    bool hasSwitchedAccessibilityOn_ = false;
    bool isStatusBusy_ = false;
    bool isSwitchingOff_ = false;
    bool isStatusKnown_ = false;

    mutable std::mutex statisticsMutex_;  // statistics() is read from other threads
    CaretReaderStatistics statistics_;
};

}  // namespace glimmora
