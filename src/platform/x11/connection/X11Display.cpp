#include "platform/x11/connection/X11Display.h"

#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/render.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>
#include <bit>

#include "platform/x11/connection/XcbReply.h"

namespace glimmora {

std::unique_ptr<X11Display> X11Display::open(const QString& name, QString* error) {
    const QByteArray nameBytes = name.toLocal8Bit();
    int screenNumber = 0;
    xcb_connection_t* connection =
        xcb_connect(nameBytes.isEmpty() ? nullptr : nameBytes.constData(), &screenNumber);
    std::unique_ptr<X11Display> display(new X11Display);
    display->connection_ = connection;  // xcb_connect never returns null; disconnect frees it
    const QString shownName = name.isEmpty() ? QString::fromLocal8Bit(qgetenv("DISPLAY")) : name;
    if (xcb_connection_has_error(connection)) {
        *error = QStringLiteral("Cannot open X display \"%1\"").arg(shownName);
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; screens.rem > 0 && i < screenNumber; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        *error =
            QStringLiteral("X display \"%1\" has no screen %2").arg(shownName).arg(screenNumber);
        return nullptr;
    }
    display->screen_ = screens.data;
    return display;
}

X11Display::~X11Display() {
    xcb_disconnect(connection_);
}

bool X11Display::hasError() const {
    return xcb_connection_has_error(connection_) != 0;
}

QString X11Display::errorText() const {
    switch (const int code = xcb_connection_has_error(connection_)) {
        case 0:
            return QStringLiteral("no error");
        case XCB_CONN_ERROR:
            return QStringLiteral("socket closed or failed");
        case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
            return QStringLiteral("out of memory");
        case XCB_CONN_CLOSED_REQ_LEN_EXCEED:
            return QStringLiteral("request too long");
        case XCB_CONN_CLOSED_PARSE_ERR:
            return QStringLiteral("bad display name");
        default:
            return QStringLiteral("xcb error %1").arg(code);
    }
}

std::optional<QString> X11Display::initialiseCaptureExtensions() {
    xcb_connection_t* c = connection_;
    for (xcb_extension_t* extension :
         {&xcb_composite_id, &xcb_damage_id, &xcb_xfixes_id, &xcb_shm_id, &xcb_render_id}) {
        xcb_prefetch_extension_data(c, extension);
    }
    const struct {
        xcb_extension_t* id;
        const char* name;
    } required[] = {{&xcb_composite_id, "Composite"},
                    {&xcb_damage_id, "DAMAGE"},
                    {&xcb_xfixes_id, "XFIXES"},
                    {&xcb_shm_id, "MIT-SHM"},
                    {&xcb_render_id, "RENDER"}};
    for (const auto& extension : required) {
        const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension.id);
        if (data == nullptr || !data->present) {
            return QStringLiteral("X server lacks the %1 extension").arg(extension.name);
        }
    }
    damageEventBase_ = xcb_get_extension_data(c, &xcb_damage_id)->first_event;

    // XFIXES first: DAMAGE builds on its regions. The server applies each extension's rules
    // only after the client has announced the version it speaks.
    const auto compositeCookie = xcb_composite_query_version(c, 0, 4);
    const auto xfixesCookie = xcb_xfixes_query_version(c, 5, 0);
    const auto damageCookie = xcb_damage_query_version(c, 1, 1);
    const auto shmCookie = xcb_shm_query_version(c);
    const auto renderCookie = xcb_render_query_version(c, 0, 11);
    const auto formatsCookie = xcb_render_query_pict_formats(c);
    XcbReply<xcb_composite_query_version_reply_t> composite(
        xcb_composite_query_version_reply(c, compositeCookie, nullptr));
    XcbReply<xcb_xfixes_query_version_reply_t> xfixes(
        xcb_xfixes_query_version_reply(c, xfixesCookie, nullptr));
    XcbReply<xcb_damage_query_version_reply_t> damage(
        xcb_damage_query_version_reply(c, damageCookie, nullptr));
    XcbReply<xcb_shm_query_version_reply_t> shm(xcb_shm_query_version_reply(c, shmCookie, nullptr));
    XcbReply<xcb_render_query_version_reply_t> render(
        xcb_render_query_version_reply(c, renderCookie, nullptr));
    formats_.reset(xcb_render_query_pict_formats_reply(c, formatsCookie, nullptr));
    if (!composite || (composite->major_version == 0 && composite->minor_version < 2)) {
        return QStringLiteral("X server's Composite extension is older than 0.2");
    }
    if (!xfixes || xfixes->major_version < 2) {
        return QStringLiteral("X server's XFIXES extension is older than 2.0");
    }
    if (!damage || (damage->major_version == 1 && damage->minor_version < 1)) {
        return QStringLiteral("X server's DAMAGE extension is older than 1.1");
    }
    if (!shm) {
        return QStringLiteral("X server's MIT-SHM extension does not answer");
    }
    sharedPixmaps_ = shm->shared_pixmaps != 0 && shm->pixmap_format == XCB_IMAGE_FORMAT_Z_PIXMAP;
    if (!render || (render->major_version == 0 && render->minor_version < 11) || !formats_) {
        return QStringLiteral("X server's RENDER extension is older than 0.11");
    }

    const bool serverLittleEndian = xcb_get_setup(c)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    if (serverLittleEndian != (std::endian::native == std::endian::little)) {
        return QStringLiteral("X server sends pixels in the other byte order");
    }
    if (!isCopyableDepth(screen_->root_depth)) {
        return QStringLiteral("X screen depth %1 is not 24 or 32 bits").arg(screen_->root_depth);
    }
    return std::nullopt;
}

bool X11Display::isCopyableDepth(uint8_t depth) const {
    if (depth != 24 && depth != 32) {
        return false;
    }
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0;
         xcb_format_next(&formats)) {
        if (formats.data->depth == depth) {
            return formats.data->bits_per_pixel == 32;
        }
    }
    return false;
}

xcb_render_pictformat_t X11Display::pictureFormat(uint8_t depth, xcb_visualid_t visual) const {
    if (!formats_) {
        return XCB_NONE;
    }
    if (visual != XCB_NONE) {
        for (auto screens = xcb_render_query_pict_formats_screens_iterator(formats_.get());
             screens.rem > 0; xcb_render_pictscreen_next(&screens)) {
            for (auto depths = xcb_render_pictscreen_depths_iterator(screens.data); depths.rem > 0;
                 xcb_render_pictdepth_next(&depths)) {
                for (auto visuals = xcb_render_pictdepth_visuals_iterator(depths.data);
                     visuals.rem > 0; xcb_render_pictvisual_next(&visuals)) {
                    if (visuals.data->visual == visual) {
                        return visuals.data->format;
                    }
                }
            }
        }
        return XCB_NONE;
    }
    const uint16_t alphaMask = depth == 32 ? 0xff : 0;
    for (auto formats = xcb_render_query_pict_formats_formats_iterator(formats_.get());
         formats.rem > 0; xcb_render_pictforminfo_next(&formats)) {
        const xcb_render_pictforminfo_t& format = *formats.data;
        const xcb_render_directformat_t& d = format.direct;
        if (format.type == XCB_RENDER_PICT_TYPE_DIRECT && format.depth == depth &&
            d.red_shift == 16 && d.red_mask == 0xff && d.green_shift == 8 && d.green_mask == 0xff &&
            d.blue_shift == 0 && d.blue_mask == 0xff && d.alpha_mask == alphaMask &&
            (alphaMask == 0 || d.alpha_shift == 24)) {
            return format.id;
        }
    }
    return XCB_NONE;
}

}  // namespace glimmora
