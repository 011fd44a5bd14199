// The relay rules as tables: frames of several connections at given moments, and what each one
// makes the server send.
#include "relay_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol.h"

namespace kestrava::sync {
namespace {

// 11:29:50.000 Beijing time, as milliseconds since 1970.
constexpr std::int64_t kBase = 86400000LL * 20000 + (11 * 3600 + 29 * 60 + 50) * 1000LL - 8 * 3600 * 1000LL;

struct Step {
    std::int64_t atMs;  // after kBase
    ConnId conn;
    std::string text;    // "ping:PAYLOAD" is a ping
    std::string expect;  // the actions, rendered by Render; "" for none
};

std::string Render(const std::vector<Action>& actions) {
    std::string out;
    for (const Action& a : actions) {
        if (!out.empty()) out += "; ";
        switch (a.kind) {
            case Action::Kind::Send: out += "to " + std::to_string(a.conn) + ": " + a.text; break;
            case Action::Kind::Broadcast:
                out += (a.conn == 0 ? std::string("all: ") : "all but " + std::to_string(a.conn) + ": ") + a.text;
                break;
            case Action::Kind::CheckReport:
                out += "check " + ReportText(a.timeCode, a.price) + " from " + std::to_string(a.conn);
                break;
            case Action::Kind::CountJam: out += "count jam of " + a.bid; break;
            case Action::Kind::SharePending: out += "pending " + a.bid + " " + std::to_string(a.price); break;
            case Action::Kind::Close: out += "close " + std::to_string(a.conn) + " (" + a.text + ")"; break;
            case Action::Kind::Pong: out += "pong to " + std::to_string(a.conn) + ": " + a.text; break;
        }
    }
    return out;
}

// Connections 1, 2, 3 and 5 have bid numbers 10000001, 10000002, 10000003, 10000005; connection
// 4 is bid number 10000001 again (a second console of the same bidder).
const char* BidOf(ConnId c) {
    static const char* bids[] = {"", "10000001", "10000002", "10000003", "10000001", "10000005"};
    return bids[c];
}

struct Case {
    const char* name;
    std::vector<ConnId> conns;
    std::vector<Step> steps;
    void (*tweak)(RuleSettings&) = nullptr;
    bool clustered = false;
};

// Two bid numbers agree on 89300: the room's newest is then 1129500100, 89300.
const std::vector<Step> kBaseline = {
    {0, 1, "1_1129500000,89300", ""},
    {100, 2, "1_1129500100,89300", "all but 2: 1_1129500100,89300"},
};

std::vector<Step> AfterBaseline(std::vector<Step> more) {
    std::vector<Step> s = kBaseline;
    s.insert(s.end(), more.begin(), more.end());
    return s;
}

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"heartbeat answered to its sender only", {1, 2}, {{0, 1, "hbeat", "to 1: hbeat"}}},
        {"first report of a room waits for a second bid number, then goes to all but that sender",
         {1, 2, 3}, kBaseline},
        {"a lone client's report needs no second", {1}, {{0, 1, "1_1129500000,89300", "all but 1: 1_1129500000,89300"}}},
        {"a second console of the same bid number is no quorum",
         {1, 4, 2}, {{0, 1, "1_1129500000,89300", ""}, {100, 4, "1_1129500100,89300", ""}}},
        {"a second bid number after the quorum time is no quorum",
         {1, 2, 3}, {{0, 1, "1_1129500000,89300", ""}, {1100, 2, "1_1129501100,89300", ""}}},
        {"a second bid number with another price is no quorum",
         {1, 2, 3}, {{0, 1, "1_1129500000,89300", ""}, {100, 2, "1_1129500100,89400", ""}}},
        {"a rise within the jump limit is relayed at once",
         {1, 2, 3}, AfterBaseline({{200, 3, "1_1129500200,89600", "all but 3: 1_1129500200,89600"}})},
        {"a rise beyond the jump limit waits for a second bid number",
         {1, 2, 3}, AfterBaseline({{200, 3, "1_1129500200,89700", ""},
                                   {300, 1, "1_1129500300,89700", "all but 1: 1_1129500300,89700"}})},
        {"a time not newer than the newest is dropped",
         {1, 2, 3}, AfterBaseline({{200, 3, "1_1129500100,89400", ""}, {200, 3, "1_1129500050,89400", ""}})},
        {"a lower price is dropped, the newest price stays",
         {1, 2, 3}, AfterBaseline({{200, 3, "1_1129500200,89200", ""},
                                   {300, 3, "1_1129500300,89300", "all but 3: 1_1129500300,89300"}})},
        {"a report far from the server clock is dropped",
         {1}, {{0, 1, "1_1129460000,89300", ""}, {0, 1, "1_1129540000,89300", ""},
               {0, 1, "1_1129520000,89300", "all but 1: 1_1129520000,89300"}}},
        {"without the clock check any time of day goes",
         {1}, {{0, 1, "1_0931000000,89300", "all but 1: 1_0931000000,89300"}},
         [](RuleSettings& s) { s.clockSkewMs = 0; }},
        {"a quiet room starts afresh: yesterday's newest time holds nothing back",
         {1}, {{0, 1, "1_1129500000,89300", "all but 1: 1_1129500000,89300"},
               {5001, 1, "1_1129400000,80000", "all but 1: 1_1129400000,80000"}},
         [](RuleSettings& s) { s.clockSkewMs = 0; s.roomForgetMs = 5000; }},
        {"jam signal: K distinct bid numbers within W, sent to every client once per window",
         {1, 2, 3, 4, 5},
         {{0, 1, "6_0", ""}, {100, 4, "6_0", ""}, {200, 2, "6_0", ""}, {300, 3, "6_0", "all: 6_3"},
          {400, 5, "6_0", ""}, {1300, 1, "6_0", ""}, {1350, 2, "6_0", "all: 6_3"}}},
        {"jam reports older than the window no longer count",
         {1, 2, 3}, {{0, 1, "6_0", ""}, {600, 2, "6_0", ""}, {1000, 3, "6_0", ""}, {1100, 1, "6_0", "all: 6_3"}}},
        {"rate limit per connection, refilled over time",
         {1, 2},
         {{0, 1, "hbeat", "to 1: hbeat"}, {0, 1, "hbeat", "to 1: hbeat"}, {0, 1, "hbeat", ""},
          {0, 2, "hbeat", "to 2: hbeat"}, {500, 1, "hbeat", "to 1: hbeat"}},
         [](RuleSettings& s) { s.ratePerSecond = 2; }},
        {"a connection refused past the limit within a second is closed once, then not heard; others go on",
         {1, 2},
         {{0, 1, "garbage", ""}, {10, 1, "1_1129500010,89350", ""}, {20, 1, "hbeat", "to 1: hbeat"},
          {30, 1, "6_9", ""},
          {40, 1, "x", "close 1 (4 refused frames within a second)"},
          {50, 1, "hbeat", ""}, {60, 1, "1_1129500060,89300", ""}, {2000, 1, "hbeat", ""},
          {70, 2, "hbeat", "to 2: hbeat"}},
         [](RuleSettings& s) { s.dropAfterRefusals = 3; }},
        {"refusals spread over seconds, or refused by the rate limit at a console's pace, close nothing",
         {1, 2},
         {{0, 1, "garbage", ""}, {400, 1, "garbage", ""}, {800, 1, "garbage", ""},
          {1000, 1, "garbage", ""}, {1400, 1, "garbage", ""}, {1800, 1, "garbage", ""},
          {2000, 2, "hbeat", "to 2: hbeat"}, {2000, 2, "hbeat", "to 2: hbeat"}, {2000, 2, "hbeat", ""},
          {2000, 2, "hbeat", ""}, {2000, 2, "hbeat", ""}, {2500, 2, "hbeat", "to 2: hbeat"},
          {2600, 1, "hbeat", "to 1: hbeat"}},
         [](RuleSettings& s) { s.dropAfterRefusals = 3; s.ratePerSecond = 2; }},
        {"without the limit a flooder is only refused",
         {1}, {{0, 1, "a", ""}, {0, 1, "b", ""}, {0, 1, "c", ""}, {0, 1, "hbeat", "to 1: hbeat"}},
         [](RuleSettings& s) { s.dropAfterRefusals = 0; s.ratePerSecond = 100; }},
        {"pings are answered within the rate and count towards closing like any frame",
         {1, 2},
         {{0, 1, "ping:a", "pong to 1: a"}, {0, 1, "ping:b", "pong to 1: b"}, {0, 1, "ping:c", ""},
          {0, 1, "hbeat", ""}, {0, 1, "ping:d", "close 1 (3 refused frames within a second)"},
          {600, 1, "ping:e", ""}, {0, 2, "ping:f", "pong to 2: f"}},
         [](RuleSettings& s) { s.dropAfterRefusals = 2; s.ratePerSecond = 2; }},
        {"in a cluster the checks go to the bridge",
         {1, 2, 3},
         {{0, 1, "1_1129500000,89300", "pending 10000001 89300"},
          {100, 2, "1_1129500100,89300", "check 1_1129500100,89300 from 2"},
          {200, 3, "6_0", "count jam of 10000003"}, {300, 3, "hbeat", "to 3: hbeat"}},
         nullptr, true},
    };
    return cases;
}

