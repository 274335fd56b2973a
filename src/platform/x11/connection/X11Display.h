#pragma once

#include <xcb/render.h>
#include <xcb/xcb.h>
#include <QString>
#include <memory>
#include <optional>

#include "platform/x11/connection/XcbReply.h"

namespace glimmora {

/// One connection to an X server with the extensions desktop capture needs (Composite, DAMAGE,
/// XFIXES, MIT-SHM, RENDER) negotiated. Each user (the capture service, each stream's delivery
/// thread) opens its own, because an xcb connection shared between threads would serialise their
/// round trips and mix their events.
class X11Display {
public:
    /// Connects to `name` (empty: $DISPLAY). Null with `error` set to one line when the server
    /// cannot be reached.
    static std::unique_ptr<X11Display> open(const QString& name, QString* error);
    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    xcb_connection_t* connection() const { return connection_; }
    const xcb_screen_t& screen() const { return *screen_; }
    xcb_window_t root() const { return screen_->root; }

    /// The connection broke (server gone, socket shut down); nothing more will work.
    bool hasError() const;
    /// Why the connection broke, in a few words.
    QString errorText() const;

    /// Negotiates Composite 0.2+, DAMAGE 1.1, XFIXES 2.0, MIT-SHM and RENDER, and checks that
    /// window pixels come as 32 bits in the machine's byte order. One error line when something
    /// is missing.
    std::optional<QString> initialiseCaptureExtensions();
    /// First event code of DAMAGE (DamageNotify arrives as this plus XCB_DAMAGE_NOTIFY).
    uint8_t damageEventBase() const { return damageEventBase_; }
    /// Whether pixels of drawables of `depth` arrive as 32-bit xRGB words we can copy.
    bool isCopyableDepth(uint8_t depth) const;
    /// Whether MIT-SHM can make pixmaps in memory we share (the server may refuse).
    bool hasSharedPixmaps() const { return sharedPixmaps_; }
    /// The RENDER format of drawables of `visual` (windows), or, for XCB_NONE (pixmaps), the
    /// xRGB (depth 24) or ARGB (depth 32) format of 32-bit pixels; XCB_NONE when there is none.
    xcb_render_pictformat_t pictureFormat(uint8_t depth, xcb_visualid_t visual) const;

private:
    X11Display() = default;

    xcb_connection_t* connection_ = nullptr;
    const xcb_screen_t* screen_ = nullptr;
    uint8_t damageEventBase_ = 0;
    bool sharedPixmaps_ = false;
    XcbReply<xcb_render_query_pict_formats_reply_t> formats_;
};

}  // namespace glimmora
