#include "support/X11TestDisplay.h"

#include <xcb/shape.h>

#include <algorithm>
#include <cstdlib>

#include "platform/x11/connection/XcbReply.h"

namespace glimmora::test {
namespace {

/// The reply to `cookie`, owned: `ask(c, xcb_query_tree_reply, xcb_query_tree(c, window))`.
template <typename Reply, typename Cookie>
XcbReply<Reply> ask(xcb_connection_t* c,
                    Reply* (*reply)(xcb_connection_t*, Cookie, xcb_generic_error_t**),
                    Cookie cookie) {
    return XcbReply<Reply>(reply(c, cookie, nullptr));
}

/// A property's values of `T` (its format in bits); empty when there is none of `type` in it.
template <typename T>
std::vector<T> property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name,
                        xcb_atom_t type) {
    const auto reply =
        ask(c, xcb_get_property_reply, xcb_get_property(c, 0, window, name, type, 0, 4096));
    if (!reply || reply->format != 8 * sizeof(T)) {
        return {};
    }
    const T* data = static_cast<const T*>(xcb_get_property_value(reply.get()));
    return {data, data + xcb_get_property_value_length(reply.get()) / sizeof(T)};
}

/// The pixel value of `colour` on Xvfb's 24-bit TrueColor screens.
std::uint32_t pixelOf(Rgb c) {
    return static_cast<std::uint32_t>(c.red << 16 | c.green << 8 | c.blue);
}

}  // namespace

X11TestDisplay::X11TestDisplay(const std::string& display) {
    connection_.reset(xcb_connect(display.c_str(), nullptr));  // Xvfb's ":N" has one screen
    if (xcb_connection_has_error(connection())) {
        connection_.reset();
        return;
    }
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection())).data;
    root_ = screen_->root;
}

xcb_window_t X11TestDisplay::createWindow(RootRect r, bool overrideRedirect,
                                          std::uint32_t eventMask, xcb_window_t parent) {
    const xcb_window_t window = xcb_generate_id(connection());
    const std::uint32_t values[] = {screen_->white_pixel, overrideRedirect ? 1u : 0u, eventMask};
    flushAfter(xcb_create_window(
        connection(), XCB_COPY_FROM_PARENT, window, parent == XCB_NONE ? root_ : parent, r.x, r.y,
        r.width, r.height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
        XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values));
    return window;
}

void X11TestDisplay::configure(xcb_window_t window, std::uint16_t mask,
                               std::initializer_list<int> values) {
    const std::vector<std::uint32_t> list(values.begin(), values.end());
    flushAfter(xcb_configure_window(connection(), window, mask, list.data()));
}

void X11TestDisplay::setBackground(xcb_window_t window, Rgb colour) {
    const std::uint32_t pixel = pixelOf(colour);
    xcb_change_window_attributes(connection(), window, XCB_CW_BACK_PIXEL, &pixel);
    flushAfter(xcb_clear_area(connection(), 0, window, 0, 0, 0, 0));
}

void X11TestDisplay::setBorder(xcb_window_t window, int width, Rgb colour) {
    const std::uint32_t pixel = pixelOf(colour);
    xcb_change_window_attributes(connection(), window, XCB_CW_BORDER_PIXEL, &pixel);
    configure(window, XCB_CONFIG_WINDOW_BORDER_WIDTH, {width});
}

void X11TestDisplay::fill(xcb_drawable_t drawable, RootRect area, Rgb colour) {
    const xcb_gcontext_t gc = xcb_generate_id(connection());
    const std::uint32_t foreground = pixelOf(colour);
    xcb_create_gc(connection(), gc, drawable, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t rectangle{
        static_cast<std::int16_t>(area.x), static_cast<std::int16_t>(area.y),
        static_cast<std::uint16_t>(area.width), static_cast<std::uint16_t>(area.height)};
    xcb_poly_fill_rectangle(connection(), drawable, gc, 1, &rectangle);
    flushAfter(xcb_free_gc(connection(), gc));
}

xcb_pixmap_t X11TestDisplay::createPixmap(int width, int height, Rgb colour) {
    const xcb_pixmap_t pixmap = xcb_generate_id(connection());
    xcb_create_pixmap(connection(), screen_->root_depth, pixmap, root_, width, height);
    fill(pixmap, {0, 0, width, height}, colour);
    return pixmap;
}

xcb_window_t X11TestDisplay::createArgbWindow(RootRect r, std::uint32_t argb) {
    xcb_visualid_t visual = XCB_NONE;
    for (auto d = xcb_screen_allowed_depths_iterator(screen_); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (!visual && d.data->depth == 32 && v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR) {
                visual = v.data->visual_id;
            }
        }
    }
    if (!visual) {
        return XCB_NONE;
    }
    const xcb_colormap_t colormap = xcb_generate_id(connection());
    xcb_create_colormap(connection(), XCB_COLORMAP_ALLOC_NONE, colormap, root_, visual);
    const xcb_window_t window = xcb_generate_id(connection());
    const std::uint32_t values[] = {argb, 0, 1, colormap};  // background, border, o-r, colormap
    xcb_create_window(
        connection(), 32, window, root_, r.x, r.y, r.width, r.height, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
        XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_COLORMAP,
        values);
    map(window);
    return window;
}

