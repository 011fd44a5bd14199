#include "perception/page_geometry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <thread>

#include "perception/calibration.h"
#include "platform/fake/fake_platform.h"
#include "unit/perception/scratch_dir.h"

namespace kestrava::perception {
namespace {

namespace fs = std::filesystem;

TEST(DisplayScale, FromAppliedDpi) {
    struct Case {
        std::optional<std::uint32_t> dpi;
        float scale;
    };
    const Case cases[] = {{std::nullopt, 1.0f}, {96, 1.0f},   {100, 1.0f}, {120, 1.25f}, {144, 1.5f}, {168, 1.75f},
                          {192, 2.0f},          {216, 2.25f}, {240, 2.5f}, {0, 1.0f},    {288, 1.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi ? std::to_string(*c.dpi) : "absent");
        EXPECT_EQ(DisplayScaleFromDpi(c.dpi), c.scale);
    }
    platform::fake::FakeRegistry registry;
    EXPECT_EQ(ReadDisplayScale(registry), 1.0f);
    registry.WriteDword("AppliedDPI", 144);
    EXPECT_EQ(ReadDisplayScale(registry), 1.5f);
}

TEST(ScaleOffset, SinglePrecisionTruncatedTowardZero) {
    struct Case {
        int value;
        float scale;
        int expected;
    };
    const Case cases[] = {
        {101, 1.25f, 126},
        {7, 1.25f, 8},
        {-7, 1.25f, -8},
        {-3, 1.5f, -4},
        {3, 1.75f, 5},
        {-3, 1.75f, -5},
        {11, 2.25f, 24},
        {1, 2.5f, 2},
        {-1, 2.5f, -2},
        {0, 2.5f, 0},
        {4, 1.25f, 5},
        {349, 1.25f, 436},
        {-349, 1.5f, -523},
        // A product beyond the int range saturates instead of being undefined.
        {std::numeric_limits<int>::max(), 2.5f, std::numeric_limits<int>::max()},
        {std::numeric_limits<int>::min(), 2.5f, std::numeric_limits<int>::min()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " x " + std::to_string(c.scale));
        EXPECT_EQ(ScaleOffset(c.value, c.scale), c.expected);
    }
    // Single precision, not double: 16777217 is not a float, so the product is taken of 16777216.
    EXPECT_EQ(ScaleOffset(16777217, 1.0f), 16777216);
}

class GeometryFileTest : public ::testing::Test {
protected:
    void Write(const std::string& text) { std::ofstream(path_) << text; }

