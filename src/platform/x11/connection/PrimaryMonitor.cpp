#include "platform/x11/connection/PrimaryMonitor.h"

#include <xcb/randr.h>
#include <optional>

#include "platform/x11/connection/XcbReply.h"

namespace glimmora {
namespace {

std::optional<QRect> primaryOutputRect(xcb_connection_t* c, xcb_window_t root) {
    XcbReply<xcb_randr_get_output_primary_reply_t> primary(
        xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, root), nullptr));
    if (!primary || primary->output == XCB_NONE) {
        return std::nullopt;
    }
    XcbReply<xcb_randr_get_output_info_reply_t> output(xcb_randr_get_output_info_reply(
        c, xcb_randr_get_output_info(c, primary->output, XCB_CURRENT_TIME), nullptr));
    if (!output || output->crtc == XCB_NONE) {
        return std::nullopt;
    }
    XcbReply<xcb_randr_get_crtc_info_reply_t> crtc(xcb_randr_get_crtc_info_reply(
        c, xcb_randr_get_crtc_info(c, output->crtc, XCB_CURRENT_TIME), nullptr));
    if (!crtc || crtc->width == 0 || crtc->height == 0) {
        return std::nullopt;
    }
    return QRect(crtc->x, crtc->y, crtc->width, crtc->height);
}

}  // namespace

QRect primaryMonitorRect(xcb_connection_t* c, const xcb_screen_t& screen) {
    const QRect wholeScreen(0, 0, screen.width_in_pixels, screen.height_in_pixels);
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr == nullptr || !randr->present) {
        return wholeScreen;
    }
    XcbReply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 5)) {
        return wholeScreen;
    }

    XcbReply<xcb_randr_get_monitors_reply_t> monitors(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, screen.root, 1), nullptr));
    std::optional<QRect> first;
    if (monitors) {
        for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem > 0;
             xcb_randr_monitor_info_next(&it)) {
            const QRect rect(it.data->x, it.data->y, it.data->width, it.data->height);
            if (rect.isEmpty()) {
                continue;
            }
            if (it.data->primary) {
                return rect;
            }
            if (!first) {
                first = rect;
            }
        }
    }
    if (const std::optional<QRect> output = primaryOutputRect(c, screen.root)) {
        return *output;
    }
    return first.value_or(wholeScreen);
}

}  // namespace glimmora
