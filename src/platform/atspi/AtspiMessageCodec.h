#pragma once

#include <QDBusMessage>
#include <QString>

#include <string>

#include "platform/atspi/AtspiMessages.h"

namespace glimmora {

/// The D-Bus side of the caret logic's requests: builds the AT-SPI 2 method call for a request
/// and reads a reply back into the logic's terms. GTK and Qt answer with plain numbers,
/// variants, structures (object extents) and arrays (state words, children) alike; every one of
/// them is read into the same flat form.

/// A method call on `path` of `bus` (an application's unique name, or a well-known one).
QDBusMessage atspiMethodCall(const std::string& bus, const std::string& path,
                             const QString& interface, const QString& method);
/// The call that carries `request` to `object`.
QDBusMessage atspiMessageFor(const AtspiObject& object, const AtspiRequest& request);
/// The reply (or error) as AtspiReply.
AtspiReply atspiReplyOf(const QDBusMessage& message);

}  // namespace glimmora
