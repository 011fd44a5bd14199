// The cloud submission driven by the submit tick on the virtual clock: an armed submission in
// the last ten seconds, a market set up through the second lows, and what the page and the log
// see: the confirm commands with their times and the "云提交" lines.
#include "engine/cloud_submit.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine_rig.h"
#include "log/log_book.h"

namespace kestrava::engine {
namespace {

using testing::EngineRig;
using testing::MakeLocal;

constexpr int kPrice = 90000;
// The rig starts at 11:29:49; times below are page milliseconds after 11:29:00.
constexpr std::int64_t kStartPageMs = 49000;

using Rises = std::vector<std::pair<int, int>>;  // page second → rise of the lowest price since then

// What the page and the log saw: the "云提交" lines and the page times of the confirm commands.
struct Outcome {
    std::vector<std::string> lines;
    std::vector<std::int64_t> confirmedAt;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << "lines {";
    for (const std::string& l : o.lines) *os << " \"" << l << "\"";
    *os << " } confirmed at {";
    for (const std::int64_t t : o.confirmedAt) *os << " " << t;
    *os << " }";
}

EngineOptions CloudOptions() {
    EngineOptions o;
    o.cloudStep = CloudStep;
    return o;
}

struct CloudRun {
    CloudRun() : rig(MakeLocal(2026, 12, 10, 11, 29, 49), CloudOptions()) { rig.Tick(box::CloudSubmit); }

    void SetMarket(int digit, const Rises& rises, int gap) {
        rig.c().state.startSecondDigit = digit;
        rig.SetPrices(kPrice, kPrice + gap);
        for (int s = 45; s <= 58; ++s) rig.rec().lowAt[s] = kPrice;
        for (auto [second, rise] : rises) rig.rec().lowAt[second] = kPrice - rise;
    }
    void Arm() { ASSERT_TRUE(rig.Arm()); }

    // A live page feed: the page clock follows the clock, updated just before each submit tick.
    void StartFeed() {
        feedTimer = rig.fp.clock.StartPeriodic(10, [this] {
            rig.rec().pageClock = rig.fp.clock.EpochMillis() / 1000;
            rig.rec().feedFresh = 1;
            rig.rec().lastPageClockTick = rig.fp.clock.TickCount();
        });
    }
    void StartSubmitTick() {
        rig.submitTimer = rig.fp.clock.StartPeriodic(10, [this] { rig.e().SubmitTick(rig.c()); });
    }
    void AdvanceToPageMs(std::int64_t pageMs) {
        rig.AdvanceTo(11, 29, static_cast<int>(pageMs / 1000), static_cast<int>(pageMs % 1000));
    }

    std::vector<std::string> CloudLines() const {
        std::vector<std::string> out;
        for (const std::string& line : rig.LogMessages())
            if (line.find("云提交") != std::string::npos) out.push_back(line);
        return out;
    }
    Outcome RunUntil(std::int64_t pageMs) {
        AdvanceToPageMs(pageMs);
        return {CloudLines(), ConfirmedAt()};
    }
    // Page times of the confirm commands posted since the last call.
    std::vector<std::int64_t> ConfirmedAt() {
        std::vector<std::int64_t> out;
        for (const testing::Post& p : rig.Posts())
            if (p.msg == shell::cmd::ConfirmCodeElement) out.push_back(p.at + kStartPageMs);
        return out;
    }

