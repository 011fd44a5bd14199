// Capture against a real server: the pixels another client painted, through both the plain and
// the shared-memory path, and rectangles that reach beyond the display.

#include "platform/x11/x11_desktop.h"
#include "platform/x11/x11_screen.h"
#include "test_window.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kestrava::platform::x11 {
namespace {

using testing::PatternPixel;
using testing::TestClient;

// Counts the pixels of `img` (whose top-left lies at `origin` of the pattern) that differ from
// the pattern, reporting the first.
int Mismatches(const Image& img, int ox, int oy) {
    int bad = 0;
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const std::uint32_t want = PatternPixel(x + ox, y + oy);
            const std::uint8_t* p = img.Pixel(x, y);
            const std::uint32_t got = (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
            if (got != want && bad++ == 0) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", painted " << want;
            }
        }
    }
    return bad;
}

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        screen = X11Screen::Open();
        ASSERT_NE(screen, nullptr) << "no X display; run under scripts/xvfb-env";
        ASSERT_NE(client.display, nullptr);
    }

    std::unique_ptr<X11Screen> screen;
    TestClient client;
};

TEST_F(ScreenTest, CapturesExactlyWhatAWindowPainted) {
    ASSERT_TRUE(screen->SharedMemoryAvailable()) << "the local server should offer MIT-SHM";
    auto desktop = X11Desktop::Open();
    ASSERT_NE(desktop, nullptr);
    constexpr int kW = 300;
    constexpr int kH = 200;
    const Window w = client.Create(DefaultRootWindow(client.display), "capture target", "CaptureTarget", kW, kH);
    ASSERT_TRUE(client.MapAndWaitExposed(w));
    client.Paint(w, 0, 0, kW, kH);
    const std::optional<Rect> where = desktop->WindowRect(w);
    ASSERT_TRUE(where.has_value());

    struct Case {
        const char* name;
        X11Screen::Method method;
    };
    const Case cases[] = {{"plain", X11Screen::Method::Plain},
                          {"shared memory", X11Screen::Method::Shared},
                          {"automatic", X11Screen::Method::Automatic}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image img;
        Rect clipped;
        ASSERT_TRUE(screen->Capture(*where, img, &clipped, c.method));
        EXPECT_EQ(clipped, *where);
        ASSERT_EQ(img.width, kW);
        ASSERT_EQ(img.height, kH);
        ASSERT_EQ(img.bgra.size(), std::size_t{kW} * kH * 4);
        EXPECT_EQ(Mismatches(img, 0, 0), 0);

        // An inner rectangle at an odd offset: rows must start at the right pixel.
        const Rect inner{where->left + 37, where->top + 11, where->left + 37 + 101, where->top + 11 + 53};
        ASSERT_TRUE(screen->Capture(inner, img, nullptr, c.method));
        ASSERT_EQ(img.width, 101);
        ASSERT_EQ(img.height, 53);
        EXPECT_EQ(Mismatches(img, 37, 11), 0);
    }

    // The whole screen (the shared-memory path by size) holds the window at its place.
    Image full;
    ASSERT_TRUE(screen->Capture(screen->Bounds(), full));
    ASSERT_EQ(full.width, screen->Bounds().Width());
    Image part(kW, kH);
    for (int y = 0; y < kH; ++y) {
        std::memcpy(part.Pixel(0, y), full.Pixel(where->left, where->top + y), std::size_t{kW} * 4);
    }
    EXPECT_EQ(Mismatches(part, 0, 0), 0);

    XDestroyWindow(client.display, w);
    XSync(client.display, False);
}

TEST_F(ScreenTest, ClipsRectanglesToTheDisplay) {
    const Rect b = screen->Bounds();
    ASSERT_FALSE(b.Empty());
    // Known pixels in two corners of the root window, where no window of the tests lies.
    const Window root = DefaultRootWindow(client.display);
    client.Paint(root, 0, 0, 40, 40);
    client.Paint(root, b.right - 40, b.bottom - 40, 40, 40);

    struct Case {
        const char* name;
        Rect asked;
        Rect expected;
    };
    const Case cases[] = {
        {"top-left overhang", {-15, -7, 25, 30}, {0, 0, 25, 30}},
        {"bottom-right overhang", {b.right - 30, b.bottom - 20, b.right + 50, b.bottom + 5},
         {b.right - 30, b.bottom - 20, b.right, b.bottom}},
        {"larger than the display", {-10, -10, b.right + 10, b.bottom + 10}, b},
    };
    for (const Case& c : cases) {
        for (auto method : {X11Screen::Method::Plain, X11Screen::Method::Shared}) {
            SCOPED_TRACE(std::string(c.name) + (method == X11Screen::Method::Plain ? " plain" : " shared"));
            Image img;
            Rect clipped;
            ASSERT_TRUE(screen->Capture(c.asked, img, &clipped, method));
            EXPECT_EQ(clipped, c.expected);
            ASSERT_EQ(img.width, c.expected.Width());
            ASSERT_EQ(img.height, c.expected.Height());
            if (c.expected.Width() <= 40) {
                // Pattern coordinates are screen coordinates in both corners.
                EXPECT_EQ(Mismatches(img, c.expected.left, c.expected.top), 0);
            }
        }
    }

    Image img(3, 3);
    Rect clipped{1, 1, 2, 2};
    EXPECT_FALSE(screen->Capture(Rect{b.right, 0, b.right + 50, 50}, img, &clipped));
    EXPECT_TRUE(clipped.Empty());
    EXPECT_FALSE(screen->Capture(Rect{-60, -60, -10, -10}, img));
    EXPECT_FALSE(screen->Capture(Rect{10, 10, 10, 50}, img));  // no width
}

}  // namespace
}  // namespace kestrava::platform::x11
