#include "app/InstanceGuard.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "app/ControlEndpoint.h"
#include "core/Log.h"
#include "platform/x11/connection/X11InstanceSelection.h"

namespace glimmora {

InstanceGuard::InstanceGuard() = default;
InstanceGuard::~InstanceGuard() = default;

bool InstanceGuard::claim() {
    const QString display = qEnvironmentVariable("DISPLAY");
    const std::string shownDisplay = display.toStdString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
            bus.interface()->registerService(controlServiceName(display),
                                             QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceNotRegistered) {
            logLine("Glimmora is already running on display " + shownDisplay +
                    "; control it with glimmora --menu or glimmora --set NAME=VALUE.");
            return false;
        }
        if (!reply.isValid()) {
            logLine("Could not claim the control service on the session bus (" +
                    reply.error().message().toStdString() +
                    "); glimmora --menu cannot reach this instance.");
        }
    } else {
        logLine(
            "No session bus: glimmora --menu and the other options cannot reach this instance.");
    }

    selection_ = std::make_unique<X11InstanceSelection>();
    selection_->onLost = [this] {
        logLine("Another Glimmora took over display " +
                qEnvironmentVariable("DISPLAY").toStdString() + "; leaving it to that one.");
        if (onDisplayTaken) {
            onDisplayTaken();
        }
    };
    if (selection_->claim() == X11InstanceSelection::Claim::heldByAnother) {
        logLine("Another Glimmora already shows its overlay on display " + shownDisplay +
                "; leaving it to that one.");
        return false;
    }
    // Without a display the launch reports the X error itself.
    return true;
}

}  // namespace glimmora
