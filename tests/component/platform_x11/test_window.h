// Windows made by the tests themselves, on a connection of their own, as another program's
// windows would be.
#pragma once

// gtest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kestrava::platform::x11::testing {

// Polls `done` until it holds or `timeoutMs` passes; generous timeouts, the machine may be busy.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The known pattern painted by the capture tests: every pixel distinct from its neighbours.
inline std::uint32_t PatternPixel(int x, int y) {
    const std::uint32_t r = static_cast<std::uint32_t>(x * 3 + y) & 0xFF;
    const std::uint32_t g = static_cast<std::uint32_t>(y * 5 + 17) & 0xFF;
    const std::uint32_t b = static_cast<std::uint32_t>(x ^ (y * 7)) & 0xFF;
    return (r << 16) | (g << 8) | b;
}

// A client connection of the test (a second program, as far as the X server knows).
class TestClient {
public:
    TestClient() : display(XOpenDisplay(nullptr)) {}
    ~TestClient() {
        if (display) XCloseDisplay(display);
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    Atom Intern(const char* name) { return XInternAtom(display, name, False); }

    // A window with a title (in _NET_WM_NAME unless `icccmOnly`, always in WM_NAME) and a class.
    Window Create(Window parent, const std::string& title, const std::string& cls, int w, int h,
                  bool icccmOnly = false) {
        Window win = XCreateSimpleWindow(display, parent, 0, 0, w, h, 0, 0, WhitePixel(display, DefaultScreen(display)));
        if (!title.empty()) {
            if (!icccmOnly) {
                XChangeProperty(display, win, Intern("_NET_WM_NAME"), Intern("UTF8_STRING"), 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
            }
            XStoreName(display, win, title.c_str());
        }
        std::string name = cls;
        XClassHint hint{name.data(), name.data()};
        XSetClassHint(display, win, &hint);
        XSelectInput(display, win, ExposureMask | StructureNotifyMask);
        XSync(display, False);
        return win;
    }

    // A property holding atoms or window ids.
    std::vector<unsigned long> ReadIds(Window w, const char* property, Atom type) {
        Atom actual = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> ids;
        if (XGetWindowProperty(display, w, Intern(property), 0, 64, False, type, &actual, &format, &count, &after,
                               &data) == Success &&
            data) {
            if (actual == type && format == 32) {
                const unsigned long* list = reinterpret_cast<const unsigned long*>(data);
                ids.assign(list, list + count);
            }
            XFree(data);
        }
        return ids;
    }

    // Maps a top-level window and waits until the window manager has framed it and (unless
    // children cover it all) it has been exposed, so that what is painted afterwards stays.
    bool MapAndWaitExposed(Window win, bool waitExposed = true) {
        XMapWindow(display, win);
        XFlush(display);
        bool reparented = false;
        bool exposed = !waitExposed;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(reparented && exposed)) {
            while (XPending(display)) {
                XEvent e;
                XNextEvent(display, &e);
                if (e.type == ReparentNotify && e.xreparent.window == win) {
                    reparented = e.xreparent.parent != DefaultRootWindow(display);
                }
                if (e.type == Expose && e.xexpose.window == win) exposed = true;
            }
            if (std::chrono::steady_clock::now() > until) return false;
            pollfd p{ConnectionNumber(display), POLLIN, 0};
            poll(&p, 1, 20);
        }
        return true;
    }

    // Paints PatternPixel(x - ox, y - oy) into the area (x, y, w, h) of `drawable`.
    void Paint(Drawable drawable, int x, int y, int w, int h, int ox = 0, int oy = 0) {
        const int s = DefaultScreen(display);
        XImage* img = XCreateImage(display, DefaultVisual(display, s), DefaultDepth(display, s), ZPixmap, 0, nullptr,
                                   w, h, 32, 0);
        img->data = static_cast<char*>(malloc(static_cast<std::size_t>(img->bytes_per_line) * h));
        for (int py = 0; py < h; ++py) {
            for (int px = 0; px < w; ++px) XPutPixel(img, px, py, PatternPixel(px + x - ox, py + y - oy));
        }
        GC gc = XCreateGC(display, drawable, 0, nullptr);
        XPutImage(display, drawable, gc, img, 0, 0, x, y, w, h);
        XFreeGC(display, gc);
        XDestroyImage(img);
        XSync(display, False);
    }

    Display* display;
};

}  // namespace kestrava::platform::x11::testing
