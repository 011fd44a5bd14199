#include <gtest/gtest.h>

#include "perception/glyph_cache.h"
#include "unit/perception/block_figure.h"

namespace kestrava::perception {
namespace {

using testing::BlockFigure;
using testing::kH;
using testing::kLeft;
using testing::kPitch;
using testing::kTop;
using testing::kW;

PixelBuffer Figure(const std::string& digits) { return BlockFigure(digits); }

std::vector<EngineSymbol> Symbols(const std::string&, const std::string& read) { return testing::BlockSymbols(read); }

std::string Digits(const std::optional<std::vector<EngineSymbol>>& symbols) {
    std::string out;
    if (symbols)
        for (const EngineSymbol& s : *symbols) out.push_back(s.digit);
    return out;
}

TEST(GlyphCache, ReadsOnlyFiguresMadeOfLearnedGlyphs) {
    GlyphCache cache;
    EXPECT_EQ(cache.Read(MeasureInk(Figure("89300"))), std::nullopt) << "nothing learned";
    cache.Learn(MeasureInk(Figure("89300")), Symbols("89300", "89300"));
    cache.Learn(MeasureInk(Figure("89400")), Symbols("89400", "89400"));
    EXPECT_EQ(Digits(cache.Read(MeasureInk(Figure("98430")))), "98430");
    EXPECT_EQ(cache.Read(MeasureInk(Figure("89500"))), std::nullopt) << "5 was never read";

    const std::optional<std::vector<EngineSymbol>> read = cache.Read(MeasureInk(Figure("89300")));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ((*read)[1].box, (platform::Rect{kLeft + kPitch, kTop, kLeft + kPitch + kW, kTop + kH}));
}

TEST(GlyphCache, LearnsNothingDoubtful) {
    GlyphCache cache;
    // Four symbols for five glyph runs, or boxes that are not the runs: no pairing, no learning.
    cache.Learn(MeasureInk(Figure("89300")), Symbols("8930", "8930"));
    std::vector<EngineSymbol> shifted = Symbols("89300", "89300");
    for (EngineSymbol& s : shifted) s.box.left += kPitch, s.box.right += kPitch;
    cache.Learn(MeasureInk(Figure("89300")), shifted);
    EXPECT_EQ(cache.Size(), 0u);

    // A glyph once read as 3 and now as 8: everything learned is dropped.
    cache.Learn(MeasureInk(Figure("89300")), Symbols("89300", "89300"));
    EXPECT_EQ(cache.Size(), 4u);
    cache.Learn(MeasureInk(Figure("89300")), Symbols("89300", "89800"));
    EXPECT_EQ(cache.Size(), 0u);
}

}  // namespace
}  // namespace kestrava::perception
