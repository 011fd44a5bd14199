#include <gtest/gtest.h>

#include "perception/glyph_cache.h"

namespace kestrava::perception {
namespace {

// Made-up glyphs, 6 x 12 black blocks on white, digit d with a white bar at row d + 1, one every
// 9 pixels from x = 4 on a 60 x 20 figure.
constexpr int kPitch = 9, kLeft = 4, kTop = 4, kW = 6, kH = 12;

PixelBuffer Figure(const std::string& digits) {
    PixelBuffer b;
    b.width = 60;
    b.height = 20;
    b.bytes.assign(60 * 20 * 4, 0xFF);
    for (std::size_t i = 0; i < digits.size(); ++i)
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                if (y == digits[i] - '0' + 1) continue;
                std::uint8_t* p = b.bytes.data() + ((kTop + y) * 60 + kLeft + static_cast<int>(i) * kPitch + x) * 4;
                p[0] = p[1] = p[2] = 0;
            }
    return b;
}

std::vector<EngineSymbol> Symbols(const std::string& digits, const std::string& read) {
    std::vector<EngineSymbol> out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const int left = kLeft + static_cast<int>(i) * kPitch;
        out.push_back(EngineSymbol{read[i], platform::Rect{left, kTop, left + kW, kTop + kH}, 99.0f});
    }
    return out;
}

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