TEST(RelayRulesTest, Table) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        RuleSettings s;
        if (c.tweak) c.tweak(s);
        RelayRules rules(s, nullptr);
        rules.SetClustered(c.clustered);
        for (ConnId id : c.conns) {
            ASSERT_TRUE(rules.Admit(id, std::string("/?id=") + BidOf(id) + "&type=101", "10.0.0." + std::to_string(id), kBase).ok);
        }
        for (const Step& st : c.steps) {
            const bool ping = st.text.rfind("ping:", 0) == 0;
            EXPECT_EQ(Render(ping ? rules.OnPing(st.conn, st.text.substr(5), kBase + st.atMs)
                                  : rules.OnFrame(st.conn, st.text, kBase + st.atMs)),
                      st.expect)
                << "at +" << st.atMs << " ms, connection " << st.conn << " sends " << st.text;
        }
    }
}

// Frames that are never relayed, each with the refusal it is counted under.
TEST(RelayRulesTest, BadFramesAreRefusedByReason) {
    struct Row { std::string text; Refusal reason; };
    const std::vector<Row> rows = {
        {"1_1129500200,89300x", Refusal::Malformed}, {"1_112950020,89300", Refusal::Malformed},
        {"1_1129500200;89300", Refusal::Malformed},  {"1_1129500200,8930", Refusal::Malformed},
        {"1_1129500200,1099000", Refusal::Malformed}, {"1_1169500200,89300", Refusal::Malformed},
        {"1_2529500200,89300", Refusal::Malformed},  {"1_1129500200,-89300", Refusal::Malformed},
        {"1_ 129500200,89300", Refusal::Malformed},  {"1_1129500200,", Refusal::Malformed},
        {"6_1", Refusal::Malformed},                 {"6_", Refusal::Malformed},
        {"hbeat ", Refusal::Malformed},              {"", Refusal::Malformed},
        {std::string("1_1129500200,89300\0", 19), Refusal::Malformed},
        {"1_1129500200,89350", Refusal::BadPrice},   {"1_1129500200,69900", Refusal::BadPrice},
        {"1_1129500200,110000", Refusal::BadPrice},  {std::string(65, 'x'), Refusal::Oversize},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        RelayRules rules(RuleSettings{}, nullptr);
        ASSERT_TRUE(rules.Admit(1, "/?id=10000001&type=101", "a", kBase).ok);
        ASSERT_TRUE(rules.Admit(2, "/?id=10000002&type=101", "b", kBase).ok);
        EXPECT_EQ(Render(rules.OnFrame(1, r.text, kBase)), "");
        EXPECT_EQ(rules.Refusals().Count(r.reason), 1u);
        EXPECT_EQ(rules.Refusals().Total(), 1u);
        EXPECT_EQ(rules.NewestPrice(), 0);
    }
}

