// A window that redraws itself completely 60 times a second, for the capture benchmark's
// scenes: `glimmora-bench-scene WIDTH HEIGHT SECONDS` on $DISPLAY (a full-screen window when
// the size is the screen's). Each frame fills the window with a new colour and draws a moving
// bar, so every pixel changes every frame, like a video or a game.
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: glimmora-bench-scene WIDTH HEIGHT SECONDS\n");
        return 2;
    }
    const auto width = static_cast<std::uint16_t>(std::atoi(argv[1]));
    const auto height = static_cast<std::uint16_t>(std::atoi(argv[2]));
    const double seconds = std::atof(argv[3]);

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "glimmora-bench-scene: cannot open the display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    // Override-redirect: placed exactly where asked, with no window-manager frame around it.
    const std::uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window, 0, nullptr);
    xcb_flush(c);

    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::microseconds(1000000 / 60);
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    auto next = Clock::now();
    for (std::uint32_t frame = 0; Clock::now() < end; ++frame) {
        const std::uint32_t background =
            ((frame * 7) & 0xff) << 16 | ((frame * 3) & 0xff) << 8 | 0x40;
        xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &background);
        const xcb_rectangle_t all = {0, 0, width, height};
        xcb_poly_fill_rectangle(c, window, gc, 1, &all);
        const std::uint32_t bar = 0xf0f0f0;
        xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &bar);
        const xcb_rectangle_t moving = {static_cast<std::int16_t>((frame * 8) % width), 0,
                                        static_cast<std::uint16_t>(width / 20 + 1), height};
        xcb_poly_fill_rectangle(c, window, gc, 1, &moving);
        // A round trip per frame keeps the client at the server's pace, as a real one would be.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        next += interval;
        std::this_thread::sleep_until(next);
    }
    xcb_disconnect(c);
    return 0;
}