    EngineRig rig;
    std::unique_ptr<platform::PeriodicTimer> feedTimer;
};

// ---- The chains: screen path (51 … 58) and feed path (58, then "云提交59")

enum class Path { Screen, Feed };

struct MarketCase {
    const char* why;
    Path path;
    int digit;
    Rises rises;
    int gap;
    Outcome expected;
    bool box = true;
    std::int64_t priceFallsAt = 0;  // the lowest price drops below every low at this page time
};

TEST(CloudSubmit, ConfirmsAtTheMomentOfTheApplyingRule) {
    const MarketCase cases[] = {
        {"51a, letter C: logged at once, confirmed a second later although the price fell", Path::Screen, 9,
         {{45, 800}}, 700, {{"C云提交51a..........", "云提交确定"}, {52000}}, true, 51500},
        {"55p, letter B after 995 ms, met on the next submit tick", Path::Screen, 4, {{45, 500}}, 300,
         {{"B云提交55p..........", "云提交确定"}, {56000}}},
        {"55p and 56p have no letter for 5, nor their last chances; 57c gives B", Path::Screen, 5, {{45, 500}}, 300,
         {{"B云提交57c.....", "云提交确定"}, {57500}}},
        {"57i needs a rise of exactly 300", Path::Screen, 3, {{45, 300}}, 400,
         {{"B云提交57i.....", "云提交确定"}, {57500}}},
        {"a rise of 350 falls through to 57o", Path::Screen, 3, {{45, 350}}, 400,
         {{"B云提交57o..........", "云提交确定"}, {57990}}},
        {"a fallen price reaches 58d, which confirms every digit at once", Path::Screen, 8, {{45, -100}}, 100,
         {{"C云提交58d"}, {58000}}},
        {"box 1196 clear: the cloud does nothing", Path::Screen, 9, {{45, 800}}, 700, {{}, {}}, false},

        {"feed 58a: every letter at once", Path::Feed, 0, {{57, 200}}, 600, {{"A云提交58a."}, {58000}}},
        {"feed 58e: B after 820 ms", Path::Feed, 2, {}, 600, {{"B云提交58e.", "云提交确定"}, {58820}}},
        {"feed 58e has no letter for 6", Path::Feed, 6, {}, 300, {{"云提交59"}, {59000}}},
        {"feed: a rise of 1 to 99 matches no rule", Path::Feed, 0, {{57, 50}}, 300, {{"云提交59"}, {59000}}},
        {"feed: a rise of 200 with a gap above 600 matches no rule", Path::Feed, 0, {{57, 200}}, 700,
         {{"云提交59"}, {59000}}},
        {"feed: box 1196 clear", Path::Feed, 0, {{57, 200}}, 600, {{}, {}}, false},
    };
    for (const MarketCase& t : cases) {
        SCOPED_TRACE(t.why);
        CloudRun run;
        run.StartFeed();
        // swbidmode 2 takes the screen path even with a live feed.
        if (t.path == Path::Screen) run.rig.c().state.swbidmode = 2;
        run.rig.Tick(box::CloudSubmit, t.box);
        run.SetMarket(t.digit, t.rises, t.gap);
        run.Arm();
        run.StartSubmitTick();
        if (t.priceFallsAt) {
            run.AdvanceToPageMs(t.priceFallsAt);
            run.rig.SetPrices(kPrice - 1000, kPrice + t.gap);
        }
        EXPECT_EQ(run.RunUntil(59500), t.expected);
    }
}

// ---- Last-chance rules: only when the price one window below was first fed at the fraction

TEST(CloudSubmit, LastChanceRuleActsOnlyWhenTheFirstSeenEntryMatches) {
    struct Case {
        const char* why;
        bool entry;
        int seenAt;
        bool cloudDoneBefore;
        Outcome expected;
    };
    const Case cases[] = {
        {"entry matches: 55n gives B after 993 ms", true, 2955, false, {{"B云提交55n..........", "云提交确定"}, {56000}}},
        {"entry with another time: no last chance, 58b at the end", true, 2954, false, {{"A云提交58b"}, {58000}}},
        {"no entry for p - 300", false, 0, false, {{"A云提交58b"}, {58000}}},
        {"the cloud has acted earlier today", true, 2955, true, {{"A云提交58b"}, {58000}}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.why);
        CloudRun run;
        run.SetMarket(1, {{45, 200}}, 400);
        if (t.entry) run.rig.rec().priceFirstSeen.With([&](auto& m) { m[kPrice - 300] = t.seenAt; });
        run.rig.rec().pageClockFraction = 2955;
        run.rig.rec().cloudDone = t.cloudDoneBefore ? 1 : 0;
        run.Arm();
        run.StartSubmitTick();
        EXPECT_EQ(run.RunUntil(59500), t.expected);
    }
}

TEST(CloudSubmit, FeedPathClosesTheSmartDelayWindowFromTenSecondsOnly) {
    for (const bool feed : {true, false}) {
        SCOPED_TRACE(feed ? "feed path" : "screen path");
        CloudRun run;
        if (feed) run.StartFeed();
        run.rig.e().strategy.ctrlXpricelimit = 500;
        run.StartSubmitTick();
        run.AdvanceToPageMs(49990);
        EXPECT_EQ(run.rig.e().strategy.ctrlXpricelimit.load(), 500);
        run.AdvanceToPageMs(50000);
        EXPECT_EQ(run.rig.e().strategy.ctrlXpricelimit.load(), feed ? 300 : 500);
    }
}

TEST(CloudSubmit, OnlyRule52cDelaysLeaveTheLastChanceRulesOpen) {
    struct Case {
        const char* why;
        int digit;
        Rises rises;
        int gap;
        Outcome expected;
        int cloudDone;
    };
    const Case cases[] = {
        {"52c, letter A after 200 ms", 0, {{45, 600}, {51, 100}}, 900, {{"A云提交52c..", "云提交确定"}, {52200}}, 0},
        {"52c, letter B at once", 4, {{45, 600}, {51, 100}}, 900, {{"B云提交52c"}, {52000}}, 1},
        {"51a, letter C after 1000 ms", 9, {{45, 800}}, 700, {{"C云提交51a..........", "云提交确定"}, {52000}}, 1},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.why);
        CloudRun run;
        run.SetMarket(t.digit, t.rises, t.gap);
        run.Arm();
        run.StartSubmitTick();
        EXPECT_EQ(run.RunUntil(53000), t.expected);
        EXPECT_EQ(run.rig.rec().cloudDone.load(), t.cloudDone);
    }
}

// ---- Delayed confirmations belong to their arming

TEST(CloudSubmit, DelayedConfirmationDiesWithTheSubmissionItWasScheduledFor) {
    struct Case {
        const char* why;
        bool cancelled;              // Escape; otherwise another path confirms
        std::int64_t armedAgainAt;  // 0: never
        Outcome expected;
    };
    const Case cases[] = {
        {"another path confirms: no second click", false, 0, {{"C云提交51a.........."}, {51400}}},
        {"cancelled and armed again: the rules start afresh", true, 51605,
         {{"C云提交51a..........", "C云提交51a..........", "云提交确定"}, {52610}}},
        {"confirmed otherwise and armed again", false, 51605,
         {{"C云提交51a..........", "C云提交51a..........", "云提交确定"}, {51400, 52610}}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.why);
        CloudRun run;
        run.SetMarket(9, {{45, 800}}, 700);
        run.Arm();
        run.StartSubmitTick();
        run.AdvanceToPageMs(51400);
        if (t.cancelled) {
            run.rig.e().HandleKey(run.rig.c(), platform::vk::Escape);
        } else if (run.rig.e().Fire(run.rig.c(), SubmissionInput::Cancel).Did(SubmissionAction::Withdraw)) {
            run.rig.e().ConfirmBid(run.rig.c());
        }
        if (t.armedAgainAt) {
            run.AdvanceToPageMs(t.armedAgainAt);
            run.Arm();
        }
        EXPECT_EQ(run.RunUntil(53000), t.expected);
    }
}

TEST(CloudSubmit, ADelayLeftFromAnEarlierArmingIsDroppedNotFired) {
    // As when a rule schedules on the submit tick just as the bidder's Escape ends the submission.
    CloudRun run;
    run.SetMarket(9, {{45, 800}}, 700);
    run.Arm();
    EngineState& e = run.rig.rec();
    e.cloudSubmission = e.submission.Serial() - 1;
    e.cloudDelay = 0;
    e.cloudStartTick = run.rig.fp.clock.TickCount();
    e.cloudPending = 1;
    run.StartSubmitTick();
    EXPECT_EQ(run.RunUntil(53000), (Outcome{{"C云提交51a..........", "云提交确定"}, {52000}}));
}

// ---- Jam signal (0x49c)

// The page stops reporting at 57.2 s: its clock stays at 57, the remaining time falls back to the
// PC clock, and the feed path goes on from the last prices to the same confirmation at 59.
TEST(CloudSubmit, AFeedGoneQuietLeavesTheFeedPathOnThePcClock) {
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "feed quiet from 57.2" : "feed live");
        CloudRun run;
        run.SetMarket(6, {}, 400);
        run.Arm();
        run.StartFeed();
        run.StartSubmitTick();
        run.AdvanceToPageMs(57200);
        if (quiet) run.feedTimer.reset();
        EXPECT_EQ(run.RunUntil(59500), (Outcome{{"云提交59"}, {59000}}));
    }
}

