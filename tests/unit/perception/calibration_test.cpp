#include "perception/calibration.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "perception/image_files.h"
#include "platform/fake/fake_platform.h"
#include "unit/perception/scratch_dir.h"

namespace kestrava::perception {
namespace {

namespace fs = std::filesystem;
using platform::Image;

// A 4x3 icon; `tint` makes the red icon differ from the green ones.
Image Icon(std::uint8_t tint) {
    Image icon(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            std::uint8_t* p = icon.Pixel(x, y);
            p[0] = static_cast<std::uint8_t>(30 * x + 5);
            p[1] = static_cast<std::uint8_t>(60 * y + tint);
            p[2] = tint;
        }
    return icon;
}
const Image kGreen = Icon(200);
const Image kGreen15 = Icon(120);  // the icon as drawn at display scale 1.5
const Image kRed = Icon(10);

void Draw(Image& page, const Image& icon, int x, int y) {
    for (int r = 0; r < icon.height; ++r) std::copy_n(icon.Pixel(0, r), icon.width * 4, page.Pixel(x, y + r));
}

Image BlankPage() {
    Image page(200, 100);
    std::fill(page.bgra.begin(), page.bgra.end(), 0xF0);
    return page;
}

class CalibrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_.Path() / "ScreenShot");
        files_.geometry = dir_.PathOf("coordinatebaseline.ini");
        files_.conf = dir_.PathOf("conf.ini");
        files_.pictureDir = dir_.PathOf("ScreenShot") + "/";
        std::ofstream(files_.geometry) << "[Position]\nlvwf_x=40\nlvwf_y=-3\nC_P2_LEFTPRICE_X=101\n";
        ASSERT_TRUE(SaveBitmapFile(kGreen, files_.pictureDir + "wifi_green.bmp"));
        ASSERT_TRUE(SaveBitmapFile(kGreen15, files_.pictureDir + "wifi_green3.bmp"));
        ASSERT_TRUE(SaveBitmapFile(kRed, files_.pictureDir + "wifi_red.bmp"));
        SetConf(0);
    }
    void SetConf(int wifidivmode) {
        std::ofstream(files_.conf) << "[Configure]\nsystime_screentime=1\nswbidmode=2\nwifidivmode=" << wifidivmode
                                   << "\n";
    }

    testing::ScratchDir dir_;
    CalibrationFiles files_;
};

