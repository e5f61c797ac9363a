// SPDX-License-Identifier: GPL-2.0-or-later
// Black-box latency of pictures appearing on an X11 screen: starts a command (or sends a key)
// and polls one pixel of the root window with XGetImage until it shows the expected colour.
// Prints the time in milliseconds on standard output; exit 1 on a timeout, 2 on bad arguments.
//
//   vantrel-latency-probe --at X,Y --rgb RRGGBB [--tolerance N] [--timeout MS] start CMD ARGS...
//       starts CMD and times it; the command keeps running (its process id goes to standard
//       error as "pid N"), so a later "key" run can step it.
//   vantrel-latency-probe --at X,Y --rgb RRGGBB key KEYSYM
//       sends the key (press and release) through XTest to whatever has the focus, and times it.
//   vantrel-latency-probe --at X,Y --rgb RRGGBB wait
//       times nothing in particular: waits for the colour (a start begun elsewhere).

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Options
{
    int x = -1;
    int y = -1;
    unsigned long rgb = 0;
    int tolerance = 40;
    int timeoutMs = 20000;
};

bool Near(unsigned long pixel, unsigned long rgb, int tolerance)
{
    for (int shift : {16, 8, 0}) {
        const int a = static_cast<int>((pixel >> shift) & 0xff);
        const int b = static_cast<int>((rgb >> shift) & 0xff);
        if (std::abs(a - b) > tolerance) {
            return false;
        }
    }
    return true;
}

unsigned long PixelAt(Display *display, Window root, int x, int y)
{
    XImage *image = XGetImage(display, root, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return ~0UL;
    }
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return pixel & 0xffffff;
}

// Milliseconds from `start` until the pixel matches, or -1 after the timeout.
double WaitForColour(Display *display, const Options &o, Clock::time_point start)
{
    const Window root = DefaultRootWindow(display);
    while (true) {
        if (Near(PixelAt(display, root, o.x, o.y), o.rgb, o.tolerance)) {
            return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        if (Clock::now() - start > std::chrono::milliseconds(o.timeoutMs)) {
            return -1;
        }
        // Half a millisecond between looks: fine enough, and the X server and the program
        // measured keep the processor.
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

int Usage()
{
    std::fprintf(stderr, "usage: vantrel-latency-probe --at X,Y --rgb RRGGBB [--tolerance N] [--timeout MS] "
                         "(start CMD ARGS... | key KEYSYM | wait)\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (i + 1 >= argc) {
            return Usage();
        }
        const std::string name = argv[i];
        const char *value = argv[i + 1];
        if (name == "--at") {
            if (std::sscanf(value, "%d,%d", &o.x, &o.y) != 2) {
                return Usage();
            }
        } else if (name == "--rgb") {
            o.rgb = std::strtoul(value, nullptr, 16);
        } else if (name == "--tolerance") {
            o.tolerance = std::atoi(value);
        } else if (name == "--timeout") {
            o.timeoutMs = std::atoi(value);
        } else {
            return Usage();
        }
    }
    if (i >= argc || o.x < 0 || o.y < 0) {
        return Usage();
    }
    const std::string command = argv[i++];
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "vantrel-latency-probe: no X display\n");
        return 2;
    }
    double ms = -1;
    if (command == "start" && i < argc) {
        const Clock::time_point start = Clock::now();
        const pid_t child = fork();
        if (child == 0) {
            // Its own process group (ended as one), and none of the probe's output channels, so
            // whoever reads the figure need not wait for the program to end.
            setpgid(0, 0);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execvp(argv[i], argv + i);
            std::_Exit(127);
        }
        std::fprintf(stderr, "pid %d\n", static_cast<int>(child));
        ms = WaitForColour(display, o, start);
    } else if (command == "key" && i < argc) {
        const KeySym sym = XStringToKeysym(argv[i]);
        const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym);
        if (code == 0) {
            return Usage();
        }
        const Clock::time_point start = Clock::now();
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XFlush(display);
        ms = WaitForColour(display, o, start);
    } else if (command == "wait") {
        ms = WaitForColour(display, o, Clock::now());
    } else {
        return Usage();
    }
    XCloseDisplay(display);
    if (ms < 0) {
        std::fprintf(stderr, "vantrel-latency-probe: timed out\n");
        return 1;
    }
    std::printf("%.1f\n", ms);
    return 0;
}
