#pragma once

#include <xcb/xcb.h>

namespace glimmora {

/// Tells whether the desktop offers a place for a status icon right now, asked directly rather
/// than through Qt. Qt decides once per process, when the first tray icon is made, between a
/// StatusNotifierItem (a D-Bus host must be registered by then) and an XEmbed icon, and keeps
/// that decision: an icon made before any host exists would never use a StatusNotifierItem host
/// that starts later. So the icon is made only once this probe finds a host.
///
/// Main thread only (it uses the session bus connection of the application).
class TrayHostProbe {
public:
    /// Opens a private connection to $DISPLAY for the XEmbed check.
    TrayHostProbe();
    ~TrayHostProbe();
    TrayHostProbe(const TrayHostProbe&) = delete;
    TrayHostProbe& operator=(const TrayHostProbe&) = delete;

    /// The StatusNotifierWatcher on the session bus says a host is registered (a panel that
    /// shows StatusNotifierItems). Waits at most half a second for the answer.
    bool hasStatusNotifierHost() const;
    /// An XEmbed system tray manages the default screen: _NET_SYSTEM_TRAY_S<n> has an owner.
    bool hasXEmbedTray() const;

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_atom_t trayAtom_ = XCB_ATOM_NONE;
};

}  // namespace glimmora
