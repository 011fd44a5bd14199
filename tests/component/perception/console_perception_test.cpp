// Screen perception inside the console against a real X server: a stand-in page window shows the
// green network icon and a price in a real font. Smart calibration from the console's button
// finds the icon; the price is read by the real text-recognition engine; a change of the tracked
// region moves the price by one step. Display scales 1.0, 1.25 and 1.5, with the page drawn (and
// the reference icon made) at each scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "component/perception/rendered_text.h"
#include "component/perception/x11_page_window.h"
#include "console/console.h"
#include "engine/engine.h"
#include "perception/image_files.h"
#include "perception_role/perception_role.h"
#include "platform/fake/fake_platform.h"
#include "platform/x11/x11_desktop.h"
#include "platform/x11/x11_screen.h"
#include "unit/console/console_rig.h"

namespace kestrava::perception {
namespace {

using console::testing::WriteIni;

// The page's status icon at scale 1.0: 20 x 16, a green field with white bars of rising height.
platform::Image IconAtScale(float scale) {
    const int w = ScaleOffset(20, scale);
    const int h = ScaleOffset(16, scale);
    platform::Image icon(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // Sampled from the 1.0 design, as a page drawn at a larger scale shows it.
            const int sx = static_cast<int>(x / scale);
            const int sy = static_cast<int>(y / scale);
            const bool bar = sx % 5 >= 2 && sy >= 14 - 3 * (sx / 5) - 2;
            std::uint8_t* p = icon.Pixel(x, y);
            p[0] = bar ? 0xFF : 0x30;
            p[1] = bar ? 0xFF : 0xB0;
            p[2] = bar ? 0xFF : 0x20;
        }
    return icon;
}

void Draw(platform::Image& page, const platform::Image& picture, int x, int y) {
    for (int r = 0; r < picture.height; ++r)
        std::copy_n(picture.Pixel(0, r), picture.width * 4, page.Pixel(x, y + r));
}

struct Scale {
    float scale;
    std::uint32_t appliedDpi;
    const char* iconFile;
    int wifidivmode;
    const char* label;
};
constexpr Scale kScales[] = {
    {1.0f, 96, "wifi_green.bmp", 0, "OK A"},
    {1.25f, 120, "wifi_green2.bmp", 1, "OK B"},
    {1.5f, 144, "wifi_green3.bmp", 0, "OK A"},
};
constexpr char kPrice[] = "91700";

class ConsolePerception : public ::testing::TestWithParam<Scale> {
protected:
    void SetUp() override {
        desktop_ = platform::x11::X11Desktop::Open();
        screen_ = platform::x11::X11Screen::Open();
        ASSERT_TRUE(desktop_ && screen_) << "no X display; run under scripts/xvfb-env";
        std::filesystem::create_directories("ScreenShot");
        const Scale& s = GetParam();
        WriteIni("bin/conf.ini", "Configure",
                 {{"wifidivmode", std::to_string(s.wifidivmode)}, {"swbidmode", "2"}, {"OCRfont", ""}});
        WriteIni("bin/coordinatebaseline.ini", "Position",
                 {{"lvwf_x", "7"},
                  {"lvwf_y", "7"},
                  {"C_P2_LEFTPRICE_X", "40"},
                  {"C_P2_LEFTPRICE_Y", "220"},
                  {"C_P2_LEFTPRICE_W", "200"},
                  {"C_P2_LEFTPRICE_H", "60"}});
        ASSERT_TRUE(SaveBitmapFile(IconAtScale(s.scale), std::string("ScreenShot/") + s.iconFile));
        fp_.registry.WriteDword("AppliedDPI", s.appliedDpi);

        role_ = std::make_shared<PerceptionRole>();
        engine::EngineOptions eo;
        LinkEngineOptions(eo, role_);
        engine_ = std::make_shared<engine::Engine>(std::move(eo));
        console::ConsoleHooks hooks;
        engine::Engine::Attach(engine_, hooks);
        role_->SetEngine(engine_);
        AttachPerception(role_, hooks);
        const platform::Platform p{fp_.clock,    fp_.clock,    *desktop_,    *screen_,
                                   fp_.keyboard, fp_.registry, fp_.programs, fp_.sound,
                                   fp_.notices,  fp_.systemTime, fp_.power,  fp_.singleInstance};
        console_ = std::make_unique<console::CKestravaDlg>(p, book_, console::LoginInfo{"12345678"}, std::move(hooks));
    }

