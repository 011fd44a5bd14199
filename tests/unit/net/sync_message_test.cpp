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
        // Position 12 is a separator nobody looks at; the price is the five characters from 13.
        {"1_1129571234;893001", Kind::PriceReport, 89300, 1129571234},
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
