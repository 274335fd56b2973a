#pragma once

#include <xcb/xcb.h>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstring>

namespace glimmora::test {

/// Windows of solid colour on a test display, made and changed over a connection of the test's
/// own. Every change is synchronised with the server before the call returns.
class TestDesktop {
public:
    explicit TestDesktop(const QString& displayName)
        : connection_(xcb_connect(displayName.toLocal8Bit().constData(), nullptr)) {
        if (!xcb_connection_has_error(connection_)) {
            screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        }
    }
    ~TestDesktop() { xcb_disconnect(connection_); }
    TestDesktop(const TestDesktop&) = delete;
    TestDesktop& operator=(const TestDesktop&) = delete;

    bool isConnected() const { return screen_ != nullptr; }
    xcb_connection_t* connection() const { return connection_; }
    xcb_window_t root() const { return screen_->root; }

    /// A window whose outer rectangle (border included) is `outer`, filled with `rgb`
    /// (0xRRGGBB) by the server whenever it needs painting, under `parent` (the root if none).
    xcb_window_t createWindow(const QRect& outer, quint32 rgb, bool mapped = true, int border = 0,
                              quint32 borderRgb = 0, xcb_window_t parent = XCB_NONE) {
        const xcb_window_t window = xcb_generate_id(connection_);
        const uint32_t values[] = {rgb, borderRgb, 1};  // background, border, override-redirect
        xcb_create_window(
            connection_, XCB_COPY_FROM_PARENT, window, parent == XCB_NONE ? root() : parent,
            static_cast<int16_t>(outer.x()), static_cast<int16_t>(outer.y()),
            static_cast<uint16_t>(outer.width() - 2 * border),
            static_cast<uint16_t>(outer.height() - 2 * border), static_cast<uint16_t>(border),
            XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
            XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        if (mapped) {
            xcb_map_window(connection_, window);
        }
        sync();
        return window;
    }

    /// A mapped 32-bit (ARGB) window filled with `argb`, or XCB_NONE when the server offers
    /// no 32-bit TrueColor visual.
    xcb_window_t createArgbWindow(const QRect& rect, quint32 argb) {
        xcb_visualid_t visual = XCB_NONE;
        for (auto depths = xcb_screen_allowed_depths_iterator(screen_); depths.rem > 0;
             xcb_depth_next(&depths)) {
            if (depths.data->depth != 32) {
                continue;
            }
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
                 xcb_visualtype_next(&visuals)) {
                if (visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR) {
                    visual = visuals.data->visual_id;
                }
            }
        }
        if (visual == XCB_NONE) {
            return XCB_NONE;
        }
        const xcb_colormap_t colormap = xcb_generate_id(connection_);
        xcb_create_colormap(connection_, XCB_COLORMAP_ALLOC_NONE, colormap, root(), visual);
        const xcb_window_t window = xcb_generate_id(connection_);
        const uint32_t values[] = {argb, 0, 1, colormap};
        xcb_create_window(
            connection_, 32, window, root(), static_cast<int16_t>(rect.x()),
            static_cast<int16_t>(rect.y()), static_cast<uint16_t>(rect.width()),
            static_cast<uint16_t>(rect.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
            XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_COLORMAP,
            values);
        xcb_map_window(connection_, window);
        sync();
        return window;
    }

    /// Paints `area` (window coordinates, inside the border) with `rgb` through a GC.
    void fill(xcb_drawable_t drawable, const QRect& area, quint32 rgb) {
        const xcb_gcontext_t gc = xcb_generate_id(connection_);
        xcb_create_gc(connection_, gc, drawable, XCB_GC_FOREGROUND, &rgb);
        const xcb_rectangle_t rectangle{
            static_cast<int16_t>(area.x()), static_cast<int16_t>(area.y()),
            static_cast<uint16_t>(area.width()), static_cast<uint16_t>(area.height())};
        xcb_poly_fill_rectangle(connection_, drawable, gc, 1, &rectangle);
        xcb_free_gc(connection_, gc);
        sync();
    }

    void map(xcb_window_t window) { done(xcb_map_window(connection_, window)); }
    void unmap(xcb_window_t window) { done(xcb_unmap_window(connection_, window)); }
    void destroy(xcb_window_t window) { done(xcb_destroy_window(connection_, window)); }
    void raise(xcb_window_t window) {
        configure(window, XCB_CONFIG_WINDOW_STACK_MODE, {XCB_STACK_MODE_ABOVE});
    }
    void move(xcb_window_t window, QPoint to) {
        configure(window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y,
                  {static_cast<uint32_t>(to.x()), static_cast<uint32_t>(to.y())});
    }
    void resize(xcb_window_t window, QSize size) {
        configure(window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                  {static_cast<uint32_t>(size.width()), static_cast<uint32_t>(size.height())});
    }
    void reparent(xcb_window_t window, xcb_window_t parent, QPoint at) {
        done(xcb_reparent_window(connection_, window, parent, static_cast<int16_t>(at.x()),
                                 static_cast<int16_t>(at.y())));
    }

    /// A pixmap of `size` filled with `rgb`, kept until the connection closes.
    xcb_pixmap_t createPixmap(QSize size, quint32 rgb) {
        const xcb_pixmap_t pixmap = xcb_generate_id(connection_);
        xcb_create_pixmap(connection_, screen_->root_depth, pixmap, root(),
                          static_cast<uint16_t>(size.width()),
                          static_cast<uint16_t>(size.height()));
        fill(pixmap, QRect(QPoint(0, 0), size), rgb);
        return pixmap;
    }

    /// Names `pixmap` as the wallpaper in the root's `property` (_XROOTPMAP_ID, _XSETROOT_ID).
    void setWallpaper(const char* property, xcb_pixmap_t pixmap) {
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection_,
            xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(property)), property),
            nullptr);
        done(xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root(), atom->atom,
                                 XCB_ATOM_PIXMAP, 32, 1, &pixmap));
        std::free(atom);
    }

    /// Waits until the server has handled everything sent so far.
    void sync() {
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

private:
    void done(xcb_void_cookie_t) { sync(); }
    void configure(xcb_window_t window, uint16_t mask, std::initializer_list<uint32_t> values) {
        done(xcb_configure_window(connection_, window, mask, values.begin()));
    }

    xcb_connection_t* connection_;
    const xcb_screen_t* screen_ = nullptr;
};

}  // namespace glimmora::test
