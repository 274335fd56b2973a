#include "support/X11TestDisplay.h"

#include <xcb/shape.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/x11/connection/XcbReply.h"

namespace glimmora::test {
namespace {

xcb_rectangle_t rectangleOf(RootRect r) {
    return {static_cast<std::int16_t>(r.x), static_cast<std::int16_t>(r.y),
            static_cast<std::uint16_t>(r.width), static_cast<std::uint16_t>(r.height)};
}

XcbReply<xcb_query_tree_reply_t> treeOf(xcb_connection_t* c, xcb_window_t window) {
    return XcbReply<xcb_query_tree_reply_t>(
        xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
}

XcbReply<xcb_get_window_attributes_reply_t> attributesOf(xcb_connection_t* c, xcb_window_t window) {
    return XcbReply<xcb_get_window_attributes_reply_t>(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
}

}  // namespace

X11TestDisplay::X11TestDisplay(const std::string& display) {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(display.c_str(), &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    connection_ = c;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i) {
        xcb_screen_next(&it);
    }
    screen_ = it.data;
    root_ = screen_->root;
}

X11TestDisplay::~X11TestDisplay() {
    if (connection_) {
        xcb_disconnect(connection_);
    }
}

xcb_window_t X11TestDisplay::createWindow(RootRect rect, bool overrideRedirect,
                                          std::uint32_t eventMask, xcb_window_t parent) {
    const xcb_window_t window = xcb_generate_id(connection_);
    const std::uint32_t values[] = {screen_->white_pixel, overrideRedirect ? 1u : 0u, eventMask};
    const xcb_rectangle_t r = rectangleOf(rect);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window,
                      parent == XCB_NONE ? root_ : parent, r.x, r.y, r.width, r.height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    flush();
    return window;
}

void X11TestDisplay::configure(xcb_window_t window, std::uint16_t mask,
                               std::initializer_list<int> values) {
    std::vector<std::uint32_t> list(values.begin(), values.end());
    flushAfter(xcb_configure_window(connection_, window, mask, list.data()));
}

void X11TestDisplay::minimise(xcb_window_t window) {
    constexpr std::uint32_t kIconicState = 3;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom("WM_CHANGE_STATE");
    message.data.data32[0] = kIconicState;
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    flush();
}

void X11TestDisplay::setBackground(xcb_window_t window, Rgb colour) {
    const std::uint32_t pixel = pixelOf(colour);
    xcb_change_window_attributes(connection_, window, XCB_CW_BACK_PIXEL, &pixel);
    flushAfter(xcb_clear_area(connection_, 0, window, 0, 0, 0, 0));
}

void X11TestDisplay::setWallpaper(Rgb colour) {
    // A tile: the desktop repeats it, and it still fits after the screen changes size.
    const xcb_pixmap_t pixmap = createPixmap(16, 16, colour);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, atom("_XROOTPMAP_ID"),
                        XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    xcb_change_window_attributes(connection_, root_, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(connection_, 0, root_, 0, 0, 0, 0);
    sync();
}

void X11TestDisplay::sync() {
    XcbReply<xcb_get_input_focus_reply_t>(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

std::vector<xcb_window_t> X11TestDisplay::stack() {
    const auto tree = treeOf(connection_, root_);
    if (!tree) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

xcb_window_t X11TestDisplay::topLevelOf(xcb_window_t window) {
    for (auto tree = treeOf(connection_, window);
         tree && tree->parent != root_ && tree->parent != XCB_NONE;
         tree = treeOf(connection_, window)) {
        window = tree->parent;
    }
    return window;
}

bool X11TestDisplay::isAbove(xcb_window_t upper, xcb_window_t lower) {
    const auto order = stack();
    const auto u = std::find(order.begin(), order.end(), upper);
    const auto l = std::find(order.begin(), order.end(), lower);
    return u != order.end() && l != order.end() && u > l;
}

std::uint32_t X11TestDisplay::atom(const std::string& name) {
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr));
    return reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
}

std::optional<std::uint32_t> X11TestDisplay::cardinal(xcb_window_t window, const std::string& name,
                                                      xcb_atom_t type) {
    const std::vector<std::uint32_t> values = cardinals(window, name, type);
    return values.empty() ? std::nullopt : std::optional(values.front());
}

std::vector<std::uint32_t> X11TestDisplay::cardinals(xcb_window_t window, const std::string& name,
                                                     xcb_atom_t type) {
    const std::string bytes = property(window, atom(name), type, 32);
    std::vector<std::uint32_t> values(bytes.size() / 4);
    if (!values.empty()) {  // memcpy takes no null pointer, even for nothing
        std::memcpy(values.data(), bytes.data(), values.size() * 4);
    }
    return values;
}

std::string X11TestDisplay::text(xcb_window_t window, xcb_atom_t name) {
    return property(window, name, XCB_GET_PROPERTY_TYPE_ANY, 8);
}

std::string X11TestDisplay::property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                                     int format) {
    const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, name, type, 0, 4096), nullptr));
    if (!reply || reply->format != format) {
        return {};
    }
    const char* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(data, data + xcb_get_property_value_length(reply.get()));
}

void X11TestDisplay::setCardinals(xcb_window_t window, const std::string& name, xcb_atom_t type,
                                  const std::vector<std::uint32_t>& values) {
    flushAfter(xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, atom(name), type, 32,
                                   static_cast<std::uint32_t>(values.size()), values.data()));
}