    // The page view of 1000 x 900 as the page draws it at this scale, the tracked region filled
    // with `trackedShade`; the price figure left out when not `withFigure`.
    platform::Image PageView(std::uint8_t trackedShade, bool withFigure = true) {
        const float s = GetParam().scale;
        platform::fake::FakeScreen canvas(1000, 900);
        canvas.Fill(platform::Rect{0, 0, 1000, 900}, 0xF0, 0xF0, 0xF0);
        platform::Image page = canvas.Framebuffer();
        const int ax = ScaleOffset(100, s), ay = ScaleOffset(40, s);
        Draw(page, IconAtScale(s), ax, ay);
        testing::TextStyle style;
        style.font = "DejaVu-Sans-Bold";
        style.pointSize = ScaleOffset(22, s);
        style.width = ScaleOffset(200, s);
        style.height = ScaleOffset(60, s);
        const std::optional<platform::Image> figure = testing::RenderText(kPrice, style);
        EXPECT_TRUE(figure.has_value()) << "convert could not render";
        if (figure && withFigure) Draw(page, *figure, ax + ScaleOffset(40, s), ay + ScaleOffset(220, s));
        const platform::Rect tracked = TrackedRect(ax, ay, s);
        for (int y = tracked.top; y < tracked.bottom; ++y)
            for (int x = tracked.left; x < tracked.right; ++x) page.Pixel(x, y)[1] = trackedShade;
        return page;
    }

    console::testing::ScratchFolder folder_;
    platform::fake::FakePlatform fp_;
    log::LogBook book_{fp_.clock, "./Log"};
    std::unique_ptr<platform::x11::X11Desktop> desktop_;
    std::unique_ptr<platform::x11::X11Screen> screen_;
    std::shared_ptr<PerceptionRole> role_;
    std::shared_ptr<engine::Engine> engine_;
    std::unique_ptr<console::CKestravaDlg> console_;
};

TEST_P(ConsolePerception, CalibrateReadAndTrackThePrice) {
    const Scale& s = GetParam();
    console::CKestravaDlg& c = *console_;
    auto window = testing::X11PageWindow::Open(PageView(0xF0), 200, 60);
    ASSERT_NE(window, nullptr);

    c.hooks().readDisplayScale(c);
    EXPECT_EQ(c.state.displayScale.load(), s.scale);
    ASSERT_TRUE(c.hooks().initOcr(c));

    c.OnCommand(1160);
    EXPECT_EQ(c.controls.Text(1143), s.label);
    EXPECT_EQ(c.state.divmode.load(), s.wifidivmode);
    const auto g = role_->geometry()->Get();
    EXPECT_EQ((Point{g->lvwf_x, g->lvwf_y}), (Point{ScaleOffset(100, s.scale), ScaleOffset(40, s.scale)}));
    EXPECT_EQ(c.state.Geometry().lvwf_x, g->lvwf_x) << "the shell link has the calibrated geometry";
    EXPECT_EQ(g->C_P2_LEFTPRICE_W, ScaleOffset(200, s.scale));

    c.state.remainingSeconds = 100;
    role_->ReadLowestPrice(c);
    EXPECT_EQ(c.state.lowestPrice.load(), 91700);
    EXPECT_EQ(c.controls.Text(1106), "92000");

    // The last 55 seconds: the tracked region is compared tick by tick. A figure read is the
    // price whatever the region did; a tick without one counts a changed region as one step.
    c.state.remainingSeconds = 50;
    role_->ReadLowestPrice(c);
    EXPECT_EQ(c.state.lowestPrice.load(), 91700);
    const auto show = [&](std::uint8_t trackedShade, bool withFigure) {
        window.reset();
        window = testing::X11PageWindow::Open(PageView(trackedShade, withFigure), 200, 60);
        return window != nullptr;
    };
    ASSERT_TRUE(show(0x80, true));
    role_->ReadLowestPrice(c);
    EXPECT_EQ(c.state.lowestPrice.load(), 91700) << "the figure, not the region's change";
    ASSERT_TRUE(show(0x40, false));
    role_->ReadLowestPrice(c);
    EXPECT_EQ(c.state.lowestPrice.load(), 91800);
    role_->ReadLowestPrice(c);
    EXPECT_EQ(c.state.lowestPrice.load(), 91800);
}

// Another program's window lies over the page. Calibration from the button and the icon check at
// 115 seconds before the end raise the page and search it only once it is on top: they find the
// icon, not the cover (raising is asynchronous, so a capture at once would show the cover).
TEST_P(ConsolePerception, ACoveredPageIsSearchedOnlyOnceOnTop) {
    const Scale& s = GetParam();
    console::CKestravaDlg& c = *console_;
    auto window = testing::X11PageWindow::Open(PageView(0xF0), 200, 60);
    ASSERT_NE(window, nullptr);
    auto cover = testing::X11CoverWindow::Open(platform::Rect{150, 30, 1250, 1000});
    ASSERT_NE(cover, nullptr);
    c.hooks().readDisplayScale(c);

    c.OnCommand(1160);
    EXPECT_EQ(c.controls.Text(1143), s.label);
    const auto g = role_->geometry()->Get();
    EXPECT_EQ((Point{g->lvwf_x, g->lvwf_y}), (Point{ScaleOffset(100, s.scale), ScaleOffset(40, s.scale)}));

    cover->Raise();
    c.state.remainingSeconds = 115;
    role_->PageStateTick(c);
    EXPECT_EQ(role_->records.iconCheckState.load(), 1) << "the icon was seen";
    EXPECT_EQ(book_.Pending().find(kPageCoveredText), std::string::npos) << book_.Pending();
}

// The practice page's price figure (DejaVu Sans Mono Bold, 20 pixels, red on white, at the left of
// its 72 x 30 box) on a page whose content then moves 8 pixels left, as a scrolled page or a
// changed layout does, while the console's anchor stays where it was calibrated: its price region
// now cuts the first digit. The console refuses those readings with the reason in its log, keeps
// its last price, calibrates after ten of them, finds the page's icon at its new place and reads
// the page's new price.
class ShiftedPriceRegion : public ConsolePerception {
protected:
    // The page view with its content moved `dx` pixels, the figure showing `price`.
    static platform::Image PracticePage(int dx, const char* price) {
        platform::fake::FakeScreen canvas(1000, 900);
        canvas.Fill(platform::Rect{0, 0, 1000, 900}, 0xF0, 0xF0, 0xF0);
        platform::Image page = canvas.Framebuffer();
        Draw(page, IconAtScale(1.0f), 100 + dx, 40);
        const std::optional<platform::Image> figure = testing::RenderText(price, testing::PracticePriceStyle());
        EXPECT_TRUE(figure.has_value()) << "convert could not render";
        if (figure) Draw(page, *figure, 100 + dx + 81, 40 + 389);
        return page;
    }