TEST_F(CalibrationTest, AnchorAndActionMode) {
    struct Case {
        const char* name;
        float scale;
        int wifidivmode;
        std::vector<std::pair<const Image*, Point>> drawn;
        bool capture;
        std::optional<Point> anchor;  // none: the scaled file anchor
        std::optional<int> divmode;
        const char* label;
    };
    const Case cases[] = {
        {"green, coordinate mode", 1.0f, 0, {{&kGreen, {150, 70}}}, true, Point{150, 70}, 0, "OK A"},
        {"green, element mode", 1.0f, 1, {{&kGreen, {150, 70}}}, true, Point{150, 70}, 1, "OK B"},
        {"green, other variant keeps the mode",
         1.0f,
         2,
         {{&kGreen, {150, 70}}},
         true,
         Point{150, 70},
         std::nullopt,
         ""},
        {"at the capture's origin", 1.0f, 0, {{&kGreen, {0, 0}}}, true, Point{0, 0}, 0, "OK A"},
        {"red when green is absent", 1.0f, 0, {{&kRed, {20, 30}}}, true, Point{20, 30}, 0, "OK A"},
        {"green wins over an earlier red",
         1.0f,
         0,
         {{&kRed, {1, 1}}, {&kGreen, {180, 90}}},
         true,
         Point{180, 90},
         0,
         "OK A"},
        {"the scale picks its picture",
         1.5f,
         0,
         {{&kGreen, {10, 10}}, {&kGreen15, {100, 50}}},
         true,
         Point{100, 50},
         0,
         "OK A"},
        {"not found", 1.0f, 0, {}, true, std::nullopt, 1, "OK B"},
        {"no page", 1.0f, 0, {}, false, std::nullopt, 1, "OK B"},
        {"picture for the scale missing", 2.0f, 0, {{&kGreen, {150, 70}}}, true, std::nullopt, 1, "OK B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetConf(c.wifidivmode);
        Image page = BlankPage();
        for (const auto& [icon, at] : c.drawn) Draw(page, *icon, at.x, at.y);
        const CalibrationResult r =
            CalibrateGeometry(c.capture ? std::optional<Image>(page) : std::nullopt, c.scale, files_);
        const Point fileAnchor{ScaleOffset(40, c.scale), ScaleOffset(-3, c.scale)};
        EXPECT_EQ(r.iconAt, c.anchor);
        EXPECT_EQ((Point{r.geometry.lvwf_x, r.geometry.lvwf_y}), c.anchor.value_or(fileAnchor));
        EXPECT_EQ(r.geometry.C_P2_LEFTPRICE_X, ScaleOffset(101, c.scale));
        EXPECT_EQ(r.divmode, c.divmode);
        EXPECT_EQ(r.modeLabel, c.label);
        EXPECT_EQ(r.wifidivmode, c.wifidivmode);
        EXPECT_EQ(r.systime_screentime, 1);
        EXPECT_EQ(r.swbidmode, 2);
    }
}

TEST_F(CalibrationTest, CalibratingTwiceEqualsOnce) {
    Image page = BlankPage();
    Draw(page, kGreen, 33, 44);
    const CalibrationResult once = CalibrateGeometry(page, 1.25f, files_);
    const CalibrationResult twice = CalibrateGeometry(page, 1.25f, files_);
    for (const GeometryKey& key : GeometryKeys()) {
        SCOPED_TRACE(key.name);
        PageGeometry a = once.geometry, b = twice.geometry;
        EXPECT_EQ(GeometryField(a, key), GeometryField(b, key));
    }
    EXPECT_EQ(twice.geometry.C_P2_LEFTPRICE_X, 126);
}

TEST_F(CalibrationTest, SmartCalibrateOnThePage) {
    platform::fake::FakeDesktop desktop;
    platform::fake::FakeScreen screen;
    GeometryStore store;
    std::vector<std::string> lines;
    CalibrationHost host{desktop, screen, store, [&](std::string_view l) { lines.emplace_back(l); }, {}};

    // No page: the scaled file anchor, element mode, nothing posted.
    CalibrationResult r = SmartCalibrate(host, 1.25f, files_);
    EXPECT_FALSE(r.iconAt.has_value());
    EXPECT_EQ(r.divmode, kElementMode);
    EXPECT_EQ(store.Get()->lvwf_x, 50);
    EXPECT_TRUE(desktop.Posted().empty());
    EXPECT_EQ(lines, (std::vector<std::string>{"鼠标点击_智能校正", "xishu 1.250000"}));

    // The page view at (300, 120) with the icon at view point (150, 70).
    const platform::Rect view{300, 120, 1100, 720};
    const auto page = desktop.AddWindow(kPageWindowTitle, "Sorrelpane", platform::Rect{290, 90, 1110, 730});
    const auto outer = desktop.AddWindow("", kPageOuterClass, view, page);
    desktop.AddWindow("", kPageViewClass, view, outer);
    screen.Fill(view, 0xF0, 0xF0, 0xF0);
    ASSERT_TRUE(SaveBitmapFile(kGreen, files_.pictureDir + "wifi_green2.bmp"));
    screen.Blit(kGreen, view.left + 150, view.top + 70);
    lines.clear();
    r = SmartCalibrate(host, 1.25f, files_);
    EXPECT_EQ(r.iconAt, (Point{150, 70}));
    EXPECT_EQ(r.divmode, kCoordinateMode);
    EXPECT_EQ(store.Get()->lvwf_x, 150);
    EXPECT_EQ(store.Get()->C_P2_LEFTPRICE_X, 126);
    EXPECT_EQ(desktop.Foreground(), page);
    const auto posted = desktop.PostedTo(page);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message.msg, 0x4AAu);
    EXPECT_EQ(lines, (std::vector<std::string>{"鼠标点击_智能校正", "xishu 1.250000"}));

    // A page that stays covered after being raised is not searched: what lies over it could be
    // taken for the page. The log says why; the action mode falls back as without a page.
    desktop.SetCovered(desktop.FindChild(outer, kPageViewClass), true);
    lines.clear();
    r = SmartCalibrate(host, 1.25f, files_);
    EXPECT_FALSE(r.iconAt.has_value());
    EXPECT_EQ(r.divmode, kElementMode);
    EXPECT_EQ(store.Get()->lvwf_x, 50);
    EXPECT_EQ(lines, (std::vector<std::string>{"鼠标点击_智能校正", kPageCoveredText, "xishu 1.250000"}));
}

TEST(GreenTemplateName, ByScale) {
    struct Case {
        float scale;
        const char* name;
    };
    const Case cases[] = {{1.0f, "wifi_green.bmp"},  {1.25f, "wifi_green2.bmp"}, {1.5f, "wifi_green3.bmp"},
                          {2.0f, "wifi_green4.bmp"}, {1.75f, "wifi_green5.bmp"}, {2.25f, "wifi_green6.bmp"},
                          {2.5f, "wifi_green7.bmp"}, {3.0f, "wifi_green.bmp"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        EXPECT_EQ(GreenTemplateName(c.scale), c.name);
    }
}

}  // namespace
}  // namespace kestrava::perception
