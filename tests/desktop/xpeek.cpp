// SPDX-License-Identifier: GPL-2.0-or-later
// Reads the pixels of the X screen for the desktop checks, faster than a screenshot and a
// converter for each question:
//   xpeek pixel X Y          prints the colour at X,Y as #RRGGBB
//   xpeek share X Y W H      prints the share (0 to 1) of the rectangle's pixels with red above 40%
//   xpeek held               prints "keyboard" and "pointer" for each that another program holds
//                            (tried by grabbing it, and let go at once)
//   xpeek close WINDOW       asks the window to close as a window manager asks on Alt+F4 or a click
//                            on the title bar's close button (WM_DELETE_WINDOW)
//   xpeek netclose WINDOW    asks the window manager to close the window, as task bars and wmctrl
//                            -c ask (_NET_CLOSE_WINDOW)
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct Pixels
{
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply{nullptr, &std::free};
    const std::uint8_t *data = nullptr;
    int count = 0;
};

// The screen's pixels in the rectangle, 4 bytes each (blue, green, red, unused) on a 24-bit screen.
bool grab(int x, int y, int w, int h, Pixels &out)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) != 0) {
        std::fprintf(stderr, "xpeek: cannot open the display\n");
        return false;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_get_image_cookie_t cookie =
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), ~0U);
    out.reply.reset(xcb_get_image_reply(c, cookie, nullptr));
    if (!out.reply) {
        std::fprintf(stderr, "xpeek: the rectangle is outside the screen\n");
        xcb_disconnect(c);
        return false;
    }
    const int length = xcb_get_image_data_length(out.reply.get());
    if (length != w * h * 4) {
        std::fprintf(stderr, "xpeek: only 24-bit screens with 32-bit pixels are read\n");
        xcb_disconnect(c);
        return false;
    }
    out.data = xcb_get_image_data(out.reply.get());
    out.count = w * h;
    xcb_disconnect(c);
    return true;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// One client message: WM_DELETE_WINDOW to the window itself, or _NET_CLOSE_WINDOW to the root.
int closeWindow(xcb_window_t window, bool throughManager)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) != 0) {
        std::fprintf(stderr, "xpeek: cannot open the display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    xcb_window_t destination = window;
    std::uint32_t mask = XCB_EVENT_MASK_NO_EVENT;
    if (throughManager) {
        message.type = atom(c, "_NET_CLOSE_WINDOW");
        message.data.data32[0] = XCB_CURRENT_TIME;
        message.data.data32[1] = 2; // from a pager or task bar
        destination = root;
        mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    } else {
        message.type = atom(c, "WM_PROTOCOLS");
        message.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
    }
    xcb_send_event(c, 0, destination, mask, reinterpret_cast<const char *>(&message));
    // A round trip: the message is on its way before the connection closes.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "pixel") == 0) {
        Pixels p;
        if (!grab(std::atoi(argv[2]), std::atoi(argv[3]), 1, 1, p)) {
            return 1;
        }
        std::printf("#%02X%02X%02X\n", p.data[2], p.data[1], p.data[0]);
        return 0;
    }
    if (argc == 6 && std::strcmp(argv[1], "share") == 0) {
        Pixels p;
        if (!grab(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), p)) {
            return 1;
        }
        int red = 0;
        for (int i = 0; i < p.count; ++i) {
            if (p.data[4 * i + 2] > 102) {
                ++red;
            }
        }
        std::printf("%.4f\n", static_cast<double>(red) / p.count);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "held") == 0) {
        xcb_connection_t *c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c) != 0) {
            return 1;
        }
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        std::unique_ptr<xcb_grab_keyboard_reply_t, decltype(&std::free)> keyboard(
            xcb_grab_keyboard_reply(
                c, xcb_grab_keyboard(c, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr),
            &std::free);
        std::unique_ptr<xcb_grab_pointer_reply_t, decltype(&std::free)> pointer(
            xcb_grab_pointer_reply(c,
                                   xcb_grab_pointer(c, 0, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                                    XCB_WINDOW_NONE, XCB_CURSOR_NONE, XCB_CURRENT_TIME),
                                   nullptr),
            &std::free);
        const bool keyboardHeld = !keyboard || keyboard->status != XCB_GRAB_STATUS_SUCCESS;
        const bool pointerHeld = !pointer || pointer->status != XCB_GRAB_STATUS_SUCCESS;
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
        xcb_disconnect(c);
        std::printf("%s%s%s\n", keyboardHeld ? "keyboard" : "", keyboardHeld && pointerHeld ? " " : "",
                    pointerHeld ? "pointer" : "");
        return 0;
    }
    if (argc == 3 && (std::strcmp(argv[1], "close") == 0 || std::strcmp(argv[1], "netclose") == 0)) {
        return closeWindow(static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0)),
                           std::strcmp(argv[1], "netclose") == 0);
    }
    std::fprintf(stderr, "usage: xpeek pixel X Y | xpeek share X Y W H | xpeek held | xpeek close WINDOW | "
                         "xpeek netclose WINDOW\n");
    return 2;
}
