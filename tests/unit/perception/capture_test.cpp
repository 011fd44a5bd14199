#include "perception/capture.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace kestrava::perception {
namespace {

using platform::Image;
using platform::Rect;

// A 1920x1080 desktop whose page view sits at `view` on the screen; every screen pixel encodes
// its own position (blue = x mod 256, green = y mod 256, red = x / 256 + 16 * (y / 256)).
class CaptureTest : public ::testing::Test {
protected:
    void AddPage(Rect view) {
        const auto page = desktop_.AddWindow(kPageWindowTitle, "SorrelpaneWindow",
                                             Rect{view.left - 5, view.top - 30, view.right + 5, view.bottom + 5});
        const auto outer = desktop_.AddWindow("", kPageOuterClass, view, page);
        desktop_.AddWindow("", kPageViewClass, view, outer);
    }
    void SetUp() override {
        Image& fb = screen_.Framebuffer();
        for (int y = 0; y < fb.height; ++y)
            for (int x = 0; x < fb.width; ++x) {
                std::uint8_t* p = fb.Pixel(x, y);
                p[0] = static_cast<std::uint8_t>(x % 256);
                p[1] = static_cast<std::uint8_t>(y % 256);
                p[2] = static_cast<std::uint8_t>(x / 256 + 16 * (y / 256));
                p[3] = 0xFF;
            }
    }
    static bool IsScreenPixel(const std::uint8_t* p, int x, int y) {
        return p[0] == x % 256 && p[1] == y % 256 && p[2] == x / 256 + 16 * (y / 256);
    }

    platform::fake::FakeDesktop desktop_;
    platform::fake::FakeScreen screen_;
};

TEST_F(CaptureTest, CapturesAreClippedToTheDisplay) {
    AddPage(Rect{100, 200, 900, 800});
    struct Case {
        const char* name;
        std::optional<Image> got;
        bool some;
        int width, height, firstX, firstY;  // size, and the screen pixel at the capture's (0, 0)
    };
    const Case cases[] = {
        {"page", CapturePage(desktop_, screen_, Rect{0, 0, 800, 600}), true, 800, 600, 100, 200},
        {"page, empty caller rectangle", CapturePage(desktop_, screen_, Rect{}), false, 0, 0, 0, 0},
        {"region shifted by the view origin", CaptureRegion(desktop_, screen_, Rect{10, 20, 60, 40}), true, 50, 20, 110,
         220},
        {"region reaching past the display", CaptureRegion(desktop_, screen_, Rect{1800, 200, 1900, 300}), true, 20,
         100, 1900, 400},
        {"region wholly off the display", CaptureRegion(desktop_, screen_, Rect{2000, 0, 2100, 10}), false, 0, 0, 0, 0},
        {"empty region", CaptureRegion(desktop_, screen_, Rect{10, 10, 10, 50}), false, 0, 0, 0, 0},
        {"screen, left and top clipped", CaptureScreen(screen_, Rect{-10, -20, 30, 40}), true, 30, 40, 0, 0},
        {"whole screen", CaptureScreen(screen_, Rect{0, 0, 1920, 1080}), true, 1920, 1080, 0, 0},
        {"screen, empty", CaptureScreen(screen_, Rect{5, 5, 5, 5}), false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.got.has_value(), c.some);
        if (!c.some) continue;
        EXPECT_EQ(c.got->width, c.width);
        EXPECT_EQ(c.got->height, c.height);
        EXPECT_TRUE(IsScreenPixel(c.got->Pixel(0, 0), c.firstX, c.firstY));
        EXPECT_TRUE(
            IsScreenPixel(c.got->Pixel(c.width - 1, c.height - 1), c.firstX + c.width - 1, c.firstY + c.height - 1));
    }
}

TEST_F(CaptureTest, NoPageViewMeansNoCapture) {
    EXPECT_FALSE(CapturePage(desktop_, screen_, Rect{0, 0, 10, 10}).has_value());
    EXPECT_FALSE(CaptureRegion(desktop_, screen_, Rect{0, 0, 10, 10}).has_value());
    // A page window whose inner child is missing (the shell is still starting).
    const auto page = desktop_.AddWindow(kPageWindowTitle, "X", Rect{0, 0, 500, 500});
    desktop_.AddWindow("", kPageOuterClass, Rect{0, 0, 500, 500}, page);
    EXPECT_EQ(FindPageView(desktop_), 0u);
    EXPECT_FALSE(CaptureRegion(desktop_, screen_, Rect{0, 0, 10, 10}).has_value());
}

TEST_F(CaptureTest, GrabPixelsIsTopDownWithTheAskedSize) {
    const Rect window{1880, 1000, 2000, 1100};
    const PixelBuffer b = GrabPixels(screen_, window, 10, 50, 60, 40);  // (1890,1050) … partly off-screen
    ASSERT_EQ(b.width, 60);
    ASSERT_EQ(b.height, 40);
    EXPECT_EQ(b.bitsPerPixel, 32);
    ASSERT_EQ(b.bytes.size(), 60u * 40u * 4u);
    const auto at = [&](int x, int y) { return b.bytes.data() + (static_cast<std::size_t>(y) * 60 + x) * 4; };
    EXPECT_TRUE(IsScreenPixel(at(0, 0), 1890, 1050));
    EXPECT_TRUE(IsScreenPixel(at(29, 29), 1919, 1079));
    const std::uint8_t black[3] = {0, 0, 0};
    EXPECT_TRUE(std::equal(black, black + 3, at(30, 0)));  // right of the display
    EXPECT_TRUE(std::equal(black, black + 3, at(0, 30)));  // below it

    EXPECT_EQ(GrabPixels(screen_, window, 0, 0, 0, 10).bytes.size(), 0u);
    EXPECT_EQ(GrabPixels(screen_, window, 0, 0, -5, 10).width, 0);
    EXPECT_EQ(GrabPixels(screen_, Rect{5000, 5000, 5100, 5100}, 0, 0, 4, 4).bytes, std::vector<std::uint8_t>(64, 0));
}

TEST(BitmapsEqual, Cases) {
    Image a(4, 3), sameAsA(4, 3), paddingDiffers(4, 3), colourDiffers(4, 3), wider(5, 3), taller(4, 4);
    for (Image* img : {&a, &sameAsA, &paddingDiffers, &colourDiffers, &wider, &taller})
        for (auto& byte : img->bgra) byte = 0x42;
    paddingDiffers.Pixel(3, 2)[3] = 0x00;
    colourDiffers.Pixel(3, 2)[2] = 0x43;
    struct Case {
        const char* name;
        const Image* left;
        const Image* right;
        bool equal;
    };
    const Case cases[] = {
        {"same picture twice", &a, &a, true},
        {"identical pixels", &a, &sameAsA, true},
        {"only the unused byte differs", &a, &paddingDiffers, true},
        {"one colour byte differs", &a, &colourDiffers, false},
        {"different width", &a, &wider, false},
        {"different height", &a, &taller, false},
        {"missing left", nullptr, &a, false},
        {"missing right", &a, nullptr, false},
        {"both missing", nullptr, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BitmapsEqual(c.left, c.right), c.equal);
    }
}

}  // namespace
}  // namespace kestrava::perception
