#include "perception/price_rules.h"

#include <gtest/gtest.h>

namespace kestrava::perception {
namespace {

TEST(SelectPriceSource, Table) {
    struct Case {
        int moniornot;
        int swbidmode;
        bool fresh;
        PriceSource source;
    };
    const Case cases[] = {
        {0, 0, true, PriceSource::Feed},  {0, 0, false, PriceSource::Screen}, {0, 1, true, PriceSource::Feed},
        {0, 1, false, PriceSource::Feed}, {0, 2, true, PriceSource::Screen},  {0, 2, false, PriceSource::Screen},
        {0, 3, true, PriceSource::None},  {0, -1, false, PriceSource::None},  {1, 0, false, PriceSource::Feed},
        {1, 2, true, PriceSource::Feed},  {2, 0, true, PriceSource::None},    {-1, 1, true, PriceSource::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.moniornot) + "/" + std::to_string(c.swbidmode) + (c.fresh ? " fresh" : " dead"));
        EXPECT_EQ(SelectPriceSource(c.moniornot, c.swbidmode, c.fresh), c.source);
    }
}

TEST(PublishLowestPrice, Sources) {
    struct Case {
        const char* name;
        PriceSource source;
        std::optional<int> screen;
        int remaining;
        std::optional<int> lowest;  // none: nothing published
        std::optional<std::string> upper;
        std::string label;
    };
    const Case cases[] = {
        {"feed", PriceSource::Feed, 89300, 30, 88800, "89100", "88800"},
        {"feed after the end clears the label only", PriceSource::Feed, std::nullopt, 0, 88800, std::nullopt, ""},
        {"screen", PriceSource::Screen, 89300, 30, 89300, "89600", "89300"},
        {"screen zero is a price", PriceSource::Screen, 0, 30, 0, "300", "0"},
        {"screen not a multiple of 100", PriceSource::Screen, 89350, 30, std::nullopt, std::nullopt, ""},
        {"screen 120000", PriceSource::Screen, 120000, 30, std::nullopt, std::nullopt, ""},
        {"no screen reading", PriceSource::Screen, std::nullopt, 30, std::nullopt, std::nullopt, ""},
        {"lower than before is still taken", PriceSource::Screen, 100, 30, 100, "400", "100"},
        {"no source", PriceSource::None, 89300, 30, std::nullopt, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<PricePublication> p = PublishLowestPrice(c.source, 88800, c.screen, c.remaining);
        ASSERT_EQ(p.has_value(), c.lowest.has_value());
        if (!p) continue;
        EXPECT_EQ(p->lowestPrice, *c.lowest);
        EXPECT_EQ(p->lowestText, std::to_string(*c.lowest));
        EXPECT_EQ(p->upperText, c.upper);
        EXPECT_EQ(p->lowestShown, c.upper ? std::optional<std::string>(p->lowestText) : std::nullopt);
        EXPECT_EQ(p->label, c.label);
    }
}

TEST(WatchFeed, DiesAfterAHundredStillTicksOrABackwardStep) {
    // swbidmode 0 with a fresh feed: the clock stops moving at 1000.
    FeedWatch w{1000, 999, 0, true};
    int deadAt = 0, logged = 0;
    for (int tick = 1; tick <= 120; ++tick) {
        const FeedVerdict v = WatchFeed(w, 0, 0);
        if (v.declaredDead && deadAt == 0) deadAt = tick;
        logged += v.logDead;
        if (v.declaredDead) {
            EXPECT_EQ(v.statusText, "目前软件工作正常DP ");
        }
        w = v.next;
        w.pageClock = 1000;
    }
    // Tick 1 still sees the clock move (999 → 1000); ticks 2 … 101 stand still.
    EXPECT_EQ(deadAt, 101);
    EXPECT_EQ(logged, 1);
    EXPECT_FALSE(w.feedFresh);
    EXPECT_EQ(w.feedStaleTicks, 101);

    const FeedVerdict back = WatchFeed(FeedWatch{990, 1000, 3, true}, 0, 1);
    EXPECT_TRUE(back.declaredDead);
    EXPECT_TRUE(back.logDead);
    EXPECT_EQ(back.statusText, "目前软件工作正常zb ");
    EXPECT_EQ(back.next.lastPageClock, 990);

    const FeedVerdict moving = WatchFeed(FeedWatch{1001, 1000, 57, true}, 0, 0);
    EXPECT_FALSE(moving.declaredDead);
    EXPECT_EQ(moving.next.feedStaleTicks, 57);  // only the feed handlers reset the count
    EXPECT_EQ(moving.next.lastPageClock, 1001);

    struct Status {
        int moniornot;
        int swbidmode;
        std::optional<std::string> text;
    };
    const Status statuses[] = {{1, 5, "目前软件工作正常"}, {0, 2, "目前软件工作正常DP "}, {0, 7, std::nullopt}};
    for (const Status& s : statuses) {
        SCOPED_TRACE(std::to_string(s.moniornot) + "/" + std::to_string(s.swbidmode));
        EXPECT_EQ(WatchFeed(FeedWatch{5, 6, 0, false}, s.moniornot, s.swbidmode).statusText, s.text);
    }
}

// In the last minute a fresh feed whose clock stands still is dead as soon as the page has been
// quiet longer than its rhythm and the slack; outside it only the hundred still ticks count.
TEST(WatchFeed, InTheLastMinuteAFeedOffItsRhythmIsDeadAtOnce) {
    struct Case {
        const char* name;
        int remaining;
        int reportsSeen;
        std::int32_t everyMs;  // the longest gap between two reports so far
        std::int32_t quietMs;
        bool dead;
    };
    const Case cases[] = {
        {"a page reporting each second, quiet for 1.3 s", 30, 10, 1000, 1300, false},
        {"the same, quiet a millisecond longer", 30, 10, 1000, 1301, true},
        {"a page reporting every 200 ms, quiet for 0.5 s", 30, 10, 200, 500, false},
        {"the same, quiet for 0.6 s", 30, 10, 200, 600, true},
        {"one report so far: a second's rhythm assumed", 30, 1, 0, 1300, false},
        {"one report so far, quiet for 1.4 s", 30, 1, 0, 1400, true},
        {"sixty seconds left", 60, 10, 1000, 1400, true},
        {"the last second", 1, 10, 1000, 1400, true},
        {"sixty-one seconds left: ticks alone", 61, 10, 1000, 9000, false},
        {"the auction over", 0, 10, 1000, 9000, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const FeedRhythm rhythm{k.remaining, k.quietMs, FeedQuietLimitMs(k.reportsSeen, k.everyMs)};
        const FeedVerdict v = WatchFeed(FeedWatch{1000, 1000, 3, true}, 0, 0, rhythm);
        EXPECT_EQ(v.declaredDead, k.dead);
        EXPECT_EQ(v.logDead, k.dead);
        EXPECT_EQ(v.next.feedFresh, !k.dead);
    }
}

TEST(ScreenRules, ChangeTrackingAndPriceAt62) {
    struct Case {
        bool fresh;
        int swbidmode;
        int remaining;
        bool due;
    };
    const Case cases[] = {{false, 0, 56, false}, {false, 0, 55, true}, {false, 0, 1, true}, {false, 0, 0, false},
                          {true, 0, 30, false},  {true, 2, 30, true},  {true, 1, 30, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.remaining) + (c.fresh ? " fresh" : " dead") + " mode " +
                     std::to_string(c.swbidmode));
        EXPECT_EQ(ChangeTrackingDue(c.fresh, c.swbidmode, c.remaining), c.due);
    }
    EXPECT_FALSE(RecordsPriceAt62(61));
    EXPECT_TRUE(RecordsPriceAt62(62));
    EXPECT_TRUE(RecordsPriceAt62(63));
    EXPECT_FALSE(RecordsPriceAt62(64));
    EXPECT_TRUE(SeedsChangeTracking(89300));
    EXPECT_FALSE(SeedsChangeTracking(0));
    EXPECT_FALSE(SeedsChangeTracking(89350));
    EXPECT_FALSE(SeedsChangeTracking(120000));
}

}  // namespace
}  // namespace kestrava::perception
