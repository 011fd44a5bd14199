// The real text-recognition library reading prices rendered in real fonts: from a framebuffer,
// and from a real window on the X server (a stand-in for the page shell), grabbed the way the
// page's price figure is grabbed.
#include <gtest/gtest.h>

#include <string>

#include "component/perception/rendered_text.h"
#include "component/perception/x11_page_window.h"
#include "perception/price_reader.h"
#include "platform/fake/fake_platform.h"
#include "platform/x11/x11_desktop.h"
#include "platform/x11/x11_screen.h"

namespace kestrava::perception {
namespace {

using testing::RenderText;
using testing::TextStyle;

struct Sample {
    const char* price;
    const char* font;
    const char* ink;
    const char* paper;
};
constexpr Sample kSamples[] = {
    {"89300", "DejaVu-Sans", "black", "white"},
    {"91700", "DejaVu-Sans-Bold", "#d00000", "#fff8f0"},
    {"86400", "Nimbus-Sans-Regular", "#333333", "white"},
};
constexpr float kScales[] = {1.0f, 1.25f, 1.5f};

// The figure at display scale 1.0 is 200x60 with 22-point digits.
std::optional<platform::Image> Figure(const Sample& s, float scale) {
    TextStyle style;
    style.font = s.font;
    style.ink = s.ink;
    style.paper = s.paper;
    style.pointSize = ScaleOffset(22, scale);
    style.width = ScaleOffset(200, scale);
    style.height = ScaleOffset(60, scale);
    return RenderText(s.price, style);
}

// The anchor and the price offset at this scale; the rectangle is the figure's size.
PageGeometry GeometryFor(const platform::Image& figure, float scale) {
    PageGeometry g;
    g.lvwf_x = ScaleOffset(100, scale);
    g.lvwf_y = ScaleOffset(40, scale);
    g.C_P2_LEFTPRICE_X = ScaleOffset(40, scale);
    g.C_P2_LEFTPRICE_Y = ScaleOffset(220, scale);
    g.C_P2_LEFTPRICE_W = figure.width;
    g.C_P2_LEFTPRICE_H = figure.height;
    return g;
}

// A light grey page view of 800x600 with the figure where the geometry says.
platform::Image PageView(const platform::Image& figure, const PageGeometry& g) {
    platform::fake::FakeScreen canvas(800, 600);
    canvas.Fill(platform::Rect{0, 0, 800, 600}, 0xF0, 0xF0, 0xF0);
    canvas.Blit(figure, g.lvwf_x + g.C_P2_LEFTPRICE_X, g.lvwf_y + g.C_P2_LEFTPRICE_Y);
    return canvas.Framebuffer();
}

class PriceReadingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        reader_ = new PriceReader;
        status_ = reader_->Init("");
    }
    static void TearDownTestSuite() {
        delete reader_;
        reader_ = nullptr;
    }
    static PriceReader* reader_;
    static TextEngineStatus status_;
};
PriceReader* PriceReadingTest::reader_ = nullptr;
TextEngineStatus PriceReadingTest::status_;

TEST_F(PriceReadingTest, FiveDigitPricesFromAFramebuffer) {
    ASSERT_TRUE(status_.ok) << status_.error;
    for (const Sample& s : kSamples)
        for (float scale : kScales) {
            SCOPED_TRACE(std::string(s.price) + " " + s.font + " x" + std::to_string(scale));
            const std::optional<platform::Image> figure = Figure(s, scale);
            ASSERT_TRUE(figure.has_value()) << "convert could not render";
            const PageGeometry g = GeometryFor(*figure, scale);

            platform::fake::FakeDesktop desktop;
            platform::fake::FakeScreen screen;
            const platform::Rect view{300, 120, 1100, 720};
            const auto page = desktop.AddWindow(kPageWindowTitle, "Sorrelpane", platform::Rect{290, 90, 1110, 730});
            const auto outer = desktop.AddWindow("", kPageOuterClass, view, page);
            desktop.AddWindow("", kPageViewClass, view, outer);
            screen.Blit(PageView(*figure, g), view.left, view.top);

            const std::optional<PixelBuffer> grabbed = GrabPriceFigure(desktop, screen, g);
            ASSERT_TRUE(grabbed.has_value());
            const FigureReading r = reader_->ReadFigure(*grabbed);
            EXPECT_EQ(r.price, std::atoi(s.price)) << r.refusal << "; engine text: \"" << r.text << "\"";
        }
}