void X11TestDisplay::deleteProperty(xcb_window_t window, const std::string& name) {
    flushAfter(xcb_delete_property(connection_, window, atom(name)));
}

RootRect X11TestDisplay::rootGeometry(xcb_window_t window) {
    const XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
    const XcbReply<xcb_translate_coordinates_reply_t> translated(xcb_translate_coordinates_reply(
        connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr));
    if (!geometry || !translated) {
        return {};
    }
    return {translated->dst_x, translated->dst_y, geometry->width, geometry->height};
}

ScreenShot X11TestDisplay::screenShot() {
    const RootRect size = rootGeometry(root_);  // it follows RandR screen size changes
    const xcb_rectangle_t r = rectangleOf(size);
    const XcbReply<xcb_get_image_reply_t> image(xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, 0, 0, r.width, r.height, ~0u),
        nullptr));
    // Xvfb's 24-bit screens keep a pixel in 32 bits, in the machine's byte order.
    const std::size_t count = static_cast<std::size_t>(size.width) * size.height;
    if (!image || xcb_get_setup(connection_)->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST ||
        static_cast<std::size_t>(xcb_get_image_data_length(image.get())) != count * 4) {
        return {};
    }
    ScreenShot shot{size.width, size.height, {}};
    shot.pixels.reserve(count);
    const std::uint8_t* data = xcb_get_image_data(image.get());
    for (std::size_t i = 0; i < count; ++i, data += 4) {
        shot.pixels.push_back({data[2], data[1], data[0]});  // blue, green, red, unused
    }
    return shot;
}

bool X11TestDisplay::isOverrideRedirect(xcb_window_t window) {
    const auto attributes = attributesOf(connection_, window);
    return attributes && attributes->override_redirect;
}

