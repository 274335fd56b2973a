#include "app/ControlClient.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/ControlEndpoint.h"
#include "settings/SettingsByName.h"

namespace glimmora {
namespace {

constexpr int kExitNotRunning = 1;
constexpr int kExitBadArgument = 2;
// A Glimmora that has just claimed its name exports the interface a moment later.
constexpr auto kStartingPatience = std::chrono::seconds(5);
constexpr auto kRetryInterval = std::chrono::milliseconds(100);

void printError(const QString& message) {
    std::fprintf(stderr, "glimmora: %s\n", message.toUtf8().constData());
}

/// The checks the service would make, before anything is sent.
bool isValid(const ControlRequest& request, QString* error) {
    switch (request.kind) {
        case ControlRequest::Kind::get:
            if (!isSettingName(request.name)) {
                *error = QStringLiteral("unknown setting \"%1\"").arg(request.name);
                return false;
            }
            return true;
        case ControlRequest::Kind::set:
            return isValidSettingText(request.name, request.value, error);
        default:
            return true;
    }
}

QDBusMessage messageFor(const QString& service, const ControlRequest& request) {
    const auto call = [&](const char* method) {
        return QDBusMessage::createMethodCall(service, controlObjectPath(), controlInterfaceName(),
                                              QLatin1String(method));
    };
    switch (request.kind) {
        case ControlRequest::Kind::showMenu:
            return call("ShowMenu");
        case ControlRequest::Kind::get:
            return call("GetSetting") << request.name;
        case ControlRequest::Kind::set:
            return call("SetSetting") << request.name << request.value;
        case ControlRequest::Kind::applyProfile:
            return call("ApplyProfile") << request.name;
        case ControlRequest::Kind::quit:
            return call("Quit");
    }
    return {};
}

/// Sends one request, waiting out a Glimmora that owns its name but is still starting.
QDBusMessage send(QDBusConnection& bus, const QDBusMessage& message) {
    const auto deadline = std::chrono::steady_clock::now() + kStartingPatience;
    for (;;) {
        QDBusMessage reply = bus.call(message);
        const bool starting =
            reply.type() == QDBusMessage::ErrorMessage &&
            (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
             reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"));
        if (!starting || std::chrono::steady_clock::now() > deadline) {
            return reply;
        }
        std::this_thread::sleep_for(kRetryInterval);
    }
}

}  // namespace

int runControlRequests(const std::vector<ControlRequest>& requests) {
    for (const ControlRequest& request : requests) {
        if (QString error; !isValid(request, &error)) {
            printError(error);
            return kExitBadArgument;
        }
    }
    const QString display = qEnvironmentVariable("DISPLAY");
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = controlServiceName(display);
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(service)) {
        printError(
            QStringLiteral("no Glimmora is running on display %1 (start one with: glimmora)")
                .arg(display.isEmpty() ? QStringLiteral("(none: DISPLAY is not set)") : display));
        return kExitNotRunning;
    }
    for (const ControlRequest& request : requests) {
        const QDBusMessage reply = send(bus, messageFor(service, request));
        if (reply.type() == QDBusMessage::ErrorMessage) {
            printError(reply.errorMessage());
            return reply.errorName() == controlInvalidArgumentError() ? kExitBadArgument
                                                                      : kExitNotRunning;
        }
        if (request.kind == ControlRequest::Kind::get && !reply.arguments().isEmpty()) {
            std::printf("%s\n", reply.arguments().first().toString().toUtf8().constData());
        }
    }
    return 0;
}

int runCommandLine(const CommandLine& commandLine, int argc, char** argv) {
    switch (commandLine.mode) {
        case CommandLine::Mode::help:
            std::fputs(helpText().toUtf8().constData(), stdout);
            return 0;
        case CommandLine::Mode::version:
            std::printf("glimmora %s\n", GLIMMORA_VERSION);
            return 0;
        case CommandLine::Mode::usageError:
            std::fprintf(stderr, "%s\n", commandLine.error.toUtf8().constData());
            return kExitBadArgument;
        case CommandLine::Mode::control: {
            const QCoreApplication application(argc, argv);
            return runControlRequests(commandLine.requests);
        }
        case CommandLine::Mode::launch:
            break;
    }
    return 0;
}

}  // namespace glimmora