TEST_F(PriceReadingTest, FiveDigitPricesFromAnXWindow) {
    ASSERT_TRUE(status_.ok) << status_.error;
    auto desktop = platform::x11::X11Desktop::Open();
    auto screen = platform::x11::X11Screen::Open();
    ASSERT_TRUE(desktop && screen) << "no X display; run under scripts/xvfb-env";
    const Sample& s = kSamples[1];
    for (float scale : kScales) {
        SCOPED_TRACE(std::string(s.price) + " x" + std::to_string(scale));
        const std::optional<platform::Image> figure = Figure(s, scale);
        ASSERT_TRUE(figure.has_value()) << "convert could not render";
        const PageGeometry g = GeometryFor(*figure, scale);
        const auto window = testing::X11PageWindow::Open(PageView(*figure, g), 200, 150);
        ASSERT_NE(window, nullptr);

        // The region capture sees exactly the pixels the page painted.
        const std::optional<platform::Image> region = CaptureRegion(*desktop, *screen, PriceRect(g));
        ASSERT_TRUE(region.has_value());
        EXPECT_TRUE(BitmapsEqual(&*region, &*figure));

        const std::optional<PixelBuffer> grabbed = GrabPriceFigure(*desktop, *screen, g);
        ASSERT_TRUE(grabbed.has_value());
        const FigureReading r = reader_->ReadFigure(*grabbed);
        EXPECT_EQ(r.price, std::atoi(s.price)) << r.refusal << "; engine text: \"" << r.text << "\"";
    }
}

TEST_F(PriceReadingTest, BlankFigureGivesNoPrice) {
    ASSERT_TRUE(status_.ok) << status_.error;
    PixelBuffer blank;
    blank.width = 200;
    blank.height = 60;
    blank.bytes.assign(200 * 60 * 4, 0xFF);
    EXPECT_EQ(reader_->ReadPrice(blank), std::nullopt);
}

// The practice page's figure: DejaVu Sans Mono Bold, 20 pixels, red, at the left of its 72 x 30
// box. Once the engine has read 89300 and 91700 and both were believed, the same figure again and
// a new price made of glyphs from both at their places (81300) are read from the learned glyphs,
// and right. A reading nobody believed teaches nothing.
TEST_F(PriceReadingTest, LearnedGlyphsReadRepeatedAndNewPrices) {
    ASSERT_TRUE(status_.ok) << status_.error;
    PriceReader reader;
    ASSERT_TRUE(reader.Init("").ok);
    const auto figure = [](const char* price) {
        const std::optional<platform::Image> picture = RenderText(price, testing::PracticePriceStyle());
        PixelBuffer b;
        if (!picture) return b;
        b.width = picture->width;
        b.height = picture->height;
        b.bytes = picture->bgra;
        return b;
    };
    struct Step {
        const char* price;
        bool fromGlyphs;
        bool believed;
    };
    const Step steps[] = {{"89300", false, false}, {"89300", false, true}, {"89300", true, true},
                          {"91700", false, true},  {"81300", true, true},  {"91700", true, true}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.price);
        const PixelBuffer b = figure(step.price);
        ASSERT_GT(b.width, 0) << "convert could not render";
        const FigureReading r = reader.ReadFigure(b);
        EXPECT_EQ(r.price, std::atoi(step.price)) << r.refusal;
        EXPECT_EQ(r.fromGlyphs, step.fromGlyphs);
        if (step.believed) reader.Learn(r);
    }
    reader.ForgetGlyphs();
    EXPECT_FALSE(reader.ReadFigure(figure("89300")).fromGlyphs);
}

TEST(PriceReaderInit, UnknownLanguageIsReportedNotThrown) {
    PriceReader reader;
    const TextEngineStatus status = reader.Init("no_such_trained_data");
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.error.find("no_such_trained_data"), std::string::npos);
    EXPECT_FALSE(reader.Ready());
    // Initialised once: asking again does not retry with another language.
    EXPECT_FALSE(reader.Init("").ok);
}

}  // namespace
}  // namespace kestrava::perception
