#include "platform/atspi/AtspiCaretReader.h"

#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QTimer>

#include <ctime>
#include <utility>

#include "core/Log.h"
#include "core/MonotonicClock.h"
#include "platform/atspi/AtspiMessageCodec.h"

namespace glimmora {

namespace {

const QString kRegistry = QStringLiteral("org.a11y.atspi.Registry");
const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kDesktopRoot = QStringLiteral("/org/a11y/atspi/accessible/root");

/// The desktop's own accessibility services (the bus launcher, which also keeps the switch, and
/// the registry) may have to start first, which takes longer than an application's answer.
constexpr int kServiceTimeoutMs = 5000;
/// At quit the owner waits for the switch to be restored, but not for long.
constexpr int kRestoreTimeoutMs = 1000;
/// The patient request to a hung application: it is answered once the application wakes up.
constexpr int kProbeTimeoutMs = 25000;
constexpr std::chrono::milliseconds kPollInterval{50};
constexpr double kFirstPause = 0.25;  // seconds
constexpr double kLongestPause = 4.0;
/// An application whose focused object vanished is searched again at most this often.
constexpr double kWalkInterval = 1.0;
constexpr double kListInterval = 1.0;

const char* const kSwitchedOn =
    "TextCursorTracker: Switched accessibility on (org.a11y.Status IsEnabled) so that "
    "applications show their text caret";
const char* const kSwitchedBack =
    "TextCursorTracker: Switched accessibility back off, as it was before";

/// A property call on the session bus's accessibility switch; Set appends the value.
QDBusMessage statusMessage(const QString& method) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), kProperties, method);
    message << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
    return message;
}

double threadSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

bool isTimeout(const AtspiReply& reply) {
    return !reply.ok && (reply.errorName == "org.freedesktop.DBus.Error.NoReply" ||
                         reply.errorName == "org.freedesktop.DBus.Error.Timeout");
}

QString uniqueConnectionName(const char* role, const void* owner) {
    return QStringLiteral("glimmora-caret-%1-%2")
        .arg(QLatin1String(role))
        .arg(reinterpret_cast<quintptr>(owner), 0, 16);
}

}  // namespace

AtspiCaretReader::AtspiCaretReader(Options options)
    : options_(std::move(options)),
      sessionName_(uniqueConnectionName("session", this)),
      busName_(uniqueConnectionName("a11y", this)) {}

AtspiCaretReader::~AtspiCaretReader() {
    QDBusConnection::disconnectFromBus(busName_);
    QDBusConnection::disconnectFromBus(sessionName_);
}

void AtspiCaretReader::start() {
    if (isRunning_) {
        return;
    }
    isRunning_ = true;
    if (!pollTimer_) {
        pollTimer_ = new QTimer(this);
        pollTimer_->setTimerType(Qt::PreciseTimer);
        connect(pollTimer_, &QTimer::timeout, this, [this] {
            const double started = threadSeconds();
            measure();
            const std::lock_guard lock(statisticsMutex_);
            statistics_.workerSeconds += threadSeconds() - started;
        });
    }
    pollTimer_->start(kPollInterval);
    if (hasReportedStart_) {
        options_.started(isConnected_ && isAccessibilityEnabled_);
        return;
    }
    const QDBusConnection session =
        options_.sessionBusAddress.isEmpty()
            ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, sessionName_)
            : QDBusConnection::connectToBus(options_.sessionBusAddress, sessionName_);
    if (!session.isConnected()) {
        reportStarted();
        return;
    }
    const QDBusMessage getAddress = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    auto* watcher =
        new QDBusPendingCallWatcher(session.asyncCall(getAddress, kServiceTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            connectToAccessibilityBus(reply.arguments().constFirst().toString());
        }
        readAccessibilityStatus();
    });
}

void AtspiCaretReader::connectToAccessibilityBus(const QString& address) {
    QDBusConnection bus = QDBusConnection::connectToBus(address, busName_);
    if (!bus.isConnected()) {
        return;
    }
    isConnected_ = true;
    const QString events = QStringLiteral("org.a11y.atspi.Event.Object");
    // An empty signature: GTK and Qt send these signals with different argument types.
    bus.connect(QString(), QString(), events, QStringLiteral("StateChanged"), this,
                SLOT(stateChanged(QDBusMessage)));
    bus.connect(QString(), QString(), events, QStringLiteral("TextCaretMoved"), this,
                SLOT(caretMoved(QDBusMessage)));
    bus.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"), this,
                SLOT(nameOwnerChanged(QString, QString, QString)));
    // Applications send these events only while someone has registered for them; the
    // registration lasts as long as this connection.
    for (const char* event : {"object:state-changed:focused", "object:text-caret-moved"}) {
        QDBusMessage registration =
            QDBusMessage::createMethodCall(kRegistry, QStringLiteral("/org/a11y/atspi/registry"),
                                           kRegistry, QStringLiteral("RegisterEvent"));
        registration << QString::fromLatin1(event) << QStringList() << QString();
        bus.asyncCall(registration, kServiceTimeoutMs);
    }
}

