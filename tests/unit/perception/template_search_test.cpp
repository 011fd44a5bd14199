#include "perception/template_search.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace kestrava::perception {
namespace {

// A 24-bit picture with a chosen stride; padding bytes are filled with `pad` so that a search
// that reads them (a wrong stride) sees bytes it must not match.
struct Picture {
    int width;
    int height;
    int stride;
    std::vector<std::uint8_t> bytes;

    Picture(int w, int h, int padBytes = 0, std::uint8_t fill = 0, std::uint8_t pad = 0xEE)
        : width(w), height(h), stride(w * 3 + padBytes), bytes(static_cast<std::size_t>(stride) * h, pad) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) Set(x, y, fill, fill, fill);
    }
    void Set(int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
        std::uint8_t* p = bytes.data() + static_cast<std::size_t>(y) * stride + x * 3;
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    Bgr24View View() const { return Bgr24View{width, height, stride, bytes.data()}; }
};

// A 2x2 icon with four different colours, so a shifted or mirrored reading cannot match.
Picture Icon(int padBytes = 0) {
    Picture t(2, 2, padBytes);
    t.Set(0, 0, 10, 200, 30);
    t.Set(1, 0, 40, 50, 250);
    t.Set(0, 1, 200, 100, 90);
    t.Set(1, 1, 120, 130, 140);
    return t;
}

// Copies `t` into `img` at (x, y), adding `delta` to one channel of one pixel.
void Place(Picture& img, const Picture& t, int x, int y, int delta = 0) {
    for (int r = 0; r < t.height; ++r)
        for (int c = 0; c < t.width; ++c) {
            const std::uint8_t* p = t.bytes.data() + static_cast<std::size_t>(r) * t.stride + c * 3;
            img.Set(x + c, y + r, p[0], p[1], p[2]);
        }
    if (delta != 0) {
        std::uint8_t* p = img.bytes.data() + static_cast<std::size_t>(y + 1) * img.stride + (x + 1) * 3 + 1;
        *p = static_cast<std::uint8_t>(*p + delta);
    }
}

TEST(FindTemplate, SixByFourCases) {
    struct Case {
        const char* name;
        std::vector<Point> places;  // where the icon is drawn, in drawing order
        int delta;                  // added to one channel of the first placement
        int imagePad;
        int templPad;
        std::optional<Point> expected;
    };
    const Case cases[] = {
        {"at the origin", {{0, 0}}, 0, 0, 0, Point{0, 0}},
        {"at the last position", {{4, 2}}, 0, 0, 0, Point{4, 2}},
        {"absent", {}, 0, 0, 0, std::nullopt},
        {"channel off by 40 still matches", {{3, 1}}, 40, 0, 0, Point{3, 1}},
        {"channel off by 41 fails", {{3, 1}}, 41, 0, 0, std::nullopt},
        {"channel off by -40 still matches", {{3, 1}}, -40, 0, 0, Point{3, 1}},
        {"channel off by -41 fails", {{3, 1}}, -41, 0, 0, std::nullopt},
        {"upper occurrence wins over an earlier column", {{0, 2}, {4, 0}}, 0, 0, 0, Point{4, 0}},
        {"left occurrence wins on the same row", {{3, 1}, {0, 1}}, 0, 0, 0, Point{0, 1}},
        {"padded image rows", {{4, 2}}, 0, 5, 0, Point{4, 2}},
        {"padded template rows", {{2, 1}}, 0, 0, 2, Point{2, 1}},
        {"both padded", {{1, 2}}, 0, 3, 2, Point{1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture image(6, 4, c.imagePad, 0);
        const Picture templ = Icon(c.templPad);
        for (std::size_t i = 0; i < c.places.size(); ++i)
            Place(image, templ, c.places[i].x, c.places[i].y, i == 0 ? c.delta : 0);
        EXPECT_EQ(FindTemplate(image.View(), templ.View()), c.expected);
    }
}

// A template mostly of one colour (an icon on the page's background) with a single coloured pixel:
// every pixel must be compared, the plain ones included, whatever order the search takes them in.
TEST(FindTemplate, EveryPixelCounts) {
    struct Case {
        const char* name;
        std::optional<Point> spoiled;  // image pixel set 41 away from white
        std::optional<Point> expected;
    };
    const Case cases[] = {
        {"clean", std::nullopt, Point{2, 2}},
        {"corner of the match spoiled", Point{2, 2}, std::nullopt},
        {"plain middle pixel spoiled", Point{3, 2}, std::nullopt},
        {"pixel outside the match spoiled", Point{1, 2}, Point{2, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture image(6, 4, 0, 0xFF);
        image.Set(4, 3, 30, 200, 40);
        if (c.spoiled) image.Set(c.spoiled->x, c.spoiled->y, 0xFF, 0xFF - 41, 0xFF);
        Picture templ(3, 2, 0, 0xFF);
        templ.Set(2, 1, 30, 200, 40);
        EXPECT_EQ(FindTemplate(image.View(), templ.View()), c.expected);
    }
}

TEST(FindTemplate, TemplateThatCannotFitNeverMatches) {
    const Picture image(6, 4, 0, 0x80);
    struct Case {
        const char* name;
        int w;
        int h;
    };
    const Case cases[] = {{"wider", 7, 1}, {"taller", 1, 5}, {"zero width", 0, 2}, {"zero height", 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Same colour as the image: it would match anywhere it fits.
        const Picture templ(c.w, c.h, 0, 0x80);
        EXPECT_EQ(FindTemplate(image.View(), templ.View()), std::nullopt);
    }
    // The whole image as the template: exactly one position.
    EXPECT_EQ(FindTemplate(image.View(), image.View()), (Point{0, 0}));
}

TEST(FindTemplate, CaptureLockedAs24FindsTheIcon) {
    platform::Image capture(6, 4);
    for (auto& b : capture.bgra) b = 0xFF;
    const Picture templ = Icon();
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) {
            const std::uint8_t* t = templ.bytes.data() + r * templ.stride + c * 3;
            std::uint8_t* p = capture.Pixel(3 + c, 2 + r);
            p[0] = t[0];
            p[1] = t[1];
            p[2] = t[2];
            p[3] = 0x00;  // the unused byte must not matter
        }
    const Bgr24Image locked = LockAs24(capture);
    EXPECT_EQ(locked.stride % 4, 0);
    EXPECT_EQ(FindTemplate(locked.View(), templ.View()), (Point{3, 2}));
}

}  // namespace
}  // namespace kestrava::perception
