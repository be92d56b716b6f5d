// quadix_x11_floor: the floor under the game's figures in tools/benchmark.sh.
// No toolkit at all, just XCB: the least any X11 program can pay on this
// machine for the cadence of gravity.
//
//   quadix_x11_floor wake MS SECONDS
//       sleeps in poll() on its X connection and wakes every MS
//       milliseconds, doing nothing else: the price of the wake-ups alone;
//   quadix_x11_floor put MS SECONDS
//       the same, and at each wake-up sends a 42 x 29 image (what a gravity
//       step changes) straight to its window with one PutImage and flushes:
//       one wake of the program and one of the X server per step, as the
//       game needs.
//
// Prints its own CPU share and the X server's over the same span.
#include "Clocks.h"

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>

namespace {

using namespace quadix::bench;

constexpr int kWidth = 42;
constexpr int kHeight = 29;

int usage()
{
    std::fprintf(stderr, "usage: quadix_x11_floor wake|put MS SECONDS\n");
    return 2;
}

int errors = 0; // requests the server refused: the figures would be void

// Handles what the server sent; true once the window has been exposed.
bool drainEvents(xcb_connection_t* connection)
{
    bool exposed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        exposed = exposed || (event->response_type & 0x7f) == XCB_EXPOSE;
        errors += event->response_type == 0;
        std::free(event);
    }
    return exposed;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4 || (std::strcmp(argv[1], "wake") != 0 && std::strcmp(argv[1], "put") != 0))
        return usage();
    const bool put = std::strcmp(argv[1], "put") == 0;
    const int ms = std::atoi(argv[2]);
    const double seconds = std::atof(argv[3]);
    if (ms <= 0 || seconds <= 0)
        return usage();

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "quadix_x11_floor: no X server\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t windowValues[] = {screen->black_pixel, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 439, 405, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                      windowValues);
    const xcb_gcontext_t gc = xcb_generate_id(connection);
    const uint32_t gcValues[] = {0}; // no GraphicsExpose or NoExpose events back
    xcb_create_gc(connection, gc, window, XCB_GC_GRAPHICS_EXPOSURES, gcValues);
    xcb_map_window(connection, window);
    xcb_flush(connection);
    const int fd = xcb_get_file_descriptor(connection);
    for (bool exposed = false; !exposed;) {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 5000) <= 0) {
            std::fprintf(stderr, "quadix_x11_floor: the window was never exposed\n");
            return 1;
        }
        exposed = drainEvents(connection);
    }

    std::array<uint32_t, kWidth * kHeight> pixels{};
    const int64_t wall0 = monotonicNs();
    const int64_t cpu0 = processCpuNs();
    const int64_t x0 = XServerCpuNs();
    const int64_t span = static_cast<int64_t>(seconds * 1e9);
    int steps = 0;
    while (monotonicNs() - wall0 < span) {
        pollfd wait{fd, POLLIN, 0};
        poll(&wait, 1, ms);
        drainEvents(connection);
        if (!put)
            continue;
        // A piece one pixel lower: a different image at a different place.
        pixels.fill(steps % 2 ? 0x00ff8000u : 0x000080ffu);
        xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc, kWidth, kHeight, 40, 100 + steps % 250, 0,
                      screen->root_depth, static_cast<uint32_t>(sizeof pixels),
                      reinterpret_cast<const uint8_t*>(pixels.data()));
        xcb_flush(connection);
        ++steps;
    }
    const double elapsed = static_cast<double>(monotonicNs() - wall0);
    const int64_t cpu = processCpuNs() - cpu0;
    const int64_t x1 = XServerCpuNs();
    drainEvents(connection);
    if (errors > 0) {
        std::fprintf(stderr, "quadix_x11_floor: the X server refused %d requests\n", errors);
        return 1;
    }
    std::printf("result mode=floor what=%s interval=%d cpu_pct=%.2f xserver_pct=%.2f\n", argv[1], ms,
                100.0 * static_cast<double>(cpu) / elapsed,
                x0 < 0 || x1 < 0 ? -1.0 : 100.0 * static_cast<double>(x1 - x0) / elapsed);
    xcb_disconnect(connection);
    return 0;
}
