#include <gtest/gtest.h>

#include "perception/price_reader.h"

namespace kestrava::perception {
namespace {

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
        {"four digits", "8930\n\n", std::nullopt},
        {"three digits with spaces", "8 9 3\n\n", std::nullopt},
        {"six digits", "120000\n\n", 120000},
        {"a second line does not join the number", "89300\n77\n\n", 89300},
        {"leading line breaks are skipped", "\n\n89300\n", 89300},
        {"nothing", "", std::nullopt},
        {"line breaks only", "\n\n\n\n\n\n\n", std::nullopt},
        {"no digit at the start", "\n\n\nx12345\n", std::nullopt},
        {"far too many digits", "99999999999999999999\n", std::numeric_limits<int>::max()},
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
    EXPECT_EQ(reader.RecognizeText(b), "");
    EXPECT_EQ(reader.ReadPrice(b), std::nullopt);
}

}  // namespace
}  // namespace kestrava::perception
