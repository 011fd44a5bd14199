#include <gtest/gtest.h>

#include "perception/price_reader.h"

namespace kestrava::perception {
namespace {

// Only the digits of one line count: line breaks never make up for missing digits.
TEST(ParseScreenPrice, EngineTexts) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<int> price;
    };
    const Case cases[] = {
        {"digits separated by spaces, two line breaks", "8 9 3 0 0\n\n", 89300},
        {"one line break (newer engines)", "89300\n", 89300},
        {"no line break", "89300", 89300},
        {"leading line breaks are skipped", "\n\n89300\n", 89300},
        {"carriage returns", "89300\r\n", 89300},
        {"six digits", "119900\n", 119900},
        {"four digits", "8930\n\n", std::nullopt},
        {"three digits with spaces", "8 9 3\n\n", std::nullopt},
        {"three digits made long by line breaks", "\n\n900\n", std::nullopt},
        {"a second line before the price", "00\n89300\n", std::nullopt},
        {"a second line after the price", "89300\n77\n\n", std::nullopt},
        {"seven digits", "1893000\n", std::nullopt},
        {"a leading zero: the first digit is out of the region", "00500\n", std::nullopt},
        {"a page with no price yet", "00000\n", std::nullopt},
        {"far too many digits", "99999999999999999999\n", std::nullopt},
        {"nothing", "", std::nullopt},
        {"line breaks only", "\n\n\n\n\n\n\n", std::nullopt},
        {"a letter among the digits", "893O0\n", std::nullopt},
        {"no digit at the start", "\n\n\nx12345\n", std::nullopt},
        {"punctuation", "89,300\n", std::nullopt},
        {"a tab inside", "893\t00\n", std::nullopt},
        {"full-width digits", "\uFF18\uFF19300\n", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseScreenPrice(c.text), c.price);
    }
}

TEST(IsAcceptableScreenPrice, MultiplesOf100Below120000) {
    struct Case {
        int price;
        bool ok;
    };
    const Case cases[] = {{89300, true},  {89350, false},  {120000, false}, {0, true},
                          {119900, true}, {119999, false}, {-100, false},   {100, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.price);
        EXPECT_EQ(IsAcceptableScreenPrice(c.price), c.ok);
    }
}

TEST(PriceReader, UninitialisedReaderReadsNothing) {
    PriceReader reader;
    EXPECT_FALSE(reader.Ready());
    PixelBuffer b;
    b.width = 2;
    b.height = 2;
    b.bytes.assign(16, 0xFF);
    const FigureReading r = reader.ReadFigure(b);
    EXPECT_EQ(r.price, std::nullopt);
    EXPECT_EQ(r.refusal, "no text-recognition engine");
}

}  // namespace
}  // namespace kestrava::perception
