#include "perception/capture.h"

#include <algorithm>
#include <cstring>

namespace kestrava::perception {

namespace {

// A grab larger than any display is a corrupt geometry value, not a request to honour.
constexpr int kMaxGrabSide = 16384;

std::optional<platform::Image> CaptureClipped(platform::Screen& screen, const platform::Rect& screenRect) {
    if (screenRect.Empty()) return std::nullopt;
    const platform::Rect onDisplay = platform::Intersect(screenRect, screen.Bounds());
    if (onDisplay.Empty()) return std::nullopt;
    platform::Image image;
    if (!screen.Capture(onDisplay, image) || image.Empty()) return std::nullopt;
    return image;
}

std::optional<platform::Rect> PageViewRect(platform::Desktop& desktop) {
    const platform::WindowId view = FindPageView(desktop);
    if (view == 0) return std::nullopt;
    return desktop.WindowRect(view);
}

}  // namespace

platform::WindowId FindPageWindow(platform::Desktop& desktop) { return desktop.FindWindowByTitle(kPageWindowTitle); }

platform::WindowId FindPageView(platform::Desktop& desktop) {
    const platform::WindowId page = FindPageWindow(desktop);
    if (page == 0) return 0;
    const platform::WindowId outer = desktop.FindChild(page, kPageOuterClass);
    if (outer == 0) return 0;
    return desktop.FindChild(outer, kPageViewClass);
}

bool RaisePage(platform::Desktop& desktop, platform::WindowId page) {
    if (page == 0 || !desktop.SetForeground(page)) return false;
    const platform::WindowId view = FindPageView(desktop);
    return view != 0 && desktop.WaitUntilUncovered(view, kRaiseWaitMs);
}

std::optional<platform::Image> CapturePage(platform::Desktop& desktop, platform::Screen& screen,
                                           const platform::Rect& callerRect) {
    if (callerRect.Empty()) return std::nullopt;
    const std::optional<platform::Rect> view = PageViewRect(desktop);
    if (!view) return std::nullopt;
    return CaptureClipped(screen, *view);
}

std::optional<platform::Image> CaptureRegion(platform::Desktop& desktop, platform::Screen& screen,
                                             const platform::Rect& pageRect) {
    if (pageRect.Empty()) return std::nullopt;
    const std::optional<platform::Rect> view = PageViewRect(desktop);
    if (!view) return std::nullopt;
    const platform::Rect onScreen{pageRect.left + view->left, pageRect.top + view->top, pageRect.right + view->left,
                                  pageRect.bottom + view->top};
    return CaptureClipped(screen, onScreen);
}

std::optional<platform::Image> CaptureScreen(platform::Screen& screen, const platform::Rect& screenRect) {
    return CaptureClipped(screen, screenRect);
}

PixelBuffer GrabPixels(platform::Screen& screen, const platform::Rect& windowRect, int x, int y, int width,
                       int height) {
    PixelBuffer buffer;
    if (width <= 0 || height <= 0 || width > kMaxGrabSide || height > kMaxGrabSide) return buffer;
    buffer.width = width;
    buffer.height = height;
    buffer.bytes.assign(static_cast<std::size_t>(width) * height * 4, 0);

    // 64-bit arithmetic: a geometry value near the int limits must not wrap the rectangle.
    const long long left = static_cast<long long>(windowRect.left) + x;
    const long long top = static_cast<long long>(windowRect.top) + y;
    const auto clamp = [](long long v) { return static_cast<int>(std::clamp<long long>(v, -(1LL << 30), 1LL << 30)); };
    const platform::Rect wanted{clamp(left), clamp(top), clamp(left + width), clamp(top + height)};
    platform::Image image;
    platform::Rect got;
    if (!screen.Capture(wanted, image, &got) || image.Empty()) return buffer;
    const int rows = std::min(image.height, got.Height());
    const int cols = std::min(image.width, got.Width());
    for (int row = 0; row < rows; ++row) {
        const std::size_t dstX = static_cast<std::size_t>(got.left - wanted.left);
        const std::size_t dstY = static_cast<std::size_t>(got.top - wanted.top) + row;
        std::memcpy(buffer.bytes.data() + (dstY * width + dstX) * 4, image.Pixel(0, row),
                    static_cast<std::size_t>(cols) * 4);
    }
    return buffer;
}

bool BitmapsEqual(const platform::Image* a, const platform::Image* b) {
    if (a == b) return a != nullptr;
    if (a == nullptr || b == nullptr) return false;
    if (a->width != b->width || a->height != b->height) return false;
    if (a->bgra.size() != b->bgra.size()) return false;
    // The fourth byte of a pixel is padding whose value depends on where the picture came from
    // (the display, or a file read back); only the colours decide.
    const std::uint8_t* pa = a->bgra.data();
    const std::uint8_t* pb = b->bgra.data();
    for (std::size_t i = 0; i < a->bgra.size(); i += 4) {
        if (pa[i] != pb[i] || pa[i + 1] != pb[i + 1] || pa[i + 2] != pb[i + 2]) return false;
    }
    return true;
}

}  // namespace kestrava::perception
