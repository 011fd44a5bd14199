#include "perception/page_time.h"

#include <gtest/gtest.h>

namespace kestrava::perception {
namespace {

TEST(DecodePageTime, Codes) {
    struct Case {
        std::int64_t code;
        bool simulation;
        std::optional<PageTime> expected;
    };
    const Case cases[] = {
        {1129591234, false, PageTime{11, 29, 59, 1234}},
        {1129591234, true, PageTime{11, 29, 59, 1234}},
        {1100000000, false, PageTime{11, 0, 0, 0}},
        {1200005959, false, PageTime{12, 0, 0, 5959}},
        {1200005960, false, std::nullopt},
        {1099595959, false, std::nullopt},
        {103015, false, PageTime{10, 30, 15, std::nullopt}},
        {80000, false, PageTime{8, 0, 0, std::nullopt}},
        {79959, false, std::nullopt},
        {105959, false, PageTime{10, 59, 59, std::nullopt}},
        {112959, false, std::nullopt},
        {112959, true, PageTime{11, 29, 59, std::nullopt}},
        {110000, true, PageTime{11, 0, 0, std::nullopt}},
        {120000, true, PageTime{12, 0, 0, std::nullopt}},
        {120001, true, std::nullopt},
        {106000, true, std::nullopt},  // between the two six-digit ranges
        // Inside the ranges but not a clock reading.
        {85960, false, std::nullopt},
        {87500, false, std::nullopt},
        {1160000000, false, std::nullopt},
        {1129601234, false, std::nullopt},
        {0, true, std::nullopt},
        {-103015, false, std::nullopt},
        {99999999999LL, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + (c.simulation ? " simulation" : " real"));
        EXPECT_EQ(DecodePageTime(c.code, c.simulation), c.expected);
    }
}

}  // namespace
}  // namespace kestrava::perception
