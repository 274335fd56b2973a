#pragma once

#include <QString>

namespace glimmora {

// Where a running Glimmora listens on the session bus. The interface and the object path are
// the application id; the bus name adds the X display, because one Glimmora runs per display
// and a session bus may serve several displays (a nested or virtual X server beside the real
// one): `glimmora --set` reaches the Glimmora of its own $DISPLAY.

/// The D-Bus interface of the control service.
QString controlInterfaceName();
/// The object path of the control service.
QString controlObjectPath();
/// The error name of a reply that rejects a setting name, a value or a profile name.
QString controlInvalidArgumentError();

/// The bus name of the control service for X display `display` (as in $DISPLAY, "[host]:N[.S]"):
/// the application id, then "Display", the host when there is one, and the display number. The
/// screen number is left out: it is the same server.
QString controlServiceName(const QString& display);

}  // namespace glimmora