void X11TestDisplay::setWallpaper(Rgb colour) {
    // A tile: the desktop repeats it, and it still fits after the screen changes size.
    const xcb_pixmap_t pixmap = createPixmap(16, 16, colour);
    setCardinals(root_, "_XROOTPMAP_ID", XCB_ATOM_PIXMAP, {pixmap});
    xcb_change_window_attributes(connection(), root_, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(connection(), 0, root_, 0, 0, 0, 0);
    sync();
}

void X11TestDisplay::sync() {
    ask(connection(), xcb_get_input_focus_reply, xcb_get_input_focus(connection()));
}

std::vector<xcb_window_t> X11TestDisplay::stack() {
    const auto tree = ask(connection(), xcb_query_tree_reply, xcb_query_tree(connection(), root_));
    if (!tree) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

xcb_window_t X11TestDisplay::topLevelOf(xcb_window_t window) {
    for (;;) {
        const auto tree =
            ask(connection(), xcb_query_tree_reply, xcb_query_tree(connection(), window));
        if (!tree || tree->parent == root_ || tree->parent == XCB_NONE) {
            return window;
        }
        window = tree->parent;
    }
}

bool X11TestDisplay::isAbove(xcb_window_t upper, xcb_window_t lower) {
    const auto order = stack();
    const auto u = std::find(order.begin(), order.end(), upper);
    const auto l = std::find(order.begin(), order.end(), lower);
    return u != order.end() && l != order.end() && u > l;
}

std::uint32_t X11TestDisplay::atom(const std::string& name) {
    const auto reply = ask(connection(), xcb_intern_atom_reply,
                           xcb_intern_atom(connection(), 0, name.size(), name.c_str()));
    return reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
}

std::vector<std::uint32_t> X11TestDisplay::cardinals(xcb_window_t window, const std::string& name,
                                                     xcb_atom_t type) {
    return property<std::uint32_t>(connection(), window, atom(name), type);
}

std::string X11TestDisplay::text(xcb_window_t window, xcb_atom_t name) {
    const auto bytes = property<char>(connection(), window, name, XCB_GET_PROPERTY_TYPE_ANY);
    return {bytes.begin(), bytes.end()};
}

void X11TestDisplay::setCardinals(xcb_window_t window, const std::string& name, xcb_atom_t type,
                                  const std::vector<std::uint32_t>& values) {
    flushAfter(xcb_change_property(connection(), XCB_PROP_MODE_REPLACE, window, atom(name), type,
                                   32, values.size(), values.data()));
}

void X11TestDisplay::deleteProperty(xcb_window_t window, const std::string& name) {
    flushAfter(xcb_delete_property(connection(), window, atom(name)));
}

RootRect X11TestDisplay::rootGeometry(xcb_window_t window) {
    xcb_connection_t* c = connection();
    const auto geometry = ask(c, xcb_get_geometry_reply, xcb_get_geometry(c, window));
    const auto translated =
        ask(c, xcb_translate_coordinates_reply, xcb_translate_coordinates(c, window, root_, 0, 0));
    if (!geometry || !translated) {
        return {};
    }
    return {translated->dst_x, translated->dst_y, geometry->width, geometry->height};
}

ScreenShot X11TestDisplay::screenShot() {
    xcb_connection_t* c = connection();
    const RootRect size = rootGeometry(root_);  // it follows RandR screen size changes
    const auto image =
        ask(c, xcb_get_image_reply,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, 0, 0, size.width, size.height, ~0u));
    // Xvfb's 24-bit screens keep a pixel in 32 bits, in the machine's byte order.
    const std::size_t count = static_cast<std::size_t>(size.width) * size.height;
    if (!image || xcb_get_setup(c)->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST ||
        static_cast<std::size_t>(xcb_get_image_data_length(image.get())) != count * 4) {
        return {};
    }
    ScreenShot shot{size.width, size.height, {}};
    const std::uint8_t* data = xcb_get_image_data(image.get());
    for (std::size_t i = 0; i < count; ++i, data += 4) {
        shot.pixels.push_back({data[2], data[1], data[0]});  // blue, green, red, unused
    }
    return shot;
}

bool X11TestDisplay::isOverrideRedirect(xcb_window_t window) {
    const auto a = ask(connection(), xcb_get_window_attributes_reply,
                       xcb_get_window_attributes(connection(), window));
    return a && a->override_redirect;
}

bool X11TestDisplay::isViewable(xcb_window_t window) {
    const auto a = ask(connection(), xcb_get_window_attributes_reply,
                       xcb_get_window_attributes(connection(), window));
    return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::optional<int> X11TestDisplay::inputRectangleCount(xcb_window_t window) {
    const auto reply = ask(connection(), xcb_shape_get_rectangles_reply,
                           xcb_shape_get_rectangles(connection(), window, XCB_SHAPE_SK_INPUT));
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
    while (const XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(connection())}) {
        onEvent(*event);
    }
}

bool isNear(Rgb a, Rgb e, int tolerance) {
    return std::max({std::abs(a.red - e.red), std::abs(a.green - e.green),
                     std::abs(a.blue - e.blue)}) <= tolerance;
}

Rgb ScreenShot::at(int x, int y) const {
    const bool inside = x >= 0 && y >= 0 && x < width && y < height;
    return inside ? pixels[static_cast<std::size_t>(y) * width + x] : Rgb{};
}

}  // namespace glimmora::test
