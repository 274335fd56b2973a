#include "platform/tray/TrayHostProbe.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <cstdlib>
#include <string>

#include "platform/x11/connection/XcbConnect.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {
namespace {

constexpr int kWatcherTimeoutMilliseconds = 500;

/// The screen number of $DISPLAY (0 when it names none).
int defaultScreenNumber() {
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) {
        return 0;
    }
    std::free(host);
    return screen;
}

}  // namespace

TrayHostProbe::TrayHostProbe() : connection_(connectPrivately(nullptr)) {
    if (connection_ == nullptr) {
        return;
    }
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(defaultScreenNumber());
    const XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.c_str()),
        nullptr));
    if (atom) {
        trayAtom_ = atom->atom;
    }
}

TrayHostProbe::~TrayHostProbe() {
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
    }
}

bool TrayHostProbe::hasStatusNotifierHost() const {
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierWatcher")
        << QStringLiteral("IsStatusNotifierHostRegistered");
    get.setAutoStartService(false);
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(get, QDBus::Block, kWatcherTimeoutMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

bool TrayHostProbe::hasXEmbedTray() const {
    if (connection_ == nullptr || trayAtom_ == XCB_ATOM_NONE) {
        return false;
    }
    const XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, trayAtom_), nullptr));
    return owner && owner->owner != XCB_NONE;
}

}  // namespace glimmora