void AtspiCaretReader::reportStarted() {
    if (hasReportedStart_) {
        return;
    }
    hasReportedStart_ = true;
    options_.started(isConnected_ && isAccessibilityEnabled_);
}

void AtspiCaretReader::stop() {
    isRunning_ = false;
    if (pollTimer_) {
        pollTimer_->stop();
    }
    publish(std::nullopt);
}

void AtspiCaretReader::setAccessibilityWanted(bool wanted) {
    isAccessibilityWanted_ = wanted;
    applyAccessibilityWish();
}

void AtspiCaretReader::readAccessibilityStatus() {
    QDBusConnection session(sessionName_);
    if (!session.isConnected()) {
        reportStarted();
        return;
    }
    // Read what the desktop has before changing anything, to leave it so afterwards.
    auto* watcher = new QDBusPendingCallWatcher(
        session.asyncCall(statusMessage(QStringLiteral("Get")), kServiceTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            isStatusKnown_ = true;
            isAccessibilityEnabled_ =
                reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
        }
        // A wish to have it on is granted before the start is reported, so that the report
        // tells whether applications will answer.
        applyAccessibilityWish();
        if (!isStatusBusy_) {
            reportStarted();
        }
    });
}

void AtspiCaretReader::applyAccessibilityWish() {
    if (!isStatusKnown_ || isStatusBusy_) {
        return;
    }
    if (isAccessibilityWanted_ && !isAccessibilityEnabled_) {
        setAccessibilityEnabled(true);
    } else if (!isAccessibilityWanted_ && hasSwitchedAccessibilityOn_) {
        setAccessibilityEnabled(false);
    }
}

void AtspiCaretReader::setAccessibilityEnabled(bool enabled) {
    QDBusMessage set = statusMessage(QStringLiteral("Set"));
    set << QVariant::fromValue(QDBusVariant(enabled));
    isStatusBusy_ = true;
    isSwitchingOff_ = !enabled;
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(sessionName_).asyncCall(set, kServiceTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, enabled](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                isStatusBusy_ = false;
                isSwitchingOff_ = false;
                const bool done = !w->isError();
                if (done) {
                    isAccessibilityEnabled_ = enabled;
                    hasSwitchedAccessibilityOn_ = enabled;
                    logLine(enabled ? kSwitchedOn : kSwitchedBack);
                }
                reportStarted();
                if (done) {
                    applyAccessibilityWish();  // the wish may have changed meanwhile
                }
            });
}

void AtspiCaretReader::shutdown() {
    stop();
    QDBusConnection session(sessionName_);
    // A switch back off that is already on its way needs no second one.
    if (!hasSwitchedAccessibilityOn_ || isSwitchingOff_ || !session.isConnected()) {
        return;
    }
    QDBusMessage set = statusMessage(QStringLiteral("Set"));
    set << QVariant::fromValue(QDBusVariant(false));
    // The reader's own thread waits here, never the main loop.
    if (session.call(set, QDBus::Block, kRestoreTimeoutMs).type() == QDBusMessage::ReplyMessage) {
        hasSwitchedAccessibilityOn_ = false;
        logLine(kSwitchedBack);
    }
}

void AtspiCaretReader::stateChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() >= 2 && arguments[0].toString() == QLatin1String("focused") &&
        arguments[1].toInt() == 1) {
        focusMoved(message);
    }
}

void AtspiCaretReader::caretMoved(const QDBusMessage& message) {
    focusMoved(message);
}

void AtspiCaretReader::focusMoved(const QDBusMessage& message) {
    Application& application = applications_[message.service().toStdString()];
    application.focusPath = message.path().toStdString();
    // Measure now rather than at the next tick: the caret has just moved.
    if (isBusy_) {
        measureAgain_ = true;
    } else {
        measure();
    }
}

void AtspiCaretReader::nameOwnerChanged(const QString& name, const QString&,
                                        const QString& newOwner) {
    if (newOwner.isEmpty()) {
        applications_.erase(name.toStdString());
    }
}

