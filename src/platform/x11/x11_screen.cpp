#include "platform/x11/x11_screen.h"

#include "platform/x11/x11_connection.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <bit>
#include <cstring>

namespace kestrava::platform::x11 {

// One segment the size of the whole screen, attached once; each capture views it through an
// XImage of the requested size.
struct X11Screen::Shm {
    XShmSegmentInfo info{};
    Display* display = nullptr;

    ~Shm() {
        XShmDetach(display, &info);
        XSync(display, False);
        shmdt(info.shmaddr);
    }
};

namespace {

int MaskShift(unsigned long mask) { return mask ? std::countr_zero(mask) : 0; }

// Copies an image of 32-bit little-endian xRGB rows straight through; anything else pixel by
// pixel through the visual's masks.
void CopyToBgra(XImage* img, Image& out) {
    const int w = out.width;
    const int h = out.height;
    if (img->bits_per_pixel == 32 && img->byte_order == LSBFirst && img->red_mask == 0xFF0000 &&
        img->green_mask == 0xFF00 && img->blue_mask == 0xFF) {
        for (int y = 0; y < h; ++y) {
            std::memcpy(out.Pixel(0, y), img->data + static_cast<std::size_t>(y) * img->bytes_per_line,
                        static_cast<std::size_t>(w) * 4);
        }
        return;
    }
    const int rs = MaskShift(img->red_mask);
    const int gs = MaskShift(img->green_mask);
    const int bs = MaskShift(img->blue_mask);
    const unsigned long rm = img->red_mask >> rs;
    const unsigned long gm = img->green_mask >> gs;
    const unsigned long bm = img->blue_mask >> bs;
    auto scale = [](unsigned long v, unsigned long max) {
        return static_cast<std::uint8_t>(max ? v * 255 / max : 0);
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned long p = XGetPixel(img, x, y);
            std::uint8_t* o = out.Pixel(x, y);
            o[0] = scale((p >> bs) & bm, bm);
            o[1] = scale((p >> gs) & gm, gm);
            o[2] = scale((p >> rs) & rm, rm);
            o[3] = 0xFF;
        }
    }
}

}  // namespace

std::unique_ptr<X11Screen> X11Screen::Open(const char* displayName) {
    Display* d = OpenDisplay(displayName);
    if (!d) return nullptr;
    return std::unique_ptr<X11Screen>(new X11Screen(d));
}

X11Screen::X11Screen(_XDisplay* display) : display_(display) {
    const int s = DefaultScreen(display_);
    bounds_ = Rect{0, 0, DisplayWidth(display_, s), DisplayHeight(display_, s)};

    if (!XShmQueryExtension(display_)) return;
    auto shm = std::make_unique<Shm>();
    const std::size_t bytes = static_cast<std::size_t>(bounds_.Width()) * bounds_.Height() * 4;
    shm->info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shm->info.shmid < 0) return;
    shm->info.shmaddr = static_cast<char*>(shmat(shm->info.shmid, nullptr, 0));
    if (shm->info.shmaddr == reinterpret_cast<char*>(-1)) {
        shmctl(shm->info.shmid, IPC_RMID, nullptr);
        return;
    }
    shm->info.readOnly = False;
    const bool attached = XShmAttach(display_, &shm->info);
    XSync(display_, False);
    // Marked for removal now so that no segment outlives the process, however it ends.
    shmctl(shm->info.shmid, IPC_RMID, nullptr);
    if (!attached) {
        shmdt(shm->info.shmaddr);
        return;
    }
    shm->display = display_;
    shm_ = std::move(shm);
    // A server on another machine accepts the attach but cannot use the segment; one pixel tells.
    Image probe;
    if (!CaptureShared(Rect{0, 0, 1, 1}, probe)) shm_.reset();
}

bool X11Screen::CaptureShared(const Rect& c, Image& out) {
    const int s = DefaultScreen(display_);
    XImage* img = XShmCreateImage(display_, DefaultVisual(display_, s), DefaultDepth(display_, s), ZPixmap,
                                  shm_->info.shmaddr, &shm_->info, c.Width(), c.Height());
    if (!img) return false;
    // The reply says whether it worked; no error handler needed.
    const bool ok = XShmGetImage(display_, RootWindow(display_, s), img, c.left, c.top, AllPlanes);
    if (ok) {
        if (out.width != c.Width() || out.height != c.Height()) out = Image(c.Width(), c.Height());
        CopyToBgra(img, out);
    }
    img->data = nullptr;  // the segment is ours, not the image's
    XDestroyImage(img);
    return ok;
}

bool X11Screen::CapturePlain(const Rect& c, Image& out) {
    const int s = DefaultScreen(display_);
    XImage* img = XGetImage(display_, RootWindow(display_, s), c.left, c.top, static_cast<unsigned>(c.Width()),
                            static_cast<unsigned>(c.Height()), AllPlanes, ZPixmap);
    if (!img) return false;
    if (out.width != c.Width() || out.height != c.Height()) out = Image(c.Width(), c.Height());
    CopyToBgra(img, out);
    XDestroyImage(img);
    return true;
}

X11Screen::~X11Screen() {
    shm_.reset();
    XCloseDisplay(display_);
}

Rect X11Screen::Bounds() { return bounds_; }

bool X11Screen::Capture(const Rect& r, Image& out, Rect* clipped) {
    return Capture(r, out, clipped, Method::Automatic);
}

bool X11Screen::Capture(const Rect& r, Image& out, Rect* clipped, Method method) {
    const Rect c = Intersect(r, bounds_);
    if (clipped) *clipped = c;
    if (c.Empty()) return false;
    if (method == Method::Automatic) {
        method = static_cast<long>(c.Width()) * c.Height() >= kSharedMinPixels ? Method::Shared : Method::Plain;
    }

    std::lock_guard lock(mutex_);
    if (method == Method::Shared && shm_ && CaptureShared(c, out)) return true;
    return CapturePlain(c, out);
}

}  // namespace kestrava::platform::x11
