// The simulated bidders follow the practice page's own announcement of its curve: each step's
// price in a report the server accepts (ten-digit page time, price on the 100 grid), ahead of the
// page by the lead, and the congestion signal once per peer at its moment.
#include "peer_schedule.h"

#include <gtest/gtest.h>

using namespace kestrava::peer_sim;

TEST(PeerSchedule, TheAnnouncedCurveIsReadStrictly) {
    struct Case {
        const char* text;
        bool ok;
    };
    const Case cases[] = {
        {"end=1765400190000 warning=89300 steps=1765400100000,1765400180500", true},
        {"end=1765400190000 warning=89300 steps=", true},  // a curve without steps
        {"end=1765400190000 warning=89350 steps=1", false},  // off the grid
        {"end=1765400190000 warning=69900 steps=1", false},
        {"end=1765400190000 warning=89300 steps=5,4", false},  // not in order
        {"end=1765400190000 warning=89300 steps=5,,6", false},
        {"end=x warning=89300 steps=5", false},
        {"warning=89300 steps=5", false},
        {"end=1765400190000 warning=109800 steps=1,2", false},  // would pass 109900
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseTimeline(c.text).has_value(), c.ok);
    }
    const auto t = ParseTimeline("end=1765400190000 warning=89300 steps=1765400100000,1765400180500");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->endMs, 1765400190000);
    EXPECT_EQ(t->warningPrice, 89300);
    EXPECT_EQ(t->stepsMs, (std::vector<std::int64_t>{1765400100000, 1765400180500}));
}

TEST(PeerSchedule, PageTimeCodesReadTheAuctionClock) {
    const std::int64_t end = 1765400190000;
    EXPECT_EQ(PageTimeCode(end, end), 1130000000);
    EXPECT_EQ(PageTimeCode(end - 2877, end), 1129571230);
    EXPECT_EQ(PageTimeCode(end - 190000, end), 1126500000);
}

TEST(PeerSchedule, EveryPeerReportsEachStepAheadOfThePageThenSignalsCongestion) {
    Timeline t;
    t.endMs = 1000000;
    t.warningPrice = 89000;
    t.stepsMs = {900000, 990000};
    PeerOptions o;
    o.peers = 2;
    o.leadMs = 300;
    o.spreadMs = 15;
    o.jamBeforeEndMs = 5000;
    const std::vector<PeerEvent> events = Schedule(t, o, 0);
    std::vector<std::tuple<std::int64_t, int, std::string>> got;
    for (const PeerEvent& e : events) got.emplace_back(e.atMs, e.peer, e.text);
    const std::vector<std::tuple<std::int64_t, int, std::string>> want = {
        {899700, 0, "1_1128197000,89100"}, {899715, 1, "1_1128197150,89100"},  // 11:28:19.700, .715
        {989700, 0, "1_1129497000,89200"}, {989715, 1, "1_1129497150,89200"},
        {995000, 0, "6_0"},                {995015, 1, "6_0"},
    };
    EXPECT_EQ(got, want);
    // Joined late: only what is still to come.
    EXPECT_EQ(Schedule(t, o, 989710).size(), 3u);
    o.jamBeforeEndMs = -1;
    EXPECT_EQ(Schedule(t, o, 0).size(), 4u);
}
