// The X client of bench/soak, on $DISPLAY:
//
//   glimmora-bench-soak churn SECONDS RATE
//       Churns managed windows beneath the overlay: RATE new windows a second, each created and
//       mapped, then moved and resized, then minimised (WM_CHANGE_STATE) and destroyed a few
//       ticks later, so that a handful live at any time. Destroys whatever is left at the end.
//   glimmora-bench-soak sample PID
//       Prints "X_RESOURCES ON_TOP CLICK_THROUGH" for the process PID: how many X resources its
//       connections hold (X-Resource extension), whether the topmost viewable window is one of
//       its own, and whether that window lets every click through (an empty input shape).
#include <sys/uio.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

int churn(xcb_connection_t* c, xcb_screen_t* screen, double seconds, int rate) {
    const xcb_atom_t changeState = atom(c, "WM_CHANGE_STATE");
    std::mt19937 random(7);
    const auto within = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    std::deque<std::pair<xcb_window_t, int>> alive;  // window, age in ticks
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::microseconds(1000000 / rate);
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    auto next = Clock::now();
    long made = 0;
    while (Clock::now() < end) {
        const xcb_window_t window = xcb_generate_id(c);
        const std::uint32_t values[] = {
            static_cast<std::uint32_t>(within(0, 0xffffff)),
            XCB_EVENT_MASK_STRUCTURE_NOTIFY,
        };
        xcb_create_window(
            c, XCB_COPY_FROM_PARENT, window, screen->root,
            static_cast<std::int16_t>(within(0, 1500)), static_cast<std::int16_t>(within(0, 800)),
            static_cast<std::uint16_t>(within(80, 600)),
            static_cast<std::uint16_t>(within(60, 400)), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
            screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        xcb_map_window(c, window);
        alive.emplace_back(window, 0);
        ++made;
        for (auto& [each, age] : alive) {
            ++age;
            if (age == 2) {
                const std::uint32_t geometry[] = {
                    static_cast<std::uint32_t>(within(0, 1400)),
                    static_cast<std::uint32_t>(within(0, 700)),
                    static_cast<std::uint32_t>(within(80, 700)),
                    static_cast<std::uint32_t>(within(60, 500)),
                };
                xcb_configure_window(c, each,
                                     XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y |
                                         XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                                     geometry);
            } else if (age == 4) {
                // ICCCM: a client asks to be iconified with WM_CHANGE_STATE, IconicState (3).
                xcb_client_message_event_t message{};
                message.response_type = XCB_CLIENT_MESSAGE;
                message.format = 32;
                message.window = each;
                message.type = changeState;
                message.data.data32[0] = 3;
                xcb_send_event(
                    c, 0, screen->root,
                    XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                    reinterpret_cast<const char*>(&message));
            }
        }
        while (!alive.empty() && alive.front().second >= 6) {
            xcb_destroy_window(c, alive.front().first);
            alive.pop_front();
        }
        // Events are not needed; the round trip keeps the client at the server's pace.
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            std::free(event);
        }
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        next += interval;
        std::this_thread::sleep_until(next);
    }
    for (const auto& [each, age] : alive) {
        xcb_destroy_window(c, each);
    }
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    std::printf("%ld windows\n", made);
    return xcb_connection_has_error(c) == 0 ? 0 : 1;
}

/// One X-Resource request (no xcb binding for it here): `words` after the 4-byte header.
std::vector<std::uint32_t> xres(xcb_connection_t* c, std::uint8_t minor,
                                std::vector<std::uint32_t> words) {
    static xcb_extension_t extension = {"X-Resource", 0};
    std::uint8_t header[4] = {0, minor, 0, 0};
    // xcb_send_request wants two spare entries before the ones it is given.
    iovec parts[4] = {};
    parts[2] = {header, sizeof header};
    parts[3] = {words.data(), words.size() * sizeof(std::uint32_t)};
    xcb_protocol_request_t request = {words.empty() ? 1u : 2u, &extension, minor, 0};
    const unsigned sequence = xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &request);
    xcb_generic_error_t* error = nullptr;
    void* reply = xcb_wait_for_reply(c, sequence, &error);
    std::free(error);
    if (reply == nullptr) {
        return {};
    }
    const auto* generic = static_cast<const xcb_generic_reply_t*>(reply);
    std::vector<std::uint32_t> body(8 + generic->length);  // 32-byte header, then the rest
    std::memcpy(body.data(), reply, body.size() * sizeof(std::uint32_t));
    std::free(reply);
    return body;
}

int sample(xcb_connection_t* c, xcb_screen_t* screen, std::uint32_t pid) {
    // Version 1.2 brings client ids (process ids): CARD8 major, CARD8 minor, two bytes of pad.
    xres(c, 0, {1u | 2u << 8});
    // QueryClientIds for every client (client 0) with LocalClientPID (mask 2).
    const std::vector<std::uint32_t> ids = xres(c, 4, {1, 0, 2});
    std::vector<std::uint32_t> bases;
    for (std::size_t i = 8, n = 0; ids.size() > 2 && n < ids[2] && i + 2 < ids.size(); ++n) {
        const std::uint32_t client = ids[i];
        const std::uint32_t words = ids[i + 2] / 4;
        if (ids[i + 1] == 2 && words == 1 && ids[i + 3] == pid) {
            bases.push_back(client);
        }
        i += 3 + words;
    }
    long resources = 0;
    for (const std::uint32_t base : bases) {
        // QueryClientResources: pairs of (type, count).
        const std::vector<std::uint32_t> counts = xres(c, 2, {base});
        for (std::size_t i = 8; counts.size() > 2 && i + 1 < 8 + 2 * counts[2]; i += 2) {
            resources += counts[i + 1];
        }
    }
    // The topmost viewable child of the root, and whether one of the process's connections made
    // it (a window id carries its client's resource base in the bits above the mask).
    const std::uint32_t mask = xcb_get_setup(c)->resource_id_mask;
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, screen->root), nullptr), &std::free);
    xcb_window_t top = XCB_NONE;
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0 && top == XCB_NONE;
             --i) {
            Reply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]),
                                                nullptr),
                &std::free);
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
                top = children[i];
            }
        }
    }
    bool onTop = false;
    for (const std::uint32_t base : bases) {
        onTop = onTop || (top != XCB_NONE && (top & ~mask) == (base & ~mask));
    }
    Reply<xcb_shape_get_rectangles_reply_t> input(
        xcb_shape_get_rectangles_reply(c, xcb_shape_get_rectangles(c, top, XCB_SHAPE_SK_INPUT),
                                       nullptr),
        &std::free);
    const bool clickThrough = input && input->rectangles_len == 0;
    std::printf("%ld %d %d\n", resources, onTop ? 1 : 0, clickThrough ? 1 : 0);
    return bases.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool isChurn = argc == 4 && std::strcmp(argv[1], "churn") == 0;
    const bool isSample = argc == 3 && std::strcmp(argv[1], "sample") == 0;
    if (!isChurn && !isSample) {
        std::fprintf(stderr,
                     "usage: glimmora-bench-soak churn SECONDS RATE | glimmora-bench-soak sample "
                     "PID\n");
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "glimmora-bench-soak: cannot open the display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const int result = isChurn ? churn(c, screen, std::atof(argv[2]), std::atoi(argv[3]))
                               : sample(c, screen, static_cast<std::uint32_t>(std::atol(argv[2])));
    xcb_disconnect(c);
    return result;
}