TEST(RelayRulesTest, AdmissionByTargetAllowListAndAddress) {
    RuleSettings s;
    s.allowList = {"10000001", "10000002"};
    s.connectionsPerAddress = 2;
    s.maxConnections = 4;
    RelayRules rules(s, nullptr);
    struct Row { ConnId conn; std::string target; std::string address; bool ok; Refusal reason; };
    const std::vector<Row> rows = {
        {1, "/?id=10000001&type=101", "a", true, Refusal::BadTarget},
        {2, "/?id=1000000&type=101", "a", false, Refusal::BadTarget},
        {3, "/?id=10000001&type=102", "a", false, Refusal::BadTarget},
        {4, "/?type=101&id=10000001", "a", false, Refusal::BadTarget},
        {5, "/?id=10000001&type=101&x=1", "a", false, Refusal::BadTarget},
        {6, "/x?id=10000001&type=101", "a", false, Refusal::BadTarget},
        {7, "/?id=1000000a&type=101", "a", false, Refusal::BadTarget},
        {8, "/?id=10000003&type=101", "a", false, Refusal::NotAllowed},
        {9, "/?id=10000002&type=101", "a", true, Refusal::BadTarget},
        {10, "/?id=10000002&type=101", "a", false, Refusal::AddressFull},
        {11, "/?id=10000002&type=101", "b", true, Refusal::BadTarget},
        {12, "/?id=10000001&type=101", "c", true, Refusal::BadTarget},
        {13, "/?id=10000001&type=101", "d", false, Refusal::ServerFull},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.target + " from " + r.address);
        const auto a = rules.Admit(r.conn, r.target, r.address, kBase);
        EXPECT_EQ(a.ok, r.ok);
        if (!r.ok) {
            EXPECT_EQ(a.refusal, r.reason);
        }
    }
    EXPECT_EQ(rules.LocalClients(), 4);
    rules.Leave(1);
    EXPECT_TRUE(rules.Admit(14, "/?id=10000001&type=101", "a", kBase).ok) << "a closed connection frees its place";
    EXPECT_TRUE(rules.OnFrame(10, "hbeat", kBase).empty()) << "a refused connection's frames go nowhere";
}