void AtspiCaretReader::measure() {
    if (!isRunning_ || !isConnected_ || isBusy_) {
        return;
    }
    const std::optional<ActiveTopLevel> topLevel =
        options_.activeTopLevel ? options_.activeTopLevel() : std::nullopt;
    if (!topLevel) {
        publish(std::nullopt);
        return;
    }
    const auto owner = std::find_if(applications_.begin(), applications_.end(),
                                    [&](auto& entry) { return entry.second.pid == topLevel->pid; });
    if (owner == applications_.end()) {
        const auto unasked = std::find_if(applications_.begin(), applications_.end(),
                                          [](auto& entry) { return entry.second.pid == -1; });
        if (unasked != applications_.end()) {
            askProcess(unasked->first);
        } else if (MonotonicClock::now() - applicationsListedAt_ > kListInterval) {
            listApplications();
        } else {
            publish(std::nullopt);
        }
        return;
    }
    const std::string& bus = owner->first;
    Application& application = owner->second;
    const double now = MonotonicClock::now();
    if (now < application.pausedUntil) {
        publish(std::nullopt);
        return;
    }
    if (!application.hasInfo) {
        askInformation(bus);
        return;
    }
    if (application.focusPath.empty()) {
        if (!walk_ && now >= application.noWalkBefore) {
            walk_.emplace(AtspiObject{bus, application.root});
            walkBus_ = bus;
        }
        if (walk_) {
            continueWalk();
        } else {
            publish(std::nullopt);
        }
        return;
    }
    query_.emplace(application.coordinates);
    queryBus_ = bus;
    queryPath_ = application.focusPath;
    queryTopLevel_ = *topLevel;
    queryRoundTrips_ = 0;
    queryStartedAt_ = MonotonicClock::now();
    continueQuery();
}

void AtspiCaretReader::listApplications() {
    applicationsListedAt_ = MonotonicClock::now();
    call(kRegistry.toStdString(),
         atspiMethodCall(kRegistry.toStdString(), kDesktopRoot.toStdString(), kAccessible,
                         QStringLiteral("GetChildren")),
         kCallTimeoutMs, [this](const AtspiReply& reply) {
             for (const AtspiObject& application : reply.objects) {
                 applications_[application.bus].root = application.path;
             }
             measure();
         });
}

void AtspiCaretReader::askProcess(const std::string& bus) {
    QDBusMessage message = atspiMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                           QStringLiteral("org.freedesktop.DBus"),
                                           QStringLiteral("GetConnectionUnixProcessID"));
    message << QString::fromStdString(bus);
    applications_[bus].pid = 0;
    call("org.freedesktop.DBus", message, kCallTimeoutMs, [this, bus](const AtspiReply& reply) {
        const auto application = applications_.find(bus);
        if (application != applications_.end() && reply.ok && !reply.numbers.empty()) {
            application->second.pid = static_cast<std::int32_t>(reply.numbers.front());
        }
        measure();
    });
}

void AtspiCaretReader::askInformation(const std::string& bus) {
    const std::string root = applications_[bus].root;
    const auto property = [&](const QString& interface, const char* name) {
        QDBusMessage message = atspiMethodCall(bus, root, kProperties, QStringLiteral("Get"));
        message << interface << QString::fromLatin1(name);
        return message;
    };
    const QString application = QStringLiteral("org.a11y.atspi.Application");
    // Its name for the log, and its toolkit: GTK 4 answers in window coordinates only, and
    // silently so for object extents, so its applications are asked in window coordinates.
    call(bus, property(kAccessible, "Name"), kCallTimeoutMs,
         [this, bus, toolkit = property(application, "ToolkitName"),
          version = property(application, "Version")](const AtspiReply& name) {
             applications_[bus].name = name.text;
             call(bus, toolkit, kCallTimeoutMs, [this, bus, version](const AtspiReply& toolkit) {
                 call(bus, version, kCallTimeoutMs,
                      [this, bus, toolkit](const AtspiReply& version) {
                          // An application still setting up may not answer yet: asked again
                          // at the next measurement.
                          Application& entry = applications_[bus];
                          entry.hasInfo = toolkit.ok && version.ok;
                          if (QString::fromStdString(toolkit.text)
                                      .compare(QLatin1String("gtk"), Qt::CaseInsensitive) == 0 &&
                              version.text.starts_with("4.")) {
                              entry.coordinates = AtspiCoordinates::window;
                          }
                          if (entry.hasInfo) {
                              measure();
                          } else {
                              publish(std::nullopt);
                          }
                      });
             });
         });
}

void AtspiCaretReader::continueWalk() {
    if (!walk_ || walk_->isFinished()) {
        return;
    }
    const AtspiObject object = *walk_->pendingObject();
    call(object.bus, atspiMessageFor(object, walk_->pendingRequest()), kCallTimeoutMs,
         [this](const AtspiReply& reply) {
             if (!walk_) {
                 return;
             }
             if (isTimeout(reply)) {
                 walk_.reset();
                 publish(std::nullopt);
                 return;
             }
             walk_->answer(reply);
             if (!walk_->isFinished()) {
                 continueWalk();
                 return;
             }
             const auto application = applications_.find(walkBus_);
             if (application != applications_.end()) {
                 application->second.noWalkBefore = MonotonicClock::now() + kWalkInterval;
                 if (walk_->found()) {
                     application->second.focusPath = walk_->found()->path;
                 }
             }
             walk_.reset();
             measure();
         });
}

