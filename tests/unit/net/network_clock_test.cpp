#include "net/network_clock.h"

#include <gtest/gtest.h>

namespace kestrava::net {
namespace {

constexpr std::int64_t k2020 = 1577836800;  // 2020-01-01 00:00:00 UTC

TEST(NetworkClockTest, DecodesAnswersAcrossTheEraWrap) {
    struct Case {
        const char* name;
        std::uint32_t answer;
        std::int64_t notBefore;
        std::optional<std::int64_t> utc;
    };
    const Case cases[] = {
        {"2024-01-01", 3913056000u, k2020, 1704067200},
        {"last second of era 0", 0xFFFFFFFFu, k2020, 2085978495},
        // 2036-02-07 06:28:16 UTC: the count starts again from 0.
        {"first second of era 1", 0u, k2020, 2085978496},
        {"2040-01-01 in era 1", 123010304u, k2020, 2208988800},
        {"top bit set, before the floor", 3786739200u, k2020, std::nullopt},  // 2019-12-31
        {"exactly the floor", 3786825600u, k2020, k2020},
        {"before the build", 3913056000u, BuildEpochSeconds(), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeTimeProtocol(c.answer, c.notBefore), c.utc);
    }
}

TEST(NetworkClockTest, BuildTimeIsRecentAndTheListIsFull) {
    EXPECT_GT(BuildEpochSeconds(), 1704067200);  // built after 2024-01-01
    EXPECT_EQ(DefaultTimeServers().size(), 15u);
    for (const std::string& host : DefaultTimeServers()) EXPECT_FALSE(host.empty());
}

}  // namespace
}  // namespace kestrava::net