TEST(RelayRulesTest, ClusterAnswersDecide) {
    RelayRules rules(RuleSettings{}, nullptr);
    rules.SetClustered(true);
    rules.Admit(1, "/?id=10000001&type=101", "a", kBase);
    rules.Admit(2, "/?id=10000002&type=101", "a", kBase);
    EXPECT_EQ(Render(rules.OnReportVerdict(1, 1129500000, 89300, Verdict::Accepted, kBase)), "all but 1: 1_1129500000,89300");
    EXPECT_EQ(Render(rules.OnReportVerdict(1, 1129500100, 89400, Verdict::Stale, kBase)), "");
    EXPECT_EQ(Render(rules.OnReportVerdict(1, 1129500100, 89400, Verdict::Fell, kBase)), "");
    EXPECT_EQ(rules.Refusals().Count(Refusal::StaleTime), 1u);
    EXPECT_EQ(rules.Refusals().Count(Refusal::PriceFell), 1u);
    // Redis did not answer: this node's own view decides.
    EXPECT_EQ(Render(rules.OnReportVerdict(2, 1129500000, 89400, Verdict::Unavailable, kBase)), "");
    EXPECT_EQ(Render(rules.OnReportVerdict(2, 1129500200, 89400, Verdict::Unavailable, kBase)), "all but 2: 1_1129500200,89400");
    // Another node's report reaches every client here, once.
    EXPECT_EQ(Render(rules.OnRemoteReport(1129500300, 89500, kBase)), "all: 1_1129500300,89500");
    EXPECT_EQ(Render(rules.OnRemoteReport(1129500300, 89500, kBase)), "");
    EXPECT_EQ(Render(rules.OnJamCount(4, kBase)), "all: 6_4");
    EXPECT_EQ(Render(rules.OnJamCount(0, kBase)), "");
    // A pending jump on another node is the second this node's report needs.
    rules.OnRemotePending("10000009", 90100, kBase);
    EXPECT_EQ(Render(rules.OnFrame(1, "1_1129500400,90100", kBase + 100)), "check 1_1129500400,90100 from 1");
}

TEST(RefusalLogTest, OneLineWhenAStreakStartsAndOneWhenItEnds) {
    std::vector<std::string> lines;
    RelayRules rules(RuleSettings{}, [&](const std::string& l) { lines.push_back(l); });
    rules.Admit(1, "/?id=10000001&type=101", "a", kBase);
    RuleSettings s;
    for (int i = 0; i < 1000; ++i) rules.OnFrame(1, "garbage", kBase + i * 1000 / s.ratePerSecond);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("refused malformed from 10000001: unknown message: garbage"), std::string::npos) << lines[0];
    rules.Tick(kBase + 1000 * 1000 / s.ratePerSecond + s.streakQuietMs);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("refused malformed: 1000 in the streak"), std::string::npos) << lines[1];
    rules.OnFrame(1, "garbage", kBase + 10000000);
    EXPECT_EQ(lines.size(), 3u) << "a new streak is logged again";
    EXPECT_EQ(rules.Refusals().Count(Refusal::Malformed), 1001u);
}

}  // namespace
}  // namespace kestrava::sync