TEST(CloudSubmit, JamSignalIsHonouredOnlyAfterPageSecond57AndAHalf) {
    CloudRun run;
    run.StartFeed();
    run.SetMarket(0, {}, 1000);  // far above: no feed rule would confirm before 59
    run.Arm();
    run.StartSubmitTick();
    console::ConsoleHooks hooks;
    AttachCloud(run.rig.engine, hooks);
    ASSERT_TRUE(hooks.jamSignal);

    log::SetDebugConsole(true);
    ::testing::internal::CaptureStdout();
    for (const std::int64_t at : {56500, 57000, 57490}) {
        run.AdvanceToPageMs(at);
        hooks.jamSignal(run.rig.c(), 3, 0);
        EXPECT_TRUE(run.ConfirmedAt().empty()) << at;
    }
    run.AdvanceToPageMs(57505);
    hooks.jamSignal(run.rig.c(), 3, 0);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    log::SetDebugConsole(false);

    EXPECT_EQ(run.ConfirmedAt(), (std::vector<std::int64_t>{57505}));
    EXPECT_TRUE(run.rig.Logged("ABC  3 ，点击确定"));
    EXPECT_EQ(printed, "进度条拥堵信号3 马上提交");
    EXPECT_EQ(run.rig.rec().submission.State(), SubmissionState::Confirming);
    EXPECT_EQ(run.rig.rec().cloudDone.load(), 1);
    // The submission is over: page second 59 finds nothing left to confirm.
    run.AdvanceToPageMs(59500);
    EXPECT_TRUE(run.ConfirmedAt().empty());
    EXPECT_TRUE(run.CloudLines().empty());
}