void AtspiCaretReader::continueQuery() {
    if (!query_ || query_->isFinished()) {
        finishQuery();
        return;
    }
    ++queryRoundTrips_;
    call(queryBus_, atspiMessageFor({queryBus_, queryPath_}, *query_->pending()), kCallTimeoutMs,
         [this](const AtspiReply& reply) {
             if (!query_) {
                 return;
             }
             if (isTimeout(reply)) {
                 query_.reset();
                 finishQuery();
                 return;
             }
             if (reply.errorName == "org.freedesktop.DBus.Error.UnknownObject") {
                 // The focused object is gone: find the application's focus again.
                 applications_[queryBus_].focusPath.clear();
             }
             query_->answer(reply);
             continueQuery();
         });
}

void AtspiCaretReader::finishQuery() {
    {
        const std::lock_guard lock(statisticsMutex_);
        ++statistics_.measurements;
        statistics_.roundTrips += queryRoundTrips_;
        statistics_.querySeconds += MonotonicClock::now() - queryStartedAt_;
    }
    std::optional<CaretReading> reading;
    if (query_ && query_->result()) {
        Application& application = applications_[queryBus_];
        if (query_->refusedScreenCoordinates()) {
            application.coordinates = AtspiCoordinates::window;
        }
        CaretQuery::Result result = *query_->result();
        if (result.coordinates == AtspiCoordinates::window) {
            result.rect.x += queryTopLevel_.origin.x;
            result.rect.y += queryTopLevel_.origin.y;
        }
        reading = CaretReading{result.rect, application.name};
    }
    query_.reset();
    publish(std::move(reading));
}

void AtspiCaretReader::call(const std::string& bus, const QDBusMessage& message, int timeoutMs,
                            ReplyHandler onReply, bool occupies) {
    QDBusConnection connection(busName_);
    if (occupies) {
        isBusy_ = true;
    }
    auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(message, timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, bus, occupies, onReply = std::move(onReply)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const double started = threadSeconds();
                const AtspiReply reply = atspiReplyOf(w->reply());
                if (isTimeout(reply)) {
                    noteHung(bus);
                } else {
                    noteAlive(bus);
                }
                if (occupies) {
                    isBusy_ = false;
                }
                onReply(reply);
                const std::lock_guard lock(statisticsMutex_);
                statistics_.workerSeconds += threadSeconds() - started;
                if (occupies && !isBusy_ && measureAgain_) {
                    measureAgain_ = false;
                    measure();
                }
            });
}

void AtspiCaretReader::noteHung(const std::string& bus) {
    const auto found = applications_.find(bus);
    if (found == applications_.end()) {
        return;
    }
    Application& application = found->second;
    application.pause =
        application.pause == 0 ? kFirstPause : std::min(application.pause * 2, kLongestPause);
    application.pausedUntil = MonotonicClock::now() + application.pause;
    probe(bus);
}

void AtspiCaretReader::noteAlive(const std::string& bus) {
    const auto found = applications_.find(bus);
    if (found != applications_.end()) {
        found->second.pause = 0;
        found->second.pausedUntil = 0;
    }
}

void AtspiCaretReader::probe(const std::string& bus) {
    Application& application = applications_[bus];
    if (application.isProbing) {
        return;
    }
    application.isProbing = true;
    QDBusMessage message =
        atspiMethodCall(bus, application.root, kProperties, QStringLiteral("Get"));
    message << kAccessible << QStringLiteral("Name");
    // Answered by the application's main loop once it runs again: then it is measured at once
    // instead of after the rest of its pause.
    call(
        bus, message, kProbeTimeoutMs,
        [this, bus](const AtspiReply& reply) {
            const auto found = applications_.find(bus);
            if (found == applications_.end()) {
                return;
            }
            found->second.isProbing = false;
            if (isTimeout(reply)) {
                probe(bus);
            } else if (!isBusy_) {
                measure();
            }
        },
        false);
}

CaretReaderStatistics AtspiCaretReader::statistics() const {
    const std::lock_guard lock(statisticsMutex_);
    return statistics_;
}

void AtspiCaretReader::publish(std::optional<CaretReading> reading) {
    // A query that was under way when the reader stopped may still finish: it reports nothing.
    if (options_.publish && (isRunning_ || !reading)) {
        options_.publish(std::move(reading));
    }
}

}  // namespace glimmora
