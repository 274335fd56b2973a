#pragma once

#include <QRect>
#include <QWindow>
#include <cstdint>
#include <functional>
#include <vector>

struct xcb_connection_t;

namespace glimmora {

/// Turns a Qt window into a full-screen overlay on X11: borderless, transparent, click-through,
/// never focused and out of the window manager's hands.
///
/// The window is override-redirect: the window manager neither frames nor stacks it, which is
/// what puts it on every virtual desktop and keeps it out of taskbars, pagers and window
/// cycling (those list managed clients only). Staying above other windows is the
/// X11StackingKeeper's job. Transparency comes from the window's surface format: with an alpha
/// channel (ScreenShaderView asks for one) Qt gives it a 32-bit ARGB visual, which a compositor
/// blends over the desktop.
class X11OverlayWindow {
public:
    /// The Qt flags of an overlay window.
    static Qt::WindowFlags flags();

    /// Makes `window` an overlay covering `frame` (logical pixels), shows it, then calls `done`
    /// (not called when the window is destroyed first). `connection` is the X connection for
    /// what Qt has no flag for; without one the window gets Qt's flags only, at once.
    ///
    /// Override-redirect can only change while a window is unmapped, so the window is hidden,
    /// changed and shown again. A window manager that framed it must first let go of it: until
    /// it has (the window back on the root, WM_STATE gone or withdrawn) it may still move the
    /// window, so the change waits for that, at most kWithdrawTimeoutMilliseconds.
    static void configure(QWindow& window, const QRect& frame, xcb_connection_t* connection,
                          std::function<void()> done);

    /// Whether no window manager holds `window` any more (see configure()).
    static bool isWithdrawn(xcb_connection_t* connection, std::uint32_t window);

    /// Asks compositors that draw shadows (compton, picom) to draw none: _COMPTON_SHADOW = 0.
    static void setNoShadow(xcb_connection_t* connection, std::uint32_t window);
    /// Gives `window` an empty input region, so every click goes to the window below, whatever
    /// Qt's transparent-for-input flag did (it does not on every path).
    static void clearInputRegion(xcb_connection_t* connection, std::uint32_t window);
    /// Limits what of `window` is shown to `rectangles` (device pixels; none: nothing). Without
    /// a compositing manager the transparent pixels of a window are black, so a window that draws
    /// a little over the desktop shows only where it draws.
    /// Whether a compositing manager runs on the connection's first screen (it owns the
    /// _NET_WM_CM_S0 selection), that is whether translucent pixels are blended at all.
    static bool isCompositing(xcb_connection_t* connection);
    static void setVisibleRectangles(xcb_connection_t* connection, std::uint32_t window,
                                     const std::vector<QRect>& rectangles);

    static constexpr int kWithdrawTimeoutMilliseconds = 1000;
    static constexpr int kWithdrawPollMilliseconds = 10;

private:
    static void applyWhenWithdrawn(QWindow& window, const QRect& frame,
                                   xcb_connection_t* connection, std::function<void()> done,
                                   int millisecondsLeft);
    static void apply(QWindow& window, const QRect& frame, xcb_connection_t* connection);
    /// No shadow, no input region; nothing without a connection.
    static void setAttributes(xcb_connection_t* connection, std::uint32_t window);
};

}  // namespace glimmora