    int Logged(const std::string& line) const {
        const std::vector<std::string> lines = console::testing::PendingLogMessages(book_);
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }

    // The practice page showing `price` at its own place, the console calibrated on it from the
    // button (null when the page window or the engines could not be had).
    std::unique_ptr<testing::X11PageWindow> CalibratedOnPracticePage(const char* price) {
        console::CKestravaDlg& c = *console_;
        WriteIni("bin/coordinatebaseline.ini", "Position",
                 {{"lvwf_x", "7"},
                  {"lvwf_y", "7"},
                  {"C_P2_LEFTPRICE_X", "81"},
                  {"C_P2_LEFTPRICE_Y", "389"},
                  {"C_P2_LEFTPRICE_W", "72"},
                  {"C_P2_LEFTPRICE_H", "30"}});
        auto window = testing::X11PageWindow::Open(PracticePage(0, price), 200, 60);
        if (!window) return nullptr;
        c.hooks().readDisplayScale(c);
        if (!c.hooks().initOcr(c)) return nullptr;
        c.OnCommand(1160);
        return window;
    }
};

TEST_P(ShiftedPriceRegion, RefusedKeptAndRecalibrated) {
    console::CKestravaDlg& c = *console_;
    auto window = CalibratedOnPracticePage("89300");
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(role_->geometry()->Get()->lvwf_x, 100);
    c.state.remainingSeconds = 100;
    role_->ReadLowestPrice(c);
    ASSERT_EQ(c.state.lowestPrice.load(), 89300);
    const int calibrationsBefore = Logged("鼠标点击_智能校正");

    window.reset();
    window = testing::X11PageWindow::Open(PracticePage(-8, "89400"), 200, 60);
    ASSERT_NE(window, nullptr);
    for (int tick = 0; tick < 9; ++tick) role_->ReadLowestPrice(c);
    EXPECT_EQ(c.state.lowestPrice.load(), 89300) << "the last good price stays";
    EXPECT_EQ(c.controls.Text(1106), "89600");
    EXPECT_EQ(Logged("screen price refused: ink on the figure's left edge (a digit is cut)"), 1);
    EXPECT_EQ(Logged("鼠标点击_智能校正"), calibrationsBefore);

    role_->ReadLowestPrice(c);  // the tenth refusal: the region is suspect
    EXPECT_EQ(Logged("price region suspect after 10 refused readings: calibrating"), 1);
    EXPECT_EQ(Logged("鼠标点击_智能校正"), calibrationsBefore + 1);
    EXPECT_EQ(role_->geometry()->Get()->lvwf_x, 92) << "the icon found at its new place";
    EXPECT_EQ(c.state.lowestPrice.load(), 89300);

    role_->ReadLowestPrice(c);
    EXPECT_EQ(c.state.lowestPrice.load(), 89400);
    EXPECT_EQ(Logged("screen price 89400 believed again after 10 refused readings"), 1);
}

// Another program's window comes over the page in the last minute, showing a price-like figure of
// its own right where the page's figure is. The scan reads neither that figure nor a change in the
// tracked region while the page is covered: it says so in the log once, keeps the last good price,
// counts no refusal (so nothing calibrates), and reads the page again once the window has gone.
class CoveredPage : public ShiftedPriceRegion {};

TEST_P(CoveredPage, NoPriceIsReadOffTheCoverAndReadingResumesWhenUncovered) {
    console::CKestravaDlg& c = *console_;
    auto window = CalibratedOnPracticePage("89300");
    ASSERT_NE(window, nullptr);
    c.state.remainingSeconds = 100;
    role_->ReadLowestPrice(c);
    ASSERT_EQ(c.state.lowestPrice.load(), 89300);

    // The cover's own figure lands on the page's figure, pixel for pixel.
    const platform::Rect view = *desktop_->WindowRect(FindPageView(*desktop_));
    const platform::Rect figure = PriceRect(*role_->geometry()->Get());
    const Point at{view.left + figure.left, view.top + figure.top};
    const std::optional<platform::Image> pageFigure =
        CaptureScreen(*screen_, platform::Rect{at.x, at.y, at.x + 72, at.y + 30});
    ASSERT_TRUE(pageFigure.has_value());
    auto cover = testing::X11CoverWindow::Open(platform::Rect{at.x - 60, at.y - 40, at.x + 240, at.y + 110});
    ASSERT_NE(cover, nullptr);
    const platform::Rect shown = cover->ScreenRect();
    platform::fake::FakeScreen canvas(shown.Width(), shown.Height());
    canvas.Fill(platform::Rect{0, 0, shown.Width(), shown.Height()}, 0xF0, 0xF0, 0xF0);
    platform::Image picture = canvas.Framebuffer();
    const std::optional<platform::Image> other = testing::RenderText("86400", testing::PracticePriceStyle());
    ASSERT_TRUE(other.has_value());
    Draw(picture, *other, at.x - shown.left, at.y - shown.top);
    cover->Show(picture);
    const auto onScreen = [&] { return CaptureScreen(*screen_, platform::Rect{at.x, at.y, at.x + 72, at.y + 30}); };
    ASSERT_NE(onScreen()->bgra, pageFigure->bgra) << "the cover shows its own figure there";

    const int calibrations = Logged("鼠标点击_智能校正");
    for (int tick = 0; tick < 12; ++tick) role_->ReadLowestPrice(c);  // more than the refusals that calibrate
    c.state.remainingSeconds = 50;  // the last 55 seconds: the tracked region is not compared either
    for (int tick = 0; tick < 3; ++tick) role_->ReadLowestPrice(c);
    EXPECT_EQ(c.state.lowestPrice.load(), 89300) << "the last good price stays";
    EXPECT_EQ(Logged(kScanCoveredText), 1);
    EXPECT_EQ(Logged("鼠标点击_智能校正"), calibrations);
    for (const std::string& line : console::testing::PendingLogMessages(book_)) {
        EXPECT_EQ(line.find("screen price refused"), std::string::npos) << line;
        EXPECT_EQ(line.find("最低价上涨为"), std::string::npos) << line;
    }

    cover.reset();
    window.reset();
    window = testing::X11PageWindow::Open(PracticePage(0, "89400"), 200, 60);
    ASSERT_NE(window, nullptr);
    c.state.remainingSeconds = 100;
    role_->ReadLowestPrice(c);
    EXPECT_EQ(Logged(kScanUncoveredText), 1);
    EXPECT_EQ(c.state.lowestPrice.load(), 89400);
}

INSTANTIATE_TEST_SUITE_P(PracticePage, CoveredPage, ::testing::Values(kScales[0]),
                         [](const auto&) { return std::string("x100"); });

INSTANTIATE_TEST_SUITE_P(PracticePage, ShiftedPriceRegion, ::testing::Values(kScales[0]),
                         [](const auto&) { return std::string("x100"); });

INSTANTIATE_TEST_SUITE_P(Scales, ConsolePerception, ::testing::ValuesIn(kScales),
                         [](const auto& info) { return "x" + std::to_string(static_cast<int>(info.param.scale * 100)); });

}  // namespace
}  // namespace kestrava::perception