TEST(CloudSubmit, JamSignalNeedsARealArmedRunWithTheBoxAndThe575Mark) {
    struct Case {
        const char* why;
        int moniornot;
        bool box;
        bool past575;
        bool armed;
        int remaining;
        bool confirms;
    };
    const Case cases[] = {
        {"all conditions", 0, true, true, true, 3, true},
        {"after the end", 0, true, true, true, -1, true},
        {"simulation run", 1, true, true, true, 3, false},
        {"box 1196 clear", 0, false, true, true, 3, false},
        {"57.5 not yet passed this run", 0, true, false, true, 3, false},
        {"not armed", 0, true, true, false, 3, false},
        // The mark of an earlier auction of the same run does not open a later one early.
        {"a later auction, 20 s before its end", 0, true, true, true, 20, false},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.why);
        CloudRun run;
        run.SetMarket(0, {}, 1000);
        run.rig.c().state.moniornot = t.moniornot;
        run.rig.Tick(box::CloudSubmit, t.box);
        run.rig.rec().past575 = t.past575 ? 1 : 0;
        if (t.armed) run.Arm();
        run.rig.c().state.remainingSeconds = t.remaining;
        OnJamSignal(run.rig.c(), run.rig.e(), 3);
        EXPECT_EQ(run.ConfirmedAt().size(), t.confirms ? 1u : 0u);
        EXPECT_EQ(run.rig.Armed(), t.armed && !t.confirms);
    }
}

// ---- Simulation run and the progress bar

TEST(CloudSubmit, SimulationRunConfirmsAtThreeSecondsAsAForcedSubmission) {
    CloudRun run;
    run.rig.c().state.moniornot = 1;
    run.rig.c().state.divmode = 1;  // one confirm command per confirmation in every mode
    run.SetMarket(0, {{45, 800}}, 1000);
    run.Arm();
    run.StartSubmitTick();
    run.AdvanceToPageMs(59500);
    EXPECT_EQ(run.ConfirmedAt(), (std::vector<std::int64_t>{57000}));
    EXPECT_TRUE(run.rig.Logged("软件强制提交 完毕"));
    EXPECT_TRUE(run.CloudLines().empty());
    EXPECT_EQ(run.rig.c().state.infoBody.Get(), "开始自动强制提交");
    EXPECT_EQ(run.rig.rec().lastHint.Get().n, 1);
    EXPECT_EQ(run.rig.rec().forcedSubmitDone.load(), 1);
    EXPECT_EQ(run.rig.rec().submission.State(), SubmissionState::Confirming);
}

}  // namespace
}  // namespace kestrava::engine