bool X11TestDisplay::isViewable(xcb_window_t window) {
    const auto attributes = attributesOf(connection_, window);
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::optional<int> X11TestDisplay::inputRectangleCount(xcb_window_t window) {
    const XcbReply<xcb_shape_get_rectangles_reply_t> reply(xcb_shape_get_rectangles_reply(
        connection_, xcb_shape_get_rectangles(connection_, window, XCB_SHAPE_SK_INPUT), nullptr));
    return reply ? std::optional(xcb_shape_get_rectangles_rectangles_length(reply.get()))
                 : std::nullopt;
}

std::optional<xcb_window_t> X11TestDisplay::findTopLevel(std::uint32_t pid,
                                                         const std::string& title) {
    for (xcb_window_t window : stack()) {
        if (cardinal(window, "_NET_WM_PID") == pid && text(window, XCB_ATOM_WM_NAME) == title &&
            isViewable(window)) {
            return window;
        }
    }
    return std::nullopt;
}

void X11TestDisplay::drainEvents(const std::function<void(const xcb_generic_event_t&)>& onEvent) {
    while (const XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) {
        onEvent(*event);
    }
}

std::uint32_t X11TestDisplay::pixelOf(Rgb c) {
    return static_cast<std::uint32_t>(c.red << 16 | c.green << 8 | c.blue);
}

void X11TestDisplay::fill(xcb_drawable_t drawable, RootRect area, Rgb colour) {
    const xcb_gcontext_t gc = xcb_generate_id(connection_);
    const std::uint32_t foreground = pixelOf(colour);
    xcb_create_gc(connection_, gc, drawable, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t rectangle = rectangleOf(area);
    xcb_poly_fill_rectangle(connection_, drawable, gc, 1, &rectangle);
    flushAfter(xcb_free_gc(connection_, gc));
}

void X11TestDisplay::setBorder(xcb_window_t window, int width, Rgb colour) {
    const std::uint32_t pixel = pixelOf(colour);
    xcb_change_window_attributes(connection_, window, XCB_CW_BORDER_PIXEL, &pixel);
    configure(window, XCB_CONFIG_WINDOW_BORDER_WIDTH, {width});
}

void X11TestDisplay::reparent(xcb_window_t window, xcb_window_t parent, int x, int y) {
    flushAfter(xcb_reparent_window(connection_, window, parent, static_cast<std::int16_t>(x),
                                   static_cast<std::int16_t>(y)));
}

xcb_pixmap_t X11TestDisplay::createPixmap(int width, int height, Rgb colour) {
    const xcb_pixmap_t pixmap = xcb_generate_id(connection_);
    xcb_create_pixmap(connection_, screen_->root_depth, pixmap, root_,
                      static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    fill(pixmap, {0, 0, width, height}, colour);
    return pixmap;
}

xcb_window_t X11TestDisplay::createArgbWindow(RootRect rect, std::uint32_t argb) {
    const xcb_visualtype_t* visual = nullptr;
    for (auto depth = xcb_screen_allowed_depths_iterator(screen_); depth.rem && !visual;
         xcb_depth_next(&depth)) {
        for (auto each = xcb_depth_visuals_iterator(depth.data); each.rem && !visual;
             xcb_visualtype_next(&each)) {
            visual = depth.data->depth == 32 && each.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR
                         ? each.data
                         : nullptr;
        }
    }
    if (!visual) {
        return XCB_NONE;
    }
    const xcb_colormap_t colormap = xcb_generate_id(connection_);
    xcb_create_colormap(connection_, XCB_COLORMAP_ALLOC_NONE, colormap, root_, visual->visual_id);
    const xcb_window_t window = xcb_generate_id(connection_);
    const std::uint32_t values[] = {argb, 0, 1, colormap};  // background, border, o-r, colormap
    const xcb_rectangle_t r = rectangleOf(rect);
    xcb_create_window(
        connection_, 32, window, root_, r.x, r.y, r.width, r.height, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, visual->visual_id,
        XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_COLORMAP,
        values);
    map(window);
    return window;
}

bool isNear(Rgb actual, Rgb expected, int tolerance) {
    return std::abs(actual.red - expected.red) <= tolerance &&
           std::abs(actual.green - expected.green) <= tolerance &&
           std::abs(actual.blue - expected.blue) <= tolerance;
}

Rgb ScreenShot::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        return {};
    }
    return pixels[static_cast<std::size_t>(y) * width + x];
}

}  // namespace glimmora::test
