#include "net/sync_client.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrava::net {
namespace {

using Kind = SyncMessage::Kind;

TEST(SyncMessageTest, ReadsServerTexts) {
    struct Case {
        std::string text;
        Kind kind;
        std::uint32_t price = 0;
        std::int32_t timeCode = 0;
        std::uint32_t count = 0;
    };
    const Case cases[] = {
        {"hbeat", Kind::Heartbeat},
        {"hbeat!", Kind::Ignored},  // six characters: neither a heartbeat nor a report
        {"1_1129571234,89300", Kind::PriceReport, 89300, 1129571234},
        // Position 12 is a separator nobody looks at; the price is the digits from 13, at most
        // six (a price of 100 000 and more is read whole, not as a tenth of itself).
        {"1_1129571234;89300", Kind::PriceReport, 89300, 1129571234},
        {"1_1129571234,100500", Kind::PriceReport, 100500, 1129571234},
        {"1_1129571234,1005001", Kind::PriceReport, 100500, 1129571234},
        {"1_1129571234,8", Kind::PriceReport, 8, 1129571234},
        {"6_3", Kind::JamSignal, 0, 0, 3},
        {"6_12x", Kind::JamSignal, 0, 0, 12},
        {"7_3", Kind::Ignored},
        {"", Kind::Ignored},
        {"1", Kind::Ignored},
        {"1_", Kind::Malformed},
        {"1_abc", Kind::Malformed},
        {"1_1129571234,", Kind::Malformed},
        {"1_1129571234,x9300", Kind::Malformed},
        {"1_abcdefghij,89300", Kind::Malformed},
        {"1_9999999999,89300", Kind::Malformed},  // beyond 32 bits
        {"1_-129571234,89300", Kind::Malformed},
        {"6_", Kind::Malformed},
        {"6_x", Kind::Malformed},
        {"6_" + std::string(5000, '9'), Kind::Malformed},
        {std::string("1_\0\xff\xfe", 5) + std::string(20, '\x01'), Kind::Malformed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        const SyncMessage m = ParseSyncMessage(c.text);
        EXPECT_EQ(m.kind, c.kind);
        EXPECT_EQ(m.price, c.price);
        EXPECT_EQ(m.timeCode, c.timeCode);
        EXPECT_EQ(m.count, c.count);
        if (c.kind == Kind::Malformed) {
            EXPECT_FALSE(m.error.empty());
        }
    }
}

TEST(SyncMessageTest, BuildsTheSyncAddress) {
    EXPECT_EQ(BuildSyncUrl("10.1.2.3", "12345678"), "ws://10.1.2.3:9002/?id=12345678&type=101");
    EXPECT_EQ(BuildSyncUrl("", "12345678"), "ws://:9002/?id=12345678&type=101");
}

}  // namespace
}  // namespace kestrava::net

namespace kestrava::net {
namespace {

TEST(PageReportTest, OnlyNewMomentsOfTheLastTenSecondsAreReported) {
    struct Step {
        const char* name;
        std::uint32_t price;
        std::int64_t pageClock;
        int remaining;
        std::optional<std::string> text;
        std::int64_t newestAfter;
        bool simulation = false;
        int swbidmode = 0;
    };
    // One run, step by step: the newest time code carries from one report to the next.
    const Step steps[] = {
        {"11:29:45, 15 s left: newest, not sent", 89000, 1129450000, 15, std::nullopt, 1129450000},
        {"same moment again", 89000, 1129450000, 15, std::nullopt, 1129450000},
        {"11:29:52, 8 s left", 89300, 1129520000, 8, "1_1129520000,89400", 1129520000},
        {"an older moment", 89300, 1129510000, 8, std::nullopt, 1129520000},
        {"the six-digit clock", 89300, 112953, 7, std::nullopt, 1129520000},
        {"before 11:00", 89300, 1059590000, 7, std::nullopt, 1129520000},
        {"price below 301", 300, 1129530000, 7, std::nullopt, 1129520000},
        {"simulation run", 89300, 1129530000, 7, std::nullopt, 1129520000, true},
        {"swbidmode 2", 89300, 1129530000, 7, std::nullopt, 1129520000, false, 2},
        {"11:29:53.5", 89300, 1129535000, 7, "1_1129535000,89400", 1129535000},
        {"second 99 is no moment", 89300, 1129990000, 7, std::nullopt, 1129535000},
        {"minute 60 is no moment", 89300, 1160000000, 7, std::nullopt, 1129535000},
        {"11:29:54 after them", 89300, 1129540000, 6, "1_1129540000,89400", 1129540000},
    };
    std::int64_t newest = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(PageReportText(s.price, s.pageClock, s.simulation, s.swbidmode, s.remaining, 89400, newest), s.text);
        EXPECT_EQ(newest, s.newestAfter);
    }
}

}  // namespace
}  // namespace kestrava::net