    testing::ScratchDir dir_;
    std::string path_ = dir_.PathOf("coordinatebaseline.ini");
};

// Keys spelled as the page's layout files spell them (bitcount_top with a t, _entery_27, …).
constexpr char kLayout[] =
    "[Position]\n"
    "lvwf_x=40\nlvwf_y=-3\n"
    "C_P2_LEFTPRICE_X=101\nC_P2_LEFTPRICE_H=7\n"
    "vk_ret_code_enterx_1=8\nvk_ret_code_entery_27=12\n"
    "bidcount_left=5\nbitcount_top=6\nbitcount_height=9\n"
    "tooltip4_x=100\nocr_systime_top=-7\n"
    "bidbutton_picPot_x=20\nbidbutton_picPot_y=24\nlastone_picPot_h=3\n"
    "cr_que=abc\nversion=9.1.123456789\n";

TEST_F(GeometryFileTest, ReadsAndScalesEveryKey) {
    Write(kLayout);
    const PageGeometry raw = ReadPageGeometry(path_);
    EXPECT_EQ(raw.lvwf_x, 40);
    EXPECT_EQ(raw.C_P2_LEFTPRICE_X, 101);
    EXPECT_EQ(raw.vk_ret_code_enter[26].y, 12);
    EXPECT_EQ(raw.bitcount_top, 6);
    EXPECT_EQ(raw.cr_que, "abc");
    EXPECT_EQ(raw.cr_chu, "0");
    EXPECT_EQ(raw.version, "9.1.12345");  // kept to nine characters

    const PageGeometry g = ScalePageGeometry(raw, 1.25f);
    struct Case {
        const char* key;
        int value;
    };
    const Case cases[] = {
        {"lvwf_x", 50},
        {"lvwf_y", -3},
        {"C_P2_LEFTPRICE_X", 126},
        {"C_P2_LEFTPRICE_H", 8},
        {"vk_ret_code_enterx_1", 10},
        {"vk_ret_code_entery_27", 15},
        {"bidcount_left", 6},
        {"bitcount_top", 7},
        {"bitcount_height", 11},
        {"tooltip4_x", 125},
        {"ocr_systime_top", -8},
        {"bidbutton_picPot_x", 25},
        {"bidbutton_picPot_y", 30},
        {"lastone_picPot_h", 3},
        {"chuarea_width", 0},
        {"vk_esc_y3", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const GeometryKey* key = nullptr;
        for (const GeometryKey& k : GeometryKeys())
            if (k.name == c.key) key = &k;
        ASSERT_NE(key, nullptr);
        PageGeometry copy = g;
        EXPECT_EQ(GeometryField(copy, *key), c.value);
    }
    EXPECT_EQ(g.bidbutton_picPot, (Point{25, 30}));
    EXPECT_EQ(g.cr_que, "abc");

    // Every key of the file format exactly once.
    std::set<std::string> names;
    for (const GeometryKey& k : GeometryKeys()) names.insert(k.name);
    EXPECT_EQ(names.size(), GeometryKeys().size());
    EXPECT_EQ(names.size(), 116u);
}

TEST_F(GeometryFileTest, MissingFileGivesDefaults) {
    const PageGeometry g = ScalePageGeometry(ReadPageGeometry(dir_.PathOf("none.ini")), 2.5f);
    EXPECT_EQ(g.lvwf_x, 0);
    EXPECT_EQ(g.C_P2_LEFTPRICE_W, 0);
    EXPECT_EQ(g.cr_que, "0");
    EXPECT_EQ(g.cr_chu, "0");
    EXPECT_EQ(g.version, "8.2");
    const PageGeometry initial = InitialPageGeometry(dir_.PathOf("none.ini"));
    EXPECT_EQ(initial.lvwf_x, 0);
}

TEST_F(GeometryFileTest, InitialGeometryHasTheUnscaledAnchorOnly) {
    Write(kLayout);
    const PageGeometry g = InitialPageGeometry(path_);
    EXPECT_EQ(g.lvwf_x, 40);
    EXPECT_EQ(g.lvwf_y, -3);
    EXPECT_EQ(g.C_P2_LEFTPRICE_X, 0);
}

TEST(GeometryPoints, AnchorAndViewOrigins) {
    PageGeometry g;
    g.lvwf_x = 300;
    g.lvwf_y = 40;
    g.C_P2_LEFTPRICE_X = 10;
    g.C_P2_LEFTPRICE_Y = 200;
    g.C_P2_LEFTPRICE_W = 90;
    g.C_P2_LEFTPRICE_H = 30;
    const platform::Rect view{1000, 100, 1900, 900};
    EXPECT_EQ(AnchoredPoint(g, view, 5, 6), (Point{1305, 146}));
    EXPECT_EQ(ViewPoint(view, 5, 6), (Point{1005, 106}));  // hint balloons ignore the anchor
    EXPECT_EQ(PriceRect(g), (platform::Rect{310, 240, 400, 270}));
    g.lvwf_x = std::numeric_limits<int>::max();
    EXPECT_EQ(AnchoredPoint(g, view, 5, 6).x, std::numeric_limits<int>::max());
    // The click primitives' points saturate the same way.
    g.lvwf_y = std::numeric_limits<int>::min();
    EXPECT_EQ(g.At(5, -6), (Point{std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}));
}

TEST(GeometryStore, ReadersSeeWholeRecords) {
    GeometryStore store;
    EXPECT_EQ(store.Get()->lvwf_x, 0);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!stop) {
            const auto g = store.Get();
            // Every writer below keeps these three fields equal.
            if (g->lvwf_x != g->tooltip4_y || g->lvwf_x != g->vk_ret_code_enter[26].x) ++torn;
        }
    });
    for (int i = 1; i <= 2000; ++i) {
        PageGeometry g;
        g.lvwf_x = g.tooltip4_y = g.vk_ret_code_enter[26].x = i;
        store.Publish(g);
    }
    std::thread other([&] {
        for (int i = 0; i < 500; ++i) store.Update([](PageGeometry& g) { g.ocr_systime_top -= 1; });
    });
    for (int i = 0; i < 500; ++i) store.Update([](PageGeometry& g) { g.ocr_systime_left += 1; });
    other.join();
    stop = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(store.Get()->lvwf_x, 2000);
    // Two writers updating different fields lose nothing.
    EXPECT_EQ(store.Get()->ocr_systime_left, 500);
    EXPECT_EQ(store.Get()->ocr_systime_top, -500);
}

}  // namespace
}  // namespace kestrava::perception
