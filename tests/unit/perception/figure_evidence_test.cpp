#include <gtest/gtest.h>

#include "perception/figure_evidence.h"
#include "unit/perception/block_figure.h"

namespace kestrava::perception {
namespace {

using testing::BlockFigure;
using testing::BlockSymbols;

PixelBuffer Filled(int w, int h, std::uint8_t grey) {
    PixelBuffer b;
    b.width = w;
    b.height = h;
    b.bytes.assign(static_cast<std::size_t>(w) * h * 4, grey);
    return b;
}

// A figure painted over the rectangle `r` in black.
PixelBuffer WithInk(PixelBuffer b, platform::Rect r) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) std::fill_n(b.bytes.data() + (static_cast<std::size_t>(y) * b.width + x) * 4, 3, 0);
    return b;
}

TEST(InkRefusal, BlankAndCutFigures) {
    struct Case {
        const char* name;
        PixelBuffer figure;
        std::optional<std::string> refusal;
    };
    const Case cases[] = {
        {"empty", PixelBuffer{}, "empty figure"},
        {"all white", Filled(60, 20, 0xFF), "blank figure (contrast 0)"},
        {"all black", Filled(60, 20, 0x00), "blank figure (contrast 0)"},
        {"ink clear of the edges", WithInk(Filled(60, 20, 0xFF), {10, 5, 20, 15}), std::nullopt},
        {"ink on the left edge", WithInk(Filled(60, 20, 0xFF), {0, 5, 8, 15}), "ink on the figure's left edge (a digit is cut)"},
        {"ink on the right edge", WithInk(Filled(60, 20, 0xFF), {50, 5, 60, 15}), "ink on the figure's right edge (a digit is cut)"},
        {"ink on the top edge", WithInk(Filled(60, 20, 0xFF), {10, 0, 20, 15}), "ink on the figure's top edge (the digits are cut)"},
        {"ink on the bottom edge", WithInk(Filled(60, 20, 0xFF), {10, 5, 20, 20}), "ink on the figure's bottom edge (the digits are cut)"},
        {"a whole figure", BlockFigure("89300"), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(InkRefusal(MeasureInk(c.figure)), c.refusal);
    }
    // Faint ink: a difference below the least contrast a figure has is paper.
    PixelBuffer faint = Filled(60, 20, 0xFF);
    for (int x = 10; x < 20; ++x) std::fill_n(faint.bytes.data() + (10 * 60 + x) * 4, 3, 0xFF - kMinFigureContrast + 1);
    EXPECT_EQ(InkRefusal(MeasureInk(faint)), "blank figure (contrast " + std::to_string(kMinFigureContrast - 1) + ")");
}

// What an engine may report for the block figure 89300, right or garbled.
TEST(DigitBoxRefusal, EngineSymbolsAgainstTheInk) {
    const FigureInk ink = MeasureInk(BlockFigure("89300"));
    const auto with = [](std::vector<EngineSymbol> s, auto change) {
        change(s);
        return s;
    };
    struct Case {
        const char* name;
        std::string digits;
        std::vector<EngineSymbol> symbols;
        std::optional<std::string> refusal;
    };
    const Case cases[] = {
        {"read right", "89300", BlockSymbols("89300"), std::nullopt},
        {"a box missing", "89300", BlockSymbols("8930"), "4 digit boxes for 5 digits"},
        {"a digit left out, its ink unaccounted for", "8930", BlockSymbols("8930"), "66 ink pixels outside the digits"},
        {"no boxes", "89300", {}, "0 digit boxes for 5 digits"},
        {"boxes say other digits than the text", "89300", BlockSymbols("89800"), "digit boxes do not match the text"},
        {"a symbol that is not one digit", "89300", with(BlockSymbols("89300"), [](auto& s) { s[2].digit = 0; }),
         "digit boxes do not match the text"},
        {"one unsure digit", "89300", with(BlockSymbols("89300"), [](auto& s) { s[0].confidence = 60; }),
         "low confidence 60 for digit 1 ('8')"},
        {"an empty box", "89300", with(BlockSymbols("89300"), [](auto& s) { s[1].box.right = s[1].box.left; }),
         "empty digit box"},
        {"a short digit", "89300", with(BlockSymbols("89300"), [](auto& s) { s[3].box.bottom -= 5; }),
         "digit 4 is not the height of the others"},
        {"a digit out of line", "89300", with(BlockSymbols("89300"), [](auto& s) { s[4].box.top += 3, s[4].box.bottom += 3; }),
         "digit 5 is out of line"},
        {"uneven spacing", "89300", with(BlockSymbols("89300"), [](auto& s) { s[4].box.left += 5, s[4].box.right += 5; }),
         "uneven spacing between digits 4 and 5"},
        {"boxes flatter than digits", "89300", with(BlockSymbols("89300"), [](auto& s) {
             for (EngineSymbol& e : s) e.box.bottom = e.box.top + 5;
         }),
         "digits too flat for whole digits (half drawn or cut)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DigitBoxRefusal(ink, c.digits, c.symbols), c.refusal);
    }
}

}  // namespace
}  // namespace kestrava::perception
