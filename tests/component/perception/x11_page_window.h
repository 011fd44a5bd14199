// A stand-in for the page shell on a real X server: a top-level window titled like the page
// window, with the two nested children of the page's classes; the inner one shows a picture.
// The picture is the inner window's background, so the server repaints it by itself.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "perception/capture.h"
#include "platform/platform.h"

namespace kestrava::perception::testing {

// `picture` as a pixmap for `window`'s background; 0 when the server cannot take it. 32-bit
// blue-green-red-unused pixels are the server's own layout for depth 24 on a little-endian
// TrueColor visual.
inline Pixmap PixmapOf(Display* d, Window window, const platform::Image& picture) {
    const int screen = DefaultScreen(d);
    const auto w = static_cast<unsigned>(picture.width), h = static_cast<unsigned>(picture.height);
    XImage* image = XCreateImage(d, DefaultVisual(d, screen), DefaultDepth(d, screen), ZPixmap, 0,
                                 const_cast<char*>(reinterpret_cast<const char*>(picture.bgra.data())), w, h, 32,
                                 picture.width * 4);
    if (image == nullptr) return 0;
    const Pixmap pixmap = XCreatePixmap(d, window, w, h, DefaultDepth(d, screen));
    GC gc = XCreateGC(d, pixmap, 0, nullptr);
    XPutImage(d, pixmap, gc, image, 0, 0, 0, 0, w, h);
    XFreeGC(d, gc);
    image->data = nullptr;  // owned by `picture`
    XDestroyImage(image);
    return pixmap;
}

class X11PageWindow {
public:
    // `view` is the picture of the whole page view; the top-level window is placed at (x, y).
    static std::unique_ptr<X11PageWindow> Open(const platform::Image& view, int x, int y) {
        Display* d = XOpenDisplay(nullptr);
        if (d == nullptr) return nullptr;
        std::unique_ptr<X11PageWindow> w(new X11PageWindow(d));
        if (!w->Build(view, x, y)) return nullptr;
        return w;
    }
    ~X11PageWindow() {
        if (pixmap_) XFreePixmap(display_, pixmap_);
        if (top_) XDestroyWindow(display_, top_);
        XCloseDisplay(display_);
    }
    X11PageWindow(const X11PageWindow&) = delete;
    X11PageWindow& operator=(const X11PageWindow&) = delete;

private:
    explicit X11PageWindow(Display* d) : display_(d) {}

    void Name(Window w, const char* title, const char* cls) {
        XStoreName(display_, w, title);
        XChangeProperty(display_, w, XInternAtom(display_, "_NET_WM_NAME", False),
                        XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title), static_cast<int>(std::strlen(title)));
        XClassHint hint;
        hint.res_name = const_cast<char*>(cls);
        hint.res_class = const_cast<char*>(cls);
        XSetClassHint(display_, w, &hint);
    }

    bool Build(const platform::Image& view, int x, int y) {
        const int screen = DefaultScreen(display_);
        if (DefaultDepth(display_, screen) < 24) return false;
        const Window root = RootWindow(display_, screen);
        const unsigned long white = WhitePixel(display_, screen);
        const auto w = static_cast<unsigned>(view.width), h = static_cast<unsigned>(view.height);
        top_ = XCreateSimpleWindow(display_, root, x, y, w, h, 0, 0, white);
        const Window outer = XCreateSimpleWindow(display_, top_, 0, 0, w, h, 0, 0, white);
        const Window inner = XCreateSimpleWindow(display_, outer, 0, 0, w, h, 0, 0, white);
        Name(top_, kPageWindowTitle, "Sorrelpane");
        Name(outer, "", kPageOuterClass);
        Name(inner, "", kPageViewClass);

        pixmap_ = PixmapOf(display_, inner, view);
        if (pixmap_ == 0) return false;
        XSetWindowBackgroundPixmap(display_, inner, pixmap_);

        XSelectInput(display_, inner, ExposureMask);
        XMapWindow(display_, inner);
        XMapWindow(display_, outer);
        XMapWindow(display_, top_);
        XEvent e;
        do {
            XWindowEvent(display_, inner, ExposureMask, &e);
        } while (e.type != Expose);
        // The window manager may move the frame after the first expose; let it settle.
        XSync(display_, False);
        usleep(200 * 1000);
        XSync(display_, False);
        return true;
    }

    Display* display_;
    Window top_ = 0;
    Pixmap pixmap_ = 0;
};

// An ordinary top-level window of one colour, as another program's window that lies over the
// page. Mapped on top of everything when opened; Raise puts it on top again.
class X11CoverWindow {
public:
    static std::unique_ptr<X11CoverWindow> Open(const platform::Rect& r) {
        Display* d = XOpenDisplay(nullptr);
        if (d == nullptr) return nullptr;
        std::unique_ptr<X11CoverWindow> w(new X11CoverWindow(d));
        const int screen = DefaultScreen(d);
        w->window_ = XCreateSimpleWindow(d, RootWindow(d, screen), r.left, r.top, static_cast<unsigned>(r.Width()),
                                         static_cast<unsigned>(r.Height()), 0, 0, BlackPixel(d, screen));
        XStoreName(d, w->window_, "cover");
        // Where it was asked to be: a window manager otherwise places a new window by itself.
        XSizeHints hints{};
        hints.flags = USPosition | PPosition;
        hints.x = r.left;
        hints.y = r.top;
        XSetWMNormalHints(d, w->window_, &hints);
        XSelectInput(d, w->window_, ExposureMask);
        XMapWindow(d, w->window_);
        XEvent e;
        do {
            XWindowEvent(d, w->window_, ExposureMask, &e);
        } while (e.type != Expose);
        w->Settle();
        return w;
    }
    ~X11CoverWindow() {
        XDestroyWindow(display_, window_);
        if (pixmap_) XFreePixmap(display_, pixmap_);
        XCloseDisplay(display_);
    }
    X11CoverWindow(const X11CoverWindow&) = delete;
    X11CoverWindow& operator=(const X11CoverWindow&) = delete;

    void Raise() {
        XRaiseWindow(display_, window_);
        Settle();
    }

    // Where the window's top-left pixel is on the screen (the window manager may have moved it).
    platform::Rect ScreenRect() {
        XWindowAttributes a;
        XGetWindowAttributes(display_, window_, &a);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display_, window_, a.root, 0, 0, &x, &y, &child);
        return platform::Rect{x, y, x + a.width, y + a.height};
    }

    // Shows `picture` (the window's size) instead of the one colour, as another program's window
    // showing text of its own.
    void Show(const platform::Image& picture) {
        if (pixmap_) XFreePixmap(display_, pixmap_);
        pixmap_ = PixmapOf(display_, window_, picture);
        if (pixmap_ == 0) return;
        XSetWindowBackgroundPixmap(display_, window_, pixmap_);
        XClearWindow(display_, window_);
        Settle();
    }

private:
    explicit X11CoverWindow(Display* d) : display_(d) {}
    void Settle() {
        XSync(display_, False);
        usleep(300 * 1000);  // placed by the window manager
        XSync(display_, False);
    }

    Display* display_;
    Window window_ = 0;
    Pixmap pixmap_ = 0;
};

}  // namespace kestrava::perception::testing
